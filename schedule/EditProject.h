#pragma once
// The project dialog (add a project, edit one) and the deletion of a project
// with its features, tasks and history.
#include "data/EditConflicts.h"

#include <QDialog>
#include <functional>
#include <memory>

class DbConnection;
class DbTable;
class QLabel;
class QLineEdit;
class QPushButton;
class LookupCombo;

class TfrmEditProject : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 5000;
    static constexpr int kNameWidth = 60;

    // Opens the dialog's own cursors; errors propagate.
    explicit TfrmEditProject(QWidget* parent = nullptr);
    ~TfrmEditProject() override;

    // Fills the controls from the pending row (after an append or an edit).
    void loadRecord();
    // Puts the stored project into edit state and shows it; false when it
    // does not exist.
    bool beginEdit(int projectID);

    std::unique_ptr<DbTable> dbProjects;
    std::unique_ptr<DbTable> dbDevelopers;

    QLabel* lblProjectName = nullptr;
    QLineEdit* txtProjectName = nullptr;
    QLabel* lblDefaultDeveloper = nullptr;
    LookupCombo* cmbDefaultDeveloper = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

public slots:
    // Esc, Cancel and the close box all drop the pending row.
    void reject() override;

private:
    void FormCreate();
    void btnOKClick();
    void btnCancelClick();
    // Stores the controls into the pending row and posts it.
    void storeAndPost();
    // Asks what to do now that someone else changed the project since it was
    // opened: true to save over it; reloads it when the user says so.
    bool overwriteOthersChanges();

    // The project as opened for editing.
    RowSnapshot opened_;
};

// Opens the dialog on a new project; the new "Project ID", or 0 when cancelled.
// After OK the saved project is the current project (and the selector shows it).
int AddProject(QWidget* parent = nullptr);
// Opens the dialog on that project; shows nothing when no project has that id.
void EditProject(int projectID, QWidget* parent = nullptr);

// Deletes the current project of the project data module with its features,
// tasks and their history, after the user confirmed. All rows go in one
// transaction: a failure deletes nothing and propagates. Afterwards the first
// remaining project is current. True when the project was deleted.
bool deleteCurrentProject(QWidget* parent = nullptr);
// The deletion itself, without asking: History, Tasks, Features, Projects.
void deleteProjectCascade(DbConnection& connection, int projectID);

// The main window's project selector, as the project commands see it: told the
// name of the project that is now current (empty when none is left). The main
// window installs it; an empty function removes it.
using ProjectSelectorText = std::function<void(const QString& name)>;
void setProjectSelectorText(ProjectSelectorText show);
