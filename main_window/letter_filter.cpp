#include "letter_filter.h"

#include "surrounding_spaces.h"

#include <QTextBoundaryFinder>

namespace {

// Simple case mapping, one code point to one: a sharp s stays a sharp s rather than becoming
// "SS", so the entry never grows while the user types.
QString upperCasedCharByChar(const QString &text)
{
    QString upper;
    upper.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            const char32_t codePoint = QChar::toUpper(QChar::surrogateToUcs4(unit, text.at(i + 1)));
            upper.append(QString::fromUcs4(&codePoint, 1));
            ++i;
        } else {
            // A lone surrogate is kept as it is; it is refused at Start like any non-letter.
            upper.append(unit.toUpper());
        }
    }
    return upper;
}

QString firstWholeCharacter(const QString &text)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = graphemes.toNextBoundary();
    if (end <= 0)
        return QString();
    // The boundary finder can place a boundary inside a surrogate pair (before some Indic
    // letters); half a pair is no character at all.
    if (end < text.size() && text.at(end - 1).isHighSurrogate() && text.at(end).isLowSurrogate())
        ++end;
    return text.left(end);
}

} // namespace

QString filteredLetter(const QString &text)
{
    // Trimmed once more because a character can end in a blank (a prepended mark joins the
    // blank that follows it), and the entry must keep what filtering it again would keep.
    return withoutSurroundingSpaces(
        firstWholeCharacter(upperCasedCharByChar(withoutSurroundingSpaces(text))));
}
