#include "one_line.h"

namespace {

bool breaksTheLine(QChar character)
{
    switch (character.unicode()) {
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

} // namespace

QString onOneLine(const QString &value)
{
    QString shown = value;
    for (QChar &character : shown) {
        if (breaksTheLine(character))
            character = QChar(lineBreakMark);
    }
    return shown;
}
