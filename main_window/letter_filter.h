#pragma once

#include <QString>

// What the letter entry keeps of its text: trimmed of spaces, upper-cased one character to one
// character, and cut to its first whole character (a surrogate pair or a letter with its
// combining marks is never split).
[[nodiscard]] QString filteredLetter(const QString &text);

// The text without leading and trailing blanks (U+0020); other white space is kept, as it is
// part of what the user typed or stored.
[[nodiscard]] QString withoutSurroundingSpaces(const QString &text);
