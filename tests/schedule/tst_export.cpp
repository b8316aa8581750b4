// Exports of the schedule grid, each read back independently of the writer:
// the workbook unzipped and its sheet parsed, the HTML and XML parsed, the
// text checked for aligned columns. Also the save command and its failures.
#include "ExportFixture.h"
#include "schedule/ScheduleClipboard.h"
#include "schedule/ScheduleExport.h"
#include "widgets/MessageBoxes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <clocale>
#include <csignal>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <cstdio>
#include <sys/resource.h>

using namespace ExportFixture;
using ScheduleExport::Format;

namespace {

const QString kAlpha = QStringLiteral("Alpha \"quoted\" & <b>bold</b>");
const QString kProject = QStringLiteral("Alpha & <Co> \"Ünï\"");

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// ---- a minimal reader of the workbook, independent of the writer ----
struct XlsxCell {
    QString type; // "s" shared string, "n" number, "b" boolean
    QString value;
    int style = 0;
};

struct Xlsx {
    QHash<QString, XlsxCell> cells; // "B3" -> cell
    QList<double> colWidths;        // by column
    QList<bool> boldByStyle;        // cell style -> bold font
    int lastRow = 0;
};

QByteArray unzipEntry(const QString& file, const QString& entry) {
    return run(QStringLiteral("unzip"), {QStringLiteral("-p"), file, entry});
}

Xlsx readXlsx(const QString& file) {
    Xlsx x;
    QStringList shared;
    QXmlStreamReader ss(unzipEntry(file, QStringLiteral("xl/sharedStrings.xml")));
    while (!ss.atEnd()) {
        if (ss.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (ss.name() == u"si")
            shared << QString();
        else if (ss.name() == u"t")
            shared.last() += ss.readElementText();
    }
    QList<bool> boldFonts;
    QXmlStreamReader st(unzipEntry(file, QStringLiteral("xl/styles.xml")));
    bool inXfs = false;
    while (!st.atEnd()) {
        const auto token = st.readNext();
        if (token == QXmlStreamReader::EndElement && st.name() == u"cellXfs")
            inXfs = false;
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (st.name() == u"font")
            boldFonts << false;
        else if (st.name() == u"b" && !boldFonts.isEmpty())
            boldFonts.last() = true;
        else if (st.name() == u"cellXfs")
            inXfs = true;
        else if (inXfs && st.name() == u"xf")
            x.boldByStyle << boldFonts.value(
                st.attributes().value(QStringLiteral("fontId")).toInt());
    }
    QXmlStreamReader sh(unzipEntry(file, QStringLiteral("xl/worksheets/sheet1.xml")));
    while (!sh.atEnd()) {
        if (sh.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = sh.attributes();
        if (sh.name() == u"col") {
            for (int c = a.value(QStringLiteral("min")).toInt();
                 c <= a.value(QStringLiteral("max")).toInt(); ++c) {
                while (x.colWidths.size() < c)
                    x.colWidths << 0;
                x.colWidths[c - 1] = a.value(QStringLiteral("width")).toDouble();
            }
        } else if (sh.name() == u"c") {
            const QString ref = a.value(QStringLiteral("r")).toString();
            XlsxCell cell;
            cell.type = a.hasAttribute(QStringLiteral("t"))
                            ? a.value(QStringLiteral("t")).toString()
                            : QStringLiteral("n");
            cell.style = a.value(QStringLiteral("s")).toInt();
            while (sh.readNextStartElement()) {
                if (sh.name() == u"v")
                    cell.value = sh.readElementText();
                else
                    sh.skipCurrentElement();
            }
            if (cell.type == u"s")
                cell.value = shared.value(cell.value.toInt());
            x.cells.insert(ref, cell);
            x.lastRow = qMax(x.lastRow, ref.mid(1).toInt());
        }
    }
    return x;
}

// ---- terminal columns, reckoned independently of the exporter ----
QList<QString> terminalCells(const QString& line) {
    QList<QString> cells;
    for (const char32_t u : line.toUcs4()) {
        const QString s = QString::fromUcs4(&u, 1);
        if (QChar::category(u) == QChar::Mark_NonSpacing && !cells.isEmpty())
            cells.last() += s;
        else if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFF60))
            cells << s << QString();
        else
            cells << s;
    }
    return cells;
}

QString slice(const QList<QString>& cells, int from, int to) {
    QString s;
    for (int i = from; i < to && i < cells.size(); ++i)
        s += cells.at(i);
    return s;
}

struct LimitFileSize {
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
    explicit LimitFileSize(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
        rlimit limit = old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~LimitFileSize() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    LimitFileSize(const LimitFileSize&) = delete;
    LimitFileSize& operator=(const LimitFileSize&) = delete;
};

// Numbers of the C library with a decimal comma (German), built with
// localedef into `folder` when the system has no such locale. True when
// printf now writes 2.5 as "2,5".
bool useDecimalCommaInCLibrary(const QString& folder) {
#if defined(__SANITIZE_ADDRESS__)
    // glibc keeps a copy of LOCPATH for good once it has loaded a locale from there.
    const __lsan::ScopedDisabler glibcKeepsTheLocalePath;
#endif
    const char* const name = "de_DE.UTF-8";
    if (!std::setlocale(LC_NUMERIC, name)) {
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty())
            return false;
        QProcess p;
        p.start(localedef, {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                            QStringLiteral("UTF-8"), folder + u'/' + QLatin1String(name)});
        p.waitForFinished(120000);
        qputenv("LOCPATH", QFile::encodeName(folder));
        const bool loaded = std::setlocale(LC_NUMERIC, name) != nullptr;
        // Loaded now; left set, every later newlocale would read it again.
        qunsetenv("LOCPATH");
        if (!loaded)
            return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 2.5);
    return QByteArray(text) == "2,5";
}

} // namespace

