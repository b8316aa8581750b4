// The options dialog, driven through its own event loop: what it opens on,
// how the tree picks pages, that the main window changes on OK only, user
// administration from the "User Setup" page, and F1 on every page.
#include "users/EditDeveloper.h"
#include "users/Options.h"
#include "users/UserAdmin.h"

#include "UsersFixture.h"
#include "widgets/DataGrid.h"
#include "widgets/HelpRouter.h"
#include "widgets/HelpViewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {
const QString kSlate = QStringLiteral("GridTableViewStyleSheetSlate");
const QString kRainy = QStringLiteral("GridTableViewStyleSheetRainyDay");
const QString kWheat = QStringLiteral("GridTableViewStyleSheetWheat");

// The main window as the dialog sees it; records every change it is told.
struct FakeTarget : IOptionsTarget {
    bool side = true;
    QString sheet = kSlate;
    QStringList calls;
    bool sideBarVisible() const override { return side; }
    void setSideBarVisible(bool visible) override {
        side = visible;
        calls << QStringLiteral("side=%1").arg(visible);
    }
    QString styleSheetName() const override { return sheet; }
    void setStyleSheetName(const QString& name) override {
        sheet = name;
        calls << QStringLiteral("sheet=") + name;
    }
};

QStringList loginsShown(const DataGrid* grid) {
    QStringList out;
    const int col = int(grid->shownColumns().indexOf(
        GridShownColumn{QStringLiteral("LoginName"), QStringLiteral("Login")}));
    for (const GridShownRow& r : grid->shownRows())
        out << (col >= 0 ? r.texts.value(col) : QStringLiteral("<no Login column>"));
    return out;
}

void choosePage(TfrmOptions* dlg, QTreeWidgetItem* node) {
    const QRect r = dlg->tvOptions->visualItemRect(node);
    QTest::mouseClick(dlg->tvOptions->viewport(), Qt::LeftButton, {}, r.center());
}

void clickRow(DataGrid* grid, int id, bool twice = false) {
    const QRect r = grid->cellRect(id, QStringLiteral("LoginName"));
    QVERIFY2(!r.isEmpty(), "row not on screen");
    if (twice)
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    else
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
}
} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init();
    void cleanup();

    void opensOnViewWithTheScheduleScheme_data();
    void opensOnViewWithTheScheduleScheme();
    void treeChoosesThePage();
    void appliesOnOkOnly_data();
    void appliesOnOkOnly();
    void userSetup_data();
    void userSetup();
    void deleteTheOnlyUser();
    void f1OnEveryPage();

private:
    int addUser(const QString& login, const QString& name, bool admin);
    bool userExists(int id) {
        return data->table(QStringLiteral("Developers"))
            ->locate(QStringLiteral("Developer ID"), id);
    }
    // Runs ShowOptions; `script` drives the dialog while it is up.
    bool runOptions(const std::function<void(TfrmOptions*)>& script) {
        return driveModal<TfrmOptions, bool>([this] { return ShowOptions(target, owner.get()); },
                                             script);
    }

    std::unique_ptr<UsersFixture> data;
    std::unique_ptr<QWidget> owner;
    FakeTarget target;
    int adminID = 0;
    int bobID = 0;
};

int TestOptions::addUser(const QString& login, const QString& name, bool admin) {
    DbTable* users = data->globals->dbUsers;
    users->append();
    users->fieldByName(QStringLiteral("LoginName")).setAsString(login);
    users->fieldByName(QStringLiteral("Name")).setAsString(name);
    users->fieldByName(QStringLiteral("Password")).setAsString(hashPassword(login));
    users->fieldByName(QStringLiteral("IsAdmin")).setAsBoolean(admin);
    users->post();
    return users->fieldByName(QStringLiteral("Developer ID")).asInteger();
}

