#include "users/LoginForm.h"

#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "widgets/CrispPixmap.h"
#include "widgets/DialogFlags.h"
#include "widgets/HelpRouter.h"
#include "widgets/MessageBoxes.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>

namespace {
constexpr int kClientWidth = 347;
constexpr int kClientHeight = 69;
} // namespace

TfrmLogin::TfrmLogin(QWidget* parent)
    : QDialog(parent, kFixedDialogFlags) {
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    setFixedSize(kClientWidth, kClientHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(3, 3, 63, 64);
    Image1->setPixmap(loginPicture());

    lblUsername = new QLabel(QStringLiteral("&Username:"), this);
    lblUsername->setObjectName(QStringLiteral("lblUsername"));
    lblUsername->setGeometry(70, 10, 68, 21);
    txtUsername = new QLineEdit(this);
    txtUsername->setObjectName(QStringLiteral("txtUsername"));
    txtUsername->setGeometry(140, 10, 120, 21);
    lblUsername->setBuddy(txtUsername);

    lblPassword = new QLabel(QStringLiteral("&Password:"), this);
    lblPassword->setObjectName(QStringLiteral("lblPassword"));
    lblPassword->setGeometry(70, 38, 68, 21);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setGeometry(140, 38, 120, 21);
    lblPassword->setBuddy(txtPassword);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(266, 8, 75, 25);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    btnCancel->setGeometry(266, 38, 75, 25);

    connect(btnOK, &QPushButton::clicked, this, &TfrmLogin::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    HelpRouter::attach(this, kHelpContext);
    txtUsername->setFocus();
    FormCreate();
}

TfrmLogin::~TfrmLogin() = default;

void TfrmLogin::FormCreate() {
    dbUsers = std::make_unique<DbTable>(dmGlobals->Connection(), QStringLiteral("Developers"));
    dbUsers->open();
}

void TfrmLogin::btnOKClick() {
    success_ = false;
    ++attempts_;

    const QString name = upperAsciiLetters(txtUsername->text());
    if (dbUsers->locate(QStringLiteral("LoginName"), name)) {
        const QString stored = dbUsers->fieldByName(QStringLiteral("Password")).asString();
        success_ = passwordMatches(stored, txtPassword->text());
    }

    if (success_) {
        dmGlobals->CurrentUserID = dbUsers->fieldByName(QStringLiteral("Developer ID")).asInteger();
        dmGlobals->CurrentUserName = dbUsers->fieldByName(QStringLiteral("Name")).asString();
        dmGlobals->CurrentUserDefaultProjectID =
            dbUsers->fieldByName(QStringLiteral("Default Project ID")).asInteger();
        dmGlobals->CurrentUserIsAdmin = dbUsers->fieldByName(QStringLiteral("IsAdmin")).asBoolean();
        accept();
        return;
    }

    Msg::information(this, QStringLiteral("Invalid username or password."));
    if (attempts_ >= kMaxAttempts)
        accept(); // ends the dialog; without success nobody is logged in
}

QPixmap TfrmLogin::loginPicture() {
    QPixmap pm = crispPixmap(QSize(63, 64));
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    // A person: head and shoulders.
    const QColor body(0x55, 0x80, 0x97);
    p.setPen(QPen(body.darker(140), 1.5));
    p.setBrush(body);
    QPainterPath shoulders;
    shoulders.moveTo(6, 56);
    shoulders.cubicTo(6, 38, 44, 38, 44, 56);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    p.setBrush(QColor(0xE8, 0xC9, 0xA8));
    p.setPen(QPen(QColor(0xA0, 0x80, 0x60), 1.5));
    p.drawEllipse(QPointF(25, 22), 11, 12);

    // A key in front, lower right.
    p.save();
    p.translate(44, 46);
    p.rotate(-30);
    const QColor gold(0xD4, 0xAF, 0x37);
    p.setPen(QPen(gold.darker(150), 1.5));
    p.setBrush(gold);
    p.drawEllipse(QPointF(-8, 0), 7, 7);
    p.drawRect(QRectF(-2, -2, 18, 4));
    p.drawRect(QRectF(10, 2, 3, 5));
    p.drawRect(QRectF(14, 2, 2, 4));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(-9, 0), 2.5, 2.5);
    p.restore();
    return pm;
}

bool Login() {
    TfrmLogin dialog;
    const int result = dialog.exec();
    return result == QDialog::Accepted && dialog.succeeded();
}
