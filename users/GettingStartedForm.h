#pragma once
// The first-run wizard: greets the user, takes the administrator's login name,
// full name and password and an optional first project, and stores them on Finish.
#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class TzevWizHeader;

class TfrmGettingStarted : public QDialog {
    Q_OBJECT
public:
    enum Page { pgWelcome = 0, pgAdminUser = 1, pgFirstProject = 2, pgComplete = 3 };

    explicit TfrmGettingStarted(QWidget* parent = nullptr);
    ~TfrmGettingStarted() override;

    int currentPage() const;

    // The side picture: calendar page, pen and clock on the pinstriped ground.
    static QPixmap sidePicture();

    TzevWizHeader* header = nullptr;
    QLabel* Image1 = nullptr;
    QFrame* Shape1 = nullptr;
    QStackedWidget* pcWizard = nullptr;
    QWidget* tsWelcome = nullptr;
    QWidget* tsAdminUser = nullptr;
    QWidget* tsFirstProject = nullptr;
    QWidget* tsComplete = nullptr;
    QLineEdit* txtLoginName = nullptr;
    QLineEdit* txtFullName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtConfirmPassword = nullptr;
    QLineEdit* txtProjectName = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnPrevious = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnFinish = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void UpdateButtons();
    void btnNextClick();
    void btnPreviousClick();
    void btnCancelClick();
    void btnFinishPressed();
    void btnFinishClick();
    void pcWizardChange(int index);
    void tsAdminUserEnter();
    void tsFirstProjectEnter();
    QWidget* makePage(const QString& objectName, const QString& title, const QString& text);
};

// Runs the wizard; true when it ended with Finish.
bool ShowGettingStarted();
