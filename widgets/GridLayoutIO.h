#pragma once
// The saved form of a grid's column layout: a small JSON object,
//
//   {"format": "PelloranGridLayout", "version": 1,
//    "columns": [{"field": "Feature", "position": 0, "visible": true,
//                 "caption": "Feature", "sort": "asc", "sortIndex": 0,
//                 "group": -1, "width": 101}, ...]}
//
// "position" is the column's index in display order, "sort" one of "none",
// "asc", "desc" with "sortIndex" its rank among the sorted columns (-1 when
// not sorted), "group" the column's index among the grouped columns (-1 when
// not grouped), "width" in pixels. Readers reject any other format or version
// as a whole.
#include <QList>
#include <QString>
#include <optional>

struct GridColumnState {
    QString field;
    int position = 0;
    bool visible = true;
    QString caption;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    int sortIndex = -1;  // -1: not sorted
    int groupIndex = -1; // -1: not grouped
    int width = 0;
    bool operator==(const GridColumnState&) const = default;
};

namespace GridLayoutIO {
constexpr int kVersion = 1;
QString save(const QList<GridColumnState>& columns);
// std::nullopt for anything that is not a complete layout of this version.
std::optional<QList<GridColumnState>> load(const QString& text);
} // namespace GridLayoutIO
