#include "schedule/ScheduleExport.h"

#include "widgets/DataGrid.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WaitCursor.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QXmlStreamWriter>

#include <xlsxwriter.h>

#include <cerrno>
#include <locale.h> // newlocale, uselocale
#include <memory>

namespace ScheduleExport {

namespace {

bool isNumeric(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool isEmptyValue(const QVariant& v) {
    return !v.isValid() || v.isNull() ||
           (v.typeId() == QMetaType::QString && v.toString().isEmpty());
}

// Numbers in a form every reader parses the same way, whatever the locale.
QString plainNumber(double d) {
    return QString::number(d, 'g', QLocale::FloatingPointShortest);
}

// A cell's value for the typed formats: its type name and its invariant text.
std::pair<QString, QString> typedValue(const QVariant& v) {
    if (isEmptyValue(v))
        return {QStringLiteral("empty"), {}};
    if (isNumeric(v))
        return {QStringLiteral("number"), plainNumber(v.toDouble())};
    switch (v.typeId()) {
    case QMetaType::Bool:
        return {QStringLiteral("boolean"),
                v.toBool() ? QStringLiteral("true") : QStringLiteral("false")};
    case QMetaType::QDateTime:
        return {QStringLiteral("datetime"), v.toDateTime().toString(Qt::ISODate)};
    case QMetaType::QDate:
        return {QStringLiteral("date"), v.toDate().toString(Qt::ISODate)};
    default:
        return {QStringLiteral("string"), printable(v.toString())};
    }
}

QString kindName(GridDisplayKind kind) {
    switch (kind) {
    case GridDisplayKind::Number:
        return QStringLiteral("number");
    case GridDisplayKind::Icon:
        return QStringLiteral("icon");
    case GridDisplayKind::Text:
        break;
    }
    return QStringLiteral("text");
}

// ---------------------------------------------------------------- files

void saveBytes(const QString& path, const QByteArray& data) {
    const QString where = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    // Unbuffered, so a short write (a full disk) shows here instead of being
    // lost in a later flush that reports success.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw ExportError(QStringLiteral("%1: %2").arg(where, file.errorString()));
    errno = 0;
    if (file.write(data) != data.size()) {
        const int err = errno;
        const QString why = file.error() != QFileDevice::NoError ? file.errorString()
                            : err != 0                           ? qt_error_string(err)
                                       : QStringLiteral("the file was not written completely");
        file.cancelWriting();
        throw ExportError(QStringLiteral("%1: %2").arg(where, why));
    }
    if (!file.commit())
        throw ExportError(QStringLiteral("%1: %2").arg(where, file.errorString()));
}

// ---------------------------------------------------------------- xlsx

struct WorkbookCloser {
    void operator()(lxw_workbook* wb) const {
        if (wb)
            workbook_close(wb);
    }
};

// The workbook writer prints its numbers (cell values, column widths) with the
// C library, which follows the process's numeric locale: on a desktop with a
// decimal comma it would write "2,5", which no spreadsheet reads as a number.
// While a workbook is made, this thread uses the C conventions for numbers.
class CNumericLocale {
public:
    CNumericLocale() {
        if (locale_t base = duplocale(uselocale(locale_t(nullptr)))) {
            c_ = newlocale(LC_NUMERIC_MASK, "C", base);
            if (!c_)
                freelocale(base);
        }
        if (c_)
            previous_ = uselocale(c_);
    }
    ~CNumericLocale() {
        if (c_) {
            uselocale(previous_);
            freelocale(c_);
        }
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t c_ = locale_t(nullptr);
    locale_t previous_ = locale_t(nullptr);
};

void check(lxw_error err) {
    if (err != LXW_NO_ERROR)
        throw ExportError(QString::fromUtf8(lxw_strerror(err)));
}

// Excel's longest cell text.
constexpr qsizetype kMaxCellText = 32767;

QByteArray cellText(const QString& text) {
    return printable(text).left(kMaxCellText).toUtf8();
}

// Column widths are given in characters of the default font, 7 pixels each
// plus 5 pixels of padding.
double excelWidth(int pixels) {
    return pixels <= 5 ? 0.0 : (pixels - 5) / 7.0;
}

lxw_format* makeFormat(lxw_workbook* wb, const GridStyle& style, bool bold) {
    lxw_format* f = workbook_add_format(wb);
    if (bold)
        format_set_bold(f);
    if (style.background.isValid()) {
        format_set_pattern(f, LXW_PATTERN_SOLID);
        format_set_bg_color(f, lxw_color_t(style.background.rgb() & 0xFFFFFF));
    }
    if (style.text.isValid())
        format_set_font_color(f, lxw_color_t(style.text.rgb() & 0xFFFFFF));
    return f;
}

void writeXlsxValue(lxw_worksheet* ws, lxw_row_t row, lxw_col_t col, const QVariant& v,
                    lxw_format* dateTimeFormat, lxw_format* dateFormat) {
    if (isEmptyValue(v))
        return;
    if (isNumeric(v)) {
        check(worksheet_write_number(ws, row, col, v.toDouble(), nullptr));
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        check(worksheet_write_boolean(ws, row, col, v.toBool() ? 1 : 0, nullptr));
        return;
    case QMetaType::QDateTime:
    case QMetaType::QDate: {
        const QDateTime dt = v.toDateTime();
        lxw_datetime d{dt.date().year(), dt.date().month(),  dt.date().day(),
                       dt.time().hour(), dt.time().minute(), double(dt.time().second())};
        check(worksheet_write_datetime(
            ws, row, col, &d, v.typeId() == QMetaType::QDate ? dateFormat : dateTimeFormat));
        return;
    }
    default:
        check(worksheet_write_string(ws, row, col, cellText(v.toString()).constData(), nullptr));
    }
}

// ---------------------------------------------------------------- html

QString esc(const QString& text) {
    return printable(text).toHtmlEscaped();
}

QString cssColors(const GridStyle& style) {
    QString css;
    if (style.background.isValid())
        css += QStringLiteral(" background-color: %1;").arg(style.background.name());
    if (style.text.isValid())
        css += QStringLiteral(" color: %1;").arg(style.text.name());
    return css;
}

QString cssFont(const GridStyle& style) {
    QString css;
    QString family = style.fontFamily;
    family.remove(QRegularExpression(QStringLiteral("[^A-Za-z0-9 _-]")));
    if (!family.isEmpty())
        css += QStringLiteral(" font-family: \"%1\", sans-serif;").arg(family);
    if (style.fontPixelSize > 0)
        css += QStringLiteral(" font-size: %1px;").arg(style.fontPixelSize);
    return css;
}

QString alignClass(Qt::Alignment a) {
    if (a & Qt::AlignRight)
        return QStringLiteral(" class=\"r\"");
    if (a & Qt::AlignHCenter)
        return QStringLiteral(" class=\"c\"");
    return {};
}

// ---------------------------------------------------------------- text

// One cell of the text export: on one line, whatever it holds.
QString oneLine(const QString& text) {
    QString t = printable(text);
    for (QChar& c : t)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return t;
}

QString pad(const QString& text, int width, bool right) {
    const QString fill(qMax(0, width - terminalWidth(text)), u' ');
    return right ? fill + text : text + fill;
}

bool isWide(char32_t u) {
    return (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF && u != 0x303F) ||
           (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
           (u >= 0xFFE0 && u <= 0xFFE6) || (u >= 0x1F300 && u <= 0x1F64F) ||
           (u >= 0x1F900 && u <= 0x1F9FF) || (u >= 0x20000 && u <= 0x3FFFD);
}

} // namespace

// ---------------------------------------------------------------- shared

QString printable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        if (c.isSurrogate() || u == 0xFFFE || u == 0xFFFF)
            continue;
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r')
            continue;
        out += c;
    }
    return out;
}

int terminalWidth(const QString& text) {
    int width = 0;
    for (const char32_t u : text.toUcs4()) {
        const auto cat = QChar::category(u);
        if (cat == QChar::Mark_NonSpacing || cat == QChar::Mark_Enclosing ||
            cat == QChar::Other_Format || u == 0x200B)
            continue;
        width += isWide(u) ? 2 : 1;
    }
    return width;
}

QString titleFor(const QString& projectName) {
    return QStringLiteral("Project: ") + projectName;
}

FormatInfo formatInfo(Format format) {
    switch (format) {
    case Format::Excel:
        return {QStringLiteral("Excel Files (*.xlsx);;All Files (*)"), QStringLiteral("xlsx"),
                QStringLiteral("Error saving to Excel: %1")};
    case Format::Html:
        return {QStringLiteral("HTML Files (*.htm *.html);;All Files (*)"), QStringLiteral("html"),
                QStringLiteral("Error saving to HTML: %1")};
    case Format::Xml:
        return {QStringLiteral("XML Files (*.xml);;All Files (*)"), QStringLiteral("xml"),
                QStringLiteral("Error saving to XML: %1")};
    case Format::Text:
        break;
    }
    return {QStringLiteral("Text Files (*.txt);;All Files (*)"), QStringLiteral("txt"),
            QStringLiteral("Error saving to Text: %1")};
}

bool Snapshot::hasSums() const {
    for (const auto& c : columns)
        if (c.sum)
            return true;
    return false;
}

Snapshot snapshot(const DataGrid& grid) {
    Snapshot s;
    const QList<GridColumn> all = grid.columns();
    for (const GridShownColumn& shown : grid.shownColumns()) {
        Snapshot::Column c;
        c.field = shown.field;
        c.caption = shown.caption;
        for (const GridColumn& g : all) {
            if (g.field != shown.field)
                continue;
            c.width = g.width;
            c.kind = g.kind;
            c.alignment = g.alignment;
            c.headerAlignment = g.headerAlignment;
            c.iconPainter = g.iconPainter;
            if (g.footerSum) {
                c.sum = grid.footerSum(g.field);
                c.sumText = grid.displayText(g.field, *c.sum);
            }
            break;
        }
        s.columns << c;
    }
    s.rows = grid.shownRows();
    s.scheme = grid.colorScheme();
    return s;
}

// ---------------------------------------------------------------- formats

QByteArray toXlsx(const Snapshot& grid, const QString& title) {
    const CNumericLocale cNumbers; // outlives the workbook, which writes when closed
    // The writer works on files; it writes into a private folder first and the
    // finished workbook is then saved beside the target like every format.
    QTemporaryDir dir;
    if (!dir.isValid())
        throw ExportError(dir.errorString());
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("schedule.xlsx")));
    const QByteArray tmp = QFile::encodeName(dir.path());
    lxw_workbook_options options{};
    options.tmpdir = const_cast<char*>(tmp.constData());
    std::unique_ptr<lxw_workbook, WorkbookCloser> wb(workbook_new_opt(path.constData(), &options));
    if (!wb)
        throw ExportError(QStringLiteral("The workbook could not be created."));