void TestOptions::init() {
    data = std::make_unique<UsersFixture>();
    owner = std::make_unique<QWidget>();
    target = FakeTarget();
    adminID = addUser(QStringLiteral("admin"), QStringLiteral("Administrator"), true);
    bobID = addUser(QStringLiteral("bob"), QStringLiteral("Bob Jones"), false);
    data->globals->CurrentUserID = adminID;
    data->globals->CurrentUserIsAdmin = true;
}

void TestOptions::cleanup() {
    HelpRouter::instance().closeViewer();
    drainMessageAnswers();
    owner.reset();
    data.reset();
}

void TestOptions::opensOnViewWithTheScheduleScheme_data() {
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("caption"); // selected in "Grid style"; empty: nothing
    QTest::addColumn<bool>("side");
    QTest::newRow("never chosen") << kSlate << "Slate" << true;
    QTest::newRow("rainy day, panel hidden") << kRainy << "Rainy Day" << false;
    QTest::newRow("unknown scheme") << "Slate"
                                    << "" << true;
}

void TestOptions::opensOnViewWithTheScheduleScheme() {
    QFETCH(QString, scheme);
    QFETCH(QString, caption);
    QFETCH(bool, side);
    target.sheet = scheme;
    target.side = side;
    const GridStyleRepository& repo = data->globals->StyleRepository;
    runOptions([&](TfrmOptions* dlg) {
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Options"));
        QCOMPARE(dlg->pcOptions->currentWidget(), dlg->tsView);
        QCOMPARE(dlg->tvOptions->currentItem(), dlg->nodeView);
        QVERIFY(dlg->nodeView->isExpanded());
        QCOMPARE(dlg->cbShowSidebar->isChecked(), side);

        // Captions in repository order: a list position is a repository position.
        QCOMPARE(dlg->cmbStyles->count(), repo.count());
        for (int i = 0; i < repo.count(); ++i)
            QCOMPARE(dlg->cmbStyles->itemText(i), repo.sheet(i).caption);
        QCOMPARE(dlg->cmbStyles->currentText(), caption);
        QCOMPARE(dlg->gridPreview->colorScheme().name, caption.isEmpty() ? kSlate : scheme);

        QVERIFY(!dlg->gridPreview->isEnabled());
        QStringList texts;
        for (const GridShownRow& r : dlg->gridPreview->shownRows())
            texts << r.texts.join(u'|');
        QCOMPARE(texts, (QStringList{QStringLiteral("Feature 1|Task 1|1"),
                                     QStringLiteral("Feature 2|Task 2|2"),
                                     QStringLiteral("Feature 3|Task 3|3")}));
        // The users list keeps Slate whatever the schedule shows.
        QCOMPARE(dlg->gridUsers->colorScheme().name, kSlate);
    });
    QVERIFY(target.calls.isEmpty()); // closed without OK
}

void TestOptions::treeChoosesThePage() {
    runOptions([&](TfrmOptions* dlg) {
        const QList<std::pair<QTreeWidgetItem*, QWidget*>> pages = {
            {dlg->nodeGrid, dlg->tsViewGrid},
            {dlg->nodeSideBar, dlg->tsViewSideBar},
            {dlg->nodeUserSetup, dlg->tsUserSetup},
            {dlg->nodeView, dlg->tsView}};
        for (const auto& [node, page] : pages) {
            choosePage(dlg, node);
            QCOMPARE(dlg->tvOptions->currentItem(), node);
            QCOMPARE(dlg->pcOptions->currentWidget(), page);
        }
    });
}

void TestOptions::appliesOnOkOnly_data() {
    QTest::addColumn<QString>("close"); // ok, cancel, esc
    QTest::addColumn<bool>("accepted");
    QTest::newRow("OK") << "ok" << true;
    QTest::newRow("Cancel") << "cancel" << false;
    QTest::newRow("Esc") << "esc" << false;
}

