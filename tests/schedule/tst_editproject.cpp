// The project dialog and the project deletion, driven through their own event
// loops against a data folder with two projects, each with a feature, a task
// and its history: what is stored, what the project selector is told, and a
// deletion that is all or nothing.
#include "schedule/EditProject.h"

#include "tests/users/UsersFixture.h"
#include "widgets/LookupCombo.h"

#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kNameMissing = QStringLiteral("You must specify a name for this project.");

struct Counts {
    int projects = 0, features = 0, tasks = 0, history = 0;
    bool operator==(const Counts&) const = default;
};
} // namespace

class TestEditProject : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init();
    void cleanup() {
        setProjectSelectorText({});
        drainMessageAnswers();
        data.reset();
    }

    void addProject_data();
    void addProject();
    void blankNameKeepsDialogOpen();
    void editProject();
    void editUnknownProjectShowsNothing();
    void deleteProject_data();
    void deleteProject();
    void deleteLastProjectEmptiesSelector();
    void failedDeletionDeletesNothing_data();
    void failedDeletionDeletesNothing();

private:
    int add(const QString& table, const QVariantMap& values);
    // A project with one feature, one task and two history rows.
    int addProjectWithWork(const QString& name);
    Counts countsOf(int projectID);
    QString storedName(int projectID);
    int storedDeveloper(int projectID);
    int count(const QString& sql, int projectID);

    std::unique_ptr<UsersFixture> data;
    QStringList selectorTexts;
    int devID = 0;
    int apolloID = 0;
    int geminiID = 0;
};

int TestEditProject::add(const QString& table, const QVariantMap& values) {
    auto t = data->table(table);
    t->append();
    for (auto it = values.begin(); it != values.end(); ++it)
        t->fieldByName(it.key()).setValue(it.value());
    t->post();
    return t->field(0).asInteger();
}

int TestEditProject::addProjectWithWork(const QString& name) {
    const int project = add(QStringLiteral("Projects"), {{"Name", name}});
    const int feature =
        add(QStringLiteral("Features"), {{"Project ID", project}, {"Name", "Core"}});
    const int task = add(QStringLiteral("Tasks"),
                         {{"Feature ID", feature}, {"Developer ID", devID}, {"Name", "Build"}});
    for (const char* action : {"Task added by Dev", "Modified by Dev"})
        add(QStringLiteral("History"),
            {{"Task ID", task}, {"User ID", devID}, {"Action Description", action}});
    return project;
}

int TestEditProject::count(const QString& sql, int projectID) {
    DbQuery q(data->globals->Connection(), sql);
    q.paramByName(QStringLiteral("Project ID")).setAsInteger(projectID);
    q.open();
    return q.field(0).asInteger();
}

Counts TestEditProject::countsOf(int projectID) {
    Counts c;
    c.projects =
        count(QStringLiteral(R"(select count(*) from Projects where "Project ID" = :"Project ID")"),
              projectID);
    c.features =
        count(QStringLiteral(R"(select count(*) from Features where "Project ID" = :"Project ID")"),
              projectID);
    c.tasks = count(
        QStringLiteral(R"(select count(*) from Tasks t join Features f on )"
                       R"(t."Feature ID" = f."Feature ID" where f."Project ID" = :"Project ID")"),
        projectID);
    c.history =
        count(QStringLiteral(R"(select count(*) from History h join Tasks t on h."Task ID" = )"
                             R"(t."Task ID" join Features f on t."Feature ID" = f."Feature ID" )"
                             R"(where f."Project ID" = :"Project ID")"),
              projectID);
    return c;
}

QString TestEditProject::storedName(int projectID) {
    auto t = data->table(QStringLiteral("Projects"));
    return t->locate(QStringLiteral("Project ID"), projectID)
               ? t->fieldByName(QStringLiteral("Name")).asString()
               : QString();
}

int TestEditProject::storedDeveloper(int projectID) {
    auto t = data->table(QStringLiteral("Projects"));
    return t->locate(QStringLiteral("Project ID"), projectID)
               ? t->fieldByName(QStringLiteral("Default Developer ID")).asInteger()
               : -1;
}