    const QByteArray titleUtf8 = cellText(title);
    lxw_doc_properties props{};
    props.title = const_cast<char*>(titleUtf8.constData());
    check(workbook_set_properties(wb.get(), &props));

    lxw_worksheet* ws = workbook_add_worksheet(wb.get(), "Schedule");
    if (!ws)
        throw ExportError(QStringLiteral("The worksheet could not be created."));
    lxw_format* header = makeFormat(wb.get(), grid.scheme.style(GridElement::Header), true);
    lxw_format* group = makeFormat(wb.get(), grid.scheme.style(GridElement::Group), true);
    lxw_format* footer = makeFormat(wb.get(), grid.scheme.style(GridElement::Footer), true);
    lxw_format* dateTime = workbook_add_format(wb.get());
    format_set_num_format(dateTime, "yyyy-mm-dd hh:mm");
    lxw_format* date = workbook_add_format(wb.get());
    format_set_num_format(date, "yyyy-mm-dd");

    const auto cols = lxw_col_t(grid.columns.size());
    for (lxw_col_t c = 0; c < cols; ++c) {
        const auto& col = grid.columns.at(c);
        check(worksheet_set_column(ws, c, c, excelWidth(col.width), nullptr));
        check(worksheet_write_string(ws, 0, c, cellText(col.caption).constData(), header));
    }
    worksheet_freeze_panes(ws, 1, 0);

