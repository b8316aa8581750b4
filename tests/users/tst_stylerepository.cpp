// The eighteen colour schemes: their order and captions, lookups by name, and
// spot checks of single elements against the scheme tables.
#include "data/StyleRepository.h"

#include <QTest>

class TestStyleRepository : public QObject {
    Q_OBJECT
private slots:
    void sheetsInListOrder();
    void lookupByName_data();
    void lookupByName();
    void elementStyles_data();
    void elementStyles();
    void everySheetIsComplete();
    void fontCarriesSizeAndStyle();
};

void TestStyleRepository::sheetsInListOrder() {
    const GridStyleRepository repo;
    const QStringList captions = {"Brick",
                                  "Desert",
                                  "Eggplant",
                                  "Lilac",
                                  "Maple",
                                  "Marine (high color)",
                                  "Plum (high color)",
                                  "Pumpkin (large)",
                                  "Rainy Day",
                                  "Red, White, and Blue (VGA)",
                                  "Rose",
                                  "Rose (large)",
                                  "Slate",
                                  "Spruce",
                                  "Storm (VGA)",
                                  "Teal (VGA)",
                                  "Wheat",
                                  "Windows Classic"};
    QCOMPARE(repo.count(), captions.size());
    for (int i = 0; i < repo.count(); ++i)
        QCOMPARE(repo.sheet(i).caption, captions.at(i));
    QCOMPARE(repo.sheet(5).name, QStringLiteral("GridTableViewStyleSheetMarinehighcolor"));
    QCOMPARE(repo.sheet(9).name, QStringLiteral("GridTableViewStyleSheetRedWhiteandBlueVGA"));
    QCOMPARE(repo.sheet(17).name, QStringLiteral("GridTableViewStyleSheetWindowsClassic"));
}

void TestStyleRepository::lookupByName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");
    QTest::newRow("first") << "GridTableViewStyleSheetBrick" << 0;
    QTest::newRow("slate") << "GridTableViewStyleSheetSlate" << 12;
    QTest::newRow("pumpkin") << "GridTableViewStyleSheetPumpkinlarge" << 7;
    QTest::newRow("last") << "GridTableViewStyleSheetWindowsClassic" << 17;
    QTest::newRow("case counts") << "gridtableviewstylesheetslate" << -1;
    QTest::newRow("caption is not a name") << "Slate" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestStyleRepository::lookupByName() {
    QFETCH(QString, name);
    QFETCH(int, index);
    const GridStyleRepository repo;
    QCOMPARE(repo.indexOf(name), index);
    const GridStyleSheet* sheet = repo.byName(name);
    if (index < 0) {
        QVERIFY(!sheet);
    } else {
        QVERIFY(sheet);
        QCOMPARE(sheet, &repo.sheet(index));
    }
}

