#include "widgets/WizardHeader.h"

#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QLayout>

namespace {
constexpr int kCaptionHeight = 24;
constexpr int kIconLeft = 4;
constexpr int kIconTop = 4;
constexpr int kIconSize = 33;

bool inLayout(const QLayout* layout, const QWidget* w) {
    if (!layout)
        return false;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == w || inLayout(item->layout(), w))
            return true;
    }
    return false;
}
} // namespace

QImage TzevWizHeader::headerPattern() {
    QImage img(1, kHeight, QImage::Format_RGB32);
    for (int row = 1; row <= kHeight; ++row) {
        QRgb c = qRgb(255, 255, 255);
        if (row >= kHeight - 1)
            c = qRgb(0, 0, 0);
        else if (row >= 2 && row <= 38 && (row - 2) % 3 == 0)
            c = qRgb(231, 231, 231);
        img.setPixel(0, row - 1, c);
    }
    return img;
}

TzevWizHeader::TzevWizHeader(QWidget* parent)
    : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    resize(kDefaultWidth, kHeight);
    CreateSubComponents();
    InitializeSubComponents();
    followParent();
}

TzevWizHeader::~TzevWizHeader() = default;

void TzevWizHeader::CreateSubComponents() {
    // Created in painting order: ground, caption over it, icon on top.
    FHeaderImage = new QLabel(this);
    FCaptionLabel = new QLabel(this);
    FIconImage = new QLabel(this);
}

void TzevWizHeader::InitializeSubComponents() {
    FHeaderImage->setObjectName(QStringLiteral("FHeaderImage"));
    FHeaderImage->setPixmap(QPixmap::fromImage(headerPattern()));
    FHeaderImage->setScaledContents(true);

    FCaptionLabel->setObjectName(QStringLiteral("FCaptionLabel"));
    FCaptionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FCaptionLabel->setAutoFillBackground(false);
    FCaptionLabel->setAttribute(Qt::WA_TranslucentBackground);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(19);
    f.setBold(true);
    FCaptionLabel->setFont(f);
    FCaptionLabel->setForegroundRole(QPalette::WindowText);
    FCaptionLabel->setText(QStringLiteral("Wizard Caption"));

    FIconImage->setObjectName(QStringLiteral("FIconImage"));
    FIconImage->setAlignment(Qt::AlignCenter);
    FIconImage->setAttribute(Qt::WA_TranslucentBackground);
    FIconImage->setGeometry(kIconLeft, kIconTop, kIconSize, kIconSize);
    FIconImage->hide();

    layoutChildren();
}

void TzevWizHeader::layoutChildren() {
    // The ground spans the top, the caption sits along the bottom edge.
    FHeaderImage->setGeometry(0, 0, width(), kHeight);
    FCaptionLabel->setGeometry(0, height() - kCaptionHeight, width(), kCaptionHeight);
}

void TzevWizHeader::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    layoutChildren();
}

QString TzevWizHeader::GetCaption() const {
    return FCaptionLabel->text().trimmed();
}

void TzevWizHeader::SetCaption(const QString& caption) {
    FCaptionLabel->setText(caption.trimmed() + u' ');
}

QPixmap TzevWizHeader::GetPicture() const {
    return FIconImage->pixmap();
}

void TzevWizHeader::SetPicture(const QPixmap& picture) {
    FIconImage->setPixmap(picture);
}

bool TzevWizHeader::isPictureVisible() const {
    return !FIconImage->isHidden();
}

void TzevWizHeader::setPictureVisible(bool visible) {
    FIconImage->setVisible(visible);
}

void TzevWizHeader::followParent() {
    QWidget* p = parentWidget();
    if (p == watchedParent_)
        return;
    if (watchedParent_)
        watchedParent_->removeEventFilter(this);
    watchedParent_ = p;
    if (p) {
        p->installEventFilter(this);
        alignToParent();
    }
}

void TzevWizHeader::alignToParent() {
    QWidget* p = parentWidget();
    if (!p || isWindow())
        return;
    if (inLayout(p->layout(), this))
        return;
    setGeometry(0, 0, p->width(), height());
}

bool TzevWizHeader::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedParent_ && event->type() == QEvent::Resize)
        alignToParent();
    return QFrame::eventFilter(watched, event);
}

bool TzevWizHeader::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange)
        followParent();
    return QFrame::event(event);
}