Q_DECLARE_METATYPE(ScheduleExport::Format)

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useCLocale(); }
    void init() { Msg::takeShown(); }
    void saveCommand_data();
    void saveCommand();
    void cancelledDialogWritesNothing();
    void excelReadBack();
    void excelOpensInLibreOffice();
    void htmlParsedBack();
    void xmlParsedBack();
    void textAligned_data();
    void textAligned();
    void failedExport_data();
    void failedExport();
    void numbersUnderUserLocale_data();
    void numbersUnderUserLocale();
};

void TestExport::saveCommand_data() {
    QTest::addColumn<Format>("format");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("excel, extension added") << Format::Excel << "schedule"
                                            << "schedule.xlsx" << QByteArray("PK\x03\x04");
    QTest::newRow("html, extension added") << Format::Html << "schedule"
                                           << "schedule.html" << QByteArray("<!DOCTYPE html>");
    QTest::newRow("html, own extension kept") << Format::Html << "schedule.htm"
                                              << "schedule.htm" << QByteArray("<!DOCTYPE html>");
    QTest::newRow("xml, extension added") << Format::Xml << "schedule"
                                          << "schedule.xml" << QByteArray("<?xml version=\"1.0\"");
    QTest::newRow("text, extension added") << Format::Text << "schedule"
                                           << "schedule.txt" << QByteArray("Feature ");
}

void TestExport::saveCommand() {
    QFETCH(Format, format);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QByteArray, start);
    QTemporaryDir dir;
    Grid f;
    // An older file of that name is replaced without a question.
    writeAll(dir.filePath(written), "old contents");
    Msg::pushFileName(dir.filePath(typed));
    QVERIFY(ScheduleExport::exportGrid(nullptr, f.grid, format, kProject));
    QVERIFY(Msg::takeShown().isEmpty());
    QVERIFY(readAll(dir.filePath(written)).startsWith(start));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
}

