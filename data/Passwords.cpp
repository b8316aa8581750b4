#include "data/Passwords.h"

#include "data/Errors.h"

#include <QRegularExpression>

#include <sodium.h>

#include <atomic>
#include <cstring>

namespace {
std::atomic<bool> g_fast{false};

QByteArray asStored(const QString& typed) {
    QString s = typed.left(kPasswordWidth);
    qsizetype end = s.size();
    while (end > 0 && s.at(end - 1) == u' ')
        --end;
    s.truncate(end);
    return s.toUtf8();
}

void ensureSodium() {
    static const int ready = sodium_init();
    if (ready < 0)
        throw PelloranError(QStringLiteral("The password library could not be initialised"));
}
} // namespace

QString hashPassword(const QString& typed) {
    ensureSodium();
    const QByteArray pw = asStored(typed);
    char out[crypto_pwhash_STRBYTES];
    const bool fast = g_fast.load();
    if (crypto_pwhash_str(out, pw.constData(), static_cast<unsigned long long>(pw.size()),
                          fast ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          fast ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE) !=
        0)
        throw PelloranError(QStringLiteral("Not enough memory to protect the password"));
    return QString::fromLatin1(out);
}

bool hashWithinLimits(const QString& storedHash) {
    // $argon2id$v=19$m=65536,t=2,p=1$salt$hash (argon2i has the same form).
    static const QRegularExpression form(
        QStringLiteral(R"(^\$argon2id?\$v=19\$m=([0-9]{1,10}),t=([0-9]{1,10}),p=([0-9]{1,10})\$)"));
    const QRegularExpressionMatch m = form.match(storedHash);
    if (!m.hasMatch())
        return false;
    const auto within = [&m](int group, quint64 limit) {
        bool ok = false;
        const quint64 v = m.capturedView(group).toULongLong(&ok);
        return ok && v <= limit;
    };
    return within(1, kMaxHashMemoryKiB) && within(2, kMaxHashPasses) && within(3, kMaxHashLanes);
}

bool passwordMatches(const QString& storedHash, const QString& typed) {
    ensureSodium();
    const QByteArray hash = storedHash.toLatin1();
    if (hash.isEmpty() || hash.size() >= crypto_pwhash_STRBYTES || !hashWithinLimits(storedHash))
        return false;
    // The typed text is compared as typed: trailing blanks and a 31st character make it differ.
    const QByteArray pw = typed.toUtf8();
    char buf[crypto_pwhash_STRBYTES] = {};
    std::memcpy(buf, hash.constData(), size_t(hash.size()));
    return crypto_pwhash_str_verify(buf, pw.constData(),
                                    static_cast<unsigned long long>(pw.size())) == 0;
}

void setFastPasswordHashingForTests(bool fast) {
    g_fast = fast;
}
