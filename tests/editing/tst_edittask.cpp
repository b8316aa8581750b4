// The task editor driven through its own event loop: the OK sequence with its
// messages and the feature question, defaults, time boxes, estimates, the
// "..." feature button, awkward names, and a task deleted by another copy.
#include "editing/EditFeature.h"
#include "editing/EditTask.h"
#include "editing/TimeSpinBox.h"
#include "widgets/LookupCombo.h"

#include "EditingFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

using Script = std::function<void(TfrmEditTask*)>;
Q_DECLARE_METATYPE(Script)

namespace {
const QString kNoFeature = QStringLiteral("You must specify a feature name.");
const QString kNoTaskName = QStringLiteral("You must specify a task name.");

QString question(const QString& feature) {
    return QStringLiteral("This project does not have the feature \"") + feature +
           QStringLiteral("\". Would you like to add it now?");
}
QStringList texts(const QList<Msg::Shown>& shown) {
    QStringList t;
    for (const Msg::Shown& s : shown)
        t << s.title + u'|' + s.text;
    return t;
}
void clickOK(TfrmEditTask* d) {
    QTest::mouseClick(d->btnOK, Qt::LeftButton);
}
} // namespace

class TestEditTask : public QObject {
    Q_OBJECT
    std::unique_ptr<EditingFixture> f;

    // The one task of the tasks table (0 when there is none) and its field.
    QVariant storedTaskField(const QString& field) {
        DbTable t(f->conn(), QStringLiteral("Tasks"));
        t.open();
        return t.hasCurrent() ? t.fieldByName(field).value() : QVariant();
    }
    QString featureNameOf(int featureID) {
        auto r = f->row(QStringLiteral("Features"), QStringLiteral("Feature ID"), featureID);
        return r ? r->fieldByName(QStringLiteral("Name")).asString() : QString();
    }

private slots:
    void init() { f = std::make_unique<EditingFixture>(); }
    void cleanup() { f.reset(); }

    void okSequence_data();
    void okSequence();
    void newTaskDefaults_data();
    void newTaskDefaults();
    void negativeTimeBecomesZeroSilently_data();
    void negativeTimeBecomesZeroSilently();
    void oneEstimateBoxIsLocked_data();
    void oneEstimateBoxIsLocked();
    void estimatesOnSave_data();
    void estimatesOnSave();
    void okRerunsTheScheduleOnTheTaskCancelDoesNot();
    void noProjectOpensNothing();
    void missingTaskOpensNothing();
    void taskDeletedMeanwhileSavesNothing();
    void featureDeletedShowsEmptyFeatureBox();
    void addFeatureButton_data();
    void addFeatureButton();
    void awkwardNamesAreStoredExactly_data();
    void awkwardNamesAreStoredExactly();
    void failedHistoryRowKeepsTheTaskUnchanged();
};

