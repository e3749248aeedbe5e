#include "one_line.h"

#include <algorithm>
#include <vector>

namespace {

bool breaksTheLine(char16_t character)
{
    switch (character) {
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case u'\u0085':
    case u'\u2028':
    case u'\u2029':
        return true;
    default:
        return false;
    }
}

bool isControl(char16_t character)
{
    return character < 0x20 || (character >= 0x7F && character <= 0x9F);
}

QString controlMark(char16_t character)
{
    return QStringLiteral("[U+%1]").arg(
        QString::number(character, 16).toUpper().rightJustified(4, u'0'));
}

enum class Opened { Embedding, Isolate };

constexpr char16_t popDirectionalFormatting = u'\u202C';
constexpr char16_t popDirectionalIsolate = u'\u2069';

// What each character opens or closes, as rules X2 to X6a of the bidirectional algorithm see
// it: a PDF closes only an embedding or override opened inside the innermost open isolate, and
// a PDI closes that isolate with everything opened inside it.
void follow(std::vector<Opened> &open, char16_t character)
{
    switch (character) {
    case u'\u202A': // LRE
    case u'\u202B': // RLE
    case u'\u202D': // LRO
    case u'\u202E': // RLO
        open.push_back(Opened::Embedding);
        break;
    case u'\u2066': // LRI
    case u'\u2067': // RLI
    case u'\u2068': // FSI
        open.push_back(Opened::Isolate);
        break;
    case popDirectionalFormatting:
        if (!open.empty() && open.back() == Opened::Embedding)
            open.pop_back();
        break;
    case popDirectionalIsolate: {
        const auto isolate = std::find(open.rbegin(), open.rend(), Opened::Isolate);
        if (isolate != open.rend())
            open.erase(std::prev(isolate.base()), open.end());
        break;
    }
    default:
        break;
    }
}

} // namespace

QString onOneLine(const QString &value)
{
    QString shown;
    shown.reserve(value.size());
    std::vector<Opened> open;
    for (const QChar character : value) {
        const char16_t code = character.unicode();
        follow(open, code);
        if (breaksTheLine(code))
            shown.append(QChar(lineBreakMark));
        else if (isControl(code))
            shown.append(controlMark(code));
        else
            shown.append(character);
    }
    for (auto opened = open.rbegin(); opened != open.rend(); ++opened)
        shown.append(
            QChar(*opened == Opened::Isolate ? popDirectionalIsolate : popDirectionalFormatting));
    return shown;
}