void TestStyleRepository::elementStyles_data() {
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<GridElement>("element");
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    const QString mss = QStringLiteral("Microsoft Sans Serif");
    QTest::newRow("Brick GroupByBox") << "Brick" << GridElement::GroupByBox << QColor("#420000")
                                      << QColor("#E1E0D2") << "Tahoma" << 13 << true << false;
    QTest::newRow("Brick Preview base font") << "Brick" << GridElement::Preview << QColor("#FFFFFF")
                                             << QColor("#800000") << mss << 13 << false << false;
    QTest::newRow("Eggplant Group odd text")
        << "Eggplant" << GridElement::Group << QColor("#588078") << QColor("#000008")
        << "MS Sans Serif" << 11 << false << false;
    QTest::newRow("Lilac ContentEven italic")
        << "Lilac" << GridElement::ContentEven << QColor("#AEA8D9") << QColor("#000000")
        << "Garamond" << 16 << false << true;
    QTest::newRow("Lilac Content base") << "Lilac" << GridElement::Content << QColor("#FFFFFF")
                                        << QColor("#000000") << "Garamond" << 16 << false << false;
    QTest::newRow("Lilac Selection Tahoma")
        << "Lilac" << GridElement::Selection << QColor("#5A4EB1") << QColor("#FFFFFF") << "Tahoma"
        << 17 << false << false;
    QTest::newRow("Marine Content coloured")
        << "Marine (high color)" << GridElement::Content << QColor("#C8E0D8") << QColor("#000000")
        << mss << 13 << false << false;
    QTest::newRow("Pumpkin ContentOdd base 16")
        << "Pumpkin (large)" << GridElement::ContentOdd << QColor("#F5EACF") << QColor("#000000")
        << mss << 16 << false << false;
    QTest::newRow("RWB Header 15 bold")
        << "Red, White, and Blue (VGA)" << GridElement::Header << QColor("#C0C0C0")
        << QColor("#000000") << "Times New Roman" << 15 << true << false;
    QTest::newRow("Rose Indicator Times")
        << "Rose" << GridElement::Indicator << QColor("#FFC8C8") << QColor("#000000")
        << "Times New Roman" << 17 << false << false;
    QTest::newRow("Rose large Header base Arial")
        << "Rose (large)" << GridElement::Header << QColor("#FFC8C8") << QColor("#000000")
        << "Arial" << 16 << false << false;
    QTest::newRow("Slate GroupByBox base")
        << "Slate" << GridElement::GroupByBox << QColor("#414141") << QColor("#FFFFFF") << mss << 11
        << false << false;
    QTest::newRow("Slate Inactive") << "Slate" << GridElement::Inactive << QColor("#558097")
                                    << QColor("#FFFFFF") << mss << 11 << false << false;
    QTest::newRow("Spruce GroupByBox 17")
        << "Spruce" << GridElement::GroupByBox << QColor("#213F21") << QColor("#FFFFFF") << mss
        << 17 << true << false;
    QTest::newRow("Teal Group default text")
        << "Teal (VGA)" << GridElement::Group << QColor("#808080") << QColor() << mss << 13 << false
        << false;
    QTest::newRow("Windows Classic Footer")
        << "Windows Classic" << GridElement::Footer << QColor("#C0C0C0") << QColor("#000000") << mss
        << 13 << false << false;
}

void TestStyleRepository::elementStyles() {
    QFETCH(QString, sheet);
    QFETCH(GridElement, element);
    QFETCH(QColor, background);
    QFETCH(QColor, text);
    QFETCH(QString, family);
    QFETCH(int, pixels);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    const GridStyleRepository repo;
    const GridStyleSheet* found = nullptr;
    for (int i = 0; i < repo.count(); ++i)
        if (repo.sheet(i).caption == sheet)
            found = &repo.sheet(i);
    QVERIFY(found);
    const GridStyle& s = found->style(element);
    QCOMPARE(s.background, background);
    QCOMPARE(s.text.isValid(), text.isValid());
    if (text.isValid())
        QCOMPARE(s.text, text);
    QCOMPARE(s.fontFamily, family);
    QCOMPARE(s.fontPixelSize, pixels);
    QCOMPARE(s.bold, bold);
    QCOMPARE(s.italic, italic);
}

void TestStyleRepository::everySheetIsComplete() {
    // Every element has a colour and a font; only Teal's group text is "default".
    const GridStyleRepository repo;
    int defaults = 0;
    for (int i = 0; i < repo.count(); ++i) {
        const GridStyleSheet& sh = repo.sheet(i);
        QVERIFY2(sh.name.startsWith(QStringLiteral("GridTableViewStyleSheet")),
                 qPrintable(sh.name));
        QCOMPARE(repo.indexOf(sh.name), i);
        for (const GridStyle& s : sh.styles) {
            QVERIFY(s.background.isValid());
            QVERIFY(!s.fontFamily.isEmpty());
            QVERIFY(s.fontPixelSize > 0);
            if (!s.text.isValid())
                ++defaults;
        }
    }
    QCOMPARE(defaults, 1);
    QCOMPARE(&repo.slate(), repo.byName(QStringLiteral("GridTableViewStyleSheetSlate")));
}

void TestStyleRepository::fontCarriesSizeAndStyle() {
    const GridStyleRepository repo;
    const QFont f = repo.sheet(repo.indexOf(QStringLiteral("GridTableViewStyleSheetLilac")))
                        .style(GridElement::ContentOdd)
                        .font();
    QCOMPARE(f.pixelSize(), 16);
    QVERIFY(f.italic());
    QVERIFY(!f.bold());
    QCOMPARE(f.family(), QStringLiteral("Garamond"));
}

QTEST_GUILESS_MAIN(TestStyleRepository)
#include "tst_stylerepository.moc"
