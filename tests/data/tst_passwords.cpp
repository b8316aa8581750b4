// Stored password hashes: what the program writes verifies, and a hash that
// asks for far more memory or passes than that is refused without being
// worked through, so a crafted users table cannot make the login hang.
#include "data/Passwords.h"

#include <QtTest>

#include <sodium.h>

namespace {
// A real Argon2id hash of the password with the given passes and the least memory.
QString hashWith(const QString& password, unsigned long long passes) {
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pw.constData(), static_cast<unsigned long long>(pw.size()), passes,
                          crypto_pwhash_MEMLIMIT_MIN) != 0)
        return {};
    return QString::fromLatin1(out);
}

// The hash with its settings replaced, salt and digest kept.
QString withSettings(const QString& hash, const QString& settings) {
    QStringList parts = hash.split(u'$'); // "", "argon2id", "v=19", settings, salt, digest
    parts[3] = settings;
    return parts.join(u'$');
}
} // namespace

class TestPasswords : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { setFastPasswordHashingForTests(false); }

    void limits_data() {
        QTest::addColumn<QString>("settings"); // as a stored Argon2id hash names them
        QTest::addColumn<bool>("within");
        QTest::newRow("what the program writes") << "m=65536,t=2,p=1" << true;
        QTest::newRow("1 GiB, 4 passes") << "m=1048576,t=4,p=1" << true;
        QTest::newRow("over 1 GiB") << "m=1048577,t=2,p=1" << false;
        QTest::newRow("4 GiB") << "m=4194304,t=2,p=1" << false;
        QTest::newRow("10 passes") << "m=65536,t=10,p=1" << true;
        QTest::newRow("11 passes") << "m=65536,t=11,p=1" << false;
        QTest::newRow("passes beyond 32 bits") << "m=65536,t=4294967297,p=1" << false;
        QTest::newRow("16 lanes") << "m=65536,t=2,p=16" << true;
        QTest::newRow("17 lanes") << "m=65536,t=2,p=17" << false;
        QTest::newRow("too many digits") << "m=00000000065536,t=2,p=1" << false;
        QTest::newRow("negative") << "m=-1,t=2,p=1" << false;
        QTest::newRow("settings out of order") << "t=2,m=65536,p=1" << false;
    }
    void limits() {
        QFETCH(QString, settings);
        QFETCH(bool, within);
        setFastPasswordHashingForTests(true);
        const QString real = hashPassword(QStringLiteral("pw"));
        QVERIFY(hashWithinLimits(real));
        QCOMPARE(hashWithinLimits(withSettings(real, settings)), within);
    }

    void otherForms_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("within");
        QTest::newRow("argon2i") << "$argon2i$v=19$m=4096,t=3,p=1$c2FsdHNhbHQ$aGFzaGhhc2g" << true;
        QTest::newRow("another version") << "$argon2id$v=16$m=4096,t=3,p=1$c2FsdA$aGFzaA" << false;
        QTest::newRow("bcrypt") << "$2y$10$abcdefghijklmnopqrstuuABCDEFGHIJKLMNOPQRSTUVWXYZ01234"
                                << false;
        QTest::newRow("plain text") << "Secret1" << false;
        QTest::newRow("empty") << "" << false;
    }
    void otherForms() {
        QFETCH(QString, stored);
        QFETCH(bool, within);
        QCOMPARE(hashWithinLimits(stored), within);
    }

    // Real hashes either side of the limit: only the limit tells them apart.
    void loginChecks_data() {
        QTest::addColumn<int>("passes");
        QTest::addColumn<bool>("matches");
        QTest::newRow("10 passes verify") << 10 << true;
        QTest::newRow("11 passes are refused") << 11 << false;
    }
    void loginChecks() {
        QFETCH(int, passes);
        QFETCH(bool, matches);
        const QString stored = hashWith(QStringLiteral("Secret1"), static_cast<unsigned>(passes));
        QVERIFY(!stored.isEmpty());
        QCOMPARE(passwordMatches(stored, QStringLiteral("Secret1")), matches);
        QVERIFY(!passwordMatches(stored, QStringLiteral("secret1")));
    }

    void writtenHashVerifies() {
        // The settings the program itself writes, not the test's cheap ones.
        setFastPasswordHashingForTests(false);
        const QString stored = hashPassword(QStringLiteral("Secret1"));
        QVERIFY(hashWithinLimits(stored));
        QVERIFY(passwordMatches(stored, QStringLiteral("Secret1")));
    }
};

QTEST_MAIN(TestPasswords)
#include "tst_passwords.moc"
