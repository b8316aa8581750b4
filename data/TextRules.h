#pragma once
// Rules about text that the data layer and its callers share.
#include <QString>

// Upper-cases the letters a to z and nothing else, exactly as the engine's
// upper() and the upper-cased index keys (LOGINNAME) do.
QString upperAsciiLetters(const QString& s);
