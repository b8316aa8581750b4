#pragma once
// Copy of the schedule grid to the clipboard: the visible captions and then
// every row the grid shows, as TAB-separated plain text with CR LF after each
// line, and the same as an HTML table so a spreadsheet keeps the columns.
#include <QString>

class DataGrid;
class QClipboard;
class QMimeData;

namespace ScheduleClipboard {

// The plain text: captions in display order, then one line per shown row
// (display texts; a group row gives its group text alone). A TAB, CR or LF
// inside a text becomes a blank so it cannot split a cell or a line.
QString gridText(const DataGrid& grid);
// The same rows as an HTML table (header row, group rows spanning the table).
QString gridHtml(const DataGrid& grid);
// Both formats, for the clipboard or a drag.
QMimeData* gridMimeData(const DataGrid& grid); // caller owns
// Replaces the clipboard's contents (the application's clipboard when none is given).
void copyGrid(const DataGrid& grid, QClipboard* clipboard = nullptr);

} // namespace ScheduleClipboard
