#include "data/FeatureRules.h"

#include "data/Dataset.h"

namespace {
const QString kFeatures = QStringLiteral("Features");
const QString kFeatureID = QStringLiteral("Feature ID");
const QString kProjectID = QStringLiteral("Project ID");
const QString kName = QStringLiteral("Name");

const char* const kCountFeaturesSql = R"(select count(*)
from features
where (Upper(features."Name") = :Name)
  and (features."Project ID") = :"Project ID")";

const char* const kSameButCaseSql = R"(select "Feature ID"
from features
where upper("Name") = :Name and "Project ID" = :ProjectID
order by "Feature ID")";
} // namespace

QString storedFeatureName(const QString& typed) {
    QString s = typed.left(kFeatureNameWidth);
    while (s.endsWith(u' '))
        s.chop(1);
    return s;
}

bool projectHasFeature(DbConnection& conn, int projectID, const QString& name) {
    DbQuery count(conn, QString::fromUtf8(kCountFeaturesSql));
    count.paramByName(kName).setAsString(upperAsciiLetters(name));
    count.paramByName(kProjectID).setAsInteger(projectID);
    count.open();
    return count.field(0).asInteger() > 0;
}

int findFeature(DbConnection& conn, int projectID, const QString& name) {
    DbTable features(conn, kFeatures);
    features.open();
    if (features.locate(kName + u';' + kProjectID, QVariantList{name, projectID}))
        return features.fieldByName(kFeatureID).asInteger();
    DbQuery same(conn, QString::fromUtf8(kSameButCaseSql));
    same.paramByName(kName).setAsString(upperAsciiLetters(name));
    same.paramByName(QStringLiteral("ProjectID")).setAsInteger(projectID);
    same.open();
    return same.hasCurrent() ? same.field(0).asInteger() : 0;
}

int addFeature(DbConnection& conn, int projectID, const QString& name) {
    DbTable features(conn, kFeatures);
    features.open();
    try {
        features.append();
        features.fieldByName(kProjectID).setAsInteger(projectID);
        features.fieldByName(kName).setAsString(name);
        features.post();
    } catch (const PelloranError&) {
        features.cancel();
        return 0;
    }
    return features.fieldByName(kFeatureID).asInteger();
}

std::optional<QString> featureNameOf(DbConnection& conn, int featureID) {
    DbTable features(conn, kFeatures);
    features.open();
    if (!features.locate(kFeatureID, featureID))
        return std::nullopt;
    return features.fieldByName(kName).asString();
}

int findOrAddFeature(DbConnection& conn, int projectID, const QString& typed,
                     const std::function<bool(const QString& name)>& confirmAdd) {
    const QString name = storedFeatureName(typed);
    if (!projectHasFeature(conn, projectID, name)) {
        if (!confirmAdd || !confirmAdd(name))
            return 0;
        addFeature(conn, projectID, name);
    }
    const int featureID = findFeature(conn, projectID, name);
    if (featureID == 0)
        throw PelloranError(QStringLiteral("Cannot find feature ") + name + QStringLiteral("!"));
    return featureID;
}
