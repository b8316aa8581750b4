// The first-run wizard driven through its own event loop: buttons and pages,
// the password check, cancelling and what Finish stores.
#include "users/GettingStartedForm.h"
#include "widgets/WizardHeader.h"

#include "UsersFixture.h"
#include "tests/common/TestRows.h"
#include "widgets/ErrorHandling.h"

#include <QLineEdit>
#include <QPushButton>

using Wizard = TfrmGettingStarted;

class TestGettingStarted : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init() { data = std::make_unique<UsersFixture>(); }
    void cleanup() {
        drainMessageAnswers();
        data.reset();
    }

    void buttonsFollowThePages();
    void passwordCheckGuardsPageOne_data();
    void passwordCheckGuardsPageOne();
    void cancelAsksFirst_data();
    void cancelAsksFirst();
    void closeBoxEndsWithoutAsking();
    void finishStores_data();
    void finishStores();
    void finishFailure_data();
    void finishFailure();
    void finishRefusesATakenLoginName();

private:
    bool run(const std::function<void(Wizard*)>& script, bool* leftOpen = nullptr) {
        return driveModal<Wizard, bool>(ShowGettingStarted, script, leftOpen);
    }
    std::unique_ptr<UsersFixture> data;
};

namespace {
void pressEnter(QWidget* w) {
    QWidget* target = QApplication::focusWidget();
    QTest::keyClick(target ? target : w, Qt::Key_Return);
}
void click(QPushButton* b) {
    QTest::mouseClick(b, Qt::LeftButton);
}

struct ButtonState {
    bool previous, next, finish, finishDefault;
};
void checkButtons(Wizard* w, int page, ButtonState s) {
    QCOMPARE(w->currentPage(), page);
    QCOMPARE(w->btnPrevious->isEnabled(), s.previous);
    QCOMPARE(w->btnNext->isEnabled(), s.next);
    QCOMPARE(w->btnFinish->isEnabled(), s.finish);
    QCOMPARE(w->btnFinish->isDefault(), s.finishDefault);
    QCOMPARE(w->btnNext->isDefault(), !s.finishDefault);
}
} // namespace

void TestGettingStarted::buttonsFollowThePages() {
    bool leftOpen = false;
    run(
        [](Wizard* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Getting Started Wizard"));
            QCOMPARE(w->size(), QSize(408, 287));
            QCOMPARE(w->header->GetCaption(), QStringLiteral("Getting Started Wizard"));
            QCOMPARE(w->txtLoginName->text(), QStringLiteral("admin"));
            QCOMPARE(w->txtFullName->text(), QStringLiteral("Administrator"));
            QCOMPARE(w->txtPassword->echoMode(), QLineEdit::Password);
            checkButtons(w, 0, {false, true, false, false});
            click(w->btnPrevious); // disabled: nothing moves
            QCOMPARE(w->currentPage(), 0);

            pressEnter(w); // Next is the default button
            checkButtons(w, 1, {true, true, false, false});
            QCOMPARE(QApplication::focusWidget(), w->txtLoginName);

            click(w->btnNext);
            checkButtons(w, 2, {true, true, false, false});
            QCOMPARE(QApplication::focusWidget(), w->txtProjectName);

            click(w->btnNext);
            checkButtons(w, 3, {true, false, true, true});
            click(w->btnNext); // disabled on the last page
            QCOMPARE(w->currentPage(), 3);

            click(w->btnPrevious);
            checkButtons(w, 2, {true, true, false, false});
            click(w->btnPrevious);
            checkButtons(w, 1, {true, true, false, false});
            QCOMPARE(QApplication::focusWidget(), w->txtLoginName);
        },
        &leftOpen);
    QVERIFY(leftOpen);
    QVERIFY(Msg::takeShown().isEmpty());
}

void TestGettingStarted::passwordCheckGuardsPageOne_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<bool>("matches");
    QTest::newRow("different") << "secret"
                               << "other" << false;
    QTest::newRow("case differs") << "Secret"
                                  << "secret" << false;
    QTest::newRow("trailing blank") << "secret"
                                    << "secret " << false;
    QTest::newRow("confirm empty") << "secret"
                                   << "" << false;
    QTest::newRow("same") << "secret"
                          << "secret" << true;
    QTest::newRow("both empty") << ""
                                << "" << true;
}

