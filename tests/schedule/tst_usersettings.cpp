// The per-user window settings: the exact text written, the reading rules,
// which names select a colour scheme, where the window is placed, and a
// store and load against a user's row (only that row, extra sections dropped,
// unreadable layouts ignored).
#include "schedule/UserSettings.h"

#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/Passwords.h"
#include "data/ProjectData.h"
#include "data/TableStructures.h"
#include "widgets/DataGrid.h"
#include "widgets/GridTableModel.h"

#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using UserSettings::WindowSettings;

Q_DECLARE_METATYPE(WindowSettings)

namespace {
const QString kDesignedText = QStringLiteral("[MainForm]\r\n"
                                             "Stylesheet=GridTableViewStyleSheetSlate\r\n"
                                             "SideBar=1\r\n"
                                             "Top=116\r\n"
                                             "Left=232\r\n"
                                             "Width=630\r\n"
                                             "Height=388\r\n"
                                             "\r\n");

WindowSettings settings(const QString& sheet, bool side, int top, int left, int w, int h) {
    WindowSettings s;
    s.styleSheetName = sheet;
    s.sideBarVisible = side;
    s.top = top;
    s.left = left;
    s.width = w;
    s.height = h;
    return s;
}

// A stand-in for the main window: the window, its side panel and its task grid.
struct MainWindowParts {
    QWidget window;
    QWidget* sideBar;
    DataGrid* grid;
    GridTableModel model{{QStringLiteral("Task ID"), QStringLiteral("Task"),
                          QStringLiteral("Orig Est"), QStringLiteral("Status")}};

    MainWindowParts() {
        window.resize(630, 388);
        window.move(232, 116);
        sideBar = new QWidget(&window);
        grid = new DataGrid(&window);
        grid->setColorScheme(dmGlobals->StyleRepository.slate());
        grid->setSourceModel(&model);
        grid->setKeyField(QStringLiteral("Task ID"));
        const auto col = [](const char* field, int width) {
            GridColumn c;
            c.field = c.caption = QString::fromLatin1(field);
            c.width = width;
            return c;
        };
        grid->setColumns({col("Task", 120), col("Orig Est", 60), col("Status", 80)});
        model.setRows({{1, QStringLiteral("Write"), 2.0, QStringLiteral("Testing")},
                       {2, QStringLiteral("Read"), 1.0, QStringLiteral("Complete")}});
    }
};
} // namespace

class TestUserSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setFastPasswordHashingForTests(true); }
    void init();
    void cleanup();

    void writtenText();
    void roundTrip_data();
    void roundTrip();
    void readingRules_data();
    void readingRules();
    void schemeByIdentifierOnly_data();
    void schemeByIdentifierOnly();
    void geometry_data();
    void geometry();

    void storeAndLoadThroughTheUsersRow();
    void captionAndExtraSection();
    void withoutTheUsersRow();
    void unreadableGridSettingsAreIgnored_data();
    void unreadableGridSettingsAreIgnored();

private:
    int addUser(const QString& login);
    QString field(int id, const QString& name);
    void setField(int id, const QString& name, const QString& value);

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<TdmGlobals> globals;
    std::unique_ptr<TdmProjects> projects;
    int aliceID = 0;
    int bobID = 0;
};

void TestUserSettings::init() {
    folder = std::make_unique<QTemporaryDir>();
    globals = std::make_unique<TdmGlobals>(folder->path());
    projects = std::make_unique<TdmProjects>(*globals);
    aliceID = addUser(QStringLiteral("alice"));
    bobID = addUser(QStringLiteral("bob"));
    globals->CurrentUserID = aliceID;
}

void TestUserSettings::cleanup() {
    projects.reset();
    globals.reset();
    folder.reset();
}

int TestUserSettings::addUser(const QString& login) {
    DbTable* users = globals->dbUsers;
    users->append();
    users->fieldByName(QStringLiteral("LoginName")).setAsString(login);
    users->fieldByName(QStringLiteral("Name")).setAsString(login.toUpper());
    users->fieldByName(QStringLiteral("Password")).setAsString(hashPassword(login));
    users->post();
    return users->fieldByName(QStringLiteral("Developer ID")).asInteger();
}

// Read through a fresh cursor, so the check sees what is stored.
QString TestUserSettings::field(int id, const QString& name) {
    DbTable t(globals->Connection(), QStringLiteral("Developers"));
    t.applyPassword(kTablePassword);
    t.open();
    if (!t.locate(QStringLiteral("Developer ID"), id))
        return QStringLiteral("<no row>");
    return t.fieldByName(name).asString();
}

