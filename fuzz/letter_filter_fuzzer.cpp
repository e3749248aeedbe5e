// The letter entry: whatever is typed or pasted, filteredLetter keeps nothing or one whole
// character, upper-cased, taken from the front of the text; filtering again changes nothing;
// and only one of the capital letters A to Z passes as a company letter.

#include "fuzz_support.h"

#include <company_letter.h>
#include <letter_filter.h>

#include <QList>
#include <QTextBoundaryFinder>

namespace {

bool onlyBlanks(const QString &text)
{
    for (QChar unit : text)
        if (unit != u' ')
            return false;
    return true;
}

// The text's code points, a lone surrogate standing for itself.
QList<char32_t> codePoints(const QString &text)
{
    QList<char32_t> points;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            points.append(QChar::surrogateToUcs4(text[i], text[i + 1]));
            ++i;
        } else {
            points.append(text[i].unicode());
        }
    }
    return points;
}

bool isOneGrapheme(const QString &text)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    return graphemes.toNextBoundary() == text.size();
}

void checkFiltered(const QString &typed, const QString &kept)
{
    const QString detail = fuzz::units(typed) + QStringLiteral(" kept ") + fuzz::units(kept);
    fuzz::require(
        kept.isEmpty() == onlyBlanks(typed), "nothing kept exactly for blanks only", detail);
    if (kept.isEmpty())
        return;
    fuzz::require(isOneGrapheme(kept), "one whole character", detail);

    // Each code point kept is the upper case of the one at the same place after the leading
    // blanks, and is its own upper case.
    qsizetype lead = 0;
    while (typed[lead] == u' ')
        ++lead;
    const QList<char32_t> typedPoints = codePoints(typed.sliced(lead));
    const QList<char32_t> keptPoints = codePoints(kept);
    fuzz::require(keptPoints.size() <= typedPoints.size(), "taken from the text", detail);
    for (qsizetype i = 0; i < keptPoints.size(); ++i) {
        fuzz::require(keptPoints[i] == QChar::toUpper(typedPoints[i]),
            "upper-cased one character to one, from the front", detail);
        fuzz::require(QChar::toUpper(keptPoints[i]) == keptPoints[i], "already upper case", detail);
    }
    fuzz::require(filteredLetter(kept) == kept, "filtering again changes nothing", detail);
}

bool isCapitalLetter(const QString &text)
{
    return text.size() == 1 && text[0].unicode() >= 'A' && text[0].unicode() <= 'Z';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString typed = fuzz::textFrom(data, size);
    const QString kept = filteredLetter(typed);
    checkFiltered(typed, kept);
    fuzz::require(Norlix::isCompanyLetter(typed) == isCapitalLetter(typed),
        "a company letter is one of A to Z", fuzz::units(typed));
    fuzz::require(Norlix::isCompanyLetter(kept) == isCapitalLetter(kept),
        "a company letter is one of A to Z", fuzz::units(kept));
    return 0;
}
