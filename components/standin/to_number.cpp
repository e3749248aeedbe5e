#include "to_number.h"

#include <component_error.h>

#include <QMetaType>
#include <QString>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace Norlix {
namespace {

// The pieces of the longest leading decimal number of a text, as positions into it.
struct NumberSpan
{
    qsizetype end = 0; // one past the last character that belongs to the number
    int order = 0; // decimal exponent of the first significant digit; meaningful when nonZero
    bool nonZero = false;
};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Adds one digit to a saturating exponent, so that an absurdly long exponent cannot overflow.
long long withDigit(long long exponent, QChar digit)
{
    constexpr long long limit = 1'000'000'000;
    return exponent >= limit ? limit : exponent * 10 + (digit.unicode() - u'0');
}

// Finds the longest leading decimal number: optional sign, digits with an optional point and
// digits (at least one digit in all), then an optional exponent that counts only when it has
// digits of its own.
NumberSpan scanNumber(QStringView text)
{
    NumberSpan span;
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    long long firstSignificant = 0; // position of the first non-zero digit relative to the point
    qsizetype integerDigits = 0;
    qsizetype digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++integerDigits, ++digits) {
        if (!span.nonZero && text[i] != u'0') {
            span.nonZero = true;
            firstSignificant = integerDigits;
        }
    }
    long long order = span.nonZero ? integerDigits - firstSignificant - 1 : 0;
    if (i < text.size() && text[i] == u'.') {
        qsizetype fraction = 0;
        for (++i; i < text.size() && isDigit(text[i]); ++i, ++digits) {
            ++fraction;
            if (!span.nonZero && text[i] != u'0') {
                span.nonZero = true;
                order = -fraction;
            }
        }
    }
    if (digits == 0)
        return {};
    span.end = i;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        bool negative = false;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-'))
            negative = text[j++] == u'-';
        long long exponent = 0;
        const qsizetype exponentStart = j;
        for (; j < text.size() && isDigit(text[j]); ++j)
            exponent = withDigit(exponent, text[j]);
        if (j > exponentStart) {
            span.end = j;
            order += negative ? -exponent : exponent;
        }
    }
    span.order = int(std::clamp<long long>(order, -2'000'000'000, 2'000'000'000));
    return span;
}

double textToNumber(const QString &original)
{
    const QString text = original.trimmed();
    const NumberSpan span = scanNumber(text);
    if (span.end == 0)
        return 0.0;
    QStringView number = QStringView(text).first(span.end);
    const bool negative = number.startsWith(u'-');
    if (number.startsWith(u'+') || negative)
        number = number.sliced(1);
    // The span holds only ASCII, so Latin-1 is exact; from_chars ignores the locale.
    const std::string ascii = number.toLatin1().toStdString();
    double value = 0.0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (span.nonZero && span.order > 0)
            throw ComponentError(QStringLiteral("The number \"%1\" is too large to convert.")
                                     .arg(number.toString()));
        value = 0.0; // too small to tell from zero
    }
    return negative ? -value : value;
}

double checkedFinite(double value)
{
    if (!std::isfinite(value))
        throw ComponentError(
            QStringLiteral("The value %1 is not a finite number.").arg(QString::number(value)));
    return value;
}

} // namespace

double toNumber(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return 0.0;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return checkedFinite(value.toDouble());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Bool:
        return value.toDouble();
    case QMetaType::QString:
        return textToNumber(value.toString());
    case QMetaType::QByteArray:
        return textToNumber(QString::fromUtf8(value.toByteArray()));
    default:
        return value.canConvert<QString>() ? textToNumber(value.toString()) : 0.0;
    }
}

} // namespace Norlix
