// Norlix::toNumber, which turns the stored version into the report's number: for every value it
// gives back a finite double or raises ComponentError, and for text it reads exactly the
// longest leading decimal number, as the C library does.

#include "fuzz_support.h"

#include <component_error.h>
#include <standin/to_number.h>

#include <QByteArray>
#include <QDate>
#include <QStringList>
#include <QVariant>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

template<typename T> T bitsAs(const std::uint8_t *data, std::size_t size)
{
    T value {};
    std::memcpy(&value, data, std::min(size, sizeof value));
    return value;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

qsizetype digitsFrom(const QString &text, qsizetype i)
{
    while (i < text.size() && isAsciiDigit(text[i]))
        ++i;
    return i;
}

// The reading that toNumber promises, written out independently: spaces around the text
// ignored, then [sign] digits [. digits] [exponent with digits of its own], with at least one
// digit before the exponent, converted by strtod in the C locale. Empty when no number leads.
std::optional<double> referenceReading(const QString &original)
{
    const QString text = original.trimmed();
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype integerEnd = digitsFrom(text, i);
    qsizetype end = integerEnd;
    bool anyDigit = integerEnd > i;
    if (end < text.size() && text[end] == u'.') {
        const qsizetype fractionEnd = digitsFrom(text, end + 1);
        anyDigit = anyDigit || fractionEnd > end + 1;
        end = fractionEnd;
    }
    if (!anyDigit)
        return std::nullopt;
    if (end < text.size() && (text[end] == u'e' || text[end] == u'E')) {
        qsizetype j = end + 1;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        const qsizetype exponentEnd = digitsFrom(text, j);
        if (exponentEnd > j)
            end = exponentEnd;
    }
    const std::string number = text.first(end).toStdString();
    return std::strtod(number.c_str(), nullptr);
}

void checkText(const QString &text, std::optional<double> result)
{
    const std::optional<double> expected = referenceReading(text);
    const QString detail = fuzz::units(text) + QStringLiteral(" gave ")
        + (result ? QString::number(*result, 'g', 17) : QStringLiteral("error"));
    if (!expected) {
        fuzz::require(result && *result == 0, "text with no leading number gives 0", detail);
        return;
    }
    if (std::isinf(*expected)) {
        fuzz::require(!result, "a number out of range raises ComponentError", detail);
        return;
    }
    fuzz::require(result.has_value(), "a number in range converts", detail);
    const bool subnormal = std::fabs(*expected) < std::numeric_limits<double>::min();
    fuzz::require(*result == *expected || (subnormal && *result == 0),
        "the leading number read exactly (a subnormal value may read as 0)", detail);
}

struct Case
{
    QVariant value;
    std::optional<QString> text; // the text toNumber should read, for text values
    std::optional<double> number; // the number it should give back as it is
};

Case caseFrom(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return { QVariant(), std::nullopt, 0.0 };
    const auto *rest = data + 1;
    const std::size_t restSize = size - 1;
    const auto utf8 = QByteArray(reinterpret_cast<const char *>(rest), qsizetype(restSize));
    switch (data[0] % 8) {
    case 0:
        return { QString::fromUtf8(utf8), QString::fromUtf8(utf8), std::nullopt };
    case 1: {
        const QString text = fuzz::rawUtf16(rest, restSize);
        return { text, text, std::nullopt };
    }
    case 2:
        return { utf8, QString::fromUtf8(utf8), std::nullopt };
    case 3: {
        const auto number = bitsAs<double>(rest, restSize);
        return { number, std::nullopt, number };
    }
    case 4: {
        const auto number = bitsAs<float>(rest, restSize);
        return { QVariant::fromValue(number), std::nullopt, double(number) };
    }
    case 5: {
        const auto number = bitsAs<long long>(rest, restSize);
        return { number, std::nullopt, double(number) };
    }
    case 6:
        return { QDate::fromJulianDay(bitsAs<std::int32_t>(rest, restSize)), std::nullopt,
            std::nullopt };
    default:
        return { QVariant(QMetaType::fromType<QString>()), std::nullopt, 0.0 };
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Case input = caseFrom(data, size);
    std::optional<double> result;
    try {
        result = Norlix::toNumber(input.value);
        fuzz::require(std::isfinite(*result), "never NaN or infinite", QString::number(*result));
    } catch (const Norlix::ComponentError &error) {
        fuzz::require(!error.description().isEmpty(), "a component error says what failed");
    }
    // Any other exception leaves this function and stops the fuzzer as a crash.

    if (input.text) {
        checkText(*input.text, result);
    } else if (input.number) {
        if (std::isfinite(*input.number))
            fuzz::require(result && *result == *input.number, "a number is given back as it is",
                QString::number(*input.number, 'g', 17));
        else
            fuzz::require(!result, "a number that is not finite raises ComponentError");
    }
    return 0;
}
