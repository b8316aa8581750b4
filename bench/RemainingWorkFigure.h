#pragma once
// The remaining-work chart's figure: reading a project's tasks and the whole
// History table through our layer and rebuilding the per-day totals, against
// one bare pass reading the same rows.
#include "bench/DataFigures.h"

namespace bench {

void runRemainingWorkFigure(const BenchOptions& options);

} // namespace bench