void TestEditTask::okSequence_data() {
    QTest::addColumn<QString>("feature");  // typed into the feature box
    QTest::addColumn<QString>("taskName"); // typed into the task name box
    QTest::addColumn<int>("answer");       // the answer to the one box expected, -1: none
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("focus");        // focused box when the dialog stays open
    QTest::addColumn<QString>("savedFeature"); // feature of the saved task; empty: nothing saved
    QTest::addColumn<int>("features");         // features of Apollo afterwards
    QTest::addColumn<QString>("error");        // what reached the error handler

    const int none = -1, yes = int(Msg::Answer::Yes), no = int(Msg::Answer::No),
              ok = int(Msg::Answer::Ok);
    const QString q = QStringLiteral("Add new feature?|");
    QTest::newRow("blank feature, before the task name")
        << "   "
        << "" << ok << QStringList{u"Pelloran|" + kNoFeature} << "cmbFeature"
        << "" << 2 << "";
    QTest::newRow("blank task name")
        << "Accounts"
        << "  " << ok << QStringList{u"Pelloran|" + kNoTaskName} << "txtTaskName"
        << "" << 2 << "";
    QTest::newRow("existing feature") << "Billing"
                                      << "Invoices" << none << QStringList{} << ""
                                      << "Billing" << 2 << "";
    QTest::newRow("unknown feature, No")
        << "Reports"
        << "Monthly" << no << QStringList{q + question("Reports")} << ""
        << "" << 2 << "";
    QTest::newRow("unknown feature, Yes")
        << "Reports"
        << "Monthly" << yes << QStringList{q + question("Reports")} << ""
        << "Reports" << 3 << "";
    QTest::newRow("leading blank makes another feature")
        << " Accounts"
        << "T" << yes << QStringList{q + question(" Accounts")} << ""
        << " Accounts" << 3 << "";
    // Sound behaviour: the field keeps no trailing blanks, so neither does the name looked up.
    QTest::newRow("trailing blanks name the feature") << "Accounts  "
                                                      << "T" << none << QStringList{} << ""
                                                      << "Accounts" << 2 << "";
    // Sound behaviour: the existence test ignores case, so the lookup takes that feature.
    QTest::newRow("other letter case names the feature") << "bILLING"
                                                         << "T" << none << QStringList{} << ""
                                                         << "Billing" << 2 << "";
    QTest::newRow("feature of another project is unknown here")
        << "Elsewhere"
        << "T" << no << QStringList{q + question("Elsewhere")} << ""
        << "" << 2 << "";
}

void TestEditTask::okSequence() {
    QFETCH(QString, feature);
    QFETCH(QString, taskName);
    QFETCH(int, answer);
    QFETCH(QStringList, shown);
    QFETCH(QString, focus);
    QFETCH(QString, savedFeature);
    QFETCH(int, features);
    QFETCH(QString, error);

    if (answer >= 0)
        Msg::pushAnswer(Msg::Answer(answer));
    bool open = false;
    QString focused;
    QVERIFY(whileModal<TfrmEditTask>([] { AddTask(); },
                                     [&](TfrmEditTask* d) {
                                         typeInto(d->cmbFeature->lineEdit(), feature);
                                         typeInto(d->txtTaskName, taskName);
                                         clickOK(d);
                                         if (QApplication::focusWidget())
                                             focused = QApplication::focusWidget()->objectName();
                                         if (d->isVisible()) // everything stays as typed
                                             QCOMPARE(d->cmbFeature->currentText(), feature);
                                     },
                                     &open));
    QCOMPARE(texts(Msg::takeShown()), shown);
    QCOMPARE(f->errors.join(u'\n'), error);
    QCOMPARE(open, savedFeature.isEmpty());
    if (open)
        QCOMPARE(focused, focus.isEmpty() ? QStringLiteral("btnOK") : focus);
    QCOMPARE(f->count(QStringLiteral("select count(*) from features where \"Project ID\" = ") +
                      QString::number(f->apollo)),
             features);
    if (savedFeature.isEmpty()) {
        QCOMPARE(f->count(QStringLiteral("select count(*) from tasks")), 0);
        return;
    }
    QCOMPARE(featureNameOf(storedTaskField(QStringLiteral("Feature ID")).toInt()), savedFeature);
    QCOMPARE(storedTaskField(QStringLiteral("Name")).toString(), taskName);
}

void TestEditTask::newTaskDefaults_data() {
    QTest::addColumn<bool>("onZephyr");
    QTest::addColumn<QString>("developer");
    QTest::newRow("project without a default developer") << false << "Mia Example";
    QTest::newRow("project with a default developer") << true << "Olaf Other";
}

