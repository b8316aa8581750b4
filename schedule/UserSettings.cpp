#include "schedule/UserSettings.h"

#include "data/Dataset.h"
#include "data/GlobalData.h"
#include "data/StyleRepository.h"
#include "data/TableStructures.h"
#include "widgets/DataGrid.h"

#include <QGuiApplication>
#include <QHash>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace UserSettings {

namespace {
const QString kUsersTable = QStringLiteral("Developers");
const QString kIdField = QStringLiteral("Developer ID");
const QString kOtherField = QStringLiteral("Other Settings");
const QString kGridField = QStringLiteral("Grid Settings");
const QString kEol = QStringLiteral("\r\n");

// Keys of section "MainForm", lower-cased, with the first value each had.
QHash<QString, QString> mainFormValues(const QString& text) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QHash<QString, QString> values;
    bool inSection = false;
    bool sectionSeen = false;
    for (const QString& raw : text.split(lineBreak)) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            // A repeated section adds to the first one rather than replacing it.
            inSection =
                line.mid(1, line.size() - 2).trimmed().compare(kSection, Qt::CaseInsensitive) == 0;
            sectionSeen = true;
            continue;
        }
        if (!sectionSeen || !inSection)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed().toLower();
        if (!values.contains(key))
            values.insert(key, line.mid(eq + 1).trimmed());
    }
    return values;
}

int integerOr(const QHash<QString, QString>& values, const QString& key, int fallback) {
    const auto it = values.constFind(key.toLower());
    if (it == values.constEnd())
        return fallback;
    bool ok = false;
    const int v = it->toInt(&ok, 10);
    return ok ? v : fallback;
}

// Our own cursor on the users table, on the logged-in user's row; null when
// that row does not exist.
std::unique_ptr<DbTable> userRow(TdmGlobals& globals) {
    auto table = std::make_unique<DbTable>(globals.Connection(), kUsersTable);
    table->open();
    if (globals.CurrentUserID == 0 || !table->locate(kIdField, globals.CurrentUserID))
        return nullptr;
    return table;
}
} // namespace

QString writeOtherSettings(const WindowSettings& s) {
    const auto line = [](const QString& key, const QString& value) -> QString {
        return key + u'=' + value + kEol;
    };
    return QString(u'[' + kSection + u']' + kEol + line(kStylesheetKey, s.styleSheetName) +
                   line(kSideBarKey, s.sideBarVisible ? QStringLiteral("1") : QStringLiteral("0")) +
                   line(kTopKey, QString::number(s.top)) + line(kLeftKey, QString::number(s.left)) +
                   line(kWidthKey, QString::number(s.width)) +
                   line(kHeightKey, QString::number(s.height)) + kEol);
}

WindowSettings readOtherSettings(const QString& text, const WindowSettings& current) {
    const QHash<QString, QString> values = mainFormValues(text);
    WindowSettings s = current;
    s.styleSheetName = values.value(kStylesheetKey.toLower(), kDefaultStylesheet);
    s.sideBarVisible = integerOr(values, kSideBarKey, 1) != 0;
    s.top = integerOr(values, kTopKey, current.top);
    s.left = integerOr(values, kLeftKey, current.left);
    s.width = integerOr(values, kWidthKey, current.width);
    s.height = integerOr(values, kHeightKey, current.height);
    return s;
}

const GridStyleSheet* styleSheetFor(const QString& name, const GridStyleRepository& repository) {
    for (int i = 0; i < repository.count(); ++i)
        if (repository.sheet(i).name == name)
            return &repository.sheet(i);
    return nullptr;
}

QRect centredGeometry(const QSize& wanted, const QRect& available, const QSize& minimum) {
    const auto fit = [](int want, int least, int room) {
        return std::max(1, std::min(std::max(want, least), room));
    };
    const int w = fit(wanted.width(), minimum.width(), available.width());
    const int h = fit(wanted.height(), minimum.height(), available.height());
    const int x = available.left() + (available.width() - w) / 2;
    const int y = available.top() + (available.height() - h) / 2;
    return QRect(x, y, w, h);
}

std::optional<QString> readOtherSettingsField(TdmGlobals& globals) {
    const auto row = userRow(globals);
    if (!row)
        return std::nullopt;
    return row->fieldByName(kOtherField).asString();
}

std::optional<QString> readGridSettingsField(TdmGlobals& globals) {
    const auto row = userRow(globals);
    if (!row)
        return std::nullopt;
    return row->fieldByName(kGridField).asString();
}

bool writeSettingsFields(TdmGlobals& globals, const QString& otherSettings,
                         const QString& gridSettings) {
    const auto row = userRow(globals);
    if (!row)
        return false;
    row->edit();
    try {
        row->fieldByName(kGridField).setAsString(gridSettings);
        row->fieldByName(kOtherField).setAsString(otherSettings);
        row->post();
    } catch (...) {
        // A row that could not be stored must not stay locked in edit state.
        if (row->state() == DbDataset::State::Edit)
            row->cancel();
        throw;
    }
    return true;
}

WindowSettings currentSettings(const QWidget& window, const QWidget& sideBar,
                               const DataGrid& grid) {
    WindowSettings s;
    s.styleSheetName = grid.colorScheme().name;
    // The window may not be shown yet: what counts is whether the panel is hidden.
    s.sideBarVisible = !sideBar.isHidden();
    s.top = window.y();
    s.left = window.x();
    s.width = window.width();
    s.height = window.height();
    return s;
}

bool loadOtherSettings(QWidget& window, QWidget& sideBar, DataGrid& grid) {
    const std::optional<QString> text = readOtherSettingsField(*dmGlobals);
    if (!text)
        return false;
    const WindowSettings s = readOtherSettings(*text, currentSettings(window, sideBar, grid));
    sideBar.setVisible(s.sideBarVisible);
    window.move(s.left, s.top);
    // A nonsensical stored size becomes sensible when the window is centred.
    window.resize(std::max(1, s.width), std::max(1, s.height));
    if (const GridStyleSheet* sheet = styleSheetFor(s.styleSheetName, dmGlobals->StyleRepository))
        grid.setColorScheme(*sheet);
    return true;
}

void loadGridSettings(DataGrid& grid) {
    const std::optional<QString> text = readGridSettingsField(*dmGlobals);
    // Empty or unreadable layouts leave the designed columns.
    if (text && !text->isEmpty())
        grid.restoreLayout(*text);
}

void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The frame around the client area counts when fitting the window.
    const QSize frame = window.frameGeometry().size() - window.geometry().size();
    const QRect placed =
        centredGeometry(window.size() + frame, screen->availableGeometry(),
                        window.minimumSizeHint().expandedTo(QSize(200, 120)) + frame);
    window.resize(placed.size() - frame);
    window.move(placed.topLeft());
}

bool storeSettings(const QWidget& window, const QWidget& sideBar, const DataGrid& grid) {
    return writeSettingsFields(
        *dmGlobals, writeOtherSettings(currentSettings(window, sideBar, grid)), grid.saveLayout());
}

} // namespace UserSettings
