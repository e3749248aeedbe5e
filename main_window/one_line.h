#pragma once

#include <QString>

// A stored value as it is shown inside one line of the report or the window: every line or
// paragraph separator in it (CR, LF, VT, FF, NEL, U+2028, U+2029) becomes the mark "¶", every
// other character stays as it is. A value can then never start or end a line of its own.
[[nodiscard]] QString onOneLine(const QString &value);

// The mark that stands for a line break inside a value: the pilcrow, which Arial and the fonts
// that stand in for it all have, so that it is always drawn and never a box.
inline constexpr char16_t lineBreakMark = u'\u00B6';