void TestEditTask::newTaskDefaults() {
    QFETCH(bool, onZephyr);
    QFETCH(QString, developer);
    if (onZephyr)
        QVERIFY(f->projects->dbProjects->locate(QStringLiteral("Project ID"), f->zephyr));
    QVERIFY(whileModal<TfrmEditTask>(
        [] { AddTask(); },
        [&](TfrmEditTask* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Add Task"));
            QCOMPARE(d->helpContext(), 2000);
            QCOMPARE(d->cmbPriority->currentText(), QStringLiteral("Normal"));
            QCOMPARE(d->cmbStatus->currentText(), QStringLiteral("Not Started"));
            QCOMPARE(d->txtElapsedTime->value(), 0.0);
            QCOMPARE(d->cmbDeveloper->currentText(), developer);
            QCOMPARE(d->cmbFeature->currentText(), QString());
            QCOMPARE(QApplication::focusWidget(), d->cmbFeature);
            QVERIFY(!d->txtCurrentEstimate->isEnabled());
            QVERIFY(d->txtOriginalEstimate->isEnabled());
            typeInto(d->txtOriginalEstimate, QStringLiteral("6"));
            QCOMPARE(d->txtCurrentEstimate->value(), 6.0);
            QCOMPARE(d->txtCurrentEstimate->text(), QStringLiteral("6"));
        }));
}

void TestEditTask::negativeTimeBecomesZeroSilently_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("original"); // of the task being edited
    QTest::newRow("original estimate") << "txtOriginalEstimate" << 0.0;
    QTest::newRow("current estimate") << "txtCurrentEstimate" << 8.0;
    QTest::newRow("elapsed time") << "txtElapsedTime" << 0.0;
}

void TestEditTask::negativeTimeBecomesZeroSilently() {
    QFETCH(QString, box);
    QFETCH(double, original);
    const int task = f->addTask({{"Original Estimate", original}});
    QVERIFY(whileModal<TfrmEditTask>(
        [&] { EditTaskID(task); },
        [&](TfrmEditTask* d) {
            auto* spin = d->findChild<TimeSpinBox*>(box);
            QVERIFY(spin && spin->isEnabled());
            typeInto(spin, QStringLiteral("-3"));
            QTest::keyClick(spin, Qt::Key_Tab); // leaving the box settles the entry
            QCOMPARE(spin->value(), 0.0);
            QCOMPARE(spin->text(), QStringLiteral("0"));
        }));
    QVERIFY(Msg::takeShown().isEmpty());
}

void TestEditTask::oneEstimateBoxIsLocked_data() {
    QTest::addColumn<QVariant>("original");
    QTest::addColumn<bool>("originalEditable");
    QTest::newRow("original 8") << QVariant(8.0) << false;
    QTest::newRow("original 0") << QVariant(0.0) << true;
    QTest::newRow("original empty") << QVariant() << true;
}

void TestEditTask::oneEstimateBoxIsLocked() {
    QFETCH(QVariant, original);
    QFETCH(bool, originalEditable);
    const int task = f->addTask({{"Original Estimate", original}});
    QVERIFY(whileModal<TfrmEditTask>(
        [&] { EditTaskID(task); },
        [&](TfrmEditTask* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Edit Task"));
            QCOMPARE(d->txtOriginalEstimate->isEnabled(), originalEditable);
            QCOMPARE(d->txtCurrentEstimate->isEnabled(), !originalEditable);
        }));
}

void TestEditTask::estimatesOnSave_data() {
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QVariant>("original"); // of the task being edited
    QTest::addColumn<QString>("typeOriginal");
    QTest::addColumn<QString>("typeElapsed");
    QTest::addColumn<double>("storedOriginal");
    QTest::addColumn<double>("storedCurrent");
    // Edited tasks start with current estimate 5 and elapsed time 3.
    QTest::newRow("elapsed above current raises it") << false << QVariant(8.0) << ""
                                                     << "7" << 8.0 << 7.0;
    QTest::newRow("elapsed equal to current keeps it") << false << QVariant(8.0) << ""
                                                       << "5" << 8.0 << 5.0;
    QTest::newRow("original typed once, current follows") << false << QVariant() << "6"
                                                          << "" << 6.0 << 6.0;
    QTest::newRow("new task: current is the original") << true << QVariant() << "4"
                                                       << "6" << 4.0 << 4.0;
    QTest::newRow("new task without estimate") << true << QVariant() << ""
                                               << "" << 0.0 << 0.0;
}

