#pragma once
// Changes the program refuses because they would lock the team out or hide
// data: deleting or demoting the last administrator, a login name that the
// login could not tell from another user's, and deleting a feature that still
// has tasks; and a password changed only by who knows the old one.
// Each refusal is a sentence for the user; an empty text allows
// the change. Dialogs ask here, show the sentence and keep their record.
#include <QString>

class DbConnection;

// The login name as the login finds it: cut to the field's 20 characters,
// trailing blanks dropped, letters a to z upper-cased.
QString loginKey(const QString& loginName);

// The "Developer ID" of a user other than `exceptDeveloperID` whose login name
// the login would take for `loginName`, or 0 when there is none.
int userWithLoginName(DbConnection& conn, const QString& loginName, int exceptDeveloperID = 0);

// Administrators in the users table, not counting `exceptDeveloperID` (0:
// count everyone). An empty "IsAdmin" is no administrator.
int administratorCount(DbConnection& conn, int exceptDeveloperID = 0);

// Tasks that belong to the feature, in whatever project.
int featureTaskCount(DbConnection& conn, int featureID);

// Why the user (0: a new one) may not have this login name: another user
// has it as the login sees it. A user who keeps their name is never refused.
// Empty when it may.
QString refuseLoginName(DbConnection& conn, int developerID, const QString& loginName);
// Why the user may not be stored with this administrator flag: it would take
// the rights from the last administrator. Empty when it may.
QString refuseAdministratorChange(DbConnection& conn, int developerID, bool isAdmin);
// Why the user may not be deleted; empty when it may.
QString refuseUserDelete(DbConnection& conn, int developerID);
// Why the feature may not be deleted; empty when it may.
QString refuseFeatureDelete(DbConnection& conn, int featureID, const QString& featureName);

// Stores `newPassword` for the user when `oldPassword` is the one stored now;
// false, and nothing stored, when it is not (or the user no longer exists).
bool changeOwnPassword(DbConnection& conn, int developerID, const QString& oldPassword,
                       const QString& newPassword);
