#include "widgets/GridLayoutIO.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace GridLayoutIO {

namespace {
const QString kFormat = QStringLiteral("PelloranGridLayout");
constexpr int kMaxWidth = 10000;
} // namespace

QString save(const QList<GridColumnState>& columns) {
    QJsonArray list;
    for (const auto& c : columns) {
        QJsonObject o;
        o[QStringLiteral("field")] = c.field;
        o[QStringLiteral("position")] = c.position;
        o[QStringLiteral("visible")] = c.visible;
        o[QStringLiteral("caption")] = c.caption;
        o[QStringLiteral("sort")] = c.sortIndex < 0                     ? QStringLiteral("none")
                                    : c.sortOrder == Qt::AscendingOrder ? QStringLiteral("asc")
                                                                        : QStringLiteral("desc");
        o[QStringLiteral("sortIndex")] = c.sortIndex < 0 ? -1 : c.sortIndex;
        o[QStringLiteral("group")] = c.groupIndex < 0 ? -1 : c.groupIndex;
        o[QStringLiteral("width")] = c.width;
        list.append(o);
    }
    QJsonObject root;
    root[QStringLiteral("format")] = kFormat;
    root[QStringLiteral("version")] = kVersion;
    root[QStringLiteral("columns")] = list;
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Compact));
}

std::optional<QList<GridColumnState>> load(const QString& text) {
    QJsonParseError err{};
    const auto doc = QJsonDocument::fromJson(text.toUtf8(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const auto root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != kFormat ||
        root.value(QStringLiteral("version")).toInt(-1) != kVersion ||
        !root.value(QStringLiteral("columns")).isArray())
        return std::nullopt;
    QList<GridColumnState> out;
    for (const auto& v : root.value(QStringLiteral("columns")).toArray()) {
        if (!v.isObject())
            return std::nullopt;
        const auto o = v.toObject();
        const auto field = o.value(QStringLiteral("field"));
        const auto pos = o.value(QStringLiteral("position"));
        const auto vis = o.value(QStringLiteral("visible"));
        const auto cap = o.value(QStringLiteral("caption"));
        const auto sort = o.value(QStringLiteral("sort")).toString();
        const auto sortIndex = o.value(QStringLiteral("sortIndex"));
        const auto group = o.value(QStringLiteral("group"));
        const auto width = o.value(QStringLiteral("width"));
        if (!field.isString() || field.toString().isEmpty() || !pos.isDouble() || !vis.isBool() ||
            !cap.isString() || !sortIndex.isDouble() || !group.isDouble() || !width.isDouble())
            return std::nullopt;
        GridColumnState c;
        c.field = field.toString();
        c.position = pos.toInt(-1);
        c.visible = vis.toBool();
        c.caption = cap.toString();
        c.sortIndex = sortIndex.toInt(-2);
        c.groupIndex = group.toInt(-2);
        c.width = width.toInt(-1);
        if (sort == QLatin1String("none"))
            c.sortIndex = -1;
        else if (sort == QLatin1String("asc"))
            c.sortOrder = Qt::AscendingOrder;
        else if (sort == QLatin1String("desc"))
            c.sortOrder = Qt::DescendingOrder;
        else
            return std::nullopt;
        if (c.position < 0 || c.sortIndex < -1 || c.groupIndex < -1 || c.width < 1 ||
            c.width > kMaxWidth)
            return std::nullopt;
        out.append(c);
    }
    return out;
}

} // namespace GridLayoutIO
