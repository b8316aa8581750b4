#include "data/Passwords.h"

#include "data/Errors.h"

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

bool passwordMatches(const QString& storedHash, const QString& typed) {
    ensureSodium();
    const QByteArray hash = storedHash.toLatin1();
    if (hash.isEmpty() || hash.size() >= crypto_pwhash_STRBYTES)
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
