#include "users/GettingStartedForm.h"

#include "data/EditRules.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "data/ProjectData.h"
#include "widgets/CrispPixmap.h"
#include "widgets/DialogFlags.h"
#include "widgets/ErrorHandling.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WizardHeader.h"

#include <QFormLayout>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {
constexpr int kClientWidth = 408;
constexpr int kClientHeight = 287;
constexpr int kHeaderHeight = 42;
constexpr int kPictureWidth = 127;
constexpr int kPictureHeight = 215;
constexpr int kLineWidth = 2;
constexpr int kStripHeight = 30;

// A dataset left in insert state by a failed post would hold its half-made row.
void cancelPending(DbDataset* ds) noexcept {
    try {
        if (ds &&
            (ds->state() == DbDataset::State::Insert || ds->state() == DbDataset::State::Edit))
            ds->cancel();
    } catch (...) {
    }
}
} // namespace

TfrmGettingStarted::TfrmGettingStarted(QWidget* parent)
    : QDialog(parent, kFixedDialogFlags) {
    setObjectName(QStringLiteral("frmGettingStarted"));
    setWindowTitle(QStringLiteral("Getting Started Wizard"));
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    setFont(f);
    setFixedSize(kClientWidth, kClientHeight);

    header = new TzevWizHeader(this);
    header->setObjectName(QStringLiteral("header"));
    header->setGeometry(0, 0, kClientWidth, kHeaderHeight);
    header->SetCaption(QStringLiteral("Getting Started Wizard"));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, kHeaderHeight, kPictureWidth, kPictureHeight);
    Image1->setPixmap(sidePicture());

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(kPictureWidth, kHeaderHeight, kLineWidth, kPictureHeight);
    Shape1->setAutoFillBackground(true);
    QPalette black = Shape1->palette();
    black.setColor(QPalette::Window, Qt::black);
    Shape1->setPalette(black);

    pcWizard = new QStackedWidget(this);
    pcWizard->setObjectName(QStringLiteral("pcWizard"));
    pcWizard->setGeometry(kPictureWidth + kLineWidth, kHeaderHeight,
                          kClientWidth - kPictureWidth - kLineWidth, kPictureHeight);

    tsWelcome =
        makePage(QStringLiteral("tsWelcome"), QStringLiteral("Welcome to Pelloran!"),
                 QStringLiteral("This wizard will guide you through the setup of Pelloran."));

    tsAdminUser = makePage(
        QStringLiteral("tsAdminUser"), QStringLiteral("Admin User Setup"),
        QStringLiteral("Enter the login name, full name and password for the administrator of the "
                       "system. This user is the only one who can edit and delete users, though "
                       "anyone can add users."));
    {
        auto* form = new QFormLayout;
        form->setContentsMargins(0, 4, 0, 0);
        form->setVerticalSpacing(4);
        auto addRow = [&](QLineEdit*& edit, const char* name, const QString& caption,
                          const QString& initial, bool masked) {
            edit = new QLineEdit(initial, tsAdminUser);
            edit->setObjectName(QString::fromLatin1(name));
            if (masked)
                edit->setEchoMode(QLineEdit::Password);
            auto* label = new QLabel(caption, tsAdminUser);
            label->setBuddy(edit);
            form->addRow(label, edit);
        };
        addRow(txtLoginName, "txtLoginName", QStringLiteral("&Login Name:"),
               QStringLiteral("admin"), false);
        addRow(txtFullName, "txtFullName", QStringLiteral("&Full Name:"),
               QStringLiteral("Administrator"), false);
        addRow(txtPassword, "txtPassword", QStringLiteral("&Password:"), QString(), true);
        addRow(txtConfirmPassword, "txtConfirmPassword", QStringLiteral("&Confirm Password:"),
               QString(), true);
        static_cast<QVBoxLayout*>(tsAdminUser->layout())->insertLayout(2, form);
    }

    tsFirstProject = makePage(
        QStringLiteral("tsFirstProject"), QStringLiteral("Your First Project"),
        QStringLiteral("Enter the name of the first project you want to have in the system. This "
                       "step is optional, so if you just press Next you will start with no "
                       "projects."));
    {
        auto* form = new QFormLayout;
        form->setContentsMargins(0, 4, 0, 0);
        txtProjectName = new QLineEdit(tsFirstProject);
        txtProjectName->setObjectName(QStringLiteral("txtProjectName"));
        auto* label = new QLabel(QStringLiteral("Project &Name:"), tsFirstProject);
        label->setBuddy(txtProjectName);
        form->addRow(label, txtProjectName);
        static_cast<QVBoxLayout*>(tsFirstProject->layout())->insertLayout(2, form);
    }

    tsComplete = makePage(QStringLiteral("tsComplete"), QStringLiteral("You're ready to go!"),
                          QStringLiteral("Press Finish to save your changes and login to the "
                                         "system. We hope you enjoy using Pelloran!"));

    // The bottom strip with its separator along the top edge.
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("pnlButtons"));
    strip->setGeometry(0, kClientHeight - kStripHeight, kClientWidth, kStripHeight);
    auto* separator = new QFrame(strip);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(0, 0, kClientWidth, 2);
    auto makeButton = [&](QPushButton*& b, const char* name, const QString& text, int left) {
        b = new QPushButton(text, strip);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        b->setGeometry(left, 4, 75, 23);
    };
    makeButton(btnCancel, "btnCancel", QStringLiteral("Cancel"), 6);
    makeButton(btnPrevious, "btnPrevious", QStringLiteral("< Previous"), 168);
    makeButton(btnNext, "btnNext", QStringLiteral("Next >"), 246);
    makeButton(btnFinish, "btnFinish", QStringLiteral("Finish"), 327);

    connect(btnNext, &QPushButton::clicked, this, &TfrmGettingStarted::btnNextClick);
    connect(btnPrevious, &QPushButton::clicked, this, &TfrmGettingStarted::btnPreviousClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmGettingStarted::btnCancelClick);
    connect(btnFinish, &QPushButton::clicked, this, &TfrmGettingStarted::btnFinishPressed);
    connect(pcWizard, &QStackedWidget::currentChanged, this, &TfrmGettingStarted::pcWizardChange);

    // Tab moves through the controls of the page shown and the buttons.
    setTabOrder(txtLoginName, txtFullName);
    setTabOrder(txtFullName, txtPassword);
    setTabOrder(txtPassword, txtConfirmPassword);

    FormCreate();
}

