#pragma once

#include <QString>

namespace Norlix {

// True for exactly one of the capital letters A to Z, under which Norlix keeps a company.
[[nodiscard]] bool isCompanyLetter(const QString &text);

} // namespace Norlix