void TestUserSettings::setField(int id, const QString& name, const QString& value) {
    DbTable t(globals->Connection(), QStringLiteral("Developers"));
    t.applyPassword(kTablePassword);
    t.open();
    QVERIFY(t.locate(QStringLiteral("Developer ID"), id));
    t.edit();
    t.fieldByName(name).setAsString(value);
    t.post();
}

void TestUserSettings::writtenText() {
    QCOMPARE(UserSettings::writeOtherSettings(settings(
                 QStringLiteral("GridTableViewStyleSheetSlate"), true, 116, 232, 630, 388)),
             kDesignedText);
    QCOMPARE(UserSettings::writeOtherSettings(settings(
                 QStringLiteral("GridTableViewStyleSheetRainyDay"), false, -8, -8, 1936, 1056)),
             QStringLiteral("[MainForm]\r\nStylesheet=GridTableViewStyleSheetRainyDay\r\n"
                            "SideBar=0\r\nTop=-8\r\nLeft=-8\r\nWidth=1936\r\nHeight=1056\r\n\r\n"));
}

void TestUserSettings::roundTrip_data() {
    QTest::addColumn<WindowSettings>("stored");
    QTest::newRow("designed") << settings(QStringLiteral("GridTableViewStyleSheetSlate"), true, 116,
                                          232, 630, 388);
    QTest::newRow("hidden panel, other scheme")
        << settings(QStringLiteral("GridTableViewStyleSheetWheat"), false, 10, 20, 1024, 700);
    QTest::newRow("maximized on a left screen")
        << settings(QStringLiteral("GridTableViewStyleSheetStormVGA"), true, -8, -1928, 1936, 1056);
}

void TestUserSettings::roundTrip() {
    QFETCH(WindowSettings, stored);
    // Current values that differ from every stored one, so a key read back
    // wrongly cannot pass for its default.
    const WindowSettings current = settings(QStringLiteral("X"), false, 1, 2, 3, 4);
    QCOMPARE(UserSettings::readOtherSettings(UserSettings::writeOtherSettings(stored), current),
             stored);
}

void TestUserSettings::readingRules_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<WindowSettings>("expected");
    // Current window: top 50, left 60, 500 x 300, panel hidden.
    const auto cur = [](const QString& sheet, bool side, int top = 50, int left = 60, int w = 500,
                        int h = 300) { return settings(sheet, side, top, left, w, h); };
    const QString slate = QStringLiteral("Slate");
    const QString rainyId = QStringLiteral("GridTableViewStyleSheetRainyDay");

    QTest::newRow("empty: every default") << QString() << cur(slate, true);
    QTest::newRow("LF lines") << QStringLiteral("[MainForm]\nSideBar=0\nWidth=800\nHeight=600\n")
                              << cur(slate, false, 50, 60, 800, 600);
    QTest::newRow("CR lines") << QStringLiteral("[MainForm]\rTop=7\rLeft=8\r")
                              << cur(slate, true, 7, 8);
    QTest::newRow("names in any case")
        << QStringLiteral("[mainform]\r\nSIDEBAR=0\r\nwidth=801\r\nStyleSheet=") + rainyId
        << cur(rainyId, false, 50, 60, 801);
    QTest::newRow("blanks trimmed") << QStringLiteral("  [ MainForm ]  \r\n   Width  =  640  \r\n")
                                    << cur(slate, true, 50, 60, 640);
    QTest::newRow("comments and empty lines")
        << QStringLiteral("[MainForm]\r\n;Width=1\r\n\r\n  ; Height=2\r\nHeight=3\r\n")
        << cur(slate, true, 50, 60, 500, 3);
    QTest::newRow("lines before the first section")
        << QStringLiteral("Width=1\r\nSideBar=0\r\n[MainForm]\r\nHeight=2\r\n")
        << cur(slate, true, 50, 60, 500, 2);
    QTest::newRow("another section")
        << QStringLiteral("[Grid]\r\nWidth=1\r\n[MainForm]\r\nTop=2\r\n"
                          "[Other]\r\nLeft=3\r\n")
        << cur(slate, true, 2);
    QTest::newRow("bad integers keep the current values")
        << QStringLiteral("[MainForm]\r\nTop=abc\r\nLeft=\r\nWidth=12px\r\nHeight=1.5\r\n")
        << cur(slate, true);
    QTest::newRow("negative integers")
        << QStringLiteral("[MainForm]\r\nTop=-8\r\nLeft=-1928\r\n") << cur(slate, true, -8, -1928);
    QTest::newRow("any other number is shown")
        << QStringLiteral("[MainForm]\r\nSideBar=-1\r\n") << cur(slate, true);
    QTest::newRow("unreadable boolean: shown")
        << QStringLiteral("[MainForm]\r\nSideBar=no\r\n") << cur(slate, true);
    QTest::newRow("value split at the first =")
        << QStringLiteral("[MainForm]\r\nStylesheet=a=b\r\n") << cur(QStringLiteral("a=b"), true);
    QTest::newRow("a caption is kept as written")
        << QStringLiteral("[MainForm]\r\nStylesheet=Rainy Day\r\n")
        << cur(QStringLiteral("Rainy Day"), true);
    QTest::newRow("first of a repeated key")
        << QStringLiteral("[MainForm]\r\nWidth=700\r\nWidth=900\r\n")
        << cur(slate, true, 50, 60, 700);
    QTest::newRow("line without =") << QStringLiteral("[MainForm]\r\nWidth\r\nHeight=9\r\n")
                                    << cur(slate, true, 50, 60, 500, 9);
}

