#pragma once

#include <QString>

// The version part of the company setting "CompanyVersNbr": its second to sixth characters.
[[nodiscard]] QString cutVersionText(const QString &setting);

// A number in general number form: the shortest decimal text that reads back as the same
// double, a point only where there is a fraction, "0.5" below one, and exponent form only where
// plain digits would run past fifteen.
[[nodiscard]] QString generalNumberText(double value);
