#pragma once

#include <QString>

// The text without leading and trailing blanks (U+0020); other white space is kept, as it is
// part of what the user typed or stored. The letter entry and the workstation name both lose
// their surrounding blanks this way.
[[nodiscard]] QString withoutSurroundingSpaces(const QString &text);
