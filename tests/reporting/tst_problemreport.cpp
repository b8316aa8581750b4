// The problem report: its text, the dialog's behaviour and the crash path.
#include "data/Errors.h"
#include "reporting/AddressResolver.h"
#include "reporting/ExceptionDialog.h"
#include "reporting/ExceptionTracking.h"
#include "reporting/FaultHandler.h"
#include "reporting/ProblemReport.h"
#include "reporting/ReportViewer.h"
#include "version.h"
#include "widgets/ErrorHandling.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WizardHeader.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <dlfcn.h>
#include <thread>

namespace {

int knownThrowLine = 0;

__attribute__((noinline)) void throwKnown(const QString& message) {
    knownThrowLine = __LINE__ + 1;
    throw PelloranError(message);
}

std::exception_ptr raise(const QString& message) {
    try {
        throwKnown(message);
    } catch (...) {
        return std::current_exception();
    }
    return {};
}

// Runs `check` on the dialog once it is shown modally and has its report.
void whenDialogReady(std::function<void(TExceptionDialog*)> check) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, check] {
        auto* dlg = qobject_cast<TExceptionDialog*>(QApplication::activeModalWidget());
        if (!dlg || !dlg->detailsCreated())
            return;
        timer->stop();
        timer->deleteLater();
        check(dlg);
    });
    timer->start();
}

qsizetype indexOf(const QStringList& lines, const QString& prefix, qsizetype from = 0) {
    for (qsizetype i = from; i < lines.size(); ++i)
        if (lines[i].startsWith(prefix))
            return i;
    return -1;
}

// The line of crash_helper.cpp marked "fails: <mode>".
int crashHelperLine(const QString& mode) {
    QFile source(QStringLiteral(CRASH_HELPER_SOURCE));
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    const QString mark = QStringLiteral("// fails: ") + mode;
    for (int line = 1; !source.atEnd(); ++line)
        if (QString::fromUtf8(source.readLine()).trimmed().endsWith(mark))
            return line;
    return 0;
}

// Runs crash_helper failing the given way, with its application data in
// `dataHome`; returns the crash file it was to write.
QString runCrashHelper(const QString& mode, const QString& dataHome, QProcess& child) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               QStringLiteral("allow_user_segv_handler=1:detect_leaks=0"));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(CRASH_HELPER), {mode});
    if (!child.waitForFinished(60000))
        child.kill();
    return dataHome + QStringLiteral("/Pelloran/crash-report.txt");
}

// The report the next start shows for the crash file under `dataHome`.
QStringList reportAtNextStart(const QString& dataHome) {
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
    const QString oldName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("Pelloran"));
    QStringList report;
    whenDialogReady([&](TExceptionDialog* dlg) {
        report = dlg->ReportLines;
        dlg->btnDontSend->click();
    });
    showPendingCrashReport();
    QCoreApplication::setApplicationName(oldName);
    qunsetenv("XDG_DATA_HOME");
    return report;
}

} // namespace

