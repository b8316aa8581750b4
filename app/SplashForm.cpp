#include "app/SplashForm.h"

#include "version.h"
#include "widgets/CrispPixmap.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

TfrmSplash* frmSplash = nullptr;

TfrmSplash::TfrmSplash()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(kWidth, kHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kWidth, kHeight);
    Image1->setPixmap(splashPicture());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    frmSplash = this;
}

TfrmSplash::~TfrmSplash() {
    if (frmSplash == this)
        frmSplash = nullptr;
}

QPixmap TfrmSplash::splashPicture() {
    QPixmap pm = crispPixmap(QSize(kWidth, kHeight));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    // Deep slate ground, lighter towards the top left.
    QLinearGradient ground(0, 0, kWidth, kHeight);
    ground.setColorAt(0.0, QColor(0x3B, 0x5B, 0x70));
    ground.setColorAt(1.0, QColor(0x1B, 0x2B, 0x38));
    p.fillRect(logicalRect(pm), ground);

    // A few schedule bars at the right, as a quiet hint of what the program does.
    const QColor bars[] = {QColor(0x9D, 0xB9, 0xC8), QColor(0xCE, 0xDC, 0xE3),
                           QColor(0x55, 0x80, 0x97), QColor(0xE6, 0xD8, 0xAE)};
    const int starts[] = {250, 280, 266, 300, 240};
    const int lengths[] = {90, 70, 110, 60, 50};
    for (int i = 0; i < 5; ++i) {
        QColor c = bars[i % 4];
        c.setAlpha(150);
        QPainterPath path;
        path.addRoundedRect(QRectF(starts[i], 30 + i * 18, lengths[i], 10), 3, 3);
        p.fillPath(path, c);
    }
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    for (int x = 240; x <= 380; x += 28)
        p.drawLine(x, 24, x, 122);

    // Name, tagline and version.
    p.setPen(Qt::white);
    QFont name(QStringLiteral("Arial"));
    name.setPixelSize(44);
    name.setBold(true);
    p.setFont(name);
    p.drawText(QRect(24, 96, 360, 56), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Pelloran"));

    p.setPen(QColor(0xE6, 0xD8, 0xAE));
    p.drawLine(26, 158, 200, 158);

    QFont tag(QStringLiteral("Arial"));
    tag.setPixelSize(13);
    p.setFont(tag);
    p.setPen(QColor(0xCE, 0xDC, 0xE3));
    p.drawText(QRect(26, 164, 360, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Project scheduling for small software teams"));

    QFont ver(QStringLiteral("Arial"));
    ver.setPixelSize(11);
    p.setFont(ver);
    p.setPen(QColor(0x9D, 0xB9, 0xC8));
    p.drawText(QRect(0, kHeight - 24, kWidth - 12, 16), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Version ") + QStringLiteral(PELLORAN_FILE_VERSION));

    // A thin frame, since the window has no border of its own.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0x10, 0x1A, 0x22));
    p.setBrush(Qt::NoBrush);
    p.drawRect(logicalRect(pm).adjusted(0, 0, -1, -1));
    return pm;
}
