#include "schedule/ScheduleClipboard.h"

#include "schedule/ScheduleExport.h"
#include "widgets/DataGrid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace ScheduleClipboard {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

// A cell's text on the clipboard: one line, one cell.
QString cell(const QString& text) {
    QString t = text;
    for (QChar& c : t)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return t;
}

QString esc(const QString& text) {
    return ScheduleExport::printable(text).toHtmlEscaped();
}

} // namespace

QString gridText(const DataGrid& grid) {
    QStringList captions;
    for (const GridShownColumn& c : grid.shownColumns())
        captions << cell(c.caption);
    QString text = captions.join(u'\t') + kLineEnd;
    for (const GridShownRow& r : grid.shownRows()) {
        if (r.isGroup) {
            text += cell(r.groupText) + kLineEnd;
            continue;
        }
        QStringList texts;
        for (const QString& t : r.texts)
            texts << cell(t);
        text += texts.join(u'\t') + kLineEnd;
    }
    return text;
}

QString gridHtml(const DataGrid& grid) {
    const QList<GridShownColumn> columns = grid.shownColumns();
    // A whole page with its encoding named, so readers do not guess it.
    QString h = QStringLiteral("<html>\n<head><meta charset=\"utf-8\"/></head>\n<body>\n"
                               "<table>\n<tr>");
    for (const GridShownColumn& c : columns)
        h += QStringLiteral("<th>%1</th>").arg(esc(c.caption));
    h += QStringLiteral("</tr>\n");
    for (const GridShownRow& r : grid.shownRows()) {
        if (r.isGroup) {
            h += QStringLiteral("<tr><td colspan=\"%1\"><b>%2</b></td></tr>\n")
                     .arg(QString::number(qMax(1, int(columns.size()))), esc(r.groupText));
            continue;
        }
        h += QStringLiteral("<tr>");
        for (const QString& t : r.texts)
            h += QStringLiteral("<td>%1</td>").arg(esc(t));
        h += QStringLiteral("</tr>\n");
    }
    h += QStringLiteral("</table>\n</body>\n</html>\n");
    return h;
}

QMimeData* gridMimeData(const DataGrid& grid) {
    auto data = std::make_unique<QMimeData>();
    data->setText(gridText(grid));
    data->setHtml(gridHtml(grid));
    return data.release();
}

void copyGrid(const DataGrid& grid, QClipboard* clipboard) {
    if (!clipboard)
        clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(gridMimeData(grid)); // the clipboard takes ownership
}

} // namespace ScheduleClipboard
