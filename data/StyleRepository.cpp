#include "data/StyleRepository.h"

#include <initializer_list>

namespace {

enum FontStyle { Plain = 0, Bold = 1, Italic = 2 };

// One row of a scheme: colours as 0xRRGGBB, text -1 for the grid's ordinary
// text colour; a null family means the scheme's base font.
struct Row {
    int background;
    int text;
    const char* family = nullptr;
    int pixelSize = 0;
    int style = Plain;
};

constexpr int kDefaultText = -1;

QColor colour(int rgb) {
    return rgb < 0 ? QColor() : QColor::fromRgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

GridStyleSheet makeSheet(const char* id, const char* caption, const char* baseFamily,
                         int basePixelSize, std::initializer_list<Row> rows) {
    Q_ASSERT(rows.size() == kGridElementCount);
    GridStyleSheet sheet;
    sheet.name = QStringLiteral("GridTableViewStyleSheet") + QString::fromLatin1(id);
    sheet.caption = QString::fromUtf8(caption);
    int i = 0;
    for (const Row& r : rows) {
        GridStyle& s = sheet.styles[i++];
        s.background = colour(r.background);
        s.text = colour(r.text);
        if (r.family) {
            s.fontFamily = QString::fromLatin1(r.family);
            s.fontPixelSize = r.pixelSize;
            s.bold = (r.style & Bold) != 0;
            s.italic = (r.style & Italic) != 0;
        } else {
            s.fontFamily = QString::fromLatin1(baseFamily);
            s.fontPixelSize = basePixelSize;
        }
    }
    return sheet;
}

constexpr const char* MSS = "Microsoft Sans Serif";
constexpr const char* MSSOld = "MS Sans Serif";
constexpr const char* Tahoma = "Tahoma";
constexpr const char* Garamond = "Garamond";
constexpr const char* Times = "Times New Roman";
constexpr const char* Arial = "Arial";

// Rows in element order: Content, ContentEven, ContentOdd, Inactive, Selection,
// Footer, Group, GroupByBox, Header, Indicator, Preview.
QList<GridStyleSheet> buildSheets() {
    QList<GridStyleSheet> s;
    s.reserve(18);
    s << makeSheet("Brick", "Brick", MSS, 13,
                   {{0xFFFFFF, 0x000000},
                    {0xC2BFA5, 0x000000},
                    {0xE1E0D2, 0x000000},
                    {0x8D8961, 0xFFFFFF},
                    {0x8D8961, 0xFFFFFF},
                    {0xC2BFA5, 0x000000},
                    {0x8D8961, 0xE1E0D2},
                    {0x420000, 0xE1E0D2, Tahoma, 13, Bold},
                    {0xC2BFA5, 0x000000, Tahoma, 13, Bold},
                    {0xC2BFA5, 0x000000, Tahoma, 13, Bold},
                    {0xFFFFFF, 0x800000}});
    s << makeSheet("Desert", "Desert", MSS, 13,
                   {{0xFFFFFF, 0x000000},
                    {0xD5CCBB, 0x000000},
                    {0xEAE6DD, 0x000000},
                    {0x008080, 0xFFFFFF},
                    {0x008080, 0xFFFFFF},
                    {0xD5CCBB, 0x000000},
                    {0xA28D68, 0xFFFFFF},
                    {0xA28D68, 0xFFFFFF, MSS, 13, Bold},
                    {0xD5CCBB, 0x000000, MSS, 13, Bold},
                    {0xD5CCBB, 0x000000, MSS, 13, Bold},
                    {0xFFFFFF, 0x008080, MSS, 13, Bold}});
    s << makeSheet("Eggplant", "Eggplant", MSSOld, 11,
                   {{0xFFFFFF, 0x000000},
                    {0x90B0A8, 0x000000},
                    {0xC8D8D8, 0x000000},
                    {0x588078, 0xFFFFFF, MSSOld, 11, Bold},
                    {0x588078, 0xFFFFFF, MSSOld, 11, Bold},
                    {0x90B0A8, 0x000000, MSSOld, 11, Bold},
                    {0x588078, 0x000008},
                    {0x400040, 0xFFFFFF, MSSOld, 11, Bold},
                    {0x90B0A8, 0x000000, MSSOld, 11, Bold},
                    {0x90B0A8, 0x000000, MSSOld, 11, Bold},
                    {0xFFFFFF, 0x588078}});
    s << makeSheet("Lilac", "Lilac", Garamond, 16,
                   {{0xFFFFFF, 0x000000},
                    {0xAEA8D9, 0x000000, Garamond, 16, Italic},
                    {0xD8D5EC, 0x000000, Garamond, 16, Italic},
                    {0x5A4EB1, 0xFFFFFF, Tahoma, 17},
                    {0x5A4EB1, 0xFFFFFF, Tahoma, 17},
                    {0xAEA8D9, 0x000000, Tahoma, 15},
                    {0x5A4EB1, 0xFFFFFF, Tahoma, 15, Bold},
                    {0x000000, 0xFFFFFF, Tahoma, 15, Bold},
                    {0xAEA8D9, 0x000000, Garamond, 16, Bold},
                    {0xAEA8D9, 0x000000, Tahoma, 17, Bold},
                    {0xFFFFFF, 0x5A4EB1, Tahoma, 13}});
    s << makeSheet("Maple", "Maple", MSS, 13,
                   {{0xFFFFFF, 0x000000},
                    {0xE6D8AE, 0x000000},
                    {0xF2ECD7, 0x000000},
                    {0xC6A646, 0x000000},
                    {0xC6A646, 0x000000},
                    {0xE6D8AE, 0x000000},
                    {0xC6A646, 0xF2ECD7},
                    {0x000000, 0xFFFFFF, MSS, 13, Bold},
                    {0xE6D8AE, 0x000000, MSS, 13, Bold},
                    {0xE6D8AE, 0x000000, MSS, 13, Bold},
                    {0xFFFFFF, 0x800000}});
    s << makeSheet("Marinehighcolor", "Marine (high color)", MSS, 13,
                   {{0xC8E0D8, 0x000000},
                    {0x88C0B8, 0x000000},
                    {0xC8E0D8, 0x000000},
                    {0x44605C, 0xFFFFFF},
                    {0x44605C, 0xFFFFFF},
                    {0x88C0B8, 0x000000},
                    {0x489088, 0xC0C0C0},
                    {0x2C4E47, 0xFFFFFF, MSS, 13, Bold},
                    {0x88C0B8, 0x000000, MSS, 13, Bold},
                    {0x88C0B8, 0x000000, MSS, 13, Bold},
                    {0xC8E0D8, 0x000080}});
    s << makeSheet("Plumhighcolor", "Plum (high color)", MSS, 13,
                   {{0xD8D0C8, 0x000000},
                    {0xB8A69C, 0x000000},
                    {0xECE4DC, 0x000000},
                    {0x804040, 0xD8D0C8},
                    {0x804040, 0xD8D0C8},
                    {0xA89890, 0x000000},
                    {0x786058, 0xA89890},
                    {0x402840, 0xFFFFFF, MSS, 13, Bold},
                    {0xA89890, 0x000000, MSS, 13, Bold},
                    {0xA89890, 0x000000, MSS, 13, Bold},
                    {0xD8D0C8, 0x484060}});
    s << makeSheet("Pumpkinlarge", "Pumpkin (large)", MSS, 16,
                   {{0xFFFFFF, 0x000000},
                    {0xECD59D, 0x000000},
                    {0xF5EACF, 0x000000},
                    {0x4B744B, 0xFFFFFF, MSS, 17},
                    {0x4B744B, 0xFFFFFF, MSS, 17},
                    {0xECD59D, 0x000000, MSS, 17},
                    {0xD7A52F, 0xF5EACF, MSS, 17},
                    {0x420042, 0xFFFFFF, MSS, 17, Bold},
                    {0xECD59D, 0x000000, MSS, 17, Bold},
                    {0xECD59D, 0x000000, MSS, 17, Bold},
                    {0xFFFFFF, 0xD7A52F, MSS, 17}});
    s << makeSheet("RainyDay", "Rainy Day", MSS, 13,
                   {{0xFFFFFF, 0x000000},
                    {0x8399B1, 0x000000},
                    {0xC1CCD9, 0x000000},
                    {0x4F657D, 0xFFFFFF},
                    {0x4F657D, 0xFFFFFF},
                    {0x8399B1, 0x000000},
                    {0x4F657D, 0xC1CCD9},
                    {0x000000, 0xFFFFFF, MSS, 13, Bold},
                    {0x8399B1, 0x000000, MSS, 13, Bold},
                    {0x8399B1, 0x000000, MSS, 13, Bold},
                    {0xFFFFFF, 0x4F657D}});
    s << makeSheet("RedWhiteandBlueVGA", "Red, White, and Blue (VGA)", Times, 15,
                   {{0xFFFFFF, 0x000000},
                    {0xC0C0C0, 0x000000},
                    {0xFFFFFF, 0x000000},
                    {0x800000, 0xFFFFFF},
                    {0x800000, 0xFFFFFF},
                    {0xC0C0C0, 0x000000, Times, 17},
                    {0x808080, 0xC0C0C0, Times, 17},
                    {0x000042, 0xFFFFFF, Times, 17, Bold},
                    {0xC0C0C0, 0x000000, Times, 15, Bold},
                    {0xC0C0C0, 0x000000, Times, 17, Bold},
                    {0xFFFFFF, 0x800000, Times, 17}});
    s << makeSheet("Rose", "Rose", MSS, 13,
                   {{0xFFEBEB, 0x000000},
                    {0xFFEBEB, 0x000000},
                    {0xFFEBEB, 0x000000},
                    {0xBB5959, 0xFFFFFF},
                    {0xBB5959, 0xFFFFFF},
                    {0xFFC8C8, 0x000000},
                    {0x7C3636, 0xDDDDDD},
                    {0x7C3636, 0xFFFFFF, MSSOld, 11},
                    {0xFFC8C8, 0x000000, MSSOld, 13},
                    {0xFFC8C8, 0x000000, Times, 17},
                    {0xFFFFFF, 0x9F6070}});
    s << makeSheet("Roselarge", "Rose (large)", Arial, 16,
                   {{0xFFEBEB, 0x000000},
                    {0xFFEBEB, 0x000000},
                    {0xFFFFFF, 0x000000},
                    {0xBB5959, 0xFFFFFF, Arial, 16, Bold},
                    {0xBB5959, 0xFFFFFF, Arial, 16, Bold},
                    {0xD0B0B8, 0x000000, MSS, 17},
                    {0x7C3636, 0xDDDDDD, MSS, 17},
                    {0x7C3636, 0xFFFFFF, Times, 15},
                    {0xFFC8C8, 0x000000},
                    {0xD0B0B8, 0x000000, Times, 17},
                    {0xFFFFFF, 0xA06070, MSS, 17}});
    s << makeSheet("Slate", "Slate", MSS, 11,
                   {{0xFFFFFF, 0x000000},
                    {0x9DB9C8, 0x000000},
                    {0xCEDCE3, 0x000000},
                    {0x558097, 0xFFFFFF},
                    {0x558097, 0xFFFFFF},
                    {0x9DB9C8, 0x000000},
                    {0x558097, 0xC0C0C0},
                    {0x414141, 0xFFFFFF},
                    {0x9DB9C8, 0x000000},
                    {0x9DB9C8, 0x000000},
                    {0xFFFFFF, 0x558097}});
    s << makeSheet("Spruce", "Spruce", MSS, 13,
                   {{0xFFFFFF, 0x000000},
                    {0xA2C8A9, 0x000000},
                    {0xD0E3D3, 0x000000},
                    {0x599764, 0xFFFFFF},
                    {0x599764, 0xFFFFFF},
                    {0xA2C8A9, 0x000000},
                    {0x599764, 0xD0E3D3},
                    {0x213F21, 0xFFFFFF, MSS, 17, Bold},
                    {0xA2C8A9, 0x000000, MSS, 13, Bold},
                    {0xA2C8A9, 0x000000, MSS, 17, Bold},
                    {0xFFFFFF, 0x599764}});
    s << makeSheet("StormVGA", "Storm (VGA)", Tahoma, 13,
                   {{0xFFFFFF, 0x000000},
                    {0xC0C0C0, 0x000000},
                    {0xFFFFFF, 0x000000},
                    {0x800040, 0xFFFFFF},
                    {0x800040, 0xFFFFFF},
                    {0xC0C0C0, 0x000000},
                    {0x808080, 0xC0C0C0},
                    {0x000000, 0xFFFFFF, Tahoma, 13, Bold},
                    {0xC0C0C0, 0x000000, Tahoma, 13, Bold},
                    {0xC0C0C0, 0x000000, Tahoma, 13, Bold},
                    {0xFFFFFF, 0x800080}});
    s << makeSheet("TealVGA", "Teal (VGA)", MSS, 13,
                   {{0xFFFFFF, 0x000000},
                    {0xC0C0C0, 0x000000},
                    {0xFFFFFF, 0x000000},
                    {0x008080, 0xFFFFFF},
                    {0x008080, 0xFFFFFF},
                    {0xC0C0C0, 0x000000},
                    {0x808080, kDefaultText},
                    {0x004040, 0xFFFFFF, MSS, 13, Bold},
                    {0xC0C0C0, 0x000000, MSS, 13, Bold},
                    {0xC0C0C0, 0x000000, MSS, 13, Bold},
                    {0xFFFFFF, 0x008080}});
    s << makeSheet("Wheat", "Wheat", MSS, 13,
                   {{0xFFFFFF, 0x000000},
                    {0xDEDEA0, 0x000000},
                    {0xEEEED0, 0x000000},
                    {0x808000, 0xFFFFFF},
                    {0x808000, 0xFFFFFF},
                    {0xDEDEA0, 0x000000},
                    {0xBCBC41, 0xFFFFFF},
                    {0x00401D, 0xFFFFFF, MSS, 13, Bold},
                    {0xDEDEA0, 0x000000, MSS, 13, Bold},
                    {0xDEDEA0, 0x000000, MSS, 13, Bold},
                    {0xFFFFFF, 0x808000}});
    s << makeSheet("WindowsClassic", "Windows Classic", MSS, 13,
                   {{0xFFFFFF, 0x000000},
                    {0xC0C0C0, 0x000000},
                    {0xFFFFFF, 0x000000},
                    {0x000080, 0xFFFFFF},
                    {0x000080, 0xFFFFFF},
                    {0xC0C0C0, 0x000000},
                    {0x808080, 0xC0C0C0},
                    {0x3A6EA5, 0xFFFFFF, MSS, 13, Bold},
                    {0xC0C0C0, 0x000000, MSS, 13, Bold},
                    {0xC0C0C0, 0x000000, MSS, 13, Bold},
                    {0xFFFFFF, 0x000080}});
    return s;
}

} // namespace

QFont GridStyle::font() const {
    QFont f(fontFamily);
    // Where the named face is missing, fall back to one of the same kind.
    const bool serif =
        fontFamily.startsWith(QLatin1String("Times")) || fontFamily == QLatin1String("Garamond");
    f.setStyleHint(serif ? QFont::Serif : QFont::SansSerif);
    if (fontPixelSize > 0)
        f.setPixelSize(fontPixelSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

GridStyleRepository::GridStyleRepository()
    : sheets_(buildSheets()) {}

int GridStyleRepository::indexOf(const QString& name) const {
    for (int i = 0; i < sheets_.size(); ++i)
        if (sheets_.at(i).name == name)
            return i;
    return -1;
}

const GridStyleSheet* GridStyleRepository::byName(const QString& name) const {
    const int i = indexOf(name);
    return i < 0 ? nullptr : &sheets_.at(i);
}

const GridStyleSheet& GridStyleRepository::slate() const {
    return sheets_.at(indexOf(QStringLiteral("GridTableViewStyleSheetSlate")));
}