void TestUserSettings::readingRules() {
    QFETCH(QString, text);
    QFETCH(WindowSettings, expected);
    const WindowSettings current = settings(QStringLiteral("current"), false, 50, 60, 500, 300);
    QCOMPARE(UserSettings::readOtherSettings(text, current), expected);
}

void TestUserSettings::schemeByIdentifierOnly_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("caption"); // empty: no scheme
    QTest::newRow("identifier") << "GridTableViewStyleSheetRainyDay"
                                << "Rainy Day";
    QTest::newRow("last scheme") << "GridTableViewStyleSheetWindowsClassic"
                                 << "Windows Classic";
    QTest::newRow("caption") << "Rainy Day"
                             << "";
    QTest::newRow("default") << "Slate"
                             << "";
    QTest::newRow("other case") << "gridtableviewstylesheetrainyday"
                                << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestUserSettings::schemeByIdentifierOnly() {
    QFETCH(QString, stored);
    QFETCH(QString, caption);
    const GridStyleSheet* sheet = UserSettings::styleSheetFor(stored, globals->StyleRepository);
    QCOMPARE(sheet ? sheet->caption : QString(), caption);
}

void TestUserSettings::geometry_data() {
    QTest::addColumn<QSize>("wanted");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("fits: centred")
        << QSize(630, 388) << QRect(0, 0, 1920, 1040) << QRect(645, 326, 630, 388);
    QTest::newRow("screen right of the primary")
        << QSize(800, 600) << QRect(1920, 0, 1280, 1024) << QRect(2160, 212, 800, 600);
    QTest::newRow("screen left of and above the primary")
        << QSize(800, 600) << QRect(-1280, -200, 1280, 1000) << QRect(-1040, 0, 800, 600);
    QTest::newRow("wider than the screen")
        << QSize(2500, 400) << QRect(0, 0, 1366, 728) << QRect(0, 164, 1366, 400);
    QTest::newRow("larger than the screen both ways")
        << QSize(4000, 3000) << QRect(100, 50, 1024, 718) << QRect(100, 50, 1024, 718);
    QTest::newRow("too small grows")
        << QSize(10, -5) << QRect(0, 0, 1000, 800) << QRect(400, 340, 200, 120);
}

void TestUserSettings::geometry() {
    QFETCH(QSize, wanted);
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    const QRect placed = UserSettings::centredGeometry(wanted, available);
    QCOMPARE(placed, expected);
    QVERIFY(available.contains(placed));
}

// What a user leaves comes back at the next start; only that user's row changes.
void TestUserSettings::storeAndLoadThroughTheUsersRow() {
    const GridStyleSheet* rainy =
        globals->StyleRepository.byName(QStringLiteral("GridTableViewStyleSheetRainyDay"));
    QVERIFY(rainy);
    {
        MainWindowParts closing;
        closing.sideBar->hide();
        closing.grid->setColorScheme(*rainy);
        closing.window.resize(700, 450);
        closing.window.move(40, 30);
        closing.grid->setColumnWidth(QStringLiteral("Task"), 222);
        closing.grid->setColumnVisible(QStringLiteral("Orig Est"), false);
        closing.grid->setGroupFields({QStringLiteral("Status")});
        QVERIFY(UserSettings::storeSettings(closing.window, *closing.sideBar, *closing.grid));
    }
    QCOMPARE(field(aliceID, QStringLiteral("Other Settings")),
             QStringLiteral("[MainForm]\r\nStylesheet=GridTableViewStyleSheetRainyDay\r\n"
                            "SideBar=0\r\nTop=30\r\nLeft=40\r\nWidth=700\r\nHeight=450\r\n\r\n"));
    QVERIFY(!field(aliceID, QStringLiteral("Grid Settings")).isEmpty());
    QCOMPARE(field(bobID, QStringLiteral("Other Settings")), QString());
    QCOMPARE(field(bobID, QStringLiteral("Grid Settings")), QString());

    MainWindowParts opening;
    QVERIFY(UserSettings::loadOtherSettings(opening.window, *opening.sideBar, *opening.grid));
    QVERIFY(opening.sideBar->isHidden());
    QCOMPARE(opening.window.size(), QSize(700, 450));
    QCOMPARE(opening.grid->colorScheme().name, rainy->name);
    UserSettings::loadGridSettings(*opening.grid);
    QCOMPARE(opening.grid->columnWidth(QStringLiteral("Task")), 222);
    QVERIFY(!opening.grid->isColumnVisible(QStringLiteral("Orig Est")));
    QCOMPARE(opening.grid->groupFields(), QStringList{QStringLiteral("Status")});
    QVERIFY(!opening.grid->isGroupPanelVisible());
    QVERIFY(opening.grid->filter().isEmpty());

    // Placed in the middle of its screen whatever position it was left at.
    opening.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&opening.window));
    UserSettings::centreOnScreen(opening.window);
    const QRect avail = opening.window.screen()->availableGeometry();
    QCOMPARE(opening.window.size(), QSize(700, 450));
    QVERIFY(qAbs(opening.window.frameGeometry().center().x() - avail.center().x()) <= 1);
    QVERIFY(qAbs(opening.window.frameGeometry().center().y() - avail.center().y()) <= 1);
}