void TestExport::cancelledDialogWritesNothing() {
    QTemporaryDir dir;
    Grid f;
    Msg::pushFileName(QString());
    QVERIFY(!ScheduleExport::exportGrid(nullptr, f.grid, Format::Text, kProject));
    QVERIFY(Msg::takeShown().isEmpty());
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestExport::excelReadBack() {
    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty())
        QSKIP("unzip is not installed");
    QTemporaryDir dir;
    Grid f;
    f.grid.setGroupFields({QStringLiteral("Feature")});
    f.grid.setGroupExpanded({kAlpha}, true);
    const QString path = dir.filePath(QStringLiteral("s.xlsx"));
    ScheduleExport::writeFile(f.grid, Format::Excel, path, kProject);
    const Xlsx x = readXlsx(path);

    // Header, Alpha group with its two rows, the collapsed Beta group, sums.
    QCOMPARE(x.lastRow, 6);
    const QStringList captions{"Feature", "Task",     "!",      "Cur Est",  "Elapsed",
                               "Remain",  "Orig Est", "Status", "Developer"};
    for (int c = 0; c < captions.size(); ++c) {
        const XlsxCell cell = x.cells.value(QChar(u'A' + c) + QStringLiteral("1"));
        QCOMPARE(cell.type, QStringLiteral("s"));
        QCOMPARE(cell.value, captions.at(c));
        QVERIFY2(x.boldByStyle.value(cell.style), "header cells are bold");
    }
    struct Expect {
        const char* ref;
        const char* type;
        QString value;
    };
    const QList<Expect> expected{
        {"A2", "s", QStringLiteral("Feature: ") + kAlpha + QStringLiteral(" (2)")},
        {"A3", "s", kAlpha},
        {"B3", "s", QStringLiteral("Tab\there")},
        {"C3", "n", QStringLiteral("1")},
        {"D3", "n", QStringLiteral("5")},
        {"E3", "n", QStringLiteral("7.5")},
        {"F3", "n", QStringLiteral("-2.5")},
        {"H3", "s", QStringLiteral("In Development")},
        {"I3", "s", QStringLiteral("Zoë Ñúñez")},
        {"B4", "s", QStringLiteral("Ünïcödé 日本語 'single'")},
        {"I4", "s", QStringLiteral("Bob & Co <x>")},
        {"A5", "s", QStringLiteral("Feature: Beta (2)")},
        {"D6", "n", QStringLiteral("16.25")},
        {"F6", "n", QStringLiteral("5.75")},
        {"G6", "n", QStringLiteral("15")},
    };
    for (const Expect& e : expected) {
        const XlsxCell cell = x.cells.value(QLatin1String(e.ref));
        QVERIFY2(x.cells.contains(QLatin1String(e.ref)), e.ref);
        QCOMPARE(cell.type, QLatin1String(e.type));
        if (cell.type == u"n")
            QCOMPARE(cell.value.toDouble(), e.value.toDouble());
        else
            QCOMPARE(cell.value, e.value);
    }
    QVERIFY2(!x.cells.value(QStringLiteral("G4")).value.isEmpty(), "every number is written");
    QVERIFY2(x.cells.value(QStringLiteral("H6")).value.isEmpty(), "no sum under text columns");
    // Widths follow the grid: Task (128 px) > Feature (101) > Cur Est (62).
    QCOMPARE(x.colWidths.size(), captions.size());
    QVERIFY(x.colWidths.at(1) > x.colWidths.at(0));
    QVERIFY(x.colWidths.at(0) > x.colWidths.at(3));
}

void TestExport::excelOpensInLibreOffice() {
    const QString office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (office.isEmpty())
        QSKIP("LibreOffice is not installed");
    QTemporaryDir dir;
    Grid f;
    const QString path = dir.filePath(QStringLiteral("s.xlsx"));
    ScheduleExport::writeFile(f.grid, Format::Excel, path, kProject);
    run(QStringLiteral("libreoffice"),
        {QStringLiteral("--headless"), QStringLiteral("-env:UserInstallation=file://") + dir.path(),
         QStringLiteral("--convert-to"), QStringLiteral("csv"), QStringLiteral("--outdir"),
         dir.path(), path});
    const QString csv = QString::fromUtf8(readAll(dir.filePath(QStringLiteral("s.csv"))));
    QVERIFY2(csv.startsWith(QStringLiteral("Feature,Task,!,Cur Est")), qPrintable(csv));
    QVERIFY(csv.contains(QStringLiteral("-2.5")));
}

