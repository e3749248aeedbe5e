#pragma once

#include <QString>

// The version part of the company setting "CompanyVersNbr": its second to sixth characters
// (fewer when the text is shorter, none when it has fewer than two). Characters are counted as
// whole Unicode characters, so a surrogate pair is never split.
[[nodiscard]] QString cutVersionText(const QString &setting);

// A number in general number form: the shortest decimal text that reads back as the same
// double, no digit grouping, a point only where there is a fraction, a zero before the point of
// a number below one ("0.5"), a minus sign for a negative number ("-2").
//
// Exponent form is used only where the plain form would write more than fifteen digits (the
// zero before the point of a number below one not counted). It is the same shortest digits
// with one digit before the point, then "E", the exponent's sign and its digits without leading
// zeros: "1E+16", "1.5E-20", "3.0000000000000004E-1".
//
// Zero gives "0"; the check reports a zero version with its own text. Values that are not
// numbers give "NaN", "Infinity" or "-Infinity".
[[nodiscard]] QString generalNumberText(double value);
