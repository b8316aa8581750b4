#include "schedule/EditProject.h"

#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/ProjectData.h"
#include "widgets/DialogFlags.h"
#include "widgets/ErrorHandling.h"
#include "widgets/HelpRouter.h"
#include "widgets/LookupCombo.h"
#include "widgets/MessageBoxes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kClientWidth = 307;
constexpr int kClientHeight = 96;

const QString kIdField = QStringLiteral("Project ID");
const QString kNameField = QStringLiteral("Name");
const QString kDeveloperField = QStringLiteral("Default Developer ID");

ProjectSelectorText& selectorText() {
    static ProjectSelectorText show;
    return show;
}

void showInSelector(const QString& name) {
    if (selectorText())
        selectorText()(name);
}
} // namespace

void setProjectSelectorText(ProjectSelectorText show) {
    selectorText() = std::move(show);
}

TfrmEditProject::TfrmEditProject(QWidget* parent)
    : QDialog(parent, kFixedDialogFlags) {
    setObjectName(QStringLiteral("frmEditProject"));
    setWindowTitle(QStringLiteral("Edit Project"));
    setFixedSize(kClientWidth, kClientHeight);

    lblProjectName = new QLabel(QStringLiteral("Project &Name:"), this);
    lblProjectName->setObjectName(QStringLiteral("lblProjectName"));
    lblProjectName->setGeometry(8, 11, 96, 17);
    txtProjectName = new QLineEdit(this);
    txtProjectName->setObjectName(QStringLiteral("txtProjectName"));
    txtProjectName->setGeometry(108, 8, 191, 21);
    txtProjectName->setMaxLength(kNameWidth);
    lblProjectName->setBuddy(txtProjectName);

    lblDefaultDeveloper = new QLabel(QStringLiteral("&Default Developer:"), this);
    lblDefaultDeveloper->setObjectName(QStringLiteral("lblDefaultDeveloper"));
    lblDefaultDeveloper->setGeometry(8, 38, 96, 17);
    cmbDefaultDeveloper = new LookupCombo(this);
    cmbDefaultDeveloper->setObjectName(QStringLiteral("cmbDefaultDeveloper"));
    cmbDefaultDeveloper->setGeometry(108, 35, 191, 21);
    lblDefaultDeveloper->setBuddy(cmbDefaultDeveloper);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(143, 66, 75, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnCancel->setGeometry(224, 66, 75, 25);

    connect(btnOK, &QPushButton::clicked, this, &TfrmEditProject::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmEditProject::btnCancelClick);
    HelpRouter::attach(this, kHelpContext);

    txtProjectName->setFocus();
    FormCreate();
}

TfrmEditProject::~TfrmEditProject() = default;

void TfrmEditProject::FormCreate() {
    dbProjects = std::make_unique<DbTable>(dmGlobals->Connection(), QStringLiteral("Projects"));
    dbProjects->setIndexName(QStringLiteral("PROJECT ID"));
    dbProjects->open();
    dbDevelopers = std::make_unique<DbTable>(dmGlobals->Connection(), QStringLiteral("Developers"));
    dbDevelopers->setIndexName(QStringLiteral("LOGINNAME"));
    dbDevelopers->open();

    // The empty first row lets a project have no default developer.
    QList<LookupCombo::Item> developers{{0, QString()}};
    for (dbDevelopers->first(); !dbDevelopers->eof(); dbDevelopers->next())
        developers.append({dbDevelopers->fieldByName(QStringLiteral("Developer ID")).asInteger(),
                           dbDevelopers->fieldByName(kNameField).asString()});
    cmbDefaultDeveloper->setItems(developers);
}

void TfrmEditProject::loadRecord() {
    txtProjectName->setText(dbProjects->fieldByName(kNameField).asString());
    cmbDefaultDeveloper->setKeyValue(dbProjects->fieldByName(kDeveloperField).asInteger());
}

void TfrmEditProject::btnOKClick() {
    if (txtProjectName->text().trimmed().isEmpty()) {
        Msg::information(this, QStringLiteral("You must specify a name for this project."));
        txtProjectName->setFocus();
        return;
    }
    int projectID = 0;
    try {
        dbProjects->fieldByName(kNameField).setAsString(txtProjectName->text());
        DbField& developer = dbProjects->fieldByName(kDeveloperField);
        if (const int key = cmbDefaultDeveloper->keyValue(); key != 0)
            developer.setAsInteger(key);
        else if (!developer.isNull())
            developer.clear();
        dbProjects->post();
        projectID = dbProjects->fieldByName(kIdField).asInteger();
    } catch (...) {
        // A failed save (a row locked elsewhere) keeps the dialog open on the pending row.
        ErrorHandling::handleUnexpected(std::current_exception());
        return;
    }
    accept();

    // The saved project becomes the current one; the schedule follows it.
    try {
        if (dmProjects) {
            DbTable* shared = dmProjects->dbProjects;
            shared->refresh();
            if (shared->locate(kIdField, projectID))
                showInSelector(shared->fieldByName(kNameField).asString());
        }
    } catch (...) {
        ErrorHandling::handleUnexpected(std::current_exception());
    }
}

void TfrmEditProject::btnCancelClick() {
    reject();
}

void TfrmEditProject::reject() {
    if (dbProjects)
        dbProjects->cancel();
    QDialog::reject();
}

int AddProject(QWidget* parent) {
    TfrmEditProject dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Add Project"));
    dialog.dbProjects->append();
    dialog.loadRecord();
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    return dialog.dbProjects->fieldByName(kIdField).asInteger();
}

void EditProject(int projectID, QWidget* parent) {
    TfrmEditProject dialog(parent);
    if (!dialog.dbProjects->locate(kIdField, projectID))
        return;
    dialog.dbProjects->edit();
    dialog.loadRecord();
    dialog.exec();
}

void deleteProjectCascade(DbConnection& connection, int projectID) {
    // The bound :ProjectID stands where the statements take the project's id.
    static const QString kStatements[] = {
        QStringLiteral(
            R"sql(delete from History where "Task ID" in (select "Task ID" from Tasks where "Feature ID" in (select "Feature ID" from Features where "Project ID" = :ProjectID)))sql"),
        QStringLiteral(
            R"sql(delete from Tasks where "Feature ID" in (select "Feature ID" from Features where "Project ID" = :ProjectID))sql"),
        QStringLiteral(R"sql(delete from Features where "Project ID" = :ProjectID)sql"),
        QStringLiteral(R"sql(delete from Projects where "Project ID" = :ProjectID)sql"),
    };
    // Children first, all or nothing: a failure part-way must not leave a
    // project whose tasks are gone but whose features remain.
    DbConnection::Transaction tx(connection);
    for (const QString& sql : kStatements)
        connection.execute(sql, {projectID});
    tx.commit();
}

bool deleteCurrentProject(QWidget* parent) {
    DbTable* projects = dmProjects->dbProjects;
    if (!projects->hasCurrent())
        return false;
    const QString name = projects->fieldByName(kNameField).asString();
    if (!Msg::confirm(parent, QStringLiteral("Are you sure you want to delete the %1 project and "
                                             "all associated features, tasks and history?")
                                  .arg(name)))
        return false;

    deleteProjectCascade(dmGlobals->Connection(), projects->fieldByName(kIdField).asInteger());

    projects->refresh();
    projects->first();
    showInSelector(projects->hasCurrent() ? projects->fieldByName(kNameField).asString()
                                          : QString());
    return true;
}