void TestGettingStarted::passwordCheckGuardsPageOne() {
    QFETCH(QString, password);
    QFETCH(QString, confirm);
    QFETCH(bool, matches);
    if (!matches)
        Msg::pushAnswer(Msg::Answer::Ok);
    run([&](Wizard* w) {
        click(w->btnNext);
        QTest::keyClicks(w->txtPassword, password);
        QTest::keyClicks(w->txtConfirmPassword, confirm);
        pressEnter(w);
        if (matches) {
            QCOMPARE(w->currentPage(), 2);
            QCOMPARE(w->txtPassword->text(), password);
            return;
        }
        QCOMPARE(w->currentPage(), 1);
        QVERIFY(w->txtPassword->text().isEmpty());
        QVERIFY(w->txtConfirmPassword->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), w->txtPassword);
        checkButtons(w, 1, {true, true, false, false});
    });
    const QList<Msg::Shown> shown = Msg::takeShown();
    if (matches) {
        QVERIFY(shown.isEmpty());
    } else {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.at(0).kind, Msg::Kind::Error);
        QCOMPARE(shown.at(0).text, QStringLiteral("The passwords do not match. Please reenter "
                                                  "the password and confirm."));
    }
}

void TestGettingStarted::cancelAsksFirst_data() {
    QTest::addColumn<bool>("useEscape");
    QTest::addColumn<bool>("answerYes");
    QTest::newRow("button, No") << false << false;
    QTest::newRow("button, Yes") << false << true;
    QTest::newRow("Escape, No") << true << false;
    QTest::newRow("Escape, Yes") << true << true;
}

void TestGettingStarted::cancelAsksFirst() {
    QFETCH(bool, useEscape);
    QFETCH(bool, answerYes);
    Msg::pushAnswer(answerYes ? Msg::Answer::Yes : Msg::Answer::No);
    bool leftOpen = false;
    const bool finished = run(
        [&](Wizard* w) {
            click(w->btnNext);
            click(w->btnNext);
            QTest::keyClicks(w->txtProjectName, QStringLiteral("Kept"));
            if (useEscape)
                QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Escape);
            else
                click(w->btnCancel);
            if (!answerYes) {
                QVERIFY(w->isVisible());
                QCOMPARE(w->currentPage(), 2);
                QCOMPARE(w->txtProjectName->text(), QStringLiteral("Kept"));
            }
        },
        &leftOpen);
    QVERIFY(!finished);
    QCOMPARE(leftOpen, !answerYes);
    const QList<Msg::Shown> shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).kind, Msg::Kind::Confirm);
    QCOMPARE(shown.at(0).text, QStringLiteral("Cancelling this wizard will exit the program. Are "
                                              "you sure you want to do this?"));
    QCOMPARE(data->table(QStringLiteral("Developers"))->recordCount(), 0);
    QCOMPARE(data->table(QStringLiteral("Projects"))->recordCount(), 0);
}

void TestGettingStarted::closeBoxEndsWithoutAsking() {
    bool leftOpen = true;
    const bool finished = run([](Wizard* w) { w->close(); }, &leftOpen);
    QVERIFY(!finished);
    QVERIFY(!leftOpen);
    QVERIFY(Msg::takeShown().isEmpty());
    QCOMPARE(data->table(QStringLiteral("Developers"))->recordCount(), 0);
}

void TestGettingStarted::finishStores_data() {
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("project");
    QTest::addColumn<QString>("storedLogin");
    QTest::addColumn<QString>("storedProject"); // empty: no project
    QTest::newRow("admin and project") << "admin"
                                       << "Administrator"
                                       << "Secret1"
                                       << "Launch"
                                       << "admin"
                                       << "Launch";
    QTest::newRow("project with leading blanks") << "Chief"
                                                 << "Ann Chief"
                                                 << "pw"
                                                 << "  Alpha"
                                                 << "Chief"
                                                 << "  Alpha";
    QTest::newRow("blank project name") << "admin"
                                        << "Administrator"
                                        << "pw"
                                        << "   "
                                        << "admin"
                                        << "";
    QTest::newRow("no project, no password") << "admin"
                                             << ""
                                             << ""
                                             << ""
                                             << "admin"
                                             << "";
    QTest::newRow("long login name cut to 20") << "administrator_of_all_things"
                                               << "Administrator"
                                               << "pw"
                                               << ""
                                               << "administrator_of_all"
                                               << "";
}