    lxw_row_t row = 1;
    for (const GridShownRow& r : grid.rows) {
        // Outline levels let the reader fold the groups as the grid does.
        lxw_row_col_options outline{};
        outline.level = uint8_t(qBound(0, r.level, 7));
        check(worksheet_set_row_opt(ws, row, LXW_DEF_ROW_HEIGHT, nullptr, &outline));
        if (r.isGroup) {
            check(worksheet_write_string(ws, row, 0, cellText(r.groupText).constData(), group));
            for (lxw_col_t c = 1; c < cols; ++c)
                check(worksheet_write_blank(ws, row, c, group));
        } else {
            for (lxw_col_t c = 0; c < cols && qsizetype(c) < r.values.size(); ++c)
                writeXlsxValue(ws, row, c, r.values.at(c), dateTime, date);
        }
        ++row;
    }
    if (grid.hasSums()) {
        for (lxw_col_t c = 0; c < cols; ++c) {
            const auto& sum = grid.columns.at(c).sum;
            if (sum)
                check(worksheet_write_number(ws, row, c, *sum, footer));
            else
                check(worksheet_write_blank(ws, row, c, footer));
        }
    }
    check(workbook_close(wb.release()));

    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        throw ExportError(file.errorString());
    return file.readAll();
}

QByteArray toHtml(const Snapshot& grid, const QString& title) {
    const GridStyleSheet& s = grid.scheme;
    QString h;
    h += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\"/>\n");
    h += QStringLiteral("<title>%1</title>\n").arg(esc(title));
    h += QStringLiteral("<style>\n");
    h += QStringLiteral("body {%1 }\n").arg(cssFont(s.style(GridElement::Content)));
    h +=
        QStringLiteral("table { border-collapse: collapse;%1 }\n")
            .arg(cssFont(s.style(GridElement::Content)) + cssColors(s.style(GridElement::Content)));
    h += QStringLiteral("th, td { border: 1px solid #c0c0c0; padding: 2px 4px; "
                        "text-align: left; vertical-align: top; white-space: pre-wrap; }\n");
    h += QStringLiteral("thead th {%1 }\n")
             .arg(cssColors(s.style(GridElement::Header)) + cssFont(s.style(GridElement::Header)));
    h += QStringLiteral("tr.even td {%1 }\n").arg(cssColors(s.style(GridElement::ContentEven)));
    h += QStringLiteral("tr.odd td {%1 }\n").arg(cssColors(s.style(GridElement::ContentOdd)));
    h += QStringLiteral("tr.group td { font-weight: bold;%1 }\n")
             .arg(cssColors(s.style(GridElement::Group)));
    h += QStringLiteral("tfoot td { font-weight: bold;%1 }\n")
             .arg(cssColors(s.style(GridElement::Footer)));
    h += QStringLiteral(".r { text-align: right; }\n.c { text-align: center; }\n");
    h += QStringLiteral("</style>\n</head>\n<body>\n");
    h += QStringLiteral("<h1>%1</h1>\n<table>\n<thead>\n<tr>").arg(esc(title));
    for (const auto& c : grid.columns) {
        h += QStringLiteral("<th%1>%2</th>").arg(alignClass(c.headerAlignment), esc(c.caption));
    }
    h += QStringLiteral("</tr>\n</thead>\n<tbody>\n");
    int dataIndex = 0;
    for (const GridShownRow& r : grid.rows) {
        if (r.isGroup) {
            h += QStringLiteral("<tr class=\"group\"><td colspan=\"%1\" style=\"padding-left: "
                                "%2em;\">%3</td></tr>\n")
                     .arg(qMax(1, int(grid.columns.size())))
                     .arg(r.level + 0.3)
                     .arg(esc(r.groupText));
            continue;
        }
        h += dataIndex++ % 2 == 0 ? QStringLiteral("<tr class=\"even\">")
                                  : QStringLiteral("<tr class=\"odd\">");
        for (qsizetype c = 0; c < grid.columns.size(); ++c)
            h += QStringLiteral("<td%1>%2</td>")
                     .arg(alignClass(grid.columns.at(c).alignment), esc(r.texts.value(c)));
        h += QStringLiteral("</tr>\n");
    }
    h += QStringLiteral("</tbody>\n");
    if (grid.hasSums()) {
        h += QStringLiteral("<tfoot>\n<tr>");
        for (const auto& c : grid.columns)
            h += QStringLiteral("<td%1>%2</td>").arg(alignClass(c.alignment), esc(c.sumText));
        h += QStringLiteral("</tr>\n</tfoot>\n");
    }
    h += QStringLiteral("</table>\n</body>\n</html>\n");
    return h.toUtf8();
}