void TestEditProject::init() {
    data = std::make_unique<UsersFixture>();
    selectorTexts.clear();
    setProjectSelectorText([this](const QString& name) { selectorTexts.append(name); });
    devID = add(QStringLiteral("Developers"),
                {{"LoginName", "dev"}, {"Name", "Dev Eloper"}, {"IsAdmin", true}});
    data->globals->CurrentUserID = devID;
    data->globals->CurrentUserIsAdmin = true;
    apolloID = addProjectWithWork(QStringLiteral("Apollo"));
    geminiID = addProjectWithWork(QStringLiteral("Gemini"));
    data->projects->dbProjects->refresh();
    data->projects->dbProjects->first();
}

void TestEditProject::addProject_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // the field keeps no trailing blanks
    QTest::addColumn<bool>("withDeveloper");

    QTest::newRow("plain") << "Mercury"
                           << "Mercury" << true;
    QTest::newRow("blanks around") << "  Mercury  "
                                   << "  Mercury" << false;
    QTest::newRow("same name as another") << "Apollo"
                                          << "Apollo" << false;
    QTest::newRow("typing stops at 60") << QString(70, u'm') << QString(60, u'm') << false;
}

// A saved project becomes the current one and the selector shows its name.
void TestEditProject::addProject() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(bool, withDeveloper);

    const int id = driveModal<TfrmEditProject, int>(
        [] { return AddProject(); },
        [&](TfrmEditProject* dlg) {
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Add Project"));
            QCOMPARE(QApplication::focusWidget(), dlg->txtProjectName);
            QTest::keyClicks(dlg->txtProjectName, typed);
            if (withDeveloper)
                dlg->cmbDefaultDeveloper->setKeyValue(devID);
            QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
        });
    QVERIFY(id != 0);
    QVERIFY(id != apolloID && id != geminiID);
    QCOMPARE(storedName(id), stored);
    QCOMPARE(storedDeveloper(id), withDeveloper ? devID : 0);
    QCOMPARE(data->projects->dbProjects->fieldByName(QStringLiteral("Project ID")).asInteger(), id);
    QCOMPARE(selectorTexts, QStringList{stored});
    QCOMPARE(data->projects->sqlSchedule->recordCount(), 0); // the new project's empty schedule
}

void TestEditProject::blankNameKeepsDialogOpen() {
    bool stayedOpen = false;
    bool focusBack = false;
    const int id = driveModal<TfrmEditProject, int>(
        [] { return AddProject(); },
        [&](TfrmEditProject* dlg) {
            QTest::keyClicks(dlg->txtProjectName, QStringLiteral("   "));
            dlg->cmbDefaultDeveloper->setFocus();
            Msg::pushAnswer(Msg::Answer::Ok);
            QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
            stayedOpen = dlg->isVisible();
            focusBack = QApplication::focusWidget() == dlg->txtProjectName;
            QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
        });
    QVERIFY(stayedOpen);
    QVERIFY(focusBack);
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Msg::Kind::Information);
    QCOMPARE(shown[0].text, kNameMissing);
    QCOMPARE(id, 0);
    QVERIFY(selectorTexts.isEmpty());
    QCOMPARE(count(QStringLiteral("select count(*) from Projects where 0 < :\"Project ID\""), 1),
             2);
}

void TestEditProject::editProject() {
    // Cancel first: nothing changes.
    driveModal<TfrmEditProject, int>(
        [&] {
            EditProject(geminiID);
            return 0;
        },
        [&](TfrmEditProject* dlg) {
            QCOMPARE(dlg->windowTitle(), QStringLiteral("Edit Project"));
            QCOMPARE(dlg->txtProjectName->text(), QStringLiteral("Gemini"));
            dlg->txtProjectName->clear();
            QTest::keyClicks(dlg->txtProjectName, QStringLiteral("Discarded"));
            QTest::keyClick(dlg, Qt::Key_Escape);
        });
    QCOMPARE(storedName(geminiID), QStringLiteral("Gemini"));
    QVERIFY(selectorTexts.isEmpty());

    driveModal<TfrmEditProject, int>(
        [&] {
            EditProject(geminiID);
            return 0;
        },
        [&](TfrmEditProject* dlg) {
            dlg->txtProjectName->clear();
            QTest::keyClicks(dlg->txtProjectName, QStringLiteral("Gemini II"));
            dlg->cmbDefaultDeveloper->setKeyValue(devID);
            QTest::keyClick(dlg, Qt::Key_Return);
        });
    QCOMPARE(storedName(geminiID), QStringLiteral("Gemini II"));
    QCOMPARE(storedDeveloper(geminiID), devID);
    QCOMPARE(selectorTexts, QStringList{QStringLiteral("Gemini II")});
    QCOMPARE(data->projects->dbProjects->fieldByName(QStringLiteral("Project ID")).asInteger(),
             geminiID);
    QCOMPARE(countsOf(geminiID), (Counts{1, 1, 1, 2}));
}

