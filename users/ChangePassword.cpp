#include "users/ChangePassword.h"

#include "data/EditRules.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "widgets/DialogFlags.h"
#include "widgets/ErrorHandling.h"
#include "widgets/MessageBoxes.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kClientWidth = 295;
constexpr int kClientHeight = 114;
} // namespace

ChangePasswordDialog::ChangePasswordDialog(QWidget* parent)
    : QDialog(parent, kFixedDialogFlags) {
    setObjectName(QStringLiteral("dlgChangePassword"));
    setWindowTitle(QStringLiteral("Change My Password"));
    setFixedSize(kClientWidth, kClientHeight);

    const auto row = [this](QLabel*& label, QLineEdit*& box, const QString& caption, int y,
                            const char* name) {
        box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(name));
        box->setEchoMode(QLineEdit::Password);
        // As in the user editor: typing stops at the field's width.
        box->setMaxLength(kPasswordWidth);
        box->setGeometry(124, y, 163, 21);
        label = new QLabel(caption, this);
        label->setGeometry(8, y + 3, 112, 17);
        label->setBuddy(box);
    };
    row(labOldPassword, txtOldPassword, QStringLiteral("&Old password:"), 8, "txtOldPassword");
    row(labNewPassword, txtNewPassword, QStringLiteral("&New password:"), 35, "txtNewPassword");
    row(labConfirmPassword, txtConfirmPassword, QStringLiteral("&Confirm new password:"), 62,
        "txtConfirmPassword");

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(131, 87, 75, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnCancel->setGeometry(212, 87, 75, 25);

    connect(btnOK, &QPushButton::clicked, this,
            [this] { ErrorHandling::guarded([this] { okClicked(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    txtOldPassword->setFocus();
}

ChangePasswordDialog::~ChangePasswordDialog() = default;

void ChangePasswordDialog::okClicked() {
    if (txtNewPassword->text() != txtConfirmPassword->text()) {
        Msg::error(this, QStringLiteral("The passwords do not match. Please reenter the password "
                                        "and confirm."));
        txtNewPassword->clear();
        txtConfirmPassword->clear();
        txtNewPassword->setFocus();
        return;
    }
    if (!changeOwnPassword(dmGlobals->Connection(), dmGlobals->CurrentUserID,
                           txtOldPassword->text(), txtNewPassword->text())) {
        Msg::information(this, QStringLiteral("The old password is not correct."));
        txtOldPassword->clear();
        txtOldPassword->setFocus();
        return;
    }
    accept();
}

bool changeMyPassword(QWidget* parent) {
    ChangePasswordDialog dialog(parent);
    return dialog.exec() == QDialog::Accepted;
}