TfrmGettingStarted::~TfrmGettingStarted() = default;

QWidget* TfrmGettingStarted::makePage(const QString& objectName, const QString& title,
                                      const QString& text) {
    auto* page = new QWidget;
    page->setObjectName(objectName);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(10, 8, 10, 6);
    layout->setSpacing(6);
    auto* titleLabel = new QLabel(title, page);
    titleLabel->setObjectName(objectName + QStringLiteral("Title"));
    QFont bold = font();
    bold.setBold(true);
    titleLabel->setFont(bold);
    layout->addWidget(titleLabel);
    auto* textLabel = new QLabel(text, page);
    textLabel->setObjectName(objectName + QStringLiteral("Text"));
    textLabel->setWordWrap(true);
    layout->addWidget(textLabel);
    layout->addStretch(1);
    pcWizard->addWidget(page);
    return page;
}

int TfrmGettingStarted::currentPage() const {
    return pcWizard->currentIndex();
}

void TfrmGettingStarted::FormCreate() {
    pcWizard->setCurrentIndex(pgWelcome);
    UpdateButtons();
}

void TfrmGettingStarted::UpdateButtons() {
    const int i = currentPage();
    btnFinish->setEnabled(i == pgComplete);
    btnNext->setEnabled(i < pgComplete);
    btnPrevious->setEnabled(i > pgWelcome);
    btnFinish->setDefault(btnFinish->isEnabled());
    btnNext->setDefault(!btnFinish->isEnabled());
}