// Choosing a scheme changes the preview only; the main window changes on OK.
void TestOptions::appliesOnOkOnly() {
    QFETCH(QString, close);
    QFETCH(bool, accepted);
    const bool result = runOptions([&](TfrmOptions* dlg) {
        choosePage(dlg, dlg->nodeGrid);
        dlg->cmbStyles->setFocus();
        const int wheat = data->globals->StyleRepository.indexOf(kWheat);
        while (dlg->cmbStyles->currentIndex() < wheat)
            QTest::keyClick(dlg->cmbStyles, Qt::Key_Down);
        QCOMPARE(dlg->cmbStyles->currentText(), QStringLiteral("Wheat"));
        QCOMPARE(dlg->gridPreview->colorScheme().name, kWheat);

        choosePage(dlg, dlg->nodeSideBar);
        // On the box itself: the check box is wider than its caption.
        QTest::mouseClick(dlg->cbShowSidebar, Qt::LeftButton, {},
                          QPoint(6, dlg->cbShowSidebar->height() / 2));
        QVERIFY(!dlg->cbShowSidebar->isChecked());
        QVERIFY(target.calls.isEmpty());

        if (close == QLatin1String("ok"))
            QTest::mouseClick(dlg->btnOK, Qt::LeftButton);
        else if (close == QLatin1String("cancel"))
            QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
        else
            QTest::keyClick(dlg, Qt::Key_Escape);
        QVERIFY(!dlg->isVisible());
    });
    QCOMPARE(result, accepted);
    if (accepted) {
        QCOMPARE(target.calls,
                 (QStringList{QStringLiteral("sheet=") + kWheat, QStringLiteral("side=0")}));
    } else {
        QVERIFY(target.calls.isEmpty());
        QCOMPARE(target.sheet, kSlate);
        QVERIFY(target.side);
    }
}

void TestOptions::userSetup_data() {
    QTest::addColumn<bool>("isAdmin");
    QTest::newRow("administrator") << true;
    QTest::newRow("other user") << false;
}

// Everyone adds users from the page; only administrators edit or delete them,
// and what was done stays done when the dialog is cancelled.
void TestOptions::userSetup() {
    QFETCH(bool, isAdmin);
    data->globals->CurrentUserID = isAdmin ? adminID : bobID;
    data->globals->CurrentUserIsAdmin = isAdmin;

    runOptions([&](TfrmOptions* dlg) {
        choosePage(dlg, dlg->nodeUserSetup);
        QCOMPARE(dlg->pcOptions->currentWidget(), dlg->tsUserSetup);
        QCOMPARE(dlg->btnAddUser->text(), QStringLiteral("&Add User..."));
        QVERIFY(dlg->btnAddUser->isEnabled());
        QCOMPARE(dlg->btnEditUser->isEnabled(), isAdmin);
        QCOMPARE(dlg->btnDeleteUser->isEnabled(), isAdmin);
        QCOMPARE(loginsShown(dlg->gridUsers), (QStringList{"admin", "bob"}));

        // Add: the list shows the new user at once, in login order.
        driveModal<TfrmEditDeveloper, int>(
            [&] {
                QTest::mouseClick(dlg->btnAddUser, Qt::LeftButton);
                return 0;
            },
            [&](TfrmEditDeveloper* ed) {
                QCOMPARE(ed->cbAdministrator->isEnabled(), isAdmin);
                QTest::keyClicks(ed->txtLogin, QStringLiteral("carol"));
                QTest::keyClicks(ed->txtName, QStringLiteral("Carol King"));
                QTest::mouseClick(ed->btnOK, Qt::LeftButton);
            });
        QCOMPARE(loginsShown(dlg->gridUsers), (QStringList{"admin", "bob", "carol"}));

        // Focusing a row makes it the users table's current row.
        clickRow(dlg->gridUsers, bobID);
        QCOMPARE(data->globals->dbUsers->fieldByName(QStringLiteral("Developer ID")).asInteger(),
                 bobID);

        // A double-click edits, for administrators only.
        bool edited = false;
        QTimer::singleShot(0, [&] {
            if (auto* ed = qobject_cast<TfrmEditDeveloper*>(QApplication::activeModalWidget())) {
                edited = true;
                QCOMPARE(ed->txtLogin->text(), QStringLiteral("bob"));
                ed->txtName->setText(QStringLiteral("Robert Jones"));
                QTest::mouseClick(ed->btnOK, Qt::LeftButton);
            }
        });
        clickRow(dlg->gridUsers, bobID, true);
        QTest::qWait(20); // lets the check run when nothing opened
        QCOMPARE(edited, isAdmin);

        // Delete asks first, and the list loses the row.
        Msg::pushAnswer(Msg::Answer::Yes);
        QTest::mouseClick(dlg->btnDeleteUser, Qt::LeftButton);
        const QList<Msg::Shown> shown = Msg::takeShown();
        QCOMPARE(shown.size(), isAdmin ? 1 : 0);
        if (isAdmin) {
            QCOMPARE(shown[0].kind, Msg::Kind::Confirm);
            QCOMPARE(shown[0].text, QStringLiteral("Are you sure you want to delete this user?"));
        }
        drainMessageAnswers();
        QCOMPARE(loginsShown(dlg->gridUsers),
                 (isAdmin ? QStringList{"admin", "carol"} : QStringList{"admin", "bob", "carol"}));

        QTest::mouseClick(dlg->btnCancel, Qt::LeftButton);
    });

    // Cancel undoes none of it.
    QCOMPARE(userExists(bobID), !isAdmin);
    auto users = data->table(QStringLiteral("Developers"));
    QCOMPARE(users->recordCount(), isAdmin ? 2 : 3);
    QVERIFY(users->locate(QStringLiteral("LoginName"), QStringLiteral("carol")));
    QCOMPARE(users->fieldByName(QStringLiteral("IsAdmin")).asBoolean(), false);
    if (!isAdmin) {
        QVERIFY(users->locate(QStringLiteral("Developer ID"), bobID));
        QCOMPARE(users->fieldByName(QStringLiteral("Name")).asString(),
                 QStringLiteral("Bob Jones"));
    }
}

