#pragma once
// Building blocks for timing the grid: a schedule-like table of any size and
// one paint of a screenful. Nothing here measures time itself.
#include "widgets/GridTableModel.h"
#include "widgets/GridTypes.h"

#include <memory>

class DataGrid;
class QImage;

namespace GridBenchmark {
// Fields: "Task ID", "Feature", "Task", "Priority", "Current Estimate",
// "Elapsed Time", "Time Remaining", "Status", "Developer", "Notes".
std::unique_ptr<GridTableModel> makeModel(int rows);
QList<GridColumn> columns();
// Binds a grid to the model with the columns above, Task ID as key.
void bind(DataGrid& grid, GridTableModel* model);
// Paints the grid's current screen into target (sized to the grid); returns
// the number of rows painted.
int paintScreenful(DataGrid& grid, QImage& target);
} // namespace GridBenchmark