void TfrmGettingStarted::btnNextClick() {
    const int i = currentPage();
    if (i == pgAdminUser && txtPassword->text() != txtConfirmPassword->text()) {
        Msg::error(this, QStringLiteral("The passwords do not match. Please reenter the password "
                                        "and confirm."));
        txtPassword->clear();
        txtConfirmPassword->clear();
        txtPassword->setFocus();
    } else if (i < pgComplete) {
        pcWizard->setCurrentIndex(i + 1);
    }
    UpdateButtons();
}

void TfrmGettingStarted::btnPreviousClick() {
    const int i = currentPage();
    if (i > pgWelcome)
        pcWizard->setCurrentIndex(i - 1);
    UpdateButtons();
}

void TfrmGettingStarted::btnCancelClick() {
    if (Msg::confirm(this, QStringLiteral("Cancelling this wizard will exit the program. Are you "
                                          "sure you want to do this?")))
        reject();
}

void TfrmGettingStarted::keyPressEvent(QKeyEvent* event) {
    // Escape is the Cancel button, with its question; the close box is not.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        btnCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmGettingStarted::btnFinishPressed() {
    setResult(QDialog::Accepted);
    try {
        btnFinishClick();
    } catch (...) {
        ErrorHandling::handleUnexpected(std::current_exception());
    }
    // Without a stored administrator nobody could log in: the wizard stays
    // open so the user can try again or cancel.
    if (result() == QDialog::Accepted)
        accept();
}

void TfrmGettingStarted::btnFinishClick() {
    DbTable* users = dmGlobals->dbUsers;
    DbConnection& conn = users->connection();
    QString refusal;
    try {
        // Another copy of the program may have set up the same data folder
        // meanwhile; the login could not tell two users of one name apart.
        DbConnection::Transaction tx(conn);
        refusal = refuseLoginName(conn, 0, txtLoginName->text());
        if (refusal.isEmpty()) {
            users->append();
            users->fieldByName(QStringLiteral("LoginName")).setAsString(txtLoginName->text());
            users->fieldByName(QStringLiteral("Name")).setAsString(txtFullName->text());
            users->fieldByName(QStringLiteral("Password"))
                .setAsString(hashPassword(txtPassword->text()));
            users->fieldByName(QStringLiteral("IsAdmin")).setAsBoolean(true);
            users->post();
            tx.commit();
        }
    } catch (...) {
        cancelPending(users);
        setResult(QDialog::Rejected);
        throw;
    }
    if (!refusal.isEmpty()) {
        setResult(QDialog::Rejected);
        Msg::information(this, refusal);
        pcWizard->setCurrentIndex(pgAdminUser);
        UpdateButtons();
        txtLoginName->setFocus();
        txtLoginName->selectAll();
        return;
    }
    const int developerID = users->fieldByName(QStringLiteral("Developer ID")).asInteger();

    if (txtProjectName->text().trimmed().isEmpty())
        return;
    DbTable* projects = dmProjects->dbProjects;
    try {
        projects->append();
        projects->fieldByName(QStringLiteral("Name")).setAsString(txtProjectName->text());
        projects->fieldByName(QStringLiteral("Default Developer ID")).setAsInteger(developerID);
        projects->post();
    } catch (...) {
        // The administrator is stored, so the wizard still ends as finished.
        cancelPending(projects);
        throw;
    }
}

void TfrmGettingStarted::pcWizardChange(int index) {
    if (index == pgAdminUser)
        tsAdminUserEnter();
    else if (index == pgFirstProject)
        tsFirstProjectEnter();
}

void TfrmGettingStarted::tsAdminUserEnter() {
    txtLoginName->setFocus();
}

void TfrmGettingStarted::tsFirstProjectEnter() {
    txtProjectName->setFocus();
}

