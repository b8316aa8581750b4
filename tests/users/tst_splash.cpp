// The splash window: its size, its place and the global reference to it.
#include "app/SplashForm.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <memory>

class TestSplash : public QObject {
    Q_OBJECT
private slots:
    void frameless400x212Centred();
    void referenceFollowsLifetime();
};

void TestSplash::frameless400x212Centred() {
    TfrmSplash splash;
    QCOMPARE(splash.size(), QSize(400, 212));
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(splash.Image1->geometry(), QRect(0, 0, 400, 212));
    QCOMPARE(splash.Image1->pixmap().size(), QSize(400, 212));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(splash.geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(splash.geometry().center().y() - screen.center().y()) <= 1);
    // Something is drawn: the picture is not one flat colour.
    const QImage img = splash.Image1->pixmap().toImage();
    QVERIFY(img.pixel(30, 130) != img.pixel(10, 10) || img.pixel(200, 170) != img.pixel(10, 10));
}

void TestSplash::referenceFollowsLifetime() {
    QVERIFY(!frmSplash);
    auto splash = std::make_unique<TfrmSplash>();
    QCOMPARE(frmSplash, splash.get());
    splash->show();
    splash->repaint();
    splash.reset();
    QVERIFY(!frmSplash);
}

QTEST_MAIN(TestSplash)
#include "tst_splash.moc"