void TestGettingStarted::finishStores() {
    QFETCH(QString, login);
    QFETCH(QString, fullName);
    QFETCH(QString, password);
    QFETCH(QString, project);
    QFETCH(QString, storedLogin);
    QFETCH(QString, storedProject);

    const bool finished = run([&](Wizard* w) {
        click(w->btnNext);
        w->txtLoginName->clear();
        QTest::keyClicks(w->txtLoginName, login);
        w->txtFullName->clear();
        QTest::keyClicks(w->txtFullName, fullName);
        QTest::keyClicks(w->txtPassword, password);
        QTest::keyClicks(w->txtConfirmPassword, password);
        click(w->btnNext);
        QTest::keyClicks(w->txtProjectName, project);
        click(w->btnNext);
        pressEnter(w); // Finish is the default on the last page
    });
    QVERIFY(finished);
    QVERIFY(Msg::takeShown().isEmpty());

    auto users = data->table(QStringLiteral("Developers"));
    QCOMPARE(users->recordCount(), 1);
    users->first();
    QCOMPARE(users->fieldByName(QStringLiteral("LoginName")).asString(), storedLogin);
    QCOMPARE(users->fieldByName(QStringLiteral("Name")).asString(), fullName);
    QVERIFY(users->fieldByName(QStringLiteral("IsAdmin")).asBoolean());
    QVERIFY(users->fieldByName(QStringLiteral("Default Project ID")).isNull());
    const QString hash = users->fieldByName(QStringLiteral("Password")).asString();
    QVERIFY(!hash.isEmpty());
    QVERIFY(hash != password);
    QVERIFY(passwordMatches(hash, password));
    QVERIFY(!passwordMatches(hash, password + QStringLiteral("x")));
    const int developerID = users->fieldByName(QStringLiteral("Developer ID")).asInteger();
    QVERIFY(developerID > 0);

    auto projects = data->table(QStringLiteral("Projects"));
    if (storedProject.isEmpty()) {
        QCOMPARE(projects->recordCount(), 0);
        return;
    }
    QCOMPARE(projects->recordCount(), 1);
    projects->first();
    QCOMPARE(projects->fieldByName(QStringLiteral("Name")).asString(), storedProject);
    QCOMPARE(projects->fieldByName(QStringLiteral("Default Developer ID")).asInteger(),
             developerID);
}

void TestGettingStarted::finishFailure_data() {
    QTest::addColumn<bool>("usersFail");
    QTest::addColumn<bool>("endsFinished");
    QTest::addColumn<int>("storedUsers");
    // Without the administrator nobody could log in: the wizard stays open.
    QTest::newRow("storing the user fails") << true << false << 0;
    // The administrator is stored, so the wizard ends as finished.
    QTest::newRow("storing the project fails") << false << true << 1;
}

void TestGettingStarted::finishFailure() {
    QFETCH(bool, usersFail);
    QFETCH(bool, endsFinished);
    QFETCH(int, storedUsers);
    int reported = 0;
    ErrorHandling::setUnexpectedHandler([&](std::exception_ptr) { ++reported; });
    if (usersFail)
        data->globals->dbUsers->close();
    else
        data->projects->dbProjects->close();
    bool leftOpen = false;
    const bool finished = run(
        [](Wizard* w) {
            click(w->btnNext);
            click(w->btnNext);
            QTest::keyClicks(w->txtProjectName, QStringLiteral("Launch"));
            click(w->btnNext);
            click(w->btnFinish);
        },
        &leftOpen);
    ErrorHandling::setUnexpectedHandler({});
    QCOMPARE(reported, 1);
    QCOMPARE(finished, endsFinished);
    QCOMPARE(leftOpen, !endsFinished);
    QCOMPARE(data->table(QStringLiteral("Developers"))->recordCount(), storedUsers);
    QCOMPARE(data->table(QStringLiteral("Projects"))->recordCount(), 0);
}

// Another copy of the program set up the same data folder meanwhile: its
// administrator's login name, in any case, cannot be given twice.
void TestGettingStarted::finishRefusesATakenLoginName() {
    int page = -1;
    bool focusOnLogin = false;
    QList<Msg::Shown> shown;
    const bool finished = run([&](Wizard* w) {
        click(w->btnNext);
        click(w->btnNext); // "admin", no password
        click(w->btnNext);
        addRow(data->globals->Connection(), QStringLiteral("Developers"),
               {{"LoginName", "ADMIN"}, {"Name", "Other copy"}, {"IsAdmin", true}});
        Msg::pushAnswer(Msg::Answer::Ok);
        click(w->btnFinish);
        shown = Msg::takeShown();
        page = w->currentPage();
        focusOnLogin = QApplication::focusWidget() == w->txtLoginName;
        if (!w->isVisible())
            return;
        w->txtLoginName->clear();
        QTest::keyClicks(w->txtLoginName, QStringLiteral("boss"));
        click(w->btnNext);
        click(w->btnNext);
        click(w->btnFinish);
    });
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Msg::Kind::Information);
    QCOMPARE(shown[0].text, QStringLiteral("Another user already has the login name \"admin\". "
                                           "Please choose another login name."));
    QCOMPARE(page, int(Wizard::pgAdminUser));
    QVERIFY(focusOnLogin);
    QVERIFY(finished);
    auto users = data->table(QStringLiteral("Developers"));
    QCOMPARE(users->recordCount(), 2);
    QVERIFY(users->locate(QStringLiteral("LoginName"), QStringLiteral("boss")));
    QVERIFY(users->fieldByName(QStringLiteral("IsAdmin")).asBoolean());
}

QTEST_MAIN(TestGettingStarted)
#include "tst_gettingstarted.moc"
