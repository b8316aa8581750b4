#pragma once
// Passwords are never stored as typed. "Password" holds an Argon2id hash of
// the text the field would have held (cut to 30 characters, trailing blanks
// removed), so the login's rules still hold: exact case, typed trailing blanks
// fail, and only the first 30 characters of a longer password count.
#include <QString>

constexpr int kPasswordWidth = 30;

// The hash to store for a password as typed.
QString hashPassword(const QString& typed);
// True when the typed text is the password the stored hash was made from. A
// hash whose settings exceed the limits below is never checked: it fails.
bool passwordMatches(const QString& storedHash, const QString& typed);

// The most a stored hash may ask of a login, far above what hashPassword
// writes (64 MiB, 2 passes, 1 lane): a crafted users table must not make the
// login hang or exhaust memory.
constexpr quint64 kMaxHashMemoryKiB = 1024 * 1024; // 1 GiB
constexpr quint64 kMaxHashPasses = 10;
constexpr quint64 kMaxHashLanes = 16;
// True for an Argon2 hash in the stored form whose settings stay within them.
bool hashWithinLimits(const QString& storedHash);

// Tests may use the cheapest hash settings; the stored format stays the same.
void setFastPasswordHashingForTests(bool fast);
