// The task editor's saves as History rows, end to end: what the dialog puts
// in the record reaches the history rules (data/TaskHistory, tested case by
// case in tests/data), with the dialog's own names and the user logged in.
#include "editing/EditTask.h"
#include "editing/TimeSpinBox.h"
#include "users/EditDeveloper.h"
#include "widgets/LookupCombo.h"

#include "EditingFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

using Script = std::function<void(EditingFixture&, TfrmEditTask*)>;
Q_DECLARE_METATYPE(Script)

class TestEditTaskHistory : public QObject {
    Q_OBJECT
    std::unique_ptr<EditingFixture> f;

    void save(int task, const Script& script) {
        bool open = true;
        QVERIFY(whileModal<TfrmEditTask>([&] { EditTaskID(task); },
                                         [&](TfrmEditTask* d) {
                                             script(*f, d);
                                             QTest::mouseClick(d->btnOK, Qt::LeftButton);
                                         },
                                         &open));
        QVERIFY(!open);
        QVERIFY(f->errors.isEmpty());
    }

private slots:
    void init() { f = std::make_unique<EditingFixture>(); }
    void cleanup() { f.reset(); }

    void changeLines_data();
    void changeLines();
    void addingWritesOneRow();
};

void TestEditTaskHistory::changeLines_data() {
    QTest::addColumn<QVariantMap>("seed"); // how the task differs from the usual one
    QTest::addColumn<QString>("locale");
    QTest::addColumn<Script>("script");
    QTest::addColumn<QString>("change"); // empty: no History row at all
    // The usual task: feature Accounts, "Alpha", Normal, no original estimate,
    // current 5, elapsed 3, "Not Started", assigned to Mia Example.
    const QVariantMap usual;
    // With an original estimate the current one is edited directly.
    const QVariantMap estimated{{"Original Estimate", 8.0}, {"Elapsed Time", 0.0}};
    const auto type = [](const char* box, const QString& text) {
        return [=](EditingFixture&, TfrmEditTask* d) {
            typeInto(d->findChild<QWidget*>(QString::fromLatin1(box)), text);
        };
    };
    QTest::newRow("nothing changed")
        << usual << "C" << Script([](EditingFixture&, TfrmEditTask*) {}) << "";
    QTest::newRow("notes only") << usual << "C" << Script([](EditingFixture&, TfrmEditTask* d) {
        d->pcTask->setCurrentWidget(d->tsNotes);
        d->memNotes->setFocus();
        QTest::keyClicks(d->memNotes, "remember the milk");
    }) << "";
    QTest::newRow("feature deleted meanwhile")
        << usual << "C" << Script([](EditingFixture& f, TfrmEditTask* d) {
               f.conn().execute("delete from features where "
                                "\"Feature ID\" = ?",
                                {f.accounts});
               typeInto(d->cmbFeature->lineEdit(), "Billing");
           })
        << "Feature changed from Unknown to Billing\r\n";
    QTest::newRow("current estimate, decimal comma")
        << estimated << "de_DE" << Script(type("txtCurrentEstimate", "2,5"))
        << "Current Estimate changed from 5 to 2,5\r\n";
    QTest::newRow("assigned to a user added with the developer button")
        << usual << "C" << Script([](EditingFixture&, TfrmEditTask* d) {
               QTimer::singleShot(0, [] {
                   auto* u = qobject_cast<TfrmEditDeveloper*>(QApplication::activeModalWidget());
                   QVERIFY(u);
                   QTest::keyClicks(u->txtLogin, "nina");
                   QTest::keyClicks(u->txtName, "Nina New");
                   QTest::mouseClick(u->btnOK, Qt::LeftButton);
               });
               QTest::mouseClick(d->btnAddDeveloper, Qt::LeftButton);
               QCOMPARE(d->cmbDeveloper->currentText(), QStringLiteral("Nina New"));
           })
        << "Task assigned to Nina New\r\n";
    QTest::newRow("every watched field, in order")
        << estimated << "C" << Script([](EditingFixture&, TfrmEditTask* d) {
               d->cmbDeveloper->setFocus();
               QTest::keyClicks(d->cmbDeveloper, "o");
               d->cmbStatus->setFocus();
               QTest::keyClick(d->cmbStatus, Qt::Key_End);
               typeInto(d->txtElapsedTime, "4");
               typeInto(d->txtCurrentEstimate, "6");
               d->cmbPriority->setFocus();
               QTest::keyClick(d->cmbPriority, Qt::Key_End);
               typeInto(d->txtTaskName, "Beta");
               typeInto(d->cmbFeature->lineEdit(), "Billing");
           })
        << "Feature changed from Accounts to Billing\r\n"
           "Task name changed from Alpha to Beta\r\n"
           "Priority changed from 3 to 5\r\n"
           "Current Estimate changed from 5 to 6\r\n"
           "Elapsed Time changed from 0 to 4\r\n"
           "Status changed from Not Started to Complete\r\n"
           "Task assigned to Olaf Other\r\n";
}

void TestEditTaskHistory::changeLines() {
    QFETCH(QVariantMap, seed);
    QFETCH(QString, locale);
    QFETCH(Script, script);
    QFETCH(QString, change);
    QLocale::setDefault(QLocale(locale));
    const int task = f->addTask(seed);
    save(task, script);
    const QStringList rows = f->history(task);
    if (change.isEmpty())
        QCOMPARE(rows, QStringList());
    else
        QCOMPARE(rows, QStringList{QStringLiteral("Modified by Mia Example|") + change});
}

void TestEditTaskHistory::addingWritesOneRow() {
    int added = 0;
    QVERIFY(whileModal<TfrmEditTask>([] { AddTask(); },
                                     [&](TfrmEditTask* d) {
                                         typeInto(d->cmbFeature->lineEdit(),
                                                  QStringLiteral("Accounts"));
                                         typeInto(d->txtTaskName, QStringLiteral("New one"));
                                         typeInto(d->txtOriginalEstimate, QStringLiteral("3"));
                                         QTest::mouseClick(d->btnOK, Qt::LeftButton);
                                         added = d->taskID();
                                     }));
    QVERIFY(added != 0);
    DbTable h(f->conn(), QStringLiteral("History"));
    h.open();
    QCOMPARE(h.recordCount(), 1);
    QCOMPARE(h.fieldByName(QStringLiteral("Task ID")).asInteger(), added);
    QCOMPARE(h.fieldByName(QStringLiteral("User ID")).asInteger(), f->me);
    QCOMPARE(h.fieldByName(QStringLiteral("Action Description")).asString(),
             QStringLiteral("Task added by Mia Example"));
    QVERIFY(h.fieldByName(QStringLiteral("Change Description")).isNull());
    QVERIFY(h.fieldByName(QStringLiteral("Modified Datestamp")).isNull());
}

QTEST_MAIN(TestEditTaskHistory)
#include "tst_edittaskhistory.moc"
