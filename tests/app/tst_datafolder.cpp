// Where the data lives: beside the program when it is there or can be made
// there, else in the person's own data folder; --data and PELLORAN_DATA choose
// explicitly. Checked in-process for every rule, and once for real with the
// program's start run by a user who cannot write the program's folder.
#include "app/DataFolder.h"
#include "data/GlobalData.h"
#include "users/AboutForm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using Source = DataFolderChoice::Source;
Q_DECLARE_METATYPE(Source)

namespace {
// Replaces an environment variable for the life of the object.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const QByteArray& value)
        : name_(name)
        , had_(qEnvironmentVariableIsSet(name))
        , old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~EnvironmentValue() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    EnvironmentValue(const EnvironmentValue&) = delete;
    EnvironmentValue& operator=(const EnvironmentValue&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

QString fill(QString pattern, const QString& program, const QString& own, const QString& cwd) {
    return pattern.replace(QStringLiteral("<program>"), program)
        .replace(QStringLiteral("<own>"), own)
        .replace(QStringLiteral("<cwd>"), cwd);
}
} // namespace

class TestDataFolder : public QObject {
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
    void commandLineWithoutAFolder_data();
    void commandLineWithoutAFolder();
    void aboutBoxShowsTheDataFolder();
    void installedForAPersonWhoCannotWriteTheProgramFolder_data();
    void installedForAPersonWhoCannotWriteTheProgramFolder();
};

void TestDataFolder::choice_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("beside"); // "exists", "can be made" or "cannot be made"
    QTest::addColumn<QString>("folder");
    QTest::addColumn<Source>("source");

    const QString prog = QStringLiteral("pelloran");
    QTest::newRow("Data beside the program is there")
        << QStringList{prog} << QString() << QStringLiteral("exists")
        << QStringLiteral("<program>/Data") << Source::BesideProgram;
    QTest::newRow("Data beside the program can be made")
        << QStringList{prog} << QString() << QStringLiteral("can be made")
        << QStringLiteral("<program>/Data") << Source::BesideProgram;
    QTest::newRow("nothing can be made beside the program")
        << QStringList{prog} << QString() << QStringLiteral("cannot be made")
        << QStringLiteral("<own>/Pelloran/Data") << Source::UserData;
    QTest::newRow("environment over beside the program")
        << QStringList{prog} << QStringLiteral("/srv/team/Data") << QStringLiteral("exists")
        << QStringLiteral("/srv/team/Data") << Source::Environment;
    QTest::newRow("relative environment value")
        << QStringList{prog} << QStringLiteral("team/../shared") << QStringLiteral("exists")
        << QStringLiteral("<cwd>/shared") << Source::Environment;
    QTest::newRow("command line over environment")
        << QStringList{prog, QStringLiteral("--data"), QStringLiteral("/srv/mine/")}
        << QStringLiteral("/srv/team/Data") << QStringLiteral("cannot be made")
        << QStringLiteral("/srv/mine") << Source::CommandLine;
    QTest::newRow("command line with =, among other arguments")
        << QStringList{prog, QStringLiteral("-x"), QStringLiteral("--data=mine")} << QString()
        << QStringLiteral("exists") << QStringLiteral("<cwd>/mine") << Source::CommandLine;
    QTest::newRow("the last --data counts")
        << QStringList{prog, QStringLiteral("--data=/a"), QStringLiteral("--data"),
                       QStringLiteral("/b")}
        << QString() << QStringLiteral("exists") << QStringLiteral("/b") << Source::CommandLine;
}

void TestDataFolder::choice() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, environment);
    QFETCH(QString, beside);
    QFETCH(QString, folder);
    QFETCH(Source, source);

    QTemporaryDir root;
    const QString own = QDir(root.path()).filePath(QStringLiteral("own"));
    EnvironmentValue xdg("XDG_DATA_HOME", QFile::encodeName(own));
    QString program = QDir(root.path()).filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(program));
    if (beside == QLatin1String("exists")) {
        QVERIFY(QDir().mkpath(QDir(program).filePath(QStringLiteral("Data"))));
    } else if (beside == QLatin1String("cannot be made")) {
        // The program's "folder" lies under a plain file: nothing can be made
        // there, whoever runs it (root included).
        QFile blocker(QDir(root.path()).filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        program = QDir(blocker.fileName()).filePath(QStringLiteral("program"));
    }

    const DataFolderChoice got = chooseDataFolder(arguments, environment, program);
    QVERIFY2(got.error.isEmpty(), qPrintable(got.error));
    QCOMPARE(got.folder, fill(folder, program, own, QDir::currentPath()));
    QCOMPARE(got.source, source);
    // "Data" beside the program is made when it is chosen there, and only then.
    const bool besideNow = QFileInfo(QDir(program).filePath(QStringLiteral("Data"))).isDir();
    QCOMPARE(besideNow, beside == QLatin1String("exists") || source == Source::BesideProgram);
}

void TestDataFolder::commandLineWithoutAFolder_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("--data at the end")
        << QStringList{QStringLiteral("pelloran"), QStringLiteral("--data")};
    QTest::newRow("--data=") << QStringList{QStringLiteral("pelloran"), QStringLiteral("--data=")};
}