void TestEditTask::estimatesOnSave() {
    QFETCH(bool, adding);
    QFETCH(QVariant, original);
    QFETCH(QString, typeOriginal);
    QFETCH(QString, typeElapsed);
    QFETCH(double, storedOriginal);
    QFETCH(double, storedCurrent);
    const int task = adding ? 0 : f->addTask({{"Original Estimate", original}});
    bool open = true;
    whileModal<TfrmEditTask>(
        [&] {
            if (adding)
                AddTask();
            else
                EditTaskID(task);
        },
        [&](TfrmEditTask* d) {
            typeInto(d->cmbFeature->lineEdit(), QStringLiteral("Accounts"));
            typeInto(d->txtTaskName, QStringLiteral("Alpha"));
            if (!typeOriginal.isEmpty())
                typeInto(d->txtOriginalEstimate, typeOriginal);
            if (!typeElapsed.isEmpty())
                typeInto(d->txtElapsedTime, typeElapsed);
            clickOK(d);
        },
        &open);
    QVERIFY(!open);
    QCOMPARE(storedTaskField(QStringLiteral("Original Estimate")).toDouble(), storedOriginal);
    QCOMPARE(storedTaskField(QStringLiteral("Current Estimate")).toDouble(), storedCurrent);
}

void TestEditTask::okRerunsTheScheduleOnTheTaskCancelDoesNot() {
    const int first = f->addTask({{"Name", "First"}, {"Priority", 1}});
    const int second = f->addTask({{"Name", "Second"}, {"Priority", 2}});
    DbQuery* schedule = f->projects->sqlSchedule;
    schedule->close();
    schedule->open();
    QCOMPARE(schedule->fieldByName(QStringLiteral("Task ID")).asInteger(), first);
    int runs = 0;
    connect(schedule, &DbDataset::afterOpen, this, [&] { ++runs; });

    whileModal<TfrmEditTask>(
        [&] { EditTaskID(second); },
        [](TfrmEditTask* d) { QTest::mouseClick(d->btnCancel, Qt::LeftButton); });
    QCOMPARE(runs, 0);

    whileModal<TfrmEditTask>([&] { EditTaskID(second); },
                             [](TfrmEditTask* d) {
                                 typeInto(d->txtTaskName, QStringLiteral("Second, renamed"));
                                 clickOK(d);
                             });
    QCOMPARE(runs, 1);
    QCOMPARE(schedule->fieldByName(QStringLiteral("Task ID")).asInteger(), second);
    QCOMPARE(schedule->fieldByName(QStringLiteral("Task")).asString(),
             QStringLiteral("Second, renamed"));

    int added = 0;
    whileModal<TfrmEditTask>([] { AddTask(); },
                             [&](TfrmEditTask* d) {
                                 typeInto(d->cmbFeature->lineEdit(), QStringLiteral("Billing"));
                                 typeInto(d->txtTaskName, QStringLiteral("Third"));
                                 clickOK(d);
                                 added = d->taskID();
                             });
    QVERIFY(added != 0);
    QCOMPARE(runs, 2);
    QCOMPARE(schedule->fieldByName(QStringLiteral("Task ID")).asInteger(), added);
}

void TestEditTask::noProjectOpensNothing() {
    f->conn().execute(QStringLiteral("delete from projects"));
    f->projects->dbProjects->refresh();
    QVERIFY(!whileModal<TfrmEditTask>([] { AddTask(); }, [](TfrmEditTask*) {}));
    QCOMPARE(f->count(QStringLiteral("select count(*) from tasks")), 0);
}

void TestEditTask::missingTaskOpensNothing() {
    const int task = f->addTask({});
    QVERIFY(!whileModal<TfrmEditTask>([&] { EditTaskID(task + 1); }, [](TfrmEditTask*) {}));
    QVERIFY(!whileModal<TfrmEditTask>([] { EditTaskID(0); }, [](TfrmEditTask*) {}));
    QVERIFY(Msg::takeShown().isEmpty());
}

