#include "data/EditRules.h"

#include "data/Dataset.h"
#include "data/Passwords.h"

#include <QCoreApplication>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("EditRules", text);
}

int loginWidth() {
    const TableDef* users = findTableDef(QStringLiteral("Developers"));
    const FieldDef* login = users ? users->field(QStringLiteral("LoginName")) : nullptr;
    return login ? login->width : 20;
}

// One number out of a query.
int countOf(DbConnection& conn, const QString& sql, const QVariantMap& params) {
    DbQuery q(conn, sql);
    for (auto it = params.begin(); it != params.end(); ++it)
        q.paramByName(it.key()).setValue(it.value());
    q.open();
    const int n = q.hasCurrent() ? q.field(0).asInteger() : 0;
    q.close();
    return n;
}

bool isAdministrator(DbConnection& conn, int developerID) {
    return countOf(conn, QStringLiteral(R"(select count(*) from developers
where "Developer ID" = :DeveloperID and "IsAdmin" <> 0)"),
                   {{QStringLiteral("DeveloperID"), developerID}}) > 0;
}

} // namespace

QString loginKey(const QString& loginName) {
    // As the field stores it: the first 20 characters, without trailing blanks.
    QString s = loginName.left(loginWidth());
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1) == u' ')
        --end;
    s.truncate(end);
    return upperAsciiLetters(s);
}

int userWithLoginName(DbConnection& conn, const QString& loginName, int exceptDeveloperID) {
    // The engine's upper() changes a to z only, as upperAsciiLetters does.
    return countOf(conn, QStringLiteral(R"(select coalesce(min("Developer ID"), 0) from developers
where upper("LoginName") = :LoginKey and "Developer ID" <> :ExceptID)"),
                   {{QStringLiteral("LoginKey"), loginKey(loginName)},
                    {QStringLiteral("ExceptID"), exceptDeveloperID}});
}

int administratorCount(DbConnection& conn, int exceptDeveloperID) {
    return countOf(conn, QStringLiteral(R"(select count(*) from developers
where "IsAdmin" <> 0 and "Developer ID" <> :ExceptID)"),
                   {{QStringLiteral("ExceptID"), exceptDeveloperID}});
}

int featureTaskCount(DbConnection& conn, int featureID) {
    return countOf(conn, QStringLiteral(R"(select count(*) from tasks where "Feature ID" = :ID)"),
                   {{QStringLiteral("ID"), featureID}});
}

QString refuseLoginName(DbConnection& conn, int developerID, const QString& loginName) {
    // A login name the user keeps is not held against them, even where older
    // data already has it twice: only a new or changed name must be free.
    if (developerID != 0) {
        DbTable users(conn, QStringLiteral("Developers"));
        users.open();
        if (users.locate(QStringLiteral("Developer ID"), developerID) &&
            loginKey(users.fieldByName(QStringLiteral("LoginName")).asString()) ==
                loginKey(loginName))
            return {};
    }
    if (userWithLoginName(conn, loginName, developerID) != 0)
        return tr("Another user already has the login name \"%1\". Please choose another login "
                  "name.")
            .arg(loginName.trimmed());
    return {};
}

QString refuseAdministratorChange(DbConnection& conn, int developerID, bool isAdmin) {
    if (developerID != 0 && !isAdmin && isAdministrator(conn, developerID) &&
        administratorCount(conn, developerID) == 0)
        return tr("This user is the last administrator. Make another user an administrator "
                  "before removing this one's administrator rights.");
    return {};
}

QString refuseUserDelete(DbConnection& conn, int developerID) {
    if (isAdministrator(conn, developerID) && administratorCount(conn, developerID) == 0)
        return tr("You cannot delete the last administrator. Make another user an administrator "
                  "first.");
    return {};
}

QString refuseFeatureDelete(DbConnection& conn, int featureID, const QString& featureName) {
    const int tasks = featureTaskCount(conn, featureID);
    if (tasks == 1)
        return tr("Feature %1 still has 1 task. Move or delete it first.").arg(featureName);
    if (tasks > 1)
        return tr("Feature %1 still has %2 tasks. Move or delete them first.")
            .arg(featureName, QString::number(tasks));
    return {};
}

bool changeOwnPassword(DbConnection& conn, int developerID, const QString& oldPassword,
                       const QString& newPassword) {
    DbTable users(conn, QStringLiteral("Developers"));
    users.open();
    if (developerID == 0 || !users.locate(QStringLiteral("Developer ID"), developerID))
        return false;
    DbField& stored = users.fieldByName(QStringLiteral("Password"));
    if (!passwordMatches(stored.asString(), oldPassword))
        return false;
    users.edit();
    try {
        stored.setAsString(hashPassword(newPassword));
        users.post();
    } catch (...) {
        users.cancel();
        throw;
    }
    return true;
}
