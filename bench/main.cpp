// pelloran-bench: times our data layer against the same work done on bare
// connections, and the data grid against a plain tree view, one line per figure:
//   bench <name>: ours=<ms> ms base=<ms> ms ratio=<x.xx> target=<x.x>
// Usage: pelloran-bench [--quick] [--only=NAME] [folder]
//   --quick  smaller tables, for a fast look
//   --only=N only the figures whose name starts with N (for profiling one)
//   folder   build the fixtures there (must not hold them yet) and keep them;
//            without it they go to a temporary folder that is removed at the end.
#include "bench/DataFigures.h"
#include "bench/GridFigures.h"
#include "bench/LiveFigures.h"
#include "bench/RemainingWorkFigure.h"
#include "data/Errors.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    // The committing child of the refresh-latency figure.
    if (argc == 4 && std::strcmp(argv[1], bench::kCommitChildArgument) == 0)
        return bench::runCommitChild(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
    // The grid figures paint off screen unless a platform was asked for.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::BenchOptions options;
    QString folder;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (const QString& a : args) {
        if (a == QLatin1String("--quick")) {
            options.quick = true;
        } else if (a.startsWith(QLatin1String("--only="))) {
            options.only = a.mid(7);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h") || a.startsWith(u'-') ||
                   !folder.isEmpty()) {
            std::fprintf(stderr, "usage: pelloran-bench [--quick] [--only=NAME] [folder]\n");
            return a.startsWith(QLatin1String("--help")) || a == QLatin1String("-h") ? 0 : 2;
        } else {
            folder = a;
        }
    }
    QTemporaryDir temp;
    if (folder.isEmpty()) {
        if (!temp.isValid()) {
            std::fprintf(stderr, "pelloran-bench: cannot make a temporary folder\n");
            return 1;
        }
        options.root = temp.path();
    } else {
        // Figures on a folder that already holds rows would not be comparable.
        const QDir dir(folder);
        if (dir.exists() && !dir.isEmpty()) {
            std::fprintf(stderr, "pelloran-bench: %s is not empty\n",
                         QFile::encodeName(folder).constData());
            return 2;
        }
        QDir().mkpath(folder);
        options.root = QDir(folder).absolutePath();
    }
    try {
        if (options.wants(QStringLiteral("grid")))
            bench::runGridFigures(options);
        if (!options.only.startsWith(QLatin1String("grid")) &&
            !options.only.startsWith(QLatin1String("remaining")))
            bench::runDataFigures(options);
        if (options.wants(QStringLiteral("remaining-work")))
            bench::runRemainingWorkFigure(options);
    } catch (const PelloranError& e) {
        std::fprintf(stderr, "pelloran-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
