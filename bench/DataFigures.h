#pragma once
// The data layer's figures: schedule open and fetch, ChangeTask round trip,
// Locate by id on History and its flatness from small to large tables.
#include <QString>

namespace bench {

struct BenchOptions {
    bool quick = false; // smaller tables, for a fast look
    QString root;       // the folder the fixtures are built in
    QString only;       // when set, only the figures (or groups) whose name starts with it

    bool wants(const QString& figure) const {
        return only.isEmpty() || figure.startsWith(only) || only.startsWith(figure);
    }
};

void runDataFigures(const BenchOptions& options);

} // namespace bench