void TestEditTask::taskDeletedMeanwhileSavesNothing() {
    const int task = f->addTask({});
    const int kept = f->addTask({{"Name", "Kept"}});
    Msg::pushAnswer(Msg::Answer::Ok);
    bool open = true;
    QVERIFY(whileModal<TfrmEditTask>(
        [&] { EditTaskID(task); },
        [&](TfrmEditTask* d) {
            typeInto(d->txtTaskName, QStringLiteral("Renamed"));
            // Another copy of the program deletes the task now.
            f->conn().execute(QStringLiteral("delete from tasks where \"Task ID\" = ?"), {task});
            clickOK(d);
        },
        &open));
    QVERIFY(!open);
    QCOMPARE(texts(Msg::takeShown()),
             QStringList{QStringLiteral("Pelloran|This task has been deleted by another user.")});
    QVERIFY(f->errors.isEmpty());
    QCOMPARE(f->count(QStringLiteral("select count(*) from tasks")), 1);
    QVERIFY(f->history(task).isEmpty());
    // The schedule was run again without the deleted task.
    QCOMPARE(f->projects->sqlSchedule->fieldByName(QStringLiteral("Task ID")).asInteger(), kept);
}

void TestEditTask::featureDeletedShowsEmptyFeatureBox() {
    const int task = f->addTask({{"Feature ID", f->billing}});
    f->conn().execute(QStringLiteral("delete from features where \"Feature ID\" = ?"),
                      {f->billing});
    Msg::pushAnswer(Msg::Answer::Ok);
    QVERIFY(whileModal<TfrmEditTask>([&] { EditTaskID(task); },
                                     [](TfrmEditTask* d) {
                                         QCOMPARE(d->cmbFeature->currentText(), QString());
                                         QCOMPARE(d->cmbFeature->count(),
                                                  1); // Accounts is still listed
                                         clickOK(d);
                                         QVERIFY(d->isVisible());
                                     }));
    QCOMPARE(texts(Msg::takeShown()), QStringList{u"Pelloran|" + kNoFeature});
}

void TestEditTask::addFeatureButton_data() {
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK selects the new feature") << true;
    QTest::newRow("Cancel adds nothing") << false;
}

void TestEditTask::addFeatureButton() {
    QFETCH(bool, ok);
    QVERIFY(whileModal<TfrmEditTask>(
        [] { AddTask(); },
        [&](TfrmEditTask* d) {
            typeInto(d->cmbFeature->lineEdit(), QStringLiteral("acc"));
            QVERIFY(whileModal<TfrmEditFeature>(
                [&] { QTest::mouseClick(d->btnAddFeature, Qt::LeftButton); },
                [&](TfrmEditFeature* fd) {
                    QCOMPARE(fd->windowTitle(), QStringLiteral("Add Feature"));
                    QCOMPARE(fd->cmbProject->currentText(), QStringLiteral("Apollo"));
                    typeInto(fd->txtFeatureName, QStringLiteral("Catalogue"));
                    QTest::mouseClick(ok ? fd->btnOK : fd->btnCancel, Qt::LeftButton);
                }));
            QStringList listed;
            for (int i = 0; i < d->cmbFeature->count(); ++i)
                listed << d->cmbFeature->itemText(i);
            if (ok) {
                QCOMPARE(listed, (QStringList{"Accounts", "Billing", "Catalogue"}));
                QCOMPARE(d->cmbFeature->currentText(), QStringLiteral("Catalogue"));
                QCOMPARE(d->focusWidget(), d->txtTaskName);
            } else {
                QCOMPARE(listed, (QStringList{"Accounts", "Billing"}));
                QCOMPARE(d->cmbFeature->currentText(), QStringLiteral("acc"));
                QVERIFY(d->focusWidget() == d->cmbFeature ||
                        d->cmbFeature->isAncestorOf(d->focusWidget()));
            }
        }));
    QCOMPARE(f->count(QStringLiteral("select count(*) from features where Name = 'Catalogue' and "
                                     "\"Project ID\" = ") +
                      QString::number(f->apollo)),
             ok ? 1 : 0);
}

