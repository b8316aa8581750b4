#pragma once
// Passwords are never stored as typed. "Password" holds an Argon2id hash of
// the text the field would have held (cut to 30 characters, trailing blanks
// removed), so the login's rules still hold: exact case, typed trailing blanks
// fail, and only the first 30 characters of a longer password count.
#include <QString>

constexpr int kPasswordWidth = 30;

// The hash to store for a password as typed.
QString hashPassword(const QString& typed);
// True when the typed text is the password the stored hash was made from.
bool passwordMatches(const QString& storedHash, const QString& typed);

// Tests may use the cheapest hash settings; the stored format stays the same.
void setFastPasswordHashingForTests(bool fast);
