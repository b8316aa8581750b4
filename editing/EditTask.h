#pragma once
// The task editor: adds a task to the current project or changes one task,
// and records every saved change as a History row of the task.
#include "data/TaskHistory.h"

#include <QDialog>
#include <memory>

class DbDataset;
class DbQuery;
class DbTable;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class LookupCombo;
class TimeSpinBox;
class TdmGlobals;
class TdmProjects;

class TfrmEditTask : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 2000;
    static constexpr int kClientWidth = 315;
    static constexpr int kClientHeight = 256;

    // Opens the dialog's own cursors on the globals' connection; the current
    // project is that of `projects`. Errors propagate.
    TfrmEditTask(TdmGlobals& globals, TdmProjects& projects, QWidget* parent = nullptr);
    ~TfrmEditTask() override;

    int helpContext() const { return kHelpContext; }

    QTabWidget* pcTask = nullptr;
    QWidget* tsTask = nullptr;
    QWidget* tsNotes = nullptr;
    QLabel* labFeature = nullptr;
    QComboBox* cmbFeature = nullptr;
    QToolButton* btnAddFeature = nullptr;
    QLabel* labTaskName = nullptr;
    QLineEdit* txtTaskName = nullptr;
    QLabel* labPriority = nullptr;
    QComboBox* cmbPriority = nullptr;
    QLabel* labTimesNote = nullptr;
    QLabel* labOriginalEstimate = nullptr;
    TimeSpinBox* txtOriginalEstimate = nullptr;
    QLabel* labCurrentEstimate = nullptr;
    TimeSpinBox* txtCurrentEstimate = nullptr;
    QLabel* labElapsedTime = nullptr;
    TimeSpinBox* txtElapsedTime = nullptr;
    QLabel* labStatus = nullptr;
    QComboBox* cmbStatus = nullptr;
    QLabel* labDeveloper = nullptr;
    LookupCombo* cmbDeveloper = nullptr;
    QToolButton* btnAddDeveloper = nullptr;
    QPlainTextEdit* memNotes = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnHelp = nullptr;

    std::unique_ptr<DbTable> dbTasks;
    std::unique_ptr<DbQuery> sqlFeatures;
    std::unique_ptr<DbTable> dbFeatures;
    std::unique_ptr<DbQuery> sqlDevelopers;
    std::unique_ptr<DbTable> dbHistory;

    // True in add mode.
    bool IsNewTask = false;

    // The task as stored when the dialog opened for editing; the history
    // compares the saved task with these.
    TaskValues OldTaskValues;
    void SetOldTaskValues();

    // The task's id once stored (0 before).
    int taskID() const;
    // True when OK found that the task had been deleted by another user.
    bool taskWasDeleted() const { return taskGone_; }

    static const char* const kFeaturesSql;
    static const char* const kDevelopersSql;

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend void AddTask(QWidget* parent);
    friend void EditTaskID(int taskID, QWidget* parent);

    void FormCreate();
    void beginAdd();
    bool beginEdit(int taskID);
    // Puts the record's values into the boxes, without writing anything back.
    void showRecord();
    // The text boxes write their value when they lose the focus or on OK.
    void storeTaskName();
    void storeNotes();

    void sqlFeaturesAfterOpen();
    void dbTasksNewRecord();
    void dbTasksAfterPost();
    void txtOriginalEstimateChange(double value);
    void btnOKClick();
    void btnCancelClick();
    void btnHelpClick();
    void btnAddFeatureClick();
    void btnAddDeveloperClick();

    bool taskStillStored();

    TdmGlobals& globals_;
    TdmProjects& projects_;
    bool loading_ = false;
    bool taskGone_ = false;
};

// Opens the task editor in add mode for the current project; nothing happens
// when there is no project. After OK the schedule is run again on the new task.
void AddTask(QWidget* parent = nullptr);
// Opens the task editor for the task; nothing happens when it does not exist.
// After OK the schedule is run again on the task.
void EditTaskID(int taskID, QWidget* parent = nullptr);
