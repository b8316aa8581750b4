#pragma once
// Export of the schedule grid as the user sees it (visible columns in display
// order, rows that pass the filter, collapsed groups left collapsed) to a
// spreadsheet (.xlsx), an HTML page, an XML document or aligned plain text.
// Every file is written to a temporary file beside the target and renamed
// over it only when complete, so a failed export never spoils a good file.
//
// XML layout (UTF-8, every text escaped; characters XML cannot carry, such as
// control characters other than TAB, CR and LF, are dropped):
//
//   <schedule title="Project: Alpha">
//     <columns>
//       <column field="Current Estimate" caption="Cur Est" type="number" width="62"/>
//       ...                                  type: text | number | icon
//     </columns>
//     <rows>
//       <group level="0" text="Feature: Alpha (2)">   groups nest by level;
//         <row key="7">                                 a collapsed group is empty
//           <cell field="Feature" type="string">Alpha</cell>
//           <cell field="Time Remaining" type="number">-1.5</cell>
//           <cell field="Developer" type="empty"/>
//         </row>
//       </group>
//     </rows>
//     <footer>
//       <sum field="Current Estimate">12.5</sum>
//     </footer>
//   </schedule>
//
// Cell types: string, number (C-locale decimal point, shortest exact form),
// boolean (true/false), datetime (ISO 8601, yyyy-MM-ddTHH:mm:ss), date
// (yyyy-MM-dd), empty. An icon column gives the value behind the icon.
#include "data/Errors.h"
#include "data/StyleRepository.h"
#include "widgets/GridTypes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

class DataGrid;
class QWidget;

// What the grid exporter itself reports (a file that cannot be written, a
// workbook the writer refuses); shown as the command's error message.
class ExportError : public PelloranError {
public:
    using PelloranError::PelloranError;
};

namespace ScheduleExport {

enum class Format { Excel, Html, Xml, Text };

struct FormatInfo {
    QString filter;       // Qt form: "Excel Files (*.xlsx);;All Files (*)"
    QString suffix;       // default extension, without the dot
    QString errorMessage; // "%1" takes the exporter's error text
};
FormatInfo formatInfo(Format format);

// The grid as the exports see it, read once so every format works from the
// same picture of the rows.
struct Snapshot {
    struct Column {
        QString field;
        QString caption;
        int width = 0; // pixels on screen
        GridDisplayKind kind = GridDisplayKind::Text;
        Qt::Alignment alignment;
        Qt::Alignment headerAlignment;
        GridIconPainter iconPainter;
        std::optional<double> sum; // footer sum, for columns that show one
        QString sumText;           // the sum as the footer shows it
    };
    QList<Column> columns;
    QList<GridShownRow> rows;
    GridStyleSheet scheme;
    bool hasSums() const;
};
Snapshot snapshot(const DataGrid& grid);

// "Project: " followed by the project's name, as the page and report titles read.
QString titleFor(const QString& projectName);

// The file contents of each format. Errors: ExportError.
QByteArray toXlsx(const Snapshot& grid, const QString& title);
QByteArray toHtml(const Snapshot& grid, const QString& title);
QByteArray toXml(const Snapshot& grid, const QString& title);
QByteArray toText(const Snapshot& grid);

// Writes the grid to `path` in `format`, through a temporary file in the same
// folder. Throws ExportError when the file cannot be written.
void writeFile(const DataGrid& grid, Format format, const QString& path,
               const QString& projectName);

// The whole export command: asks for the file (the format's filter, default
// extension added when the name has none; an existing file is replaced
// without asking), writes it, and shows the format's error message when the
// exporter fails. Other errors propagate. True when a file was written.
bool exportGrid(QWidget* parent, const DataGrid& grid, Format format, const QString& projectName);

// ---- shared with the clipboard and the print ----
// Drops characters that XML and HTML cannot carry (control characters other
// than TAB, LF and CR, unpaired surrogates, U+FFFE and U+FFFF).
QString printable(const QString& text);
// Columns a terminal gives the text: combining marks take none, East Asian
// wide characters two.
int terminalWidth(const QString& text);

} // namespace ScheduleExport
