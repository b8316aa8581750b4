#pragma once
// The printed schedule: the grid's shown rows on Letter paper, landscape,
// 0.5 inch margins with the page header and footer 0.25 inch from the paper's
// edges. The report title ("Project: " and the project's name) opens the
// first page; the column headers repeat on every page; the footer sums close
// the last one; every page carries the title and its number.
#include "schedule/ScheduleExport.h"

#include <QPageLayout>
#include <QString>

#include <functional>

class DataGrid;
class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace SchedulePrint {

// Fonts and measures of the layout.
inline constexpr double kMarginInch = 0.5;
inline constexpr double kHeaderFooterInch = 0.25; // header and footer from the paper's edge
QFont pageHeaderFont();                           // Tahoma 8 pt, page header and footer
QFont titleFont();                                // Times New Roman 14 pt bold, report title
QFont bodyFont();                                 // Times New Roman 8 pt, headers, rows and sums

// Letter, landscape, the margins above.
QPageLayout pageLayout();
// Gives the printer the layout and the title as its document name (the PDF
// title, the print job's name).
void setupPrinter(QPrinter& printer, const QString& title);

// "Page 2 of 5".
QString pageNumberText(int page, int pageCount);

// Paints the report on the device as its page layout stands (the user may
// have changed paper or orientation in the print dialog). Returns the number
// of pages printed; 0 when the device cannot be painted on.
int printReport(QPagedPaintDevice& device, const ScheduleExport::Snapshot& grid,
                const QString& title);

// The print dialog of the print commands (with a "Preview..." button opening
// the print preview); `paint` prints on the printer it is given and returns
// the number of pages. True when something was printed.
bool printWithDialog(QWidget* parent, QPrinter& printer, const QString& title,
                     const std::function<int(QPrinter&)>& paint);

// The print command: builds the title from the project selector's text,
// shows the print dialog (with a "Preview..." button opening the print
// preview) and prints on OK. True when something was printed.
bool printGrid(QWidget* parent, const DataGrid& grid, const QString& projectText);

} // namespace SchedulePrint
