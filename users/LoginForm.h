#pragma once
// The login dialog: asks for a user name and password, checks them against the
// users table and, on success, records who is logged in.
#include <QDialog>
#include <memory>

class DbTable;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmLogin : public QDialog {
    Q_OBJECT
public:
    // The help topic F1 opens once the help router is in place.
    static constexpr int kHelpContext = 1500;
    // Wrong attempts allowed before the dialog gives up.
    static constexpr int kMaxAttempts = 4;

    // Opens its own cursor on the users table; errors propagate.
    explicit TfrmLogin(QWidget* parent = nullptr);
    ~TfrmLogin() override;

    int helpContext() const { return kHelpContext; }
    bool succeeded() const { return success_; }
    int attempts() const { return attempts_; }

    // The picture at the left: a person with a key.
    static QPixmap loginPicture();

    QLabel* Image1 = nullptr;
    QLabel* lblUsername = nullptr;
    QLineEdit* txtUsername = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* txtPassword = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    std::unique_ptr<DbTable> dbUsers;

private:
    void FormCreate();
    void btnOKClick();

    bool success_ = false;
    int attempts_ = 0;
};

// Shows the login dialog; true when a user logged in (dmGlobals then holds who).
bool Login();
