// The main window: its command table, menus, toolbars and side panel, the
// enabled rules, the project selector, the quick actions and the web pages.
#include "ScheduleFixture.h"
#include "editing/EditTask.h"
#include "schedule/ProjectSchedule.h"
#include "schedule/ProjectSelector.h"
#include "schedule/TaskListFrame.h"
#include "schedule/WebPages.h"
#include "widgets/DataGrid.h"
#include "widgets/LookupCombo.h"
#include "widgets/SidePanel.h"

#include <QToolButton>

#include <QAction>
#include <QMenuBar>
#include <QToolBar>
#include <QtTest>

namespace {
// Object names of a menu's or toolbar's entries, "|" for a separator.
QStringList entries(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? QStringLiteral("|")
                : a->menu()      ? QStringLiteral("[") + a->text() + u']'
                                 : a->objectName());
    return out;
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<ScheduleFixture> fx_;
    std::unique_ptr<TfrmProjectSchedule> win_;
    QList<QUrl> opened_;

    void start(bool admin = true, int defaultProject = -1) {
        fx_ = std::make_unique<ScheduleFixture>(admin, defaultProject);
        win_ = std::make_unique<TfrmProjectSchedule>();
        win_->show();
        QApplication::setActiveWindow(win_.get());
        QVERIFY(QTest::qWaitForWindowActive(win_.get()));
    }
    DataGrid* grid() const { return win_->fraTaskList->gridSchedule; }
    QList<int> shownKeys() const {
        QList<int> out;
        for (const auto& r : grid()->shownRows())
            if (!r.isGroup)
                out << r.key.toInt();
        return out;
    }
    void focus(int taskID) { QVERIFY(grid()->setFocusedKey(taskID)); }

private slots:
    void initTestCase() {
        WebPages::setOpener([this](const QUrl& url) { opened_ << url; });
    }
    void cleanupTestCase() { WebPages::setOpener({}); }
    void cleanup() {
        win_.reset();
        if (fx_)
            QVERIFY2(fx_->errors.isEmpty(), qPrintable(fx_->errors.join(u'\n')));
        fx_.reset();
        opened_.clear();
    }