QByteArray toXml(const Snapshot& grid, const QString& title) {
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(2);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("schedule"));
    w.writeAttribute(QStringLiteral("title"), printable(title));
    w.writeStartElement(QStringLiteral("columns"));
    for (const auto& c : grid.columns) {
        w.writeEmptyElement(QStringLiteral("column"));
        w.writeAttribute(QStringLiteral("field"), printable(c.field));
        w.writeAttribute(QStringLiteral("caption"), printable(c.caption));
        w.writeAttribute(QStringLiteral("type"), kindName(c.kind));
        w.writeAttribute(QStringLiteral("width"), QString::number(c.width));
    }
    w.writeEndElement(); // columns
    w.writeStartElement(QStringLiteral("rows"));
    int openGroups = 0;
    for (const GridShownRow& r : grid.rows) {
        // A group closes the groups at its own level and deeper.
        const int depth = r.isGroup ? r.level : openGroups;
        for (; openGroups > depth; --openGroups)
            w.writeEndElement();
        if (r.isGroup) {
            w.writeStartElement(QStringLiteral("group"));
            w.writeAttribute(QStringLiteral("level"), QString::number(r.level));
            w.writeAttribute(QStringLiteral("text"), printable(r.groupText));
            ++openGroups;
            continue;
        }
        w.writeStartElement(QStringLiteral("row"));
        if (!isEmptyValue(r.key))
            w.writeAttribute(QStringLiteral("key"), typedValue(r.key).second);
        for (qsizetype c = 0; c < grid.columns.size(); ++c) {
            const auto [type, text] = typedValue(r.values.value(c));
            w.writeStartElement(QStringLiteral("cell"));
            w.writeAttribute(QStringLiteral("field"), printable(grid.columns.at(c).field));
            w.writeAttribute(QStringLiteral("type"), type);
            if (!text.isEmpty())
                w.writeCharacters(text);
            w.writeEndElement();
        }
        w.writeEndElement(); // row
    }
    for (; openGroups > 0; --openGroups)
        w.writeEndElement();
    w.writeEndElement(); // rows
    if (grid.hasSums()) {
        w.writeStartElement(QStringLiteral("footer"));
        for (const auto& c : grid.columns) {
            if (!c.sum)
                continue;
            w.writeStartElement(QStringLiteral("sum"));
            w.writeAttribute(QStringLiteral("field"), printable(c.field));
            w.writeCharacters(plainNumber(*c.sum));
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement(); // schedule
    w.writeEndDocument();
    if (w.hasError())
        throw ExportError(QStringLiteral("The XML document could not be written."));
    return out;
}

QByteArray toText(const Snapshot& grid) {
    // Header, a rule, the rows, and below a second rule the footer sums; the
    // columns two blanks apart, numbers right-aligned, groups on lines of
    // their own indented by their level, rows indented below their groups.
    const qsizetype n = grid.columns.size();
    QList<int> widths(n, 0);
    QList<bool> right(n, false);
    int indent = 0;
    for (qsizetype c = 0; c < n; ++c) {
        widths[c] = terminalWidth(oneLine(grid.columns.at(c).caption));
        widths[c] = qMax(widths[c], terminalWidth(oneLine(grid.columns.at(c).sumText)));
        right[c] = grid.columns.at(c).alignment & Qt::AlignRight;
    }
    for (const GridShownRow& r : grid.rows) {
        if (r.isGroup)
            continue;
        indent = qMax(indent, r.level * 2);
        for (qsizetype c = 0; c < n; ++c)
            widths[c] = qMax(widths[c], terminalWidth(oneLine(r.texts.value(c))));
    }
    auto line = [&](auto cell) -> QString {
        QString l(indent, u' ');
        for (qsizetype c = 0; c < n; ++c) {
            if (c > 0)
                l += QStringLiteral("  ");
            l += pad(cell(c), widths[c], right[c]);
        }
        while (l.endsWith(u' '))
            l.chop(1);
        return l + u'\n';
    };
    const QString rule = line([&](qsizetype c) { return QString(widths[c], u'-'); });
    QString t = line([&](qsizetype c) { return oneLine(grid.columns.at(c).caption); });
    t += rule;
    for (const GridShownRow& r : grid.rows) {
        if (r.isGroup)
            t += QString(r.level * 2, u' ') + oneLine(r.groupText) + u'\n';
        else
            t += line([&](qsizetype c) { return oneLine(r.texts.value(c)); });
    }
    if (grid.hasSums()) {
        t += rule;
        t += line([&](qsizetype c) { return oneLine(grid.columns.at(c).sumText); });
    }
    return t.toUtf8();
}

// ---------------------------------------------------------------- commands

void writeFile(const DataGrid& grid, Format format, const QString& path,
               const QString& projectName) {
    const Snapshot s = snapshot(grid);
    const QString title = titleFor(projectName);
    QByteArray data;
    switch (format) {
    case Format::Excel:
        data = toXlsx(s, title);
        break;
    case Format::Html:
        data = toHtml(s, title);
        break;
    case Format::Xml:
        data = toXml(s, title);
        break;
    case Format::Text:
        data = toText(s);
        break;
    }
    saveBytes(path, data);
}

bool exportGrid(QWidget* parent, const DataGrid& grid, Format format, const QString& projectName) {
    const FormatInfo info = formatInfo(format);
    QString path = Msg::saveFileName(parent, QStringLiteral("Save As"), info.filter, info.suffix);
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty()) {
        if (!path.endsWith(u'.'))
            path += u'.';
        path += info.suffix;
    }
    try {
        const WaitCursor wait;
        writeFile(grid, format, path, projectName);
    } catch (const ExportError& e) {
        Msg::error(parent, info.errorMessage.arg(e.message()));
        return false;
    }
    return true;
}

} // namespace ScheduleExport
