#pragma once

#include <QVariant>

namespace Norlix {

// The Norlix number conversion. Text: spaces around it are ignored and its longest leading
// decimal number (sign, digits, point and digits, exponent) is read with "." as the point,
// whatever the locale; text with no leading number gives 0. A number is given back as it is.
// Never NaN or infinite: a number out of range raises ComponentError.
[[nodiscard]] double toNumber(const QVariant &value);

} // namespace Norlix