void TestDataFolder::commandLineWithoutAFolder() {
    QFETCH(QStringList, arguments);
    QTemporaryDir root;
    const DataFolderChoice got =
        chooseDataFolder(arguments, QStringLiteral("/srv/team/Data"), root.path());
    QCOMPARE(got.error, QStringLiteral("--data needs the path of a data folder."));
    QVERIFY(QDir(root.path()).isEmpty()); // nothing made beside the program
}

void TestDataFolder::aboutBoxShowsTheDataFolder() {
    QTemporaryDir root;
    const QString data = QDir(root.path()).filePath(QStringLiteral("a folder of the team/Data"));
    TdmGlobals globals(root.path(), data);
    TfrmAbout about;
    QCOMPARE(about.labDataCaption->text(), QStringLiteral("Data folder:"));
    QCOMPARE(about.labDataFolder->toolTip(), data);
    // Shown whole when it fits, shortened in the middle when it does not.
    const QString shown = about.labDataFolder->text();
    QVERIFY(about.labDataFolder->fontMetrics().horizontalAdvance(shown) <=
            about.labDataFolder->width());
    if (shown != data) {
        QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY(shown.endsWith(QStringLiteral("/Data")));
    }
    QVERIFY(about.rect().contains(about.labDataFolder->geometry()));
}

void TestDataFolder::installedForAPersonWhoCannotWriteTheProgramFolder_data() {
    QTest::addColumn<bool>("sharedDataBeside");
    QTest::newRow("installed: no Data beside the program") << false;
    QTest::newRow("shared program folder with its Data") << true;
}

// The program's start, as a user who cannot write the program's folder: run
// as "nobody" when the tests run as root (as in CI), else as the user running
// the tests with the program folder made read-only.
void TestDataFolder::installedForAPersonWhoCannotWriteTheProgramFolder() {
    QFETCH(bool, sharedDataBeside);
    const bool root = ::geteuid() == 0;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (root && setpriv.isEmpty())
        QSKIP("running as root without setpriv: no other user to run the program as");

    // As root, under /tmp, which every user can pass through (a TMPDIR of
    // root's own might not be).
    const auto topDir =
        root ? std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/pelloran-datafolder-XXXXXX"))
             : std::make_unique<QTemporaryDir>();
    const QTemporaryDir& top = *topDir;
    QVERIFY(top.isValid());
    QVERIFY(QFile::setPermissions(
        top.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                        QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    // <top>/lib/pelloran/<program>, the folder of an installed program.
    const QString programFolder = QDir(top.path()).filePath(QStringLiteral("lib/pelloran"));
    QVERIFY(QDir().mkpath(programFolder));
    const QString program = QDir(programFolder).filePath(QStringLiteral("pelloran-start"));
    QVERIFY(QFile::copy(QStringLiteral(PELLORAN_PROBE), program));
    const QString shared = QDir(programFolder).filePath(QStringLiteral("Data"));
    if (sharedDataBeside) {
        QVERIFY(QDir().mkdir(shared));
        ::chmod(QFile::encodeName(shared).constData(), 0777); // the team's folder
    }
    ::chmod(QFile::encodeName(program).constData(), 0755);
    ::chmod(QFile::encodeName(QDir(top.path()).filePath(QStringLiteral("lib"))).constData(), 0755);
    // Read-only for everyone; root's rights do not matter, the program runs as
    // nobody. Writable again at the end, so the folder can be removed.
    const QByteArray programFolderName = QFile::encodeName(programFolder);
    ::chmod(programFolderName.constData(), 0555);
    const std::unique_ptr<const char, void (*)(const char*)> writableAgain(
        programFolderName.constData(), [](const char* path) { ::chmod(path, 0755); });

    // A home of the person's own.
    const QString home = QDir(top.path()).filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    ::chmod(QFile::encodeName(home).constData(), 0777);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.remove(QString::fromLatin1(kDataFolderVariable));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    QProcess run;
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(home);
    if (root)
        run.start(setpriv, {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                            QStringLiteral("--clear-groups"), QStringLiteral("--"), program});
    else
        run.start(program, {});
    const bool finished = run.waitForFinished(60000);
    QVERIFY2(finished, "the program's start did not end");
    const QString out = QString::fromLocal8Bit(run.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
             qPrintable(QStringLiteral("exit %1: %2").arg(run.exitCode()).arg(err)));

    const QString expected =
        sharedDataBeside ? shared : home + QStringLiteral("/.local/share/Pelloran/Data");
    QCOMPARE(out, expected + QStringLiteral("\n0\n"));
    QVERIFY(QFileInfo::exists(QDir(expected).filePath(QStringLiteral("Developers.db"))));
    // Nothing was made in the program's folder but what was there.
    QStringList inProgramFolder =
        QDir(programFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QStringList wanted{QStringLiteral("pelloran-start")};
    if (sharedDataBeside)
        wanted.prepend(QStringLiteral("Data"));
    QCOMPARE(inProgramFolder, wanted);
}

int main(int argc, char** argv) {
    // As the program names itself: the person's data folder is named after it.
    QApplication::setApplicationName(QStringLiteral("Pelloran"));
    QApplication app(argc, argv);
    TestDataFolder t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_datafolder.moc"
