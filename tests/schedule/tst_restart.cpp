// Each user gets the main window back as they left it: closing stores the
// side panel, size, colour scheme and grid layout; the next window reads them.
#include "schedule/ProjectSchedule.h"
#include "schedule/TaskListFrame.h"
#include "widgets/DataGrid.h"
#include "widgets/SidePanel.h"

#include "ScheduleFixture.h"

#include <QtTest>

class TestRestart : public QObject {
    Q_OBJECT
private slots:
    void windowComesBackAsItWasLeft() {
        ScheduleFixture f;
        const GridStyleSheet& rainy = f.globals->StyleRepository.sheet(
            f.globals->StyleRepository.indexOf(QStringLiteral("GridTableViewStyleSheetRainyDay")));
        QString layout;
        {
            TfrmProjectSchedule first;
            first.show();
            QVERIFY(QTest::qWaitForWindowExposed(&first));
            first.setSideBarVisible(false);
            first.setStyleSheetName(rainy.name);
            first.resize(700, 450);
            DataGrid* grid = first.fraTaskList->gridSchedule;
            grid->setColumnWidth(QStringLiteral("Task"), 222);
            grid->setColumnVisible(QStringLiteral("Status"), false);
            layout = grid->saveLayout();
            QVERIFY(first.close());
        }
        TfrmProjectSchedule second;
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&second));
        QVERIFY(!second.sideBarVisible());
        QCOMPARE(second.styleSheetName(), rainy.name);
        QCOMPARE(second.size(), QSize(700, 450));
        QCOMPARE(second.fraTaskList->gridSchedule->saveLayout(), layout);
        QVERIFY(f.errors.isEmpty());
    }

    void anotherUsersWindowIsNotAffected() {
        ScheduleFixture f;
        {
            TfrmProjectSchedule mine;
            mine.show();
            mine.setSideBarVisible(false);
            QVERIFY(mine.close());
        }
        f.globals->CurrentUserID = f.other;
        TfrmProjectSchedule theirs;
        theirs.show();
        QVERIFY(QTest::qWaitForWindowExposed(&theirs));
        QVERIFY(theirs.sideBarVisible());
        QCOMPARE(theirs.styleSheetName(), QStringLiteral("GridTableViewStyleSheetSlate"));
    }
};

QTEST_MAIN(TestRestart)
#include "tst_restart.moc"
