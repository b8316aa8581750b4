#pragma once
// "Change My Password": any logged-in user changes their own password by
// giving the old one and the new one twice. The new one follows the user
// editor's rules (at most 30 characters, may be empty).
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class ChangePasswordDialog : public QDialog {
    Q_OBJECT
public:
    explicit ChangePasswordDialog(QWidget* parent = nullptr);
    ~ChangePasswordDialog() override;

    QLabel* labOldPassword = nullptr;
    QLineEdit* txtOldPassword = nullptr;
    QLabel* labNewPassword = nullptr;
    QLineEdit* txtNewPassword = nullptr;
    QLabel* labConfirmPassword = nullptr;
    QLineEdit* txtConfirmPassword = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void okClicked();
};

// Shows the dialog for the logged-in user; true when a new password was stored.
// An error of the table engine while storing goes to the central handler and
// leaves the dialog open.
bool changeMyPassword(QWidget* parent = nullptr);
