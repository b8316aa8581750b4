#include "users/EditDeveloper.h"

#include "data/Dataset.h"
#include "data/EditRules.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "widgets/DialogFlags.h"
#include "widgets/ErrorHandling.h"
#include "widgets/HelpRouter.h"
#include "widgets/LookupCombo.h"
#include "widgets/MessageBoxes.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kClientWidth = 295;
constexpr int kClientHeight = 164;

const QString kLoginField = QStringLiteral("LoginName");
const QString kNameField = QStringLiteral("Name");
const QString kPasswordField = QStringLiteral("Password");
const QString kDefaultProjectField = QStringLiteral("Default Project ID");
const QString kIsAdminField = QStringLiteral("IsAdmin");
const QString kIdField = QStringLiteral("Developer ID");
} // namespace

TfrmEditDeveloper::TfrmEditDeveloper(QWidget* parent)
    : QDialog(parent, kFixedDialogFlags) {
    setObjectName(QStringLiteral("frmEditDeveloper"));
    setWindowTitle(QStringLiteral("Edit User"));
    setFixedSize(kClientWidth, kClientHeight);

    const auto row = [this](QLabel*& label, const QString& caption, QWidget* box, int y,
                            const char* name) {
        label = new QLabel(caption, this);
        label->setGeometry(8, y + 3, 92, 17);
        label->setBuddy(box);
        box->setObjectName(QString::fromLatin1(name));
        box->setGeometry(104, y, 183, 21);
    };

    txtLogin = new QLineEdit(this);
    txtLogin->setMaxLength(kLoginWidth);
    row(labLogin, QStringLiteral("&Login:"), txtLogin, 8, "txtLogin");

    txtName = new QLineEdit(this);
    txtName->setMaxLength(kNameWidth);
    row(labName, QStringLiteral("&Name:"), txtName, 35, "txtName");

    txtPassword = new QLineEdit(this);
    txtPassword->setMaxLength(kPasswordWidth);
    txtPassword->setEchoMode(QLineEdit::Password);
    row(labPassword, QStringLiteral("&Password:"), txtPassword, 62, "txtPassword");

    cmbDefaultProject = new LookupCombo(this);
    row(labDefaultProject, QStringLiteral("&Default Project:"), cmbDefaultProject, 89,
        "cmbDefaultProject");

    cbAdministrator = new QCheckBox(QStringLiteral("&Administrator"), this);
    cbAdministrator->setObjectName(QStringLiteral("cbAdministrator"));
    cbAdministrator->setGeometry(104, 114, 183, 17);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(131, 135, 75, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnCancel->setGeometry(212, 135, 75, 25);

    connect(btnOK, &QPushButton::clicked, this, &TfrmEditDeveloper::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmEditDeveloper::btnCancelClick);
    HelpRouter::attach(this, kHelpContext);

    txtLogin->setFocus();
    FormCreate();
}

TfrmEditDeveloper::~TfrmEditDeveloper() = default;

void TfrmEditDeveloper::FormCreate() {
    dbProjects = std::make_unique<DbTable>(dmGlobals->Connection(), QStringLiteral("Projects"));
    dbProjects->open();
    dbDevelopers = std::make_unique<DbTable>(dmGlobals->Connection(), QStringLiteral("Developers"));
    dbDevelopers->open();

    // The empty first row lets a user have no default project.
    QList<LookupCombo::Item> projects{{0, QString()}};
    for (dbProjects->first(); !dbProjects->eof(); dbProjects->next())
        projects.append({dbProjects->fieldByName(QStringLiteral("Project ID")).asInteger(),
                         dbProjects->fieldByName(kNameField).asString()});
    cmbDefaultProject->setItems(projects);

    // Only an administrator may hand out the administrator flag.
    cbAdministrator->setEnabled(dmGlobals->CurrentUserIsAdmin);
}

void TfrmEditDeveloper::loadRecord() {
    txtLogin->setText(dbDevelopers->fieldByName(kLoginField).asString());
    txtName->setText(dbDevelopers->fieldByName(kNameField).asString());
    // The stored hash is no password to show: the box starts empty.
    txtPassword->clear();
    if (dbDevelopers->state() == DbDataset::State::Edit)
        txtPassword->setPlaceholderText(QStringLiteral("(unchanged)"));
    cmbDefaultProject->setKeyValue(dbDevelopers->fieldByName(kDefaultProjectField).asInteger());
    loadedAdmin_ = dbDevelopers->fieldByName(kIsAdminField).asBoolean();
    cbAdministrator->setChecked(loadedAdmin_);
}

void TfrmEditDeveloper::storeControls() {
    const bool adding = dbDevelopers->state() == DbDataset::State::Insert;
    dbDevelopers->fieldByName(kLoginField).setAsString(txtLogin->text());
    dbDevelopers->fieldByName(kNameField).setAsString(txtName->text());
    // An empty box while editing keeps the stored password.
    if (adding || !txtPassword->text().isEmpty())
        dbDevelopers->fieldByName(kPasswordField).setAsString(hashPassword(txtPassword->text()));
    DbField& project = dbDevelopers->fieldByName(kDefaultProjectField);
    if (const int key = cmbDefaultProject->keyValue(); key != 0)
        project.setAsInteger(key);
    else if (!project.isNull())
        project.clear();
    // Only an administrator changes the flag; untouched, it stays as stored
    // (an empty value stays empty).
    const bool admin = cbAdministrator->isChecked();
    DbField& isAdmin = dbDevelopers->fieldByName(kIsAdminField);
    if (adding)
        isAdmin.setAsBoolean(admin && dmGlobals->CurrentUserIsAdmin);
    else if (dmGlobals->CurrentUserIsAdmin && admin != loadedAdmin_)
        isAdmin.setAsBoolean(admin);
}

void TfrmEditDeveloper::btnOKClick() {
    if (txtLogin->text().trimmed().isEmpty()) {
        Msg::information(this, QStringLiteral("You must specify a Login for this user."));
        txtLogin->setFocus();
        return;
    }
    if (txtName->text().trimmed().isEmpty()) {
        Msg::information(this, QStringLiteral("You must specify a Name for this user."));
        txtName->setFocus();
        return;
    }
    const bool adding = dbDevelopers->state() == DbDataset::State::Insert;
    const int developerID = adding ? 0 : dbDevelopers->fieldByName(kIdField).asInteger();
    // The flag as it will be stored: only an administrator changes it.
    const bool admin = dmGlobals->CurrentUserIsAdmin ? cbAdministrator->isChecked()
                       : adding                      ? false
                                                     : loadedAdmin_;
    DbConnection& conn = dbDevelopers->connection();
    QString refusal;
    QWidget* refused = nullptr;
    try {
        // The checks and the save in one write, so another copy of the program
        // cannot take the login name or the last administrator in between.
        DbConnection::Transaction tx(conn);
        refusal = refuseLoginName(conn, developerID, txtLogin->text());
        if (!refusal.isEmpty()) {
            refused = txtLogin;
        } else {
            refusal = refuseAdministratorChange(conn, developerID, admin);
            if (!refusal.isEmpty())
                refused = cbAdministrator;
        }
        if (!refused) {
            storeControls();
            dbDevelopers->post();
            tx.commit();
        }
    } catch (...) {
        // A failed save (a row locked elsewhere) keeps the dialog open on the pending row.
        ErrorHandling::handleUnexpected(std::current_exception());
        return;
    }
    if (refused) {
        Msg::information(this, refusal);
        refused->setFocus();
        return;
    }
    accept();
}

void TfrmEditDeveloper::btnCancelClick() {
    reject();
}

void TfrmEditDeveloper::reject() {
    if (dbDevelopers)
        dbDevelopers->cancel();
    QDialog::reject();
}

int AddDeveloper(QWidget* parent) {
    TfrmEditDeveloper dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Add User"));
    dialog.dbDevelopers->append();
    dialog.loadRecord();
    if (dialog.exec() != QDialog::Accepted)
        return 0;
    return dialog.dbDevelopers->fieldByName(kIdField).asInteger();
}

void EditDeveloper(int developerID, QWidget* parent) {
    TfrmEditDeveloper dialog(parent);
    if (!dialog.dbDevelopers->locate(kIdField, developerID))
        return;
    dialog.dbDevelopers->edit();
    dialog.loadRecord();
    dialog.exec();
}
