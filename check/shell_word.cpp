#include "shell_word.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

QString posixWord(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.,:/@%+=-]+$"));
    if (plain.match(text).hasMatch())
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

bool breaksWindowsQuotes(QChar character)
{
    switch (character.unicode()) {
    case u'"':
    case u'\u201C': // “
    case u'\u201D': // ”
    case u'\u201E': // „
    case u'%':
    case u'!':
    case u'$':
    case u'`':
        return true;
    default:
        return character.category() == QChar::Other_Control
            || character.category() == QChar::Separator_Line
            || character.category() == QChar::Separator_Paragraph;
    }
}

std::optional<QString> windowsWord(const QString &text)
{
    if (text.isEmpty() || text.endsWith(u'\\')
        || std::any_of(text.cbegin(), text.cend(), breaksWindowsQuotes))
        return std::nullopt;
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

std::optional<QString> shellWord(const QString &text, Shell shell)
{
    if (shell == Shell::Windows)
        return windowsWord(text);
    return posixWord(text);
}
