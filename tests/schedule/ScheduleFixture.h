#pragma once
// A program folder of its own with both data modules, two users, two
// projects and a handful of tasks whose estimates, priorities, developers and
// statuses cover what the task list and the quick actions look at.
#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "data/ProjectData.h"
#include "tests/common/Modal.h"
#include "tests/common/TestRows.h"
#include "widgets/ApplicationFont.h"
#include "widgets/ErrorHandling.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

struct ScheduleFixture {
    QTemporaryDir dir;
    std::unique_ptr<TdmGlobals> globals;
    std::unique_ptr<TdmProjects> projects;
    QStringList errors; // what reached the central error handler

    int me = 0, other = 0;
    int apollo = 0, zephyr = 0;
    int accounts = 0, billing = 0, elsewhere = 0;
    // Apollo, in schedule order: Accounts (design 1, build 3, review 4), Billing (invoice 2, docs
    // 5).
    int design = 0, build = 0, review = 0, invoice = 0, docs = 0;
    int remote = 0; // Zephyr's only task

    // defaultProject: 0 for none; -1 for Apollo.
    explicit ScheduleFixture(bool admin = true, int defaultProject = -1) {
        QLocale::setDefault(QLocale::c());
        setApplicationFont(); // as the start-up sequence sets it
        globals = std::make_unique<TdmGlobals>(dir.path());
        me = add(QStringLiteral("Developers"), {{"LoginName", "me"}, {"Name", "Mia Example"}});
        other = add(QStringLiteral("Developers"), {{"LoginName", "other"}, {"Name", "Olaf Other"}});
        apollo = add(QStringLiteral("Projects"), {{"Name", "Apollo"}});
        zephyr = add(QStringLiteral("Projects"), {{"Name", "Zephyr"}});
        accounts = addFeature(apollo, QStringLiteral("Accounts"));
        billing = addFeature(apollo, QStringLiteral("Billing"));
        elsewhere = addFeature(zephyr, QStringLiteral("Elsewhere"));
        // Entered out of order: the schedule sorts them.
        docs = addTask(billing, 0, "Docs", 5, 2, 2, 0, "Not Started");
        review = addTask(accounts, me, "Review", 4, 1, 1, 1, "Complete");
        design = addTask(accounts, me, "Design", 1, 5, 6, 2, "In Development", "first\nsecond");
        invoice = addTask(billing, me, "Invoice", 2, 3, 4, 1.5, "Testing");
        build = addTask(accounts, other, "Build", 3, 8, 8, 9, "Complete");
        remote = addTask(elsewhere, me, "Remote", 3, 2, 2, 0, "Not Started");
        globals->CurrentUserID = me;
        globals->CurrentUserName = QStringLiteral("Mia Example");
        globals->CurrentUserIsAdmin = admin;
        globals->CurrentUserDefaultProjectID = defaultProject < 0 ? apollo : defaultProject;
        projects = std::make_unique<TdmProjects>(*globals); // on Apollo, the first project
        ErrorHandling::setUnexpectedHandler(
            [this](std::exception_ptr e) { errors << ErrorHandling::messageOf(e); });
    }
    ~ScheduleFixture() {
        ErrorHandling::setUnexpectedHandler({});
        drainMessageAnswers();
        projects.reset();
        globals.reset();
    }

    DbConnection& conn() { return globals->Connection(); }

    int add(const QString& table, const QVariantMap& values) {
        return addRow(conn(), table, values);
    }
    int addFeature(int project, const QString& name) {
        return add(QStringLiteral("Features"), {{"Project ID", project}, {"Name", name}});
    }
    int addTask(int feature, int developer, const char* name, int priority, double original,
                double current, double elapsed, const char* status, const char* notes = "") {
        QVariantMap v{{"Feature ID", feature},
                      {"Name", QLatin1String(name)},
                      {"Priority", priority},
                      {"Original Estimate", original},
                      {"Current Estimate", current},
                      {"Elapsed Time", elapsed},
                      {"Status", QLatin1String(status)},
                      {"Notes", QLatin1String(notes)}};
        if (developer)
            v.insert(QStringLiteral("Developer ID"), developer);
        return add(QStringLiteral("Tasks"), v);
    }
    int addHistory(int task, const QString& action, const QString& change, const QDateTime& stamp) {
        return add(QStringLiteral("History"), {{"Task ID", task},
                                               {"User ID", me},
                                               {"Action Description", action},
                                               {"Change Description", change},
                                               {"Modified Datestamp", stamp}});
    }
    // "Action|Change" of every History row of the task, in stored order.
    QStringList history(int taskID) { return historyLines(conn(), taskID); }
    bool taskStored(int taskID) {
        DbTable t(conn(), QStringLiteral("Tasks"));
        t.open();
        return t.locate(QStringLiteral("Task ID"), taskID);
    }
    int currentTaskID() {
        DbQuery* q = projects->sqlSchedule;
        return q->hasCurrent() ? q->fieldByName(QStringLiteral("Task ID")).asInteger() : 0;
    }
};
