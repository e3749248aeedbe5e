#pragma once

#include <QString>

// What the letter entry keeps of its text: trimmed of spaces, upper-cased one character to one
// character, and cut to its first whole character (a surrogate pair or a letter with its
// combining marks is never split).
[[nodiscard]] QString filteredLetter(const QString &text);
