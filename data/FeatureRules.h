#pragma once
// How a typed feature name finds its feature in a project, as the task
// editor's OK does it: the name in the form the table keeps, the existence
// test that ignores letter case, the lookup, and the adding of a new feature.
#include <QString>

#include <functional>
#include <optional>

class DbConnection;

// Width of the "Name" field of Features (and Tasks).
inline constexpr int kFeatureNameWidth = 60;

// A typed name as the "Name" field keeps it: cut to 60 characters, trailing
// blanks dropped; leading blanks stay. Looking up in this form means a name
// typed with trailing blanks finds the feature it names instead of adding a twin.
QString storedFeatureName(const QString& typed);

// Whether the project has a feature of that name, the letters a to z
// compared without regard to case (as the engine's upper() does).
bool projectHasFeature(DbConnection& conn, int projectID, const QString& name);

// The feature of the project that the name stands for: the one with exactly
// that name, otherwise the oldest one whose name differs only in letter case
// (the existence test took it for this name); 0 when there is none.
int findFeature(DbConnection& conn, int projectID, const QString& name);

// Adds a feature of that name to the project. Returns its id, or 0 when it
// could not be stored; that failure is dropped on purpose: the lookup that
// follows reports the missing feature.
int addFeature(DbConnection& conn, int projectID, const QString& name);

// The "Name" of the feature with that id; nullopt when there is none.
std::optional<QString> featureNameOf(DbConnection& conn, int featureID);

// The feature step of saving a task: the typed name in stored form is looked
// up in the project; when the project has no feature of that name,
// `confirmAdd` is asked (with the stored-form name) and, on yes, the feature
// is added. Returns the feature's id, or 0 when `confirmAdd` said no. Raises
// PelloranError "Cannot find feature %s!" when there is still no feature.
int findOrAddFeature(DbConnection& conn, int projectID, const QString& typed,
                     const std::function<bool(const QString& name)>& confirmAdd);