QPixmap TfrmGettingStarted::sidePicture() {
    QPixmap pm = crispPixmap(QSize(kPictureWidth, kPictureHeight));
    QPainter p(&pm);
    // The header's ground, without its bottom line, repeated downwards.
    const QImage pattern = TzevWizHeader::headerPattern().copy(0, 0, 1, 39);
    p.drawTiledPixmap(logicalRect(pm), QPixmap::fromImage(pattern.scaled(kPictureWidth, 39)));
    p.setRenderHint(QPainter::Antialiasing);

    // Calendar page with a shadow, a red top band, rings and a grid of days.
    const QRectF page(14, 28, 84, 96);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(page.translated(3, 3), 4, 4);
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    p.drawRoundedRect(page, 4, 4);
    QPainterPath band;
    band.setFillRule(Qt::WindingFill);
    band.addRoundedRect(QRectF(page.left(), page.top(), page.width(), 22), 4, 4);
    band.addRect(QRectF(page.left(), page.top() + 12, page.width(), 10));
    p.fillPath(band, QColor(0xBB, 0x33, 0x33));
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 2));
    for (int i = 0; i < 4; ++i) {
        const qreal x = page.left() + 14 + i * 19;
        p.drawLine(QPointF(x, page.top() - 5), QPointF(x, page.top() + 6));
    }
    p.setPen(QPen(QColor(0xC8, 0xC8, 0xC8), 1));
    const qreal gridTop = page.top() + 30;
    const qreal cell = 11;
    for (int r = 0; r <= 5; ++r)
        p.drawLine(QPointF(page.left() + 4, gridTop + r * cell),
                   QPointF(page.left() + 4 + 7 * cell, gridTop + r * cell));
    for (int c = 0; c <= 7; ++c)
        p.drawLine(QPointF(page.left() + 4 + c * cell, gridTop),
                   QPointF(page.left() + 4 + c * cell, gridTop + 5 * cell));
    // A few days already planned.
    p.fillRect(QRectF(page.left() + 5 + 2 * cell, gridTop + 1 + cell, cell - 1, cell - 1),
               QColor(0x9D, 0xB9, 0xC8));
    p.fillRect(QRectF(page.left() + 5 + 3 * cell, gridTop + 1 + cell, cell - 1, cell - 1),
               QColor(0x9D, 0xB9, 0xC8));
    p.fillRect(QRectF(page.left() + 5 + 5 * cell, gridTop + 1 + 3 * cell, cell - 1, cell - 1),
               QColor(0xE6, 0xD8, 0xAE));

    // The pen, lying across the page's corner.
    p.save();
    p.translate(92, 120);
    p.rotate(-40);
    p.setPen(QPen(QColor(0x20, 0x20, 0x30), 1));
    p.setBrush(QColor(0x2C, 0x4E, 0x8A));
    p.drawRoundedRect(QRectF(-4, -48, 8, 52), 3, 3);
    p.setBrush(QColor(0xC0, 0xC0, 0xC8));
    p.drawRect(QRectF(-4, -52, 8, 6));
    QPainterPath nib;
    nib.moveTo(-4, 4);
    nib.lineTo(4, 4);
    nib.lineTo(0, 16);
    nib.closeSubpath();
    p.setBrush(QColor(0xD4, 0xAF, 0x37));
    p.drawPath(nib);
    p.restore();

    // The clock.
    const QPointF centre(76, 168);
    const qreal radius = 28;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(centre + QPointF(3, 3), radius, radius);
    p.setPen(QPen(QColor(0x44, 0x44, 0x44), 3));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(QColor(0x66, 0x66, 0x66), 1.5));
    for (int h = 0; h < 12; ++h) {
        p.save();
        p.translate(centre);
        p.rotate(h * 30.0);
        p.drawLine(QPointF(0, -radius + 4), QPointF(0, -radius + (h % 3 == 0 ? 9 : 6)));
        p.restore();
    }
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(-10, -10));
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre, centre + QPointF(0, -20));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xBB, 0x33, 0x33));
    p.drawEllipse(centre, 2.5, 2.5);
    return pm;
}

bool ShowGettingStarted() {
    TfrmGettingStarted wizard;
    return wizard.exec() == QDialog::Accepted;
}