void TestOptions::deleteTheOnlyUser() {
    data->globals->dbUsers->locate(QStringLiteral("Developer ID"), bobID);
    data->globals->dbUsers->deleteRecord();
    runOptions([&](TfrmOptions* dlg) {
        choosePage(dlg, dlg->nodeUserSetup);
        QCOMPARE(loginsShown(dlg->gridUsers), QStringList{"admin"});
        Msg::pushAnswer(Msg::Answer::Yes); // must not be needed
        QTest::mouseClick(dlg->btnDeleteUser, Qt::LeftButton);
        const QList<Msg::Shown> shown = Msg::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("You cannot delete the only user."));
        QCOMPARE(loginsShown(dlg->gridUsers), QStringList{"admin"});
    });
    QVERIFY(userExists(adminID));
}

// F1 on any page opens the options help page, in a viewer the dialog does not block.
void TestOptions::f1OnEveryPage() {
    const QUrl url = HelpRouter::urlForContext(TfrmOptions::kHelpContext);
    QVERIFY(!url.isEmpty());
    QVERIFY(QFile::exists(QLatin1Char(':') + url.path()));
    runOptions([&](TfrmOptions* dlg) {
        for (QTreeWidgetItem* node :
             {dlg->nodeView, dlg->nodeGrid, dlg->nodeSideBar, dlg->nodeUserSetup}) {
            choosePage(dlg, node);
            QVERIFY(QTest::qWaitForWindowActive(dlg));
            QTest::keyClick(dlg->tvOptions, Qt::Key_F1);
            HelpViewer* viewer = HelpRouter::instance().viewer();
            QVERIFY2(viewer, qPrintable(node->text(0)));
            QCOMPARE(viewer->currentUrl(), url);
            QCOMPARE(viewer->parentWidget(), dlg);
            QVERIFY(Msg::takeShown().isEmpty());
            HelpRouter::instance().closeViewer();
            dlg->activateWindow();
        }
    });
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
