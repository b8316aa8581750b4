#pragma once
// The per-user window settings kept in the user's own Developers row:
// "Other Settings" (side panel, window bounds, colour scheme, as ini text)
// and "Grid Settings" (the task list's column layout).
//
// The main window calls, in this order:
//   FormCreate, last step:  UserSettings::loadOtherSettings(*this, *SideBar, *grid);
//   FormShow:               UserSettings::loadGridSettings(*grid);
//                           UserSettings::centreOnScreen(*this);
//   FormClose:              UserSettings::storeSettings(*this, *SideBar, *grid);
// The row is that of dmGlobals->CurrentUserID; without such a row loading
// changes nothing and storing writes nothing.
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

class DataGrid;
class GridStyleRepository;
struct GridStyleSheet;
class QWidget;
class TdmGlobals;

namespace UserSettings {

// The one section of "Other Settings" and its keys, in written order.
inline const QString kSection = QStringLiteral("MainForm");
inline const QString kStylesheetKey = QStringLiteral("Stylesheet");
inline const QString kSideBarKey = QStringLiteral("SideBar");
inline const QString kTopKey = QStringLiteral("Top");
inline const QString kLeftKey = QStringLiteral("Left");
inline const QString kWidthKey = QStringLiteral("Width");
inline const QString kHeightKey = QStringLiteral("Height");
// What "Stylesheet" reads as when absent: a caption, so it names no scheme
// and the grid keeps the scheme it has.
inline const QString kDefaultStylesheet = QStringLiteral("Slate");

struct WindowSettings {
    QString styleSheetName; // identifier of a colour scheme
    bool sideBarVisible = true;
    int top = 116;
    int left = 232;
    int width = 630;
    int height = 388;
    bool operator==(const WindowSettings&) const = default;
};

// The field's text: "[MainForm]", the six keys in order, an empty line; every
// line ends with CR LF.
QString writeOtherSettings(const WindowSettings& settings);
// Reads the field's text. Keys that are missing or whose integer does not
// parse keep the values of `current`, except the style sheet, which defaults
// to kDefaultStylesheet, and the side panel, which defaults to shown. Only
// section "MainForm" counts; names match without regard to case.
WindowSettings readOtherSettings(const QString& text, const WindowSettings& current = {});

// The scheme a stored name selects: the first in repository order whose
// identifier equals it exactly, or null.
const GridStyleSheet* styleSheetFor(const QString& name, const GridStyleRepository& repository);

// Where a window of `wanted` outer size goes on a screen whose available area
// is `available`: centred, and never larger than the area, so no part of it
// lies off the screen. A size below `minimum` grows to it (unless the screen
// is smaller still).
QRect centredGeometry(const QSize& wanted, const QRect& available,
                      const QSize& minimum = QSize(200, 120));

// ---- the user's row (a cursor of our own on "Developers") ----
// The stored texts of the logged-in user's row, or nullopt without such a row.
std::optional<QString> readOtherSettingsField(TdmGlobals& globals);
std::optional<QString> readGridSettingsField(TdmGlobals& globals);
// Replaces both fields of the user's row; false (nothing written) without
// such a row. Engine errors propagate.
bool writeSettingsFields(TdmGlobals& globals, const QString& otherSettings,
                         const QString& gridSettings);

// ---- the main window's side ----
// The settings as a window, its side panel and its grid have them now
// (a maximized window gives its maximized bounds).
WindowSettings currentSettings(const QWidget& window, const QWidget& sideBar, const DataGrid& grid);
// Applies the stored "Other Settings": side panel, then top, left, width and
// height, then the colour scheme when the stored name is a scheme's identifier.
// Returns false when the user has no row (nothing changed).
bool loadOtherSettings(QWidget& window, QWidget& sideBar, DataGrid& grid);
// Restores the grid's column layout; an empty or unreadable layout is ignored.
void loadGridSettings(DataGrid& grid);
// Centres the window on the screen it opens on, shrunk to fit that screen.
void centreOnScreen(QWidget& window);
// Writes both fields from the window, side panel and grid as they are now.
bool storeSettings(const QWidget& window, const QWidget& sideBar, const DataGrid& grid);

} // namespace UserSettings
