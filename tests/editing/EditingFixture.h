#pragma once
// A program folder of its own per test with both data modules, two users,
// two projects and two features, and helpers to drive the modal dialogs of
// the editing folder from inside their event loops.
#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "tests/common/Modal.h"
#include "tests/common/TestRows.h"
#include "widgets/ApplicationFont.h"
#include "widgets/ErrorHandling.h"
#include "widgets/MessageBoxes.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

struct EditingFixture {
    QTemporaryDir dir;
    std::unique_ptr<TdmGlobals> globals;
    std::unique_ptr<TdmProjects> projects;
    QStringList errors; // what reached the central error handler

    int me = 0, other = 0;
    int apollo = 0, zephyr = 0;    // zephyr has "other" as its default developer
    int accounts = 0, billing = 0; // features of apollo
    int elsewhere = 0;             // feature of zephyr

    EditingFixture() {
        QLocale::setDefault(QLocale::c());
        setApplicationFont(); // as the start-up sequence sets it
        QApplication::setApplicationDisplayName(QStringLiteral("Pelloran"));
        globals = std::make_unique<TdmGlobals>(dir.path());
        me = add(QStringLiteral("Developers"), {{"LoginName", "me"}, {"Name", "Mia Example"}});
        other = add(QStringLiteral("Developers"), {{"LoginName", "other"}, {"Name", "Olaf Other"}});
        apollo = add(QStringLiteral("Projects"), {{"Name", "Apollo"}});
        zephyr =
            add(QStringLiteral("Projects"), {{"Name", "Zephyr"}, {"Default Developer ID", other}});
        accounts = addFeature(apollo, QStringLiteral("Accounts"));
        billing = addFeature(apollo, QStringLiteral("Billing"));
        elsewhere = addFeature(zephyr, QStringLiteral("Elsewhere"));
        globals->CurrentUserID = me;
        globals->CurrentUserName = QStringLiteral("Mia Example");
        projects = std::make_unique<TdmProjects>(*globals); // on the first project, Apollo
        ErrorHandling::setUnexpectedHandler(
            [this](std::exception_ptr e) { errors << ErrorHandling::messageOf(e); });
    }
    ~EditingFixture() {
        ErrorHandling::setUnexpectedHandler({});
        // Answers a test left over must not reach the next one.
        while (Msg::answersQueued())
            Msg::information(nullptr, QString());
        Msg::takeShown();
        projects.reset();
        globals.reset();
        QLocale::setDefault(QLocale::c());
    }

    DbConnection& conn() { return globals->Connection(); }

    int add(const QString& table, const QVariantMap& values) {
        return addRow(conn(), table, values);
    }
    int addFeature(int project, const QString& name) {
        return add(QStringLiteral("Features"), {{"Project ID", project}, {"Name", name}});
    }
    int addTask(const QVariantMap& values) {
        QVariantMap v{{"Feature ID", accounts}, {"Developer ID", me},      {"Name", "Alpha"},
                      {"Priority", 3},          {"Current Estimate", 5.0}, {"Elapsed Time", 3.0},
                      {"Status", "Not Started"}};
        for (auto it = values.begin(); it != values.end(); ++it)
            v[it.key()] = it.value();
        return add(QStringLiteral("Tasks"), v);
    }

    // A fresh cursor on the row, so a check reads what is stored.
    std::unique_ptr<DbTable> row(const QString& table, const QString& idField, int id) {
        auto t = std::make_unique<DbTable>(conn(), table);
        t->open();
        if (!t->locate(idField, id))
            return nullptr;
        return t;
    }
    int count(const QString& sql) {
        DbQuery q(conn(), sql);
        q.open();
        return q.field(0).asInteger();
    }
    // "Action|Change" of every History row of the task, oldest first.
    QStringList history(int taskID) { return historyLines(conn(), taskID); }
    // The ids of the schedule's rows.
    QList<int> scheduled() {
        QList<int> ids;
        DbQuery* q = projects->sqlSchedule;
        q->close();
        q->open();
        for (q->first(); !q->eof(); q->next())
            ids << q->fieldByName(QStringLiteral("Task ID")).asInteger();
        return ids;
    }
};

// Replaces what a line box or spin box holds by typing, as a user would.
inline void typeInto(QWidget* box, const QString& text) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Delete);
    else
        QTest::keyClicks(box, text);
}