void TestEditProject::editUnknownProjectShowsNothing() {
    for (const int id : {0, 9999}) {
        bool opened = false;
        QTimer::singleShot(0, [&] { opened = QApplication::activeModalWidget() != nullptr; });
        EditProject(id);
        QTest::qWait(20);
        QVERIFY(!opened);
    }
}

void TestEditProject::deleteProject_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes deletes") << true;
    QTest::newRow("No keeps") << false;
}

// The project goes with its features, tasks and history; the other stays whole.
void TestEditProject::deleteProject() {
    QFETCH(bool, yes);
    QVERIFY(data->projects->dbProjects->locate(QStringLiteral("Project ID"), apolloID));
    Msg::pushAnswer(yes ? Msg::Answer::Yes : Msg::Answer::No);
    QCOMPARE(deleteCurrentProject(), yes);

    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Msg::Kind::Confirm);
    QCOMPARE(shown[0].text, QStringLiteral("Are you sure you want to delete the Apollo project and "
                                           "all associated features, tasks and history?"));
    QCOMPARE(countsOf(apolloID), yes ? Counts{} : (Counts{1, 1, 1, 2}));
    QCOMPARE(countsOf(geminiID), (Counts{1, 1, 1, 2}));
    if (yes) {
        QCOMPARE(data->projects->dbProjects->fieldByName(QStringLiteral("Project ID")).asInteger(),
                 geminiID);
        QCOMPARE(selectorTexts, QStringList{QStringLiteral("Gemini")});
    } else {
        QVERIFY(selectorTexts.isEmpty());
    }
}

void TestEditProject::deleteLastProjectEmptiesSelector() {
    for (int i = 0; i < 2; ++i) {
        Msg::pushAnswer(Msg::Answer::Yes);
        QVERIFY(deleteCurrentProject());
    }
    QCOMPARE(selectorTexts, (QStringList{QStringLiteral("Gemini"), QString()}));
    QVERIFY(!data->projects->dbProjects->hasCurrent());
    QCOMPARE(data->projects->sqlSchedule->recordCount(), 0);
    // With no project left there is nothing to delete and nothing is asked.
    QVERIFY(!deleteCurrentProject());
    QVERIFY(Msg::takeShown().size() == 2);
}

void TestEditProject::failedDeletionDeletesNothing_data() {
    QTest::addColumn<QString>("failingTable"); // its delete statement fails
    QTest::newRow("third statement") << "features.Features";
    QTest::newRow("last statement") << "projects.Projects";
}

// A lock held elsewhere stands in for the failure: the rows deleted before it
// come back, so the project is not left half deleted.
void TestEditProject::failedDeletionDeletesNothing() {
    QFETCH(QString, failingTable);
    data->globals->Connection().execute(
        QStringLiteral("create temp trigger refuse before delete on ") + failingTable +
        QStringLiteral(" begin select raise(abort, 'the row is locked by another user'); end"));

    QVERIFY(data->projects->dbProjects->locate(QStringLiteral("Project ID"), apolloID));
    Msg::pushAnswer(Msg::Answer::Yes);
    QVERIFY_THROWS_EXCEPTION(DataError, deleteCurrentProject());
    QCOMPARE(countsOf(apolloID), (Counts{1, 1, 1, 2}));
    QCOMPARE(countsOf(geminiID), (Counts{1, 1, 1, 2}));
    QVERIFY(selectorTexts.isEmpty());
    QVERIFY(!data->globals->Connection().inTransaction());

    // Once the lock is gone the same deletion goes through.
    data->globals->Connection().execute(QStringLiteral("drop trigger temp.refuse"));
    Msg::pushAnswer(Msg::Answer::Yes);
    QVERIFY(deleteCurrentProject());
    QCOMPARE(countsOf(apolloID), Counts{});
}

QTEST_MAIN(TestEditProject)
#include "tst_editproject.moc"
