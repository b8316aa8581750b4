// The wizard header: its ground, its caption rules and how it follows its parent.
#include "widgets/WizardHeader.h"

#include <QBoxLayout>
#include <QLabel>
#include <QTest>

class TestWizHeader : public QObject {
    Q_OBJECT
private slots:
    void captionIsTrimmedAndKeptOffTheEdge_data();
    void captionIsTrimmedAndKeptOffTheEdge();
    void startsWithDefaultsAndHiddenIcon();
    void groundIsThePinstripePattern();
    void spansTheParentWidth();
    void pictureIsCopiedWithoutShowingIt();
    void leavesPlacementToALayout();
};

void TestWizHeader::captionIsTrimmedAndKeptOffTheEdge_data() {
    QTest::addColumn<QString>("set");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("read");
    QTest::newRow("blanks around") << "  Getting Started Wizard  "
                                   << "Getting Started Wizard "
                                   << "Getting Started Wizard";
    QTest::newRow("no blanks") << "Problem Report"
                               << "Problem Report "
                               << "Problem Report";
    QTest::newRow("only blanks") << "   "
                                 << " "
                                 << "";
    QTest::newRow("inner blanks kept") << " a  b "
                                       << "a  b "
                                       << "a  b";
}

void TestWizHeader::captionIsTrimmedAndKeptOffTheEdge() {
    QFETCH(QString, set);
    QFETCH(QString, shown);
    QFETCH(QString, read);
    TzevWizHeader header;
    header.setProperty("WizardCaption", set);
    auto* label = header.findChild<QLabel*>(QStringLiteral("FCaptionLabel"));
    QVERIFY(label);
    QCOMPARE(label->text(), shown);
    QCOMPARE(header.GetCaption(), read);
    QCOMPARE(header.property("WizardCaption").toString(), read);
    QVERIFY(label->alignment() & Qt::AlignRight);
}

void TestWizHeader::startsWithDefaultsAndHiddenIcon() {
    TzevWizHeader header;
    QCOMPARE(header.size(), QSize(443, 42));
    QCOMPARE(header.GetCaption(), QStringLiteral("Wizard Caption"));
    auto* label = header.findChild<QLabel*>(QStringLiteral("FCaptionLabel"));
    QVERIFY(label);
    QCOMPARE(label->font().pixelSize(), 19);
    QVERIFY(label->font().bold());
    QCOMPARE(label->font().family(), QStringLiteral("Arial"));
    auto* icon = header.findChild<QLabel*>(QStringLiteral("FIconImage"));
    QVERIFY(icon);
    QCOMPARE(icon->geometry(), QRect(4, 4, 33, 33));
    QVERIFY(icon->isHidden());
    QVERIFY(!header.isPictureVisible());
}

void TestWizHeader::groundIsThePinstripePattern() {
    const QImage p = TzevWizHeader::headerPattern();
    QCOMPARE(p.size(), QSize(1, 42));
    for (int row = 1; row <= 42; ++row) {
        QRgb want = qRgb(255, 255, 255);
        if (row == 41 || row == 42)
            want = qRgb(0, 0, 0);
        else if (row % 3 == 2 && row <= 38)
            want = qRgb(231, 231, 231);
        QCOMPARE(p.pixel(0, row - 1) & 0xFFFFFF, want & 0xFFFFFF);
    }
    // Stretched across the whole header: a grab shows the same rows everywhere.
    TzevWizHeader header;
    header.SetCaption(QString());
    const QImage shot = header.grab().toImage();
    for (int x : {0, 200, 442}) {
        QCOMPARE(shot.pixel(x, 1) & 0xFFFFFF, qRgb(231, 231, 231) & 0xFFFFFF);
        QCOMPARE(shot.pixel(x, 2) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF);
        QCOMPARE(shot.pixel(x, 41) & 0xFFFFFF, qRgb(0, 0, 0) & 0xFFFFFF);
    }
}

void TestWizHeader::spansTheParentWidth() {
    QWidget form;
    form.resize(408, 287);
    TzevWizHeader header(&form);
    QCOMPARE(header.geometry(), QRect(0, 0, 408, 42));
    form.resize(600, 300);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(header.geometry(), QRect(0, 0, 600, 42));
    auto* label = header.findChild<QLabel*>(QStringLiteral("FCaptionLabel"));
    QCOMPARE(label->geometry(), QRect(0, 18, 600, 24));
}

void TestWizHeader::pictureIsCopiedWithoutShowingIt() {
    TzevWizHeader header;
    QPixmap pm(32, 32);
    pm.fill(Qt::red);
    header.SetPicture(pm);
    pm.fill(Qt::blue); // the header holds its own copy
    QCOMPARE(header.GetPicture().toImage().pixel(5, 5), QColor(Qt::red).rgb());
    QVERIFY(!header.isPictureVisible());
    header.setPictureVisible(true);
    QVERIFY(header.isPictureVisible());
}

void TestWizHeader::leavesPlacementToALayout() {
    QWidget form;
    auto* outer = new QVBoxLayout(&form);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* inner = new QHBoxLayout;
    inner->setContentsMargins(10, 5, 10, 0);
    outer->addLayout(inner);
    auto* header = new TzevWizHeader(&form);
    inner->addWidget(header);
    outer->addStretch(1);
    form.resize(500, 200);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(520, 220);
    QTRY_COMPARE(header->geometry().topLeft(), QPoint(10, 5));
    QCOMPARE(header->width(), 500);
}

QTEST_MAIN(TestWizHeader)
#include "tst_wizardheader.moc"
