#pragma once

#include <QString>

// A stored value as it is shown inside one line of the report or the window. A value can then
// never start or end a line of its own, nor change how the lines after it are drawn or read:
// - every line or paragraph separator in it (CR, LF, VT, FF, NEL, U+2028, U+2029) becomes the
//   mark "¶";
// - every other control character (U+0000 to U+001F, DEL U+007F, U+0080 to U+009F) becomes its
//   code in brackets, "[U+0000]": drawn, it would be a box or nothing, and a screen reader's
//   text ends at a NUL;
// - an embedding, override or isolate that it leaves open (LRE, RLE, LRO, RLO, LRI, RLI, FSI)
//   is closed at its end by PDF or PDI, innermost first, as the bidirectional algorithm pairs
//   them. A label's lines are one paragraph to Qt's text layout, so an open direction would
//   carry on to the end of its text.
// Every other character stays as it is.
[[nodiscard]] QString onOneLine(const QString &value);

// The mark that stands for a line break inside a value: the pilcrow, which Arial and the fonts
// that stand in for it all have, so that it is always drawn and never a box. The other control
// characters are marked in plain ASCII for the same reason: Liberation Sans, which stands in for
// Arial, has neither the Control Pictures (U+2400 on) nor U+FFFD.
inline constexpr char16_t lineBreakMark = u'\u00B6';