void TestExport::htmlParsedBack() {
    QTemporaryDir dir;
    Grid f;
    f.grid.setGroupFields({QStringLiteral("Feature")});
    f.grid.setGroupExpanded({kAlpha}, true);
    const QString path = dir.filePath(QStringLiteral("s.html"));
    ScheduleExport::writeFile(f.grid, Format::Html, path, kProject);
    const QByteArray html = readAll(path);
    QVERIFY(html.startsWith("<!DOCTYPE html>\n"));

    QString title, style, charset;
    QList<QStringList> head, body, foot;
    QStringList rowClasses;
    QList<QStringList>* section = nullptr;
    QXmlStreamReader xml(html);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto n = xml.name();
        if (n == u"meta")
            charset = xml.attributes().value(QStringLiteral("charset")).toString();
        else if (n == u"title")
            title = xml.readElementText();
        else if (n == u"style")
            style = xml.readElementText();
        else if (n == u"thead")
            section = &head;
        else if (n == u"tbody")
            section = &body;
        else if (n == u"tfoot")
            section = &foot;
        else if (n == u"tr" && section) {
            section->append(QStringList());
            rowClasses << xml.attributes().value(QStringLiteral("class")).toString();
        } else if ((n == u"td" || n == u"th") && section)
            section->last() << xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(charset.toLower(), QStringLiteral("utf-8"));
    QCOMPARE(title, QStringLiteral("Project: ") + kProject);
    // The scheme's colours for the header, the row bands and the group rows.
    const GridStyleSheet& scheme = f.grid.colorScheme();
    for (auto [selector, element] : {std::pair{"thead th", GridElement::Header},
                                     {"tr.even td", GridElement::ContentEven},
                                     {"tr.odd td", GridElement::ContentOdd},
                                     {"tr.group td", GridElement::Group}}) {
        const QRegularExpression rule(QLatin1String(selector) +
                                      QStringLiteral(" \\{[^}]*background-color: ") +
                                      scheme.style(element).background.name());
        QVERIFY2(rule.match(style).hasMatch(), selector);
    }

    QCOMPARE(head.size(), 1);
    QCOMPARE(head.first().first(), QStringLiteral("Feature"));
    QCOMPARE(head.first().size(), 9);
    QCOMPARE(body.size(), 4); // group, two rows, collapsed group
    QCOMPARE(body.at(0),
             QStringList{QStringLiteral("Feature: ") + kAlpha + QStringLiteral(" (2)")});
    QCOMPARE(body.at(1),
             (QStringList{kAlpha, QStringLiteral("Tab\there"), QString(), QStringLiteral("5"),
                          QStringLiteral("7.5"), QStringLiteral("-2.5"), QStringLiteral("4"),
                          QStringLiteral("In Development"), QStringLiteral("Zoë Ñúñez")}));
    QCOMPARE(body.at(2).at(1), QStringLiteral("Ünïcödé 日本語 'single'"));
    QCOMPARE(body.at(2).at(8), QStringLiteral("Bob & Co <x>"));
    QCOMPARE(body.at(3), QStringList{QStringLiteral("Feature: Beta (2)")});
    QCOMPARE(foot.size(), 1);
    QCOMPARE(foot.first(), (QStringList{QString(), QString(), QString(), QStringLiteral("16.25"),
                                        QStringLiteral("10.5"), QStringLiteral("5.75"),
                                        QStringLiteral("15"), QString(), QString()}));
}