void TestEditTask::awkwardNamesAreStoredExactly_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    const QString sixty = QString(58, u'x') + QStringLiteral("yz");
    QTest::newRow("quotes") << R"(O'Brien "quoted")"
                            << R"(O'Brien "quoted")";
    QTest::newRow("percent signs") << "100% done %s %1 %d"
                                   << "100% done %s %1 %d";
    QTest::newRow("backslashes") << R"(C:\tmp\n \\ end)"
                                 << R"(C:\tmp\n \\ end)";
    QTest::newRow("html") << "<b>bold</b> &amp; <i>"
                          << "<b>bold</b> &amp; <i>";
    QTest::newRow("sql") << "x'); drop table tasks; --"
                         << "x'); drop table tasks; --";
    QTest::newRow("longer than the field") << sixty + QStringLiteral("TAIL") << sixty;
}

void TestEditTask::awkwardNamesAreStoredExactly() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    const int task = f->addTask({});
    Msg::pushAnswer(Msg::Answer::Yes);
    QVERIFY(whileModal<TfrmEditTask>([&] { EditTaskID(task); },
                                     [&](TfrmEditTask* d) {
                                         typeInto(d->cmbFeature->lineEdit(), typed);
                                         typeInto(d->txtTaskName, typed);
                                         QCOMPARE(d->txtTaskName->text(), stored);
                                         clickOK(d);
                                     }));
    QCOMPARE(texts(Msg::takeShown()),
             QStringList{QStringLiteral("Add new feature?|") + question(stored)});
    QVERIFY(f->errors.isEmpty());
    QCOMPARE(storedTaskField(QStringLiteral("Name")).toString(), stored);
    QCOMPARE(featureNameOf(storedTaskField(QStringLiteral("Feature ID")).toInt()), stored);
    QCOMPARE(
        f->history(task),
        QStringList{QStringLiteral("Modified by Mia Example|Feature changed from Accounts to ") +
                    stored + QStringLiteral("\r\nTask name changed from Alpha to ") + stored +
                    QStringLiteral("\r\n")});

    // And shown as stored when the task is opened again.
    QVERIFY(whileModal<TfrmEditTask>(
        [&] { EditTaskID(task); },
        [&](TfrmEditTask* d) {
            QCOMPARE(d->cmbFeature->currentText(), stored);
            QCOMPARE(d->txtTaskName->text(), stored);
            QVERIFY(d->cmbFeature->findText(stored, Qt::MatchExactly | Qt::MatchCaseSensitive) >=
                    0);
        }));
}

void TestEditTask::failedHistoryRowKeepsTheTaskUnchanged() {
    const int task = f->addTask({});
    f->conn().execute(QStringLiteral("create temp trigger no_history before insert on \"History\" "
                                     "begin select raise(abort, 'History is full'); end"));
    bool open = false;
    whileModal<TfrmEditTask>([&] { EditTaskID(task); },
                             [&](TfrmEditTask* d) {
                                 typeInto(d->txtTaskName, QStringLiteral("Renamed"));
                                 clickOK(d);
                             },
                             &open);
    QVERIFY(open); // the dialog stays open after the error
    QCOMPARE(f->errors.size(), 1);
    QVERIFY2(f->errors.constFirst().contains(QStringLiteral("History is full")),
             qPrintable(f->errors.constFirst()));
    QCOMPARE(storedTaskField(QStringLiteral("Name")).toString(), QStringLiteral("Alpha"));
    QVERIFY(f->history(task).isEmpty());
}

QTEST_MAIN(TestEditTask)
#include "tst_edittask.moc"
