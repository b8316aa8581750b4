#pragma once
// The data grid's figures: re-read and grouping of 10,000 tasks against a
// plain tree view, and the cost of one screenful at 100 and 100,000 rows.
#include "bench/DataFigures.h"

namespace bench {

// Needs a QApplication.
void runGridFigures(const BenchOptions& options);

} // namespace bench