void TestExport::xmlParsedBack() {
    QTemporaryDir dir;
    Grid f;
    f.grid.setGroupFields({QStringLiteral("Feature")});
    f.grid.expandAllGroups();
    const QString path = dir.filePath(QStringLiteral("s.xml"));
    ScheduleExport::writeFile(f.grid, Format::Xml, path, kProject);

    struct Cell {
        QString type, text;
    };
    QStringList columns, captions, kinds, groups;
    QList<QHash<QString, Cell>> rows;
    QList<QString> rowGroup; // the group each row sits in
    QStringList keys;
    QHash<QString, double> sums;
    QStringList groupStack;
    QString title;
    QXmlStreamReader xml(readAll(path));
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"group")
            groupStack.removeLast();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const auto a = xml.attributes();
        const auto n = xml.name();
        if (n == u"schedule")
            title = a.value(QStringLiteral("title")).toString();
        else if (n == u"column") {
            columns << a.value(QStringLiteral("field")).toString();
            captions << a.value(QStringLiteral("caption")).toString();
            kinds << a.value(QStringLiteral("type")).toString();
        } else if (n == u"group") {
            groups << a.value(QStringLiteral("text")).toString();
            groupStack << groups.last();
        } else if (n == u"row") {
            rows.append(QHash<QString, Cell>());
            rowGroup << groupStack.value(groupStack.size() - 1);
            keys << a.value(QStringLiteral("key")).toString();
        } else if (n == u"cell") {
            const QString field = a.value(QStringLiteral("field")).toString();
            const QString type = a.value(QStringLiteral("type")).toString();
            rows.last().insert(field, {type, xml.readElementText()});
        } else if (n == u"sum") {
            const QString field = a.value(QStringLiteral("field")).toString();
            sums.insert(field, xml.readElementText().toDouble());
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(title, QStringLiteral("Project: ") + kProject);
    QCOMPARE(columns.size(), 9);
    QCOMPARE(columns.at(3), QStringLiteral("Current Estimate"));
    QCOMPARE(captions.at(3), QStringLiteral("Cur Est"));
    QCOMPARE(kinds.at(2), QStringLiteral("icon"));
    QCOMPARE(groups, (QStringList{QStringLiteral("Feature: ") + kAlpha + QStringLiteral(" (2)"),
                                  QStringLiteral("Feature: Beta (2)")}));
    QCOMPARE(keys, (QStringList{"1", "2", "3", "4"}));
    QCOMPARE(rowGroup, (QStringList{groups.at(0), groups.at(0), groups.at(1), groups.at(1)}));
    for (const auto& r : rows)
        QCOMPARE(r.size(), 9);

    QCOMPARE(rows.at(0).value(QStringLiteral("Task")).text, QStringLiteral("Tab\there"));
    QCOMPARE(rows.at(0).value(QStringLiteral("Task")).type, QStringLiteral("string"));
    QCOMPARE(rows.at(0).value(QStringLiteral("Feature")).text, kAlpha);
    QCOMPARE(rows.at(0).value(QStringLiteral("Time Remaining")).type, QStringLiteral("number"));
    QCOMPARE(rows.at(0).value(QStringLiteral("Time Remaining")).text.toDouble(), -2.5);
    QCOMPARE(rows.at(0).value(QStringLiteral("Priority")).text.toInt(), 1);
    QCOMPARE(rows.at(1).value(QStringLiteral("Developer")).text, QStringLiteral("Bob & Co <x>"));
    QCOMPARE(rows.at(1).value(QStringLiteral("Task")).text,
             QStringLiteral("Ünïcödé 日本語 'single'"));
    // A bell character cannot travel in XML and is dropped; the line break stays.
    QCOMPARE(rows.at(2).value(QStringLiteral("Task")).text, QStringLiteral("Line\nbreakbell"));
    QCOMPARE(rows.at(2).value(QStringLiteral("Developer")).type, QStringLiteral("empty"));
    for (const QString& field :
         {QStringLiteral("Current Estimate"), QStringLiteral("Elapsed Time"),
          QStringLiteral("Time Remaining"), QStringLiteral("Original Estimate")})
        QCOMPARE(sums.value(field, -999), f.grid.footerSum(field));
    QCOMPARE(sums.size(), 4);
}

void TestExport::textAligned_data() {
    QTest::addColumn<bool>("grouped");
    QTest::newRow("flat") << false;
    QTest::newRow("grouped") << true;
}

void TestExport::textAligned() {
    QFETCH(bool, grouped);
    QTemporaryDir dir;
    Grid f;
    if (grouped) {
        f.grid.setGroupFields({QStringLiteral("Feature")});
        f.grid.expandAllGroups();
    }
    const QString path = dir.filePath(QStringLiteral("s.txt"));
    ScheduleExport::writeFile(f.grid, Format::Text, path, kProject);
    QStringList lines = QString::fromUtf8(readAll(path)).split(u'\n');
    QCOMPARE(lines.takeLast(), QString()); // ends with a line break

    // The rule under the header marks where each column lies.
    const QList<QString> rule = terminalCells(lines.at(1));
    QList<std::pair<int, int>> spans;
    for (int i = 0; i < rule.size(); ++i) {
        if (rule.at(i) != u"-")
            continue;
        int end = i;
        while (end < rule.size() && rule.at(end) == u"-")
            ++end;
        spans.append({i, end});
        i = end;
    }
    QCOMPARE(spans.size(), 9);
    const QList<bool> numeric{false, false, false, true, true, true, true, false, false};
    auto checkLine = [&](const QString& line, const QStringList& texts) {
        const QList<QString> cells = terminalCells(line);
        for (int c = 0; c < spans.size(); ++c) {
            const QString cell = slice(cells, spans[c].first, spans[c].second);
            QCOMPARE(cell.trimmed(), texts.at(c));
            if (numeric.at(c) && !texts.at(c).isEmpty())
                QVERIFY2(!cell.endsWith(u' '), "numbers are right-aligned");
            // Two blanks between columns: nothing of a cell spills over.
            if (c + 1 < spans.size())
                QVERIFY(slice(cells, spans[c].second, spans[c + 1].first).trimmed().isEmpty());
        }
    };
    checkLine(lines.at(0), {"Feature", "Task", "!", "Cur Est", "Elapsed", "Remain", "Orig Est",
                            "Status", "Developer"});
    int next = 2;
    for (const GridShownRow& r : f.grid.shownRows()) {
        const QString line = lines.value(next++);
        if (r.isGroup) {
            QCOMPARE(line, QString(r.level * 2, u' ') + r.groupText);
            continue;
        }
        QStringList texts;
        for (QString t : r.texts)
            texts << t.replace(u'\t', u' ').replace(u'\n', u' ').remove(u'\a');
        checkLine(line, texts);
    }
    QCOMPARE(lines.value(next++), lines.at(1));
    checkLine(lines.value(next++), {"", "", "", "16.25", "10.5", "5.75", "15", "", ""});
    QCOMPARE(next, lines.size());
}