    void commandTable_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("shortcut");
        auto row = [](const char* n, const char* c, const char* h, const char* k = "") {
            QTest::newRow(n) << QString::fromUtf8(n) << QString::fromUtf8(c) << QString::fromUtf8(h)
                             << QString::fromUtf8(k);
        };
        row("btnExportExcel", "to E&xcel...", "to Excel");
        row("btnExportTextFile", "to a &Text File...", "to a Text File");
        row("btnPrint", "&Print...", "Print", "Ctrl+P");
        row("btnExit", "E&xit", "Exit");
        row("btnCopyToClipboard", "&Copy Grid to Clipboard", "Copy Grid to Clipboard", "Ctrl+C");
        row("btnTaskNotes", "Task &Notes", "Task Notes");
        row("btnGrouping", "&Group By Box", "Group By Box");
        row("btnCustomizeColumns", "&Field Chooser...", "Field Chooser");
        row("btnRefresh", "R&efresh", "Refresh", "F5");
        row("btnRemainingWork", "&Remaining Work...", "Remaining Work");
        row("btnAddTask", "&Add Task...", "Add Task", "Ins");
        row("btnEditTask", "&Edit Task...", "Edit Task", "Enter");
        row("btnAddHour", "Add one &hour to elapsed time", "Add one hour to elapsed time",
            "Ctrl+H");
        row("btnDeleteTask", "&Delete Task", "Delete Task", "Del");
        row("btnFeaturesList", "&Manage Features...", "Manage Features");
        row("cmbProject", "Pro&ject:", "Project:");
        row("btnDeleteProject", "&Delete Project", "Delete Project");
        row("btnOptions", "&Options...", "Options");
        row("btnChangePassword", "Change My &Password...", "Change My Password");
        row("btnContents", "&Help Contents", "Help Contents", "F1");
        row("btnCheckForUpdate", "&Check for Update...", "Check for Update");
        row("btnZevWebsite", "Trevolant &Web Site", "Trevolant Web Site");
        row("btnAbout", "&About...", "About");
        row("navAddHour", "Work 1 hour on this task", "");
        row("navToggleNotes", "View task notes", "");
    }
    void commandTable() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, hint);
        QFETCH(QString, shortcut);
        start();
        auto* a = win_->findChild<QAction*>(name);
        QVERIFY2(a, qPrintable(name));
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->statusTip(), hint);
        if (!hint.isEmpty())
            QCOMPARE(a->toolTip(), hint);
        QCOMPARE(a->shortcut().toString(QKeySequence::PortableText), shortcut);
    }

    void menusToolbarsAndPanel() {
        start();
        QStringList titles;
        QList<QStringList> menus;
        for (QAction* m : win_->menuBar()->actions()) {
            titles << m->text();
            menus << entries(m->menu()->actions());
        }
        QCOMPARE(titles,
                 (QStringList{"&File", "&Edit", "&View", "T&ask", "&Projects", "&Tools", "&Help"}));
        QCOMPARE(menus.at(0), (QStringList{"[&Export]", "btnPrint", "|", "btnExit"}));
        QCOMPARE(
            entries(win_->mnuExport->actions()),
            (QStringList{"btnExportExcel", "btnExportHTML", "btnExportXML", "btnExportTextFile"}));
        QCOMPARE(menus.at(1), QStringList{"btnCopyToClipboard"});
        QCOMPARE(menus.at(2), (QStringList{"btnTaskNotes", "btnGrouping", "btnCustomizeColumns",
                                           "btnRemainingWork", "|", "btnRefresh"}));
        QCOMPARE(menus.at(3),
                 (QStringList{"btnAddTask", "btnEditTask", "btnAddHour", "|", "btnDeleteTask"}));
        QCOMPARE(menus.at(4), (QStringList{"btnAddProject", "btnEditProject", "btnFeaturesList",
                                           "cmbProject", "|", "btnDeleteProject"}));
        QCOMPARE(menus.at(5), (QStringList{"btnOptions", "btnChangePassword"}));
        QCOMPARE(menus.at(6), (QStringList{"btnContents", "btnCheckForUpdate", "btnZevWebsite", "|",
                                           "btnAbout"}));
        QCOMPARE(entries(win_->tbTasks->actions()),
                 (QStringList{"btnAddTask", "btnEditTask", "btnDeleteTask", "|", "btnPrint"}));
        QCOMPARE(entries(win_->tbProjects->actions()),
                 (QStringList{"cmbProject", "btnAddProject", "btnEditProject"}));
        QCOMPARE(entries(win_->tbHelp->actions()), QStringList{"btnContents"});
        for (QToolBar* tb : {win_->tbTasks, win_->tbProjects, win_->tbHelp})
            QVERIFY(!tb->isMovable() && !tb->isFloatable());
        QVERIFY(!win_->createPopupMenu());
        QCOMPARE(entries(win_->fraTaskList->popGrid->actions()),
                 (QStringList{"btnAddTask", "btnEditTask", "btnAddHour", "|", "btnDeleteTask"}));

        QCOMPARE(win_->SideBar->width(), 181);
        QCOMPARE(win_->SideBar->palette().color(QPalette::Window), QColor(178, 180, 191));
        const auto groups = win_->SideBar->groups();
        QCOMPARE(groups.size(), 2);
        QCOMPARE(groups.at(0)->caption(), QStringLiteral("Tasks"));
        QCOMPARE(groups.at(1)->caption(), QStringLiteral("Statistics"));
        QStringList items;
        for (auto* item : groups.at(0)->items())
            items << item->text();
        QCOMPARE(items,
                 (QStringList{"Add task", "Work 1 hour on this task", "Set this task as completed",
                              "View task notes", "Assign this task to me"}));
        QVERIFY(groups.at(0)->isExpanded() && groups.at(1)->isExpanded());
        QTest::mouseClick(groups.at(1)->expandButton(), Qt::LeftButton);
        QVERIFY(!groups.at(1)->isExpanded());
        QVERIFY(!groups.at(1)->items().first()->isVisible());
    }

    void sidePanelItemsLookAndAct() {
        start();
        SidePanelItem* item = win_->SideBar->itemFor(win_->navToggleNotes);
        QVERIFY(item && item->isVisible());
        QVERIFY(!item->drawnFont().underline());
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), item->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(item, &enter);
        QVERIFY(item->drawnFont().underline());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(item, &leave);
        QVERIFY(!item->drawnFont().underline());
        // A click runs the command; disabled items are grey and do nothing.
        QTest::mouseClick(item, Qt::LeftButton);
        QVERIFY(win_->fraTaskList->notesVisible());
        win_->navToggleNotes->setEnabled(false);
        QVERIFY(!item->isEnabled());
        QTest::mouseClick(item, Qt::LeftButton);
        QVERIFY(win_->fraTaskList->notesVisible());
    }

    void deleteProjectOnlyForAdmins_data() {
        QTest::addColumn<bool>("admin");
        QTest::newRow("administrator") << true;
        QTest::newRow("user") << false;
    }
    void deleteProjectOnlyForAdmins() {
        QFETCH(bool, admin);
        start(admin);
        QCOMPARE(win_->btnDeleteProject->isEnabled(), admin);
        // Moving to another project does not change it.
        QVERIFY(fx_->projects->dbProjects->locate(QStringLiteral("Project ID"), fx_->zephyr));
        QCOMPARE(win_->btnDeleteProject->isEnabled(), admin);
        QVERIFY(win_->btnAddHour->isEnabled() && win_->btnEditProject->isEnabled());
        // Everybody may change their own password.
        QVERIFY(win_->btnChangePassword->isEnabled());
    }

    void projectSelectorMovesTheSchedule() {
        start(true, -1);
        LookupCombo* combo = win_->cmbProject;
        QVERIFY(combo);
        QCOMPARE(combo->width(), 145);
        QCOMPARE(combo->maxVisibleItems(), 7);
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("Apollo"));
        QCOMPARE(win_->myTasksCaption(), QStringLiteral("My incomplete tasks: 2"));
        combo->setFocus();
        QTest::keyClicks(combo, QStringLiteral("ze"));
        QCOMPARE(fx_->projects->dbProjects->fieldByName(QStringLiteral("Project ID")).asInteger(),
                 fx_->zephyr);
        QCOMPARE(shownKeys(), QList<int>{fx_->remote});
        QCOMPARE(win_->myTasksCaption(), QStringLiteral("My incomplete tasks: 1"));
        // Every selector shows the same choice.
        for (LookupCombo* c : win_->cmbProjectAction->combos())
            QCOMPARE(c->currentText(), QStringLiteral("Zephyr"));
    }

    void startProject_data() {
        QTest::addColumn<int>("which"); // 0 Apollo, 1 Zephyr, 2 a project that is gone
        QTest::addColumn<QString>("shown");
        QTest::newRow("default project") << 1 << "Zephyr";
        QTest::newRow("deleted default project") << 2 << "Apollo";
    }
    void startProject() {
        QFETCH(int, which);
        QFETCH(QString, shown);
        fx_ = std::make_unique<ScheduleFixture>(true, 0);
        fx_->globals->CurrentUserDefaultProjectID = which == 1 ? fx_->zephyr : 999;
        win_ = std::make_unique<TfrmProjectSchedule>();
        QCOMPARE(win_->cmbProject->currentText(), shown);
        QCOMPARE(shownKeys().isEmpty(), false);
    }

    void toggleNotes() {
        start();
        for (bool shown : {true, false}) {
            win_->btnTaskNotes->trigger();
            QCOMPARE(win_->fraTaskList->notesVisible(), shown);
            QCOMPARE(win_->btnTaskNotes->isChecked(), shown);
            QCOMPARE(win_->btnTaskNotes->isCheckable(), shown);
            QCOMPARE(win_->navToggleNotes->text(),
                     shown ? QStringLiteral("Hide task notes") : QStringLiteral("View task notes"));
        }
    }

    void quickActions_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("task");
        QTest::addColumn<QString>("change");
        QTest::newRow("add an hour") << "btnAddHour"
                                     << "design"
                                     << "Elapsed Time changed from 2 to 3";
        QTest::newRow("add an hour to 1.5") << "navAddHour"
                                            << "invoice"
                                            << "Elapsed Time changed from 1.5 to 2.5";
        QTest::newRow("mark complete") << "navMarkComplete"
                                       << "design"
                                       << "Status changed from In Development to Complete";
        QTest::newRow("complete again") << "navMarkComplete"
                                        << "build"
                                        << "Status changed from Complete to Complete";
        QTest::newRow("assign to me") << "navAssignToMe"
                                      << "docs"
                                      << "Developer ID changed from  to %1";
    }
    void quickActions() {
        QFETCH(QString, command);
        QFETCH(QString, task);
        QFETCH(QString, change);
        start();
        const QHash<QString, int> ids{{"design", fx_->design},
                                      {"invoice", fx_->invoice},
                                      {"build", fx_->build},
                                      {"docs", fx_->docs}};
        const int id = ids.value(task);
        focus(id);
        grid()->setRowExpanded(id, true);
        const double remain = grid()->focusedValue(QStringLiteral("Time Remaining")).toDouble();
        win_->findChild<QAction*>(command)->trigger();
        QCOMPARE(fx_->history(id),
                 QStringList{QStringLiteral("Modified by Mia Example|") + change.arg(fx_->me)});
        QCOMPARE(grid()->focusedKey().toInt(), id);
        QVERIFY(grid()->isRowExpanded(id));
        QCOMPARE(grid()->detailRows(id).size(), 1);
        if (command.contains(QLatin1String("Hour")))
            QCOMPARE(grid()->focusedValue(QStringLiteral("Time Remaining")).toDouble(), remain - 1);
        if (task == QLatin1String("build")) // another developer's task keeps its developer
            QCOMPARE(grid()->focusedValue(QStringLiteral("Developer")).toString(),
                     QStringLiteral("Olaf Other"));
    }

    void quickActionsWithoutTask() {
        start();
        win_->navViewMyTasks->trigger();
        win_->fraTaskList->setMyIncompleteTasksFilter(QStringLiteral("Nobody"));
        QVERIFY(!win_->hasFocusedTask());
        for (QAction* a :
             {win_->btnAddHour, win_->navMarkComplete, win_->navAssignToMe, win_->btnDeleteTask})
            a->trigger();
        QVERIFY(Msg::takeShown().isEmpty());
        for (int id : {fx_->design, fx_->build, fx_->review, fx_->invoice, fx_->docs})
            QVERIFY(fx_->history(id).isEmpty());
    }

    void deleteTask_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void deleteTask() {
        QFETCH(bool, yes);
        start();
        fx_->addHistory(fx_->invoice, "Task added by Mia Example", "",
                        QDateTime::currentDateTime());
        focus(fx_->invoice);
        Msg::pushAnswer(yes ? Msg::Answer::Yes : Msg::Answer::No);
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_Delete);
        const auto shown = Msg::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().kind, Msg::Kind::Question);
        QCOMPARE(shown.first().title, QStringLiteral("Delete Task"));
        QCOMPARE(shown.first().text, QStringLiteral("Are you sure you want to delete this task?"));
        QCOMPARE(fx_->taskStored(fx_->invoice), !yes);
        QCOMPARE(shownKeys().contains(fx_->invoice), !yes);
        QCOMPARE(fx_->history(fx_->invoice).size(), 1); // history rows stay
        if (yes)                                        // the row that followed it
            QCOMPARE(grid()->focusedKey().toInt(), fx_->docs);
    }

    void myIncompleteTasksCommand() {
        start();
        win_->navViewMyTasks->trigger();
        QCOMPARE(shownKeys(), (QList<int>{fx_->design, fx_->invoice}));
        focus(fx_->design);
        win_->navMarkComplete->trigger();
        QCOMPARE(win_->myTasksCaption(), QStringLiteral("My incomplete tasks: 1"));
        QCOMPARE(shownKeys(), QList<int>{fx_->invoice});
    }

    void editCommandOpensTheRowsTask() {
        start();
        win_->fraTaskList->setNotesVisible(false);
        const QRect cell = grid()->cellRect(fx_->invoice, QStringLiteral("Task"));
        int editing = -1;
        QVERIFY(whileModal<TfrmEditTask>(
            [&] { QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {}, cell.center()); },
            [&](TfrmEditTask* dlg) { editing = dlg->taskID(); }));
        QCOMPARE(editing, fx_->invoice);
    }

    void enterKey_data() {
        QTest::addColumn<bool>("onGroup");
        QTest::newRow("task row: the editor") << false;
        QTest::newRow("group row: opens and closes the group") << true;
    }
    void enterKey() {
        QFETCH(bool, onGroup);
        start();
        DataGrid* g = grid();
        g->setGroupFields({QStringLiteral("Feature")});
        g->expandAllGroups();
        const QVariantList accounts{QStringLiteral("Accounts")};
        g->setFocus();
        focus(fx_->design);
        if (onGroup)
            QTest::keyClick(g, Qt::Key_Home); // the Accounts group above it
        QCOMPARE(g->focusedKey().isValid(), !onGroup);
        for (bool expandedAfter : {false, true}) {
            int editing = 0;
            const bool edited =
                whileModal<TfrmEditTask>([&] { QTest::keyClick(g, Qt::Key_Return); },
                                         [&](TfrmEditTask* dlg) { editing = dlg->taskID(); });
            QCOMPARE(edited, !onGroup);
            if (!onGroup) {
                QCOMPARE(editing, fx_->design);
                break;
            }
            QCOMPARE(g->isGroupExpanded(accounts), expandedAfter);
            QVERIFY(!g->focusedKey().isValid()); // the group row keeps the focus
        }
    }

    void webPages_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("path");
        QTest::newRow("release") << "2.0.29.103"
                                 << "/updates/pelloran-2.html";
        QTest::newRow("two digits") << "12.1"
                                    << "/updates/pelloran-12.html";
        QTest::newRow("no dot") << "7"
                                << "/updates/pelloran-.html";
    }
    void webPages() {
        QFETCH(QString, version);
        QFETCH(QString, path);
        const QUrl url = WebPages::updatePage(version);
        QCOMPARE(url.path(), path);
        QCOMPARE(url.host(), WebPages::homePage().host());
    }

    void webCommandsOpenTheBrowser() {
        start();
        win_->btnCheckForUpdate->trigger();
        win_->btnZevWebsite->trigger();
        QCOMPARE(opened_.size(), 2);
        QCOMPARE(opened_.at(0).toString(),
                 QStringLiteral("https://www.pelloran.example/updates/pelloran-2.html"));
        QCOMPARE(opened_.at(1).toString(), QStringLiteral("https://www.pelloran.example/"));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