class TestProblemReport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { ExceptionTracking::start(); }
    void init() { Msg::takeShown(); }

    void messageLines_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("no full stop") << "Table is locked" << QStringList{"Table is locked."};
        QTest::newRow("full stop kept") << "Done." << QStringList{"Done."};
        QTest::newRow("two lines") << "First\nSecond" << QStringList{"First", "Second."};
        QTest::newRow("CR LF") << "First\r\nSecond." << QStringList{"First", "Second."};
    }
    void messageLines() {
        QFETCH(QString, message);
        QFETCH(QStringList, lines);
        QCOMPARE(ProblemReport::messageLines(message), lines);
    }

    void roundClockRate_data() {
        QTest::addColumn<int>("measured");
        QTest::addColumn<int>("shown");
        QTest::newRow("865") << 865 << 866;
        QTest::newRow("1004") << 1004 << 1000;
        QTest::newRow("743") << 743 << 750;
        QTest::newRow("999") << 999 << 1000;
        QTest::newRow("on a step") << 2133 << 2133;
        QTest::newRow("round hundred") << 2400 << 2400;
        QTest::newRow("tie goes up") << 1710 << 1720;
    }
    void roundClockRate() {
        QFETCH(int, measured);
        QFETCH(int, shown);
        QCOMPARE(ProblemReport::roundClockRate(measured), shown);
    }

    void stackRecordResolvesToOurSource() {
        raise(QStringLiteral("boom"));
        const auto record = ExceptionTracking::currentThreadRecord();
        QVERIFY(record);
        QVERIFY(!record->frames.empty());
        QVERIFY(record->time.secsTo(QDateTime::currentDateTime()) < 5);
        AddressResolver resolver;
        const QString top =
            stackLine(record->frames.front(), resolver.resolve(record->frames.front()));
        QVERIFY2(
            top.contains(QStringLiteral("tst_problemreport.")) &&
                top.contains(QStringLiteral(
                                 "throwKnown(QString const&) (Line %1, \"tst_problemreport.cpp\")")
                                 .arg(knownThrowLine)),
            qPrintable(top));
        // The caller comes next.
        const QString caller = stackLine(record->frames[1], resolver.resolve(record->frames[1]));
        QVERIFY2(caller.contains(QStringLiteral("raise(")), qPrintable(caller));
    }

    void throwsInsideTheRuntimeAreRecorded() {
        // Raised inside the C++ runtime library, which calls the hook through its own link.
        std::vector<int> empty;
        try {
            (void)empty.at(3);
        } catch (const std::out_of_range&) {
        }
        const auto record = ExceptionTracking::currentThreadRecord();
        QVERIFY(record && !record->frames.empty());
        AddressResolver resolver;
        Dl_info info{};
        QVERIFY(dladdr(reinterpret_cast<void*>(record->frames.front()), &info));
        QVERIFY2(QByteArray(info.dli_fname).contains("libstdc++"), info.dli_fname);
        // Further out, the test's own frame with its source line.
        QStringList lines;
        for (std::uintptr_t address : record->frames)
            lines << stackLine(address, resolver.resolve(address));
        QVERIFY2(lines.join(u'\n').contains(
                     QStringLiteral("throwsInsideTheRuntimeAreRecorded() (Line ")),
                 qPrintable(lines.join(u'\n')));
    }

    void recordsArePerThread() {
        raise(QStringLiteral("main"));
        const auto before = ExceptionTracking::currentThreadRecord();
        bool workerHadRecord = false;
        std::thread worker([&] {
            try {
                throw std::runtime_error("worker");
            } catch (...) {
            }
            workerHadRecord = ExceptionTracking::currentThreadRecord().has_value();
        });
        worker.join();
        QVERIFY(workerHadRecord);
        QCOMPARE(ExceptionTracking::currentThreadRecord()->frames, before->frames);
    }

    void focusBlock() {
        QCOMPARE(ProblemReport::focusBlock(nullptr), (QStringList{"ActiveControl:", ""}));
        QWidget form;
        form.setObjectName(QStringLiteral("frmHost"));
        QWidget panel(&form);
        auto* edit = new QLineEdit(&panel);
        edit->setObjectName(QStringLiteral("txtName"));
        QCOMPARE(ProblemReport::focusBlock(edit),
                 (QStringList{"ActiveControl:", "QLineEdit \"txtName\"", "QWidget \"\"",
                              "QWidget \"frmHost\"", ""}));
    }

    void moduleBlockSortedWithVersions() {
        const QList<ProblemReport::ModuleInfo> modules{
            {0x7f0000, QStringLiteral("/usr/lib/Zeta.so")},
            {0x10, QStringLiteral("/usr/lib/libalpha.so.1.2.3")},
            {0x400000, QStringLiteral("/USR/lib/beta.so")}};
        const QStringList block = ProblemReport::moduleBlock(modules);
        QCOMPARE(block, (QStringList{"List of loaded modules:", "[00400000] /USR/lib/beta.so",
                                     "[00000010] /usr/lib/libalpha.so.1.2.3",
                                     "           1.2.3.0 - 1.2.3", "[007F0000] /usr/lib/Zeta.so"}));
        // Our own program carries the build's version and a description.
        const QStringList own = ProblemReport::moduleBlock({{0x1000, ownExecutablePath()}});
        QCOMPARE(own.value(2),
                 QStringLiteral("           %1 - %1").arg(QStringLiteral(PELLORAN_FILE_VERSION)));
        QCOMPARE(own.value(3), QStringLiteral("           Pelloran"));
    }

    void stackLineForms() {
        SourceLocation none;
        const QString addr = u'[' + formatCodeAddress(0x1234) + u']';
        QCOMPARE(stackLine(0x1234, none), addr);
        SourceLocation exported;
        exported.procedure = QStringLiteral("qt_fn");
        QCOMPARE(stackLine(0x1234, exported), addr + QStringLiteral(" qt_fn"));
        SourceLocation full{QStringLiteral("Unit"), QStringLiteral("f()"),
                            QStringLiteral("Unit.cpp"), 7};
        QCOMPARE(stackLine(0x1234, full),
                 addr + QStringLiteral(" Unit.f() (Line 7, \"Unit.cpp\")"));
        full.line = 0;
        QCOMPARE(stackLine(0x1234, full), addr + QStringLiteral(" Unit.f()"));
    }

    void cloneSuffixesAreLeftOut_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain") << "TdmProjects::ChangeTask(QString const&, QVariant const&)"
                               << "TdmProjects::ChangeTask(QString const&, QVariant const&)";
        QTest::newRow("constprop") << "(anonymous namespace)::throwKnown(QString const&) [clone "
                                      ".constprop.0]"
                                   << "(anonymous namespace)::throwKnown(QString const&)";
        QTest::newRow("two clones") << "f(int) [clone .isra.0] [clone .cold]"
                                    << "f(int)";
        QTest::newRow("C name, part") << "helper.part.0"
                                      << "helper";
        QTest::newRow("C name, constprop and isra") << "helper.constprop.0.isra.0"
                                                    << "helper";
        QTest::newRow("C name, cold") << "helper.cold"
                                      << "helper";
        QTest::newRow("a dot that is no clone") << "file.name"
                                                << "file.name";
    }
    void cloneSuffixesAreLeftOut() {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        QCOMPARE(withoutCloneSuffixes(name), shown);
    }

    void dialogLayoutFits() {
        TExceptionDialog dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.size(), QSize(400, 358));
        QCOMPARE(dlg.font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(dlg.font().pointSize(), 8);
        QVERIFY(dlg.lblPleaseTell->font().bold());
        QCOMPARE(dlg.lblPleaseTell->font().pointSize(), 8);

        // The header strip across the top, its caption showing.
        QCOMPARE(dlg.header->geometry(), QRect(0, 0, 400, 42));
        auto* caption = dlg.header->findChild<QLabel*>(QStringLiteral("FCaptionLabel"));
        QVERIFY(caption && caption->isVisible());
        QCOMPARE(caption->text().trimmed(), QStringLiteral("Pelloran Error"));
        QVERIFY(dlg.header->rect().contains(caption->geometry()));
        QVERIFY(caption->height() >= caption->sizeHint().height());

        const QList<QWidget*> controls{dlg.header,        dlg.lblApology,   dlg.lblPleaseTell,
                                       dlg.lblReportInfo, dlg.lblSeeReport, dlg.lblReportLink,
                                       dlg.lblProblem,    dlg.memProblem,   dlg.lblEmail,
                                       dlg.txtEmail,      dlg.btnSend,      dlg.btnDontSend};
        for (QWidget* w : controls) {
            const QString where = QStringLiteral("%1 at %2,%3 %4x%5")
                                      .arg(w->objectName())
                                      .arg(w->x())
                                      .arg(w->y())
                                      .arg(w->width())
                                      .arg(w->height());
            QVERIFY2(w->isVisible() && !w->geometry().isEmpty(), qPrintable(where));
            QVERIFY2(dlg.rect().contains(w->geometry()), qPrintable(where));
            // Room for the whole text: wrapped labels their height, the rest their size.
            if (auto* label = qobject_cast<QLabel*>(w); label && label->wordWrap())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                         qPrintable(where));
            else if (w != dlg.header && w != dlg.memProblem && w != dlg.txtEmail)
                QVERIFY2(w->width() >= w->sizeHint().width() &&
                             w->height() >= w->minimumSizeHint().height(),
                         qPrintable(where));
        }
        for (qsizetype i = 0; i < controls.size(); ++i)
            for (qsizetype j = i + 1; j < controls.size(); ++j)
                QVERIFY2(!controls[i]->geometry().intersects(controls[j]->geometry()),
                         qPrintable(controls[i]->objectName() + QStringLiteral(" overlaps ") +
                                    controls[j]->objectName()));
        QCOMPARE(dlg.memProblem->size(), QSize(393, 65));
    }

    void fullReportFromKnownException() {
        QWidget form;
        form.setObjectName(QStringLiteral("frmHost"));
        auto* edit = new QLineEdit(&form);
        edit->setObjectName(QStringLiteral("txtName"));
        const auto error = raise(QStringLiteral("Disk full"));
        const auto record = ExceptionTracking::currentThreadRecord();

        TExceptionDialog dlg;
        dlg.LastActiveControl = edit;
        dlg.setException(error, record);
        dlg.show();
        QTRY_VERIFY(dlg.detailsCreated());
        const QStringList& r = dlg.ReportLines;

        QCOMPARE(r.mid(0, 5),
                 (QStringList{"Disk full.", "Exception class: PelloranError",
                              "Exception address: " + formatCodeAddress(record->frames.front()),
                              "IsMainThread: True", ""}));
        // The location is where the error was raised, not where the report is made.
        QVERIFY(knownThrowLine > 0);
        QCOMPARE(r.value(5), QStringLiteral("File: tst_problemreport.cpp"));
        QCOMPARE(r.value(6), QStringLiteral("Module: tst_problemreport"));
        QCOMPARE(r.value(7),
                 QStringLiteral("Procedure: (anonymous namespace)::throwKnown(QString const&)"));
        QCOMPARE(r.value(8), QStringLiteral("Line: %1").arg(knownThrowLine));
        QCOMPARE(r.value(9), QString());
        QVERIFY(r.value(10).startsWith(QStringLiteral("Stack list, generated ")));
        QVERIFY2(r.value(11).contains(QStringLiteral("throwKnown")), qPrintable(r.value(11)));

        const qsizetype focus = r.indexOf(QStringLiteral("ActiveControl:"));
        QVERIFY(focus > 11);
        QCOMPARE(r.mid(focus + 1, 3),
                 (QStringList{"QLineEdit \"txtName\"", "QWidget \"frmHost\"", ""}));
        QVERIFY2(QRegularExpression(
                     QStringLiteral("^OS: Linux, Version: \\d+\\.\\d+, Build: [0-9A-F]+, \".*\"$"))
                     .match(r.value(focus + 4))
                     .hasMatch(),
                 qPrintable(r.value(focus + 4)));
        QVERIFY(r.value(focus + 5).startsWith(QStringLiteral("Processor: ")));
        QVERIFY(QRegularExpression(QStringLiteral("^Screen: \\d+x\\d+ pixels, \\d+ bpp$"))
                    .match(r.value(focus + 6))
                    .hasMatch());
        QCOMPARE(r.value(focus + 7), QString());
        QCOMPARE(r.value(focus + 8), QStringLiteral("List of loaded modules:"));

        // Module lines in case-insensitive path order, ours among them.
        QStringList paths;
        for (qsizetype i = focus + 9; i < r.size(); ++i)
            if (r[i].startsWith(u'['))
                paths << r[i].section(u' ', 1);
            else
                QVERIFY(r[i].startsWith(QString(11, u' ')));
        QVERIFY(paths.contains(ownExecutablePath()));
        QStringList sorted = paths;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return QString::compare(a, b, Qt::CaseInsensitive) < 0;
        });
        QCOMPARE(paths, sorted);
        QVERIFY(ProblemReport::joinReport(r).endsWith(r.last() + QStringLiteral("\r\n")));
    }

    void enterMakesNewLineEscIsDontSend() {
        TExceptionDialog dlg;
        dlg.setException(raise(QStringLiteral("x")), ExceptionTracking::currentThreadRecord());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.memProblem->setFocus();
        QTest::keyClicks(dlg.memProblem, QStringLiteral("one"));
        QTest::keyClick(dlg.memProblem, Qt::Key_Return);
        QTest::keyClicks(dlg.memProblem, QStringLiteral("two"));
        QCOMPARE(dlg.memProblem->toPlainText(), QStringLiteral("one\ntwo"));
        QVERIFY(dlg.isVisible());
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }

    void viewersBelongToTheDialog() {
        auto dlg = std::make_unique<TExceptionDialog>();
        dlg->ReportLines = QStringList{"Disk full.", "", "last"};
        QList<QPointer<TfrmViewErrorReport>> seen;
        for (int i = 0; i < 2; ++i) {
            QTimer::singleShot(0, dlg.get(), [&] {
                auto* viewer =
                    qobject_cast<TfrmViewErrorReport*>(QApplication::activeModalWidget());
                QVERIFY(viewer);
                seen << viewer;
                QCOMPARE(viewer->memReport->toPlainText(), QStringLiteral("Disk full.\n\nlast"));
                QVERIFY(viewer->memReport->isReadOnly());
                QCOMPARE(viewer->windowTitle(), QStringLiteral("View Error Report"));
                viewer->btnOK->click();
            });
            dlg->lblReportLinkClick();
        }
        QCOMPARE(seen.size(), 2);
        QVERIFY(seen[0] && seen[1] && seen[0] != seen[1]);
        dlg.reset();
        QVERIFY(!seen[0] && !seen[1]);
    }

    void secondErrorShowsPlainBox() {
        ErrorHandling::setUnexpectedHandler(&ExceptionHandler);
        bool checked = false;
        whenDialogReady([&](TExceptionDialog* dlg) {
            Msg::pushAnswer(Msg::Answer::Ok);
            // An error while the dialog is up, as from one of its own actions.
            dlg->guarded([] { throwKnown(QStringLiteral("Second problem")); });
            const auto shown = Msg::takeShown();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].kind, Msg::Kind::PlainError);
            QCOMPARE(shown[0].text, QStringLiteral("Second problem."));
            QVERIFY(dlg->isVisible());
            QVERIFY(InExceptionHandler());
            checked = true;
            dlg->btnDontSend->click();
        });
        ErrorHandling::handleUnexpected(raise(QStringLiteral("First problem")));
        ErrorHandling::setUnexpectedHandler({});
        QVERIFY(checked);
        QVERIFY(!InExceptionHandler());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void failureInChildIsShownAtNextStart_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("message"); // how the first report line starts
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<bool>("failsInOurCode"); // the first stack entry is the failing line
        QTest::newRow("processor fault") << "segv"
                                         << "SIGSEGV"
                                         << "Access violation at address "
                                         << "crashNow(int volatile*)" << true;
        QTest::newRow("std::terminate") << "terminate"
                                        << "PelloranError"
                                        << "Nobody caught this."
                                        << "raiseUnhandled()" << true;
        QTest::newRow("qFatal") << "fatal"
                                << "SIGABRT"
                                << "Broken promise."
                                << "failFatally(char const*)" << false;
    }
    void failureInChildIsShownAtNextStart() {
        QFETCH(QString, mode);
        QFETCH(QString, className);
        QFETCH(QString, message);
        QFETCH(QString, procedure);
        QFETCH(bool, failsInOurCode);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess child;
        const QString file = runCrashHelper(mode, dir.path(), child);
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QVERIFY2(QFile::exists(file),
                 qPrintable(QString::fromLocal8Bit(child.readAllStandardError())));
        const auto crash = FaultHandler::readCrashFile(file);
        QVERIFY(crash);
        QCOMPARE(crash->className, className);
        QVERIFY2(QString(crash->message + u'.').startsWith(message), qPrintable(crash->message));
        QVERIFY(crash->mainThread);
        QVERIFY(!crash->frames.isEmpty());
        QCOMPARE(crash->frames.front().address, crash->address);
        QVERIFY(!crash->modules.isEmpty());
        QVERIFY(!crash->buildId.isEmpty());
        QCOMPARE(crash->buildId, FaultHandler::buildIdOfFile(QStringLiteral(CRASH_HELPER)));

        // The next start: the dialog opens with that report, then the file is gone.
        const QStringList report = reportAtNextStart(dir.path());
        QVERIFY(!QFile::exists(file));
        QVERIFY2(report.value(0).startsWith(message), qPrintable(report.value(0)));
        QCOMPARE(report.value(1), QStringLiteral("Exception class: ") + className);
        QCOMPARE(report.value(2),
                 QStringLiteral("Exception address: ") + formatCodeAddress(crash->address));
        // The location names the failing line of our own source.
        const int line = crashHelperLine(mode);
        QVERIFY(line > 0);
        QCOMPARE(report.mid(5, 5), (QStringList{"File: crash_helper.cpp", "Module: crash_helper",
                                                "Procedure: " + procedure,
                                                QStringLiteral("Line: %1").arg(line), ""}));
        const qsizetype stack = indexOf(report, QStringLiteral("Stack list, generated "));
        QCOMPARE(stack, 10);
        const QString failing = QStringLiteral("crash_helper.%1 (Line %2, \"crash_helper.cpp\")")
                                    .arg(procedure)
                                    .arg(line);
        QVERIFY2(
            report.value(stack + 1).startsWith(u'[' + formatCodeAddress(crash->address) + u']'),
            qPrintable(report.value(stack + 1)));
        qsizetype at = stack + 1;
        while (at < report.size() && !report[at].isEmpty() && !report[at].endsWith(failing))
            ++at;
        QVERIFY2(at < report.size() && report[at].endsWith(failing),
                 qPrintable(report.mid(stack, 12).join(u'\n')));
        if (failsInOurCode)
            QCOMPARE(at, stack + 1);
        // Outward of it, the caller.
        qsizetype caller = at + 1;
        while (caller < report.size() && !report[caller].isEmpty() &&
               !report[caller].contains(QStringLiteral("crash_helper.main")))
            ++caller;
        QVERIFY2(report.value(caller).contains(QStringLiteral("crash_helper.main")),
                 qPrintable(report.mid(stack, 12).join(u'\n')));
        // The modules are those of the process that failed.
        QVERIFY(report.contains(QStringLiteral("[%1] %2").arg(
            QStringLiteral("%1")
                .arg(quint64(crash->modules.front().base), 8, 16, QLatin1Char('0'))
                .toUpper(),
            crash->modules.front().path)));
    }

    void secondFaultWhileWalkingStillLeavesTheReport() {
#if !defined(__x86_64__)
        QSKIP("The helper's broken frame is written for x86-64");
#endif
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess child;
        const QString file = runCrashHelper(QStringLiteral("broken-walk"), dir.path(), child);
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        const auto crash = FaultHandler::readCrashFile(file);
        QVERIFY2(crash, qPrintable(QString::fromLocal8Bit(child.readAllStandardError())));
        QCOMPARE(crash->className, QStringLiteral("SIGSEGV"));
        QVERIFY(crash->message.startsWith(QStringLiteral("Access violation at address ")));
        QVERIFY(!crash->modules.isEmpty());
        // The walk died on the broken frame: only the faulting instruction is known.
        QCOMPARE(crash->frames.size(), 1);
        QCOMPARE(crash->frames.front().address, crash->address);

        const QStringList report = reportAtNextStart(dir.path());
        const qsizetype stack = indexOf(report, QStringLiteral("Stack list, generated "));
        QVERIFY(stack > 0);
        QVERIFY2(
            report.value(stack + 1).startsWith(u'[' + formatCodeAddress(crash->address) + u']') &&
                report.value(stack + 1).contains(QStringLiteral("faultWithBrokenFrame")),
            qPrintable(report.value(stack + 1)));
        QCOMPARE(report.value(stack + 2), QString());
    }

    void crashOfAnotherBuildIsNotResolved_data() {
        QTest::addColumn<QByteArray>("buildIdLine"); // replaces the recorded one; empty: none
        QTest::newRow("another build") << QByteArray("buildid 0123456789abcdef\n");
        QTest::newRow("no build id") << QByteArray();
    }
    void crashOfAnotherBuildIsNotResolved() {
        QFETCH(QByteArray, buildIdLine);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess child;
        const QString file = runCrashHelper(QStringLiteral("segv"), dir.path(), child);
        QFile crashFile(file);
        QVERIFY(crashFile.open(QIODevice::ReadOnly));
        QByteArray text;
        bool replaced = false;
        while (!crashFile.atEnd()) {
            const QByteArray line = crashFile.readLine();
            if (line.startsWith("buildid ")) {
                text += buildIdLine;
                replaced = true;
            } else {
                text += line;
            }
        }
        crashFile.close();
        QVERIFY(replaced);
        QVERIFY(crashFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        crashFile.write(text);
        crashFile.close();
        const auto crash = FaultHandler::readCrashFile(file);
        QVERIFY(crash);

        const QStringList report = reportAtNextStart(dir.path());
        // The program's addresses are shown, not looked up in a file they do not belong to.
        QCOMPARE(report.mid(5, 5),
                 (QStringList{"File: ", "Module: ", "Procedure: ", "Line: 0", ""}));
        QCOMPARE(report.value(11), u'[' + formatCodeAddress(crash->address) + u']');
        QVERIFY(!report.join(u'\n').contains(QStringLiteral("crash_helper.cpp")));
    }

    void buildIds() {
        const QByteArray own = FaultHandler::ownBuildId();
        QVERIFY(own.size() >= 16);
        QCOMPARE(FaultHandler::buildIdOfFile(ownExecutablePath()), own);
        const QByteArray helper = FaultHandler::buildIdOfFile(QStringLiteral(CRASH_HELPER));
        QVERIFY(!helper.isEmpty() && helper != own);
        QVERIFY(FaultHandler::buildIdOfFile(QStringLiteral(CRASH_HELPER_SOURCE)).isEmpty());
    }

    void noCrashFileNoDialog() {
        QTemporaryDir dir;
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
        showPendingCrashReport(); // would block on a modal dialog if it opened one
        qunsetenv("XDG_DATA_HOME");
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestProblemReport)
#include "tst_problemreport.moc"