void TestExport::failedExport_data() {
    QTest::addColumn<Format>("format");
    QTest::addColumn<QString>("how");
    const QList<std::pair<Format, const char*>> formats{{Format::Excel, "excel"},
                                                        {Format::Html, "html"},
                                                        {Format::Xml, "xml"},
                                                        {Format::Text, "text"}};
    for (const auto& [format, name] : formats) {
        for (const char* how : {"missing folder", "under a regular file", "disk full"})
            QTest::addRow("%s, %s", name, how) << format << QString::fromLatin1(how);
    }
}

void TestExport::failedExport() {
    QFETCH(Format, format);
    QFETCH(QString, how);
    QTemporaryDir dir;
    Grid f;
    const QString suffix = ScheduleExport::formatInfo(format).suffix;
    // A good file that must survive whatever happens.
    const QString good = dir.filePath(QStringLiteral("good.") + suffix);
    writeAll(good, "the good file");
    QString target = good;
    if (how == u"missing folder")
        target = dir.filePath(QStringLiteral("missing/schedule.") + suffix);
    else if (how == u"under a regular file")
        target = good + QStringLiteral("/schedule.") + suffix;
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    Msg::pushFileName(target);
    Msg::pushAnswer(Msg::Answer::Ok);
    bool written = true;
    if (how == u"disk full") {
        const LimitFileSize limit(40); // the new contents cannot be written out
        written = ScheduleExport::exportGrid(nullptr, f.grid, format, kProject);
    } else {
        written = ScheduleExport::exportGrid(nullptr, f.grid, format, kProject);
    }
    QVERIFY(!written);
    const auto shown = Msg::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().kind, Msg::Kind::Error);
    QCOMPARE(shown.first().title, QStringLiteral("Error"));
    const QString prefix = ScheduleExport::formatInfo(format).errorMessage.arg(QString());
    QVERIFY2(shown.first().text.startsWith(prefix) && shown.first().text.size() > prefix.size(),
             qPrintable(shown.first().text));
    QCOMPARE(readAll(good), QByteArray("the good file"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
}

void TestExport::numbersUnderUserLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("shown"); // Cur Est, Elapsed, Remain, Orig Est of row 1
    QTest::addColumn<QStringList>("sums");
    // Shown as the history lines and the editor write them: the user's decimal
    // separator, never a digit grouping.
    QTest::newRow("en_US groups digits") << "en_US" << QStringList{"1250.5", "2.5", "1248", "1250"}
                                         << QStringList{"2250.5", "2.75", "2247.75", "2249.5"};
    QTest::newRow("de_DE decimal comma") << "de_DE" << QStringList{"1250,5", "2,5", "1248", "1250"}
                                         << QStringList{"2250,5", "2,75", "2247,75", "2249,5"};
}

