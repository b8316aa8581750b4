#pragma once
// The feature dialog: adds a feature to a project or changes one (its
// project, name and description).
#include <QDialog>
#include <memory>

class DbTable;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class LookupCombo;
class TdmGlobals;
class TdmProjects;

class TfrmEditFeature : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 246;
    static constexpr int kClientHeight = 191;

    // Opens the dialog's own cursors on the globals' connection; a new
    // feature belongs to the current project of `projects`. Errors propagate.
    TfrmEditFeature(TdmGlobals& globals, TdmProjects& projects, QWidget* parent = nullptr);
    ~TfrmEditFeature() override;

    QLabel* labProject = nullptr;
    LookupCombo* cmbProject = nullptr;
    QLabel* labFeatureName = nullptr;
    QLineEdit* txtFeatureName = nullptr;
    QLabel* labDescription = nullptr;
    QPlainTextEdit* memDescription = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    std::unique_ptr<DbTable> dbFeatures;
    std::unique_ptr<DbTable> dbProjects;

    // The feature's id once stored (0 before).
    int featureID() const;

public slots:
    void reject() override;

private:
    friend int AddNewFeature(QWidget* parent);
    friend void EditFeature(int featureID, QWidget* parent);

    void FormCreate();
    void beginAdd();
    bool beginEdit(int featureID);
    void showRecord();
    void dbFeaturesNewRecord();
    void btnOKClick();
    void btnCancelClick();

    TdmGlobals& globals_;
    TdmProjects& projects_;
    bool loading_ = false;
};

// Runs the dialog in add mode for the current project. Returns the stored
// feature's "Feature ID", or 0 when the dialog was not closed with OK.
int AddNewFeature(QWidget* parent = nullptr);
// Runs the dialog on that feature; shows nothing when it does not exist.
void EditFeature(int featureID, QWidget* parent = nullptr);
