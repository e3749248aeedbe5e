// The version cut: whatever Norlix stores as "CompanyVersNbr", cutVersionText gives its second
// to sixth characters, never splitting a surrogate pair, and the version read from that text is
// always a number the report can print.

#include "fuzz_support.h"

#include <component_error.h>
#include <standin/to_number.h>
#include <version_text.h>

#include <QStringList>

#include <cmath>

namespace {

// The text's characters, a surrogate pair counting as one and a lone surrogate as one.
QStringList characters(const QString &text)
{
    QStringList result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair
            = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        result.append(text.mid(i, pair ? 2 : 1));
        i += pair ? 1 : 0;
    }
    return result;
}

void checkCut(const QString &setting, const QString &version)
{
    const QString detail = fuzz::units(setting) + QStringLiteral(" gave ") + fuzz::units(version);
    const QStringList expected = characters(setting).mid(1, 5);
    const QStringList got = characters(version);
    fuzz::require(
        got.size() == expected.size(), "second to sixth characters, at most five", detail);
    fuzz::require(got == expected, "each character as it stands in the setting", detail);

    bool surrogates = false;
    for (QChar unit : setting)
        surrogates = surrogates || unit.isSurrogate();
    if (!surrogates)
        fuzz::require(version == setting.mid(1, 5), "plain text: the units from 1 to 5", detail);
}

// What GetDatabaseVersion makes of the cut text: a finite number, or the one component error.
void checkVersionNumber(const QString &version)
{
    try {
        const double number = Norlix::toNumber(QVariant(version));
        fuzz::require(
            std::isfinite(number), "the version is a finite number", fuzz::units(version));
        if (number != 0)
            fuzz::require(!generalNumberText(number).isEmpty(), "the report prints the version");
    } catch (const Norlix::ComponentError &error) {
        fuzz::require(!error.description().isEmpty(), "a component error says what failed",
            fuzz::units(version));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString setting = fuzz::textFrom(data, size);
    const QString version = cutVersionText(setting);
    checkCut(setting, version);
    checkVersionNumber(version);
    return 0;
}