void TestExport::numbersUnderUserLocale() {
    QFETCH(QString, locale);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, sums);
    QTemporaryDir dir;
    QLocale::setDefault(QLocale(locale));
    // The C library follows the desktop too once the application has started
    // (setlocale(LC_ALL, "")); the spreadsheet writer prints through it.
    if (locale.startsWith(u"de") && !useDecimalCommaInCLibrary(dir.path()))
        qInfo("no decimal-comma locale for the C library: the spreadsheet runs under C");
    const auto restore = qScopeGuard([] {
        useCLocale();
        std::setlocale(LC_NUMERIC, "C");
    });
    Grid f({row(1, QStringLiteral("Alpha"), QStringLiteral("Big"), 3, 1250.5, 2.5, 1250,
                QStringLiteral("Testing"), QStringLiteral("Ann")),
            row(2, QStringLiteral("Alpha"), QStringLiteral("Small"), 3, 1000, 0.25, 999.5,
                QStringLiteral("Testing"), QStringLiteral("Ann"))});
    auto numberCells = [](const QStringList& cells) { return cells.mid(3, 4); };

    // The screen, and with it the print and the clipboard.
    QCOMPARE(numberCells(f.grid.shownRows().first().texts), shown);
    const QStringList copied =
        ScheduleClipboard::gridText(f.grid).split(QStringLiteral("\r\n")).at(1).split(u'\t');
    QCOMPARE(numberCells(copied), shown);

    // HTML and text: as on screen.
    const QString html = dir.filePath(QStringLiteral("s.html"));
    ScheduleExport::writeFile(f.grid, Format::Html, html, kProject);
    QList<QStringList> cells;
    QXmlStreamReader hx(readAll(html));
    while (!hx.atEnd()) {
        if (hx.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (hx.name() == u"tr")
            cells.append(QStringList());
        else if ((hx.name() == u"td" || hx.name() == u"th") && !cells.isEmpty())
            cells.last() << hx.readElementText();
    }
    QVERIFY2(!hx.hasError(), qPrintable(hx.errorString()));
    QCOMPARE(cells.size(), 4); // header, two rows, sums
    QCOMPARE(numberCells(cells.at(1)), shown);
    QCOMPARE(numberCells(cells.at(3)), sums);
    const QString text = dir.filePath(QStringLiteral("s.txt"));
    ScheduleExport::writeFile(f.grid, Format::Text, text, kProject);
    const QStringList lines = QString::fromUtf8(readAll(text)).split(u'\n');
    // Feature, Task, then the numbers: the "!" column shows no text.
    QCOMPARE(lines.at(2).split(u' ', Qt::SkipEmptyParts).mid(2, 4), shown);
    QCOMPARE(lines.at(5).split(u' ', Qt::SkipEmptyParts), sums);

    // The typed XML and the spreadsheet hold numbers every reader parses alike.
    const QString xml = dir.filePath(QStringLiteral("s.xml"));
    ScheduleExport::writeFile(f.grid, Format::Xml, xml, kProject);
    QStringList xmlNumbers, xmlSums;
    QXmlStreamReader xx(readAll(xml));
    while (!xx.atEnd()) {
        if (xx.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = xx.attributes();
        if (xx.name() == u"cell" && a.value(QStringLiteral("type")) == u"number" &&
            xmlNumbers.size() < 5)
            xmlNumbers << xx.readElementText();
        else if (xx.name() == u"sum")
            xmlSums << xx.readElementText();
    }
    QVERIFY2(!xx.hasError(), qPrintable(xx.errorString()));
    // The priority (the value behind the icon) comes first.
    QCOMPARE(xmlNumbers, (QStringList{"3", "1250.5", "2.5", "1248", "1250"}));
    QCOMPARE(xmlSums, (QStringList{"2250.5", "2.75", "2247.75", "2249.5"}));

    if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty()) {
        qInfo("unzip is not installed: the spreadsheet is not read back");
        return;
    }
    const QString xlsx = dir.filePath(QStringLiteral("s.xlsx"));
    ScheduleExport::writeFile(f.grid, Format::Excel, xlsx, kProject);
    const Xlsx x = readXlsx(xlsx);
    QStringList sheet;
    for (const char* ref : {"D2", "E2", "F2", "G2", "D4", "E4", "F4", "G4"}) {
        const XlsxCell cell = x.cells.value(QLatin1String(ref));
        QCOMPARE(cell.type, QStringLiteral("n"));
        sheet << cell.value;
    }
    QCOMPARE(sheet,
             (QStringList{"1250.5", "2.5", "1248", "1250", "2250.5", "2.75", "2247.75", "2249.5"}));
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
