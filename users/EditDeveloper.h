#pragma once
// The user dialog: adds one user or edits one user of the Developers table.
// Passwords are kept as hashes; the password box starts empty and, when left
// empty while editing, the stored hash stays as it is. A login name the login
// could not tell from another user's, and taking the administrator flag from
// the last administrator, are refused (data/EditRules.h).
#include <QDialog>
#include <memory>

class DbTable;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class LookupCombo;

class TfrmEditDeveloper : public QDialog {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 100300;
    // Typing stops at the widths of the Developers fields (the password's
    // width is kPasswordWidth of data/Passwords.h).
    static constexpr int kLoginWidth = 20;
    static constexpr int kNameWidth = 50;

    // Opens the dialog's own cursors; errors propagate.
    explicit TfrmEditDeveloper(QWidget* parent = nullptr);
    ~TfrmEditDeveloper() override;

    // Fills the controls from the pending row (after an append or an edit).
    void loadRecord();

    std::unique_ptr<DbTable> dbDevelopers;
    std::unique_ptr<DbTable> dbProjects;

    QLabel* labLogin = nullptr;
    QLineEdit* txtLogin = nullptr;
    QLabel* labName = nullptr;
    QLineEdit* txtName = nullptr;
    QLabel* labPassword = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLabel* labDefaultProject = nullptr;
    LookupCombo* cmbDefaultProject = nullptr;
    QCheckBox* cbAdministrator = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

public slots:
    // Esc, Cancel and the close box all drop the pending row.
    void reject() override;

private:
    void FormCreate();
    void btnOKClick();
    void btnCancelClick();
    void storeControls();

    bool loadedAdmin_ = false;
};

// Opens the dialog on a new user; the new "Developer ID", or 0 when cancelled.
int AddDeveloper(QWidget* parent = nullptr);
// Opens the dialog on that user; shows nothing when no user has that id.
void EditDeveloper(int developerID, QWidget* parent = nullptr);
