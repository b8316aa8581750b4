#include "users/AboutForm.h"

#include "data/GlobalData.h"
#include "version.h"
#include "widgets/CrispPixmap.h"
#include "widgets/DialogFlags.h"

#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace {
constexpr int kClientWidth = 422;
constexpr int kClientHeight = 268;

// A link: blue, hand cursor, underlined while the mouse is over it; a click
// hands the address to the desktop.
QLabel* makeLink(QWidget* parent, const QString& text, const QUrl& url, const char* name) {
    auto* link = new QLabel(parent);
    link->setObjectName(QString::fromLatin1(name));
    const QString plain = QStringLiteral("<a href=\"%1\" style=\"color:#0000ff; "
                                         "text-decoration:none\">%2</a>")
                              .arg(url.toString().toHtmlEscaped(), text.toHtmlEscaped());
    const QString hover = QStringLiteral("<a href=\"%1\" style=\"color:#0000ff; "
                                         "text-decoration:underline\">%2</a>")
                              .arg(url.toString().toHtmlEscaped(), text.toHtmlEscaped());
    link->setText(plain);
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(false);
    link->setCursor(Qt::PointingHandCursor);
    QObject::connect(link, &QLabel::linkActivated, link,
                     [](const QString& address) { QDesktopServices::openUrl(QUrl(address)); });
    QObject::connect(link, &QLabel::linkHovered, link, [link, plain, hover](const QString& at) {
        link->setText(at.isEmpty() ? plain : hover);
    });
    return link;
}
} // namespace

const QUrl& TfrmAbout::supportUrl() {
    static const QUrl url(QStringLiteral("mailto:support@pelloran.example"));
    return url;
}

const QUrl& TfrmAbout::websiteUrl() {
    static const QUrl url(QStringLiteral("https://www.pelloran.example/"));
    return url;
}

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, kFixedDialogFlags) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Pelloran"));
    setFixedSize(kClientWidth, kClientHeight);

    imgProduct = new QLabel(this);
    imgProduct->setObjectName(QStringLiteral("imgProduct"));
    imgProduct->setGeometry(8, 8, 129, 217);
    imgProduct->setPixmap(productPicture());

    constexpr int x = 148;
    constexpr int w = kClientWidth - x - 8;
    labTitle = new QLabel(QStringLiteral("Pelloran 2.0"), this);
    labTitle->setObjectName(QStringLiteral("labTitle"));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPixelSize(21);
    titleFont.setBold(true);
    labTitle->setFont(titleFont);
    labTitle->setGeometry(x, 8, w, 28);

    labTagline = new QLabel(QStringLiteral("Because software development shouldn't hurt."), this);
    labTagline->setObjectName(QStringLiteral("labTagline"));
    labTagline->setGeometry(x, 40, w, 17);

    labVersion = new QLabel(QStringLiteral("Version: %s"), this);
    labVersion->setObjectName(QStringLiteral("labVersion"));
    labVersion->setGeometry(x, 64, w, 17);

    labSupportCaption = new QLabel(QStringLiteral("For support, contact:"), this);
    labSupportCaption->setObjectName(QStringLiteral("labSupportCaption"));
    labSupportCaption->setGeometry(x, 100, w, 17);
    lnkSupport = makeLink(this, supportUrl().path(), supportUrl(), "lnkSupport");
    lnkSupport->setGeometry(x + 12, 118, w - 12, 17);

    labWebCaption = new QLabel(QStringLiteral("Visit Trevolant on the web at:"), this);
    labWebCaption->setObjectName(QStringLiteral("labWebCaption"));
    labWebCaption->setGeometry(x, 146, w, 17);
    lnkWebsite = makeLink(this, websiteUrl().host(), websiteUrl(), "lnkWebsite");
    lnkWebsite->setGeometry(x + 12, 164, w - 12, 17);

    // Where this copy keeps its data: beside the program, in the person's own
    // data folder, or where --data or PELLORAN_DATA pointed.
    labDataCaption = new QLabel(QStringLiteral("Data folder:"), this);
    labDataCaption->setObjectName(QStringLiteral("labDataCaption"));
    labDataCaption->setGeometry(x, 188, w, 17);
    labDataFolder = new QLabel(this);
    labDataFolder->setObjectName(QStringLiteral("labDataFolder"));
    labDataFolder->setTextFormat(Qt::PlainText);
    labDataFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    labDataFolder->setGeometry(x + 12, 206, w - 12, 17);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(8, 230, kClientWidth - 16, 2);

    labCopyright = new QLabel(QStringLiteral("Copyright \u00A9 2024 Trevolant"), this);
    labCopyright->setObjectName(QStringLiteral("labCopyright"));
    labCopyright->setGeometry(8, 236, 300, 15);
    labRights = new QLabel(QStringLiteral("All rights reserved."), this);
    labRights->setObjectName(QStringLiteral("labRights"));
    labRights->setGeometry(8, 251, 300, 15);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(kClientWidth - 83, 238, 75, 25);
    btnOK->setDefault(true);
    // OK is the cancel button as well: Esc reaches reject(), which also closes.
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

TfrmAbout::~TfrmAbout() = default;

void TfrmAbout::FormCreate() {
    labVersion->setText(
        labVersion->text().replace(QStringLiteral("%s"), QStringLiteral(PELLORAN_FILE_VERSION)));
    const QString folder =
        dmGlobals ? QDir::toNativeSeparators(dmGlobals->dataFolder()) : QString();
    labDataFolder->setToolTip(folder);
    labDataFolder->setText(
        labDataFolder->fontMetrics().elidedText(folder, Qt::ElideMiddle, labDataFolder->width()));
}

QPixmap TfrmAbout::productPicture() {
    QPixmap pm = crispPixmap(QSize(129, 217));
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    // A slate-blue band with a stack of schedule cards, the top one ticked.
    QLinearGradient band(0, 0, 0, 217);
    band.setColorAt(0, QColor(0x5E, 0x6E, 0x8C));
    band.setColorAt(1, QColor(0x2E, 0x3A, 0x52));
    p.fillRect(logicalRect(pm), band);
    for (int i = 0; i < 3; ++i) {
        const QRectF card(18 + i * 6, 40 + i * 34, 90, 60);
        p.setPen(QPen(QColor(0x20, 0x28, 0x38), 1.2));
        p.setBrush(QColor(0xF4, 0xF1, 0xE8).darker(100 + (2 - i) * 8));
        p.drawRoundedRect(card, 5, 5);
        p.setPen(QPen(QColor(0x9A, 0xA4, 0xB8), 1.5));
        for (int line = 0; line < 3; ++line)
            p.drawLine(QPointF(card.left() + 24, card.top() + 16 + line * 14),
                       QPointF(card.right() - 10, card.top() + 16 + line * 14));
    }
    // The tick on the front card.
    p.setPen(QPen(QColor(0x2E, 0x9E, 0x4F), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF o(30, 124);
    p.drawPolyline(QList<QPointF>{o + QPointF(0, 14), o + QPointF(6, 20), o + QPointF(16, 4)});
    return pm;
}

void ShowAbout(QWidget* parent) {
    TfrmAbout dialog(parent);
    dialog.exec();
}
