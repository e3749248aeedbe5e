// The number's text in the report: generalNumberText must give, for every finite double, plain
// text that reads back as exactly that double, in its shortest form and without grouping.

#include "fuzz_support.h"

#include <version_text.h>

#include <QByteArray>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int plainDigitLimit = 15;
// Sign, seventeen digits, the point, "E", the exponent's sign and three digits.
constexpr qsizetype longestText = 24;

// The double the input stands for: its raw bits, a decimal text as a user or Norlix would
// write it, or a whole number scaled by a power of ten; the last two reach the everyday values
// (0.1, 12.5, 100000) that raw bits almost never hit.
double valueFrom(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const auto *rest = data + 1;
    const std::size_t restSize = size - 1;
    switch (data[0] % 3) {
    case 0: {
        std::uint64_t bits = 0;
        std::memcpy(&bits, rest, std::min(restSize, sizeof bits));
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    case 1: {
        const std::string text(reinterpret_cast<const char *>(rest), restSize);
        return std::strtod(text.c_str(), nullptr);
    }
    default: {
        std::int64_t whole = 0;
        std::memcpy(&whole, rest, std::min(restSize, sizeof whole));
        const int power = restSize > sizeof whole ? rest[sizeof whole] % 40 - 20 : 0;
        return static_cast<double>(whole % 100000000000000000LL) * std::pow(10.0, power);
    }
    }
}

struct Shortest
{
    int digits = 0; // significant digits of the shortest text that reads back
    int exponent = 0; // power of ten of the first of them
};

Shortest shortestOf(double magnitude)
{
    char buffer[64];
    const auto end
        = std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::scientific)
              .ptr;
    const std::string text(buffer, end);
    const auto e = text.find('e');
    Shortest shortest;
    for (char c : text.substr(0, e))
        shortest.digits += c != '.';
    shortest.exponent = std::stoi(text.substr(e + 1));
    return shortest;
}

// How many digits the plain form of the number writes, not counting the zero before the point
// of a number below one.
int plainDigits(const Shortest &shortest)
{
    const int integerDigits = shortest.exponent + 1;
    if (integerDigits <= 0)
        return -integerDigits + shortest.digits;
    return std::max(integerDigits, shortest.digits);
}

// The digits of the text without the zeros that only place the point; shortest digits never
// end in zero, so trailing zeros of a whole number are placeholders too.
int significantDigits(const QString &text)
{
    QString mantissa = text.section(QLatin1Char('E'), 0, 0);
    mantissa.remove(QLatin1Char('-')).remove(QLatin1Char('.'));
    qsizetype first = 0;
    qsizetype end = mantissa.size();
    while (first < end && mantissa[first] == QLatin1Char('0'))
        ++first;
    while (end > first && mantissa[end - 1] == QLatin1Char('0'))
        --end;
    return static_cast<int>(end - first);
}

void checkNotANumber(double value, const QString &text)
{
    const QString expected = std::isnan(value) ? QStringLiteral("NaN")
        : value > 0                            ? QStringLiteral("Infinity")
                                               : QStringLiteral("-Infinity");
    fuzz::require(text == expected, "a value that is not a number has its fixed name", text);
}

void checkFinite(double value, const QString &text)
{
    const QString detail
        = QStringLiteral("%1 gave \"%2\"").arg(QString::number(value, 'g', 17), text);
    for (QChar c : text)
        fuzz::require(QStringLiteral("-0123456789.E+").contains(c),
            "only digits, sign, point and exponent, no grouping", detail);
    fuzz::require(!text.isEmpty() && text.size() <= longestText, "length within bounds", detail);

    const QByteArray latin1 = text.toLatin1();
    char *end = nullptr;
    const double readBack = std::strtod(latin1.constData(), &end);
    fuzz::require(
        end == latin1.constData() + latin1.size(), "the whole text is one number", detail);
    fuzz::require(readBack == value, "reads back as exactly the same double", detail);
    fuzz::require(text.startsWith(QLatin1Char('-')) == (value < 0),
        "a minus sign exactly for a negative number", detail);
    if (value == 0) {
        fuzz::require(text == QStringLiteral("0"), "zero is \"0\"", detail);
        return;
    }

    const Shortest shortest = shortestOf(std::fabs(value));
    fuzz::require(significantDigits(text) == shortest.digits, "shortest digits", detail);
    const bool exponentForm = text.contains(QLatin1Char('E'));
    fuzz::require(exponentForm == (plainDigits(shortest) > plainDigitLimit),
        "exponent form exactly where plain digits would run past fifteen", detail);
    if (exponentForm)
        return;
    fuzz::require(text.contains(QLatin1Char('.')) == (std::trunc(value) != value),
        "a point exactly where there is a fraction", detail);
    const QString magnitude = value < 0 ? text.sliced(1) : text;
    if (std::fabs(value) < 1)
        fuzz::require(magnitude.startsWith(QStringLiteral("0.")),
            "a zero before the point below one", detail);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const double value = valueFrom(data, size);
    const QString text = generalNumberText(value);
    if (std::isfinite(value))
        checkFinite(value, text);
    else
        checkNotANumber(value, text);
    return 0;
}