// A caption where an identifier belongs keeps the grid's scheme, and the
// next store writes only the one section.
void TestUserSettings::captionAndExtraSection() {
    setField(aliceID, QStringLiteral("Other Settings"),
             QStringLiteral("[MainForm]\r\nStylesheet=Rainy Day\r\nSideBar=1\r\n"
                            "[Toolbars]\r\nTasks=0\r\n; kept by nobody\r\n"));
    MainWindowParts w;
    const GridStyleSheet* wheat =
        globals->StyleRepository.byName(QStringLiteral("GridTableViewStyleSheetWheat"));
    QVERIFY(wheat);
    w.grid->setColorScheme(*wheat);
    QVERIFY(UserSettings::loadOtherSettings(w.window, *w.sideBar, *w.grid));
    QCOMPARE(w.grid->colorScheme().name, wheat->name);
    QVERIFY(UserSettings::storeSettings(w.window, *w.sideBar, *w.grid));
    const QString stored = field(aliceID, QStringLiteral("Other Settings"));
    QCOMPARE(stored, UserSettings::writeOtherSettings(
                         UserSettings::currentSettings(w.window, *w.sideBar, *w.grid)));
    QVERIFY(!stored.contains(QStringLiteral("Toolbars")));
    QVERIFY(stored.contains(QStringLiteral("Stylesheet=GridTableViewStyleSheetWheat\r\n")));
}

// A user without a row (deleted meanwhile) keeps the designed window and
// stores nothing anywhere.
void TestUserSettings::withoutTheUsersRow() {
    setField(aliceID, QStringLiteral("Other Settings"),
             QStringLiteral("[MainForm]\r\nWidth=900\r\n"));
    globals->CurrentUserID = 4711;
    MainWindowParts w;
    w.sideBar->hide();
    QVERIFY(!UserSettings::loadOtherSettings(w.window, *w.sideBar, *w.grid));
    QCOMPARE(w.window.size(), QSize(630, 388));
    UserSettings::loadGridSettings(*w.grid);
    QVERIFY(!UserSettings::storeSettings(w.window, *w.sideBar, *w.grid));
    QCOMPARE(field(aliceID, QStringLiteral("Other Settings")),
             QStringLiteral("[MainForm]\r\nWidth=900\r\n"));
    QCOMPARE(field(bobID, QStringLiteral("Other Settings")), QString());
}

void TestUserSettings::unreadableGridSettingsAreIgnored_data() {
    QTest::addColumn<QString>("stored");
    QTest::newRow("empty") << QString();
    QTest::newRow("not a layout") << QStringLiteral("<grid><column/></grid>");
    QTest::newRow("another version")
        << QStringLiteral(R"({"format":"PelloranGridLayout","version":99,"columns":[]})");
    QTest::newRow("cut short") << QStringLiteral(R"({"format":"PelloranGridLayout","vers)");
}

void TestUserSettings::unreadableGridSettingsAreIgnored() {
    QFETCH(QString, stored);
    setField(aliceID, QStringLiteral("Grid Settings"), stored);
    MainWindowParts w;
    const QList<GridColumnState> designed = w.grid->columnStates();
    UserSettings::loadGridSettings(*w.grid);
    QCOMPARE(w.grid->columnStates(), designed);
}

QTEST_MAIN(TestUserSettings)
#include "tst_usersettings.moc"
