#include "version_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace {

constexpr int versionStart = 1; // the first character is never part of the version
constexpr int versionLength = 5;
constexpr int plainDigitLimit = 15;

// The shortest digits that read back as value, and the power of ten of the first of them:
// value == 0.d1d2d3... * 10^(exponent + 1).
struct ShortestDigits
{
    std::string digits;
    int exponent = 0;
};

ShortestDigits shortestDigits(double magnitude)
{
    char buffer[64];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific);
    const std::string text(buffer, result.ptr);
    const auto e = text.find('e');

    ShortestDigits shortest;
    for (char c : text.substr(0, e))
        if (c != '.')
            shortest.digits += c;
    shortest.exponent = std::stoi(text.substr(e + 1));
    return shortest;
}

std::string plainForm(const ShortestDigits &number)
{
    const auto &digits = number.digits;
    const int count = static_cast<int>(digits.size());
    const int integerDigits = number.exponent + 1;
    if (integerDigits <= 0)
        return "0." + std::string(-integerDigits, '0') + digits;
    if (integerDigits >= count)
        return digits + std::string(integerDigits - count, '0');
    return digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
}

int plainDigitCount(const ShortestDigits &number)
{
    const int count = static_cast<int>(number.digits.size());
    const int integerDigits = number.exponent + 1;
    if (integerDigits <= 0)
        return -integerDigits + count;
    return std::max(integerDigits, count);
}

std::string exponentForm(const ShortestDigits &number)
{
    std::string text = number.digits.substr(0, 1);
    if (number.digits.size() > 1) {
        text += '.';
        text += number.digits.substr(1);
    }
    text += number.exponent < 0 ? "E-" : "E+";
    text += std::to_string(std::abs(number.exponent));
    return text;
}

bool isSurrogatePairAt(const QString &text, qsizetype i)
{
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
}

} // namespace

QString cutVersionText(const QString &setting)
{
    QString version;
    int character = 0;
    for (qsizetype i = 0; i < setting.size() && character < versionStart + versionLength;
         ++character) {
        const qsizetype units = isSurrogatePairAt(setting, i) ? 2 : 1;
        if (character >= versionStart)
            version += setting.mid(i, units);
        i += units;
    }
    return version;
}

QString generalNumberText(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");
    if (value == 0)
        return QStringLiteral("0");

    const ShortestDigits number = shortestDigits(std::fabs(value));
    std::string text
        = plainDigitCount(number) > plainDigitLimit ? exponentForm(number) : plainForm(number);
    if (value < 0)
        text.insert(0, 1, '-');
    return QString::fromStdString(text);
}
