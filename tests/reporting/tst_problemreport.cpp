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

#include <QApplication>
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
        QCOMPARE(r.value(5), QStringLiteral("File: ExceptionDialog.cpp"));
        QCOMPARE(r.value(6), QStringLiteral("Module: ExceptionDialog"));
        QCOMPARE(r.value(7), QStringLiteral("Procedure: TExceptionDialog::CreateDetails()"));
        QVERIFY2(
            QRegularExpression(QStringLiteral("^Line: [1-9]\\d*$")).match(r.value(8)).hasMatch(),
            qPrintable(r.value(8)));
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

    void faultInChildIsShownAtNextStart() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   QStringLiteral("allow_user_segv_handler=1:detect_leaks=0"));
        child.setProcessEnvironment(env);
        child.start(QStringLiteral(CRASH_HELPER), {});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const QString file = dir.path() + QStringLiteral("/Pelloran/crash-report.txt");
        QVERIFY2(QFile::exists(file),
                 qPrintable(QString::fromLocal8Bit(child.readAllStandardError())));
        const auto crash = FaultHandler::readCrashFile(file);
        QVERIFY(crash);
        QCOMPARE(crash->className, QStringLiteral("SIGSEGV"));
        QVERIFY(crash->message.startsWith(QStringLiteral("Access violation at address ")));
        QVERIFY(crash->mainThread);
        QVERIFY(!crash->frames.isEmpty());
        QCOMPARE(crash->frames.front().address, crash->address);
        QVERIFY(!crash->modules.isEmpty());

        // The next start: the dialog opens with that report, then the file is gone.
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
        const QString oldName = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QStringLiteral("Pelloran"));
        QCOMPARE(crashReportFile(), file);
        QStringList report;
        whenDialogReady([&](TExceptionDialog* dlg) {
            report = dlg->ReportLines;
            dlg->btnDontSend->click();
        });
        showPendingCrashReport();
        QCoreApplication::setApplicationName(oldName);
        qunsetenv("XDG_DATA_HOME");

        QVERIFY(!QFile::exists(file));
        QVERIFY2(report.value(0).startsWith(QStringLiteral("Access violation at address ")),
                 qPrintable(report.value(0)));
        QCOMPARE(report.value(1), QStringLiteral("Exception class: SIGSEGV"));
        QCOMPARE(report.value(2),
                 QStringLiteral("Exception address: ") + formatCodeAddress(crash->address));
        const qsizetype stack = indexOf(report, QStringLiteral("Stack list, generated "));
        QVERIFY(stack > 0);
        // The faulting instruction first, resolved into the helper's own source.
        QVERIFY2(
            report.value(stack + 1).startsWith(u'[' + formatCodeAddress(crash->address) + u']') &&
                report.value(stack + 1).contains(QStringLiteral(
                    "crash_helper.crashNow(int volatile*) (Line 5, \"crash_helper.cpp\")")),
            qPrintable(report.value(stack + 1)));
        QVERIFY2(report.value(stack + 2).contains(QStringLiteral("crash_helper.main")),
                 qPrintable(report.value(stack + 2)));
        // The modules are those of the process that failed.
        QVERIFY(report.contains(QStringLiteral("[%1] %2").arg(
            QStringLiteral("%1")
                .arg(quint64(crash->modules.front().base), 8, 16, QLatin1Char('0'))
                .toUpper(),
            crash->modules.front().path)));
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
