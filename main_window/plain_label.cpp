#include "plain_label.h"

#include <QFontMetricsF>
#include <QList>
#include <QPainter>
#include <QRawFont>
#include <QStyle>
#include <QTextCharFormat>
#include <QTextLayout>

#include <cmath>
#include <optional>

namespace {

// Characters that are never drawn and that no shaping joins to their neighbours: the Arabic
// letter mark, the zero-width space, the left-to-right and right-to-left marks, the
// embeddings, overrides and their pop, the word joiner, the invisible operators, the isolates,
// and the zero-width no-break space.
bool isInvisibleControl(char16_t character)
{
    return character == u'\u061C' || character == u'\u200B' || character == u'\u200E'
        || character == u'\u200F' || (character >= u'\u202A' && character <= u'\u202E')
        || (character >= u'\u2060' && character <= u'\u206F') || character == u'\uFEFF';
}

// Where the label's font has no glyph for a character, Qt takes one from a fallback font, and a
// line is as tall as the tallest font it uses. A desktop font with glyphs for the invisible
// controls (Noto Sans Mono has them) would thus make the line of a value holding one taller and
// push every line below it down, though nothing of them is drawn. Kept in the label's own font,
// they are drawn as nothing all the same. Only those that the font lacks are set apart: a run of
// its own would lose the kerning across the control.
QList<QTextLayout::FormatRange> invisibleControlsInOwnFont(const QString &text, const QFont &font)
{
    QTextCharFormat ownFontOnly;
    ownFontOnly.setFontStyleStrategy(
        QFont::StyleStrategy(font.styleStrategy() | QFont::NoFontMerging));
    std::optional<QRawFont> ownFont; // looked up only for a text that holds a control
    QList<QTextLayout::FormatRange> ranges;
    for (int at = 0; at < text.size(); ++at) {
        const QChar character = text.at(at);
        if (!isInvisibleControl(character.unicode()))
            continue;
        if (!ownFont)
            ownFont = QRawFont::fromFont(font);
        if (ownFont->supportsCharacter(character))
            continue;
        if (!ranges.isEmpty() && ranges.last().start + ranges.last().length == at)
            ++ranges.last().length;
        else
            ranges.append({ at, 1, ownFontOnly });
    }
    return ranges;
}

} // namespace

PlainLabel::PlainLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PlainLabel::setCaption(const QString &caption)
{
    m_caption = caption;
    QLabel::setText(displayedCaption(caption));
}

// As Qt lays out a plain label's text: in the direction of its first strong character, aligned to
// the right when that is right-to-left, each line on a whole pixel below the one before and the
// font's leading.
void PlainLabel::layOutText(QTextLayout &layout) const
{
    const QString shown = QString(text()).replace(u'\n', QChar::LineSeparator);
    layout.setText(shown);
    layout.setFont(font());
    const Qt::LayoutDirection direction = shown.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    QTextOption option(QStyle::visualAlignment(direction, alignment()));
    option.setTextDirection(direction);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.setFormats(invisibleControlsInOwnFont(shown, font()));

    const qreal leading = QFontMetricsF(font(), this).leading();
    qreal y = -leading;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(contentsRect().width());
        y = std::ceil(y + leading);
        line.setPosition(QPointF(0, y));
        y += line.ascent() + line.descent(); // line.height() would round it up
    }
    layout.endLayout();
}

void PlainLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    QTextLayout layout;
    layOutText(layout);
    painter.setPen(palette().color(foregroundRole()));
    painter.setClipRect(contentsRect());
    layout.draw(&painter, contentsRect().topLeft());
}

QString displayedCaption(const QString &caption)
{
    QString shown = caption;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}
