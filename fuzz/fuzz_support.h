#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A property that must hold for every input: on a violation the fuzzer stops with the reason,
// and libFuzzer keeps the input that caused it as a crash artifact.
inline void require(bool holds, const char *property, const QString &detail = {})
{
    if (holds)
        return;
    std::fprintf(stderr, "Property violated: %s\n%s\n", property, qUtf8Printable(detail));
    std::abort();
}

// The input as UTF-16 code units taken straight from the bytes, so that lone surrogates and
// every other unit reach the code under test, not only what valid UTF-8 can express.
inline QString rawUtf16(const std::uint8_t *data, std::size_t size)
{
    QString text(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text[static_cast<qsizetype>(i / 2)] = QChar(char16_t(data[i] | (data[i + 1] << 8)));
    return text;
}

// The first byte chooses how the rest is read as text: as UTF-8 (what a user types or Norlix
// stores) or as raw UTF-16 units.
inline QString textFrom(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return {};
    const auto *rest = data + 1;
    const std::size_t restSize = size - 1;
    if (data[0] & 1)
        return rawUtf16(rest, restSize);
    return QString::fromUtf8(reinterpret_cast<const char *>(rest),
                             static_cast<qsizetype>(restSize));
}

// Code units shown as hex, for messages about text that may not print.
inline QString units(const QString &text)
{
    QString shown;
    for (QChar unit : text)
        shown += QStringLiteral("%1 ").arg(unit.unicode(), 4, 16, QLatin1Char('0'));
    return shown.trimmed();
}

} // namespace fuzz
