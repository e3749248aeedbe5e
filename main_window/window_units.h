#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>
#include <QtGlobal>

// The window's layout is written in twips (1440 to the inch), its fonts as sizes of Arial and its
// colours as 0x00BBGGRR values, red in the low byte; these turn them into what Qt draws with.

// Twips to pixels at the given logical resolution, rounded to the nearest pixel: 15 twips to a
// pixel at 96 dots per inch.
[[nodiscard]] constexpr int pixelsFromTwips(int twips, qreal dotsPerInch)
{
    const qreal pixels = twips * dotsPerInch / 1440.0;
    return int(pixels + (pixels < 0 ? -0.5 : 0.5));
}

// Arial at normal weight, of the given size in points.
[[nodiscard]] inline QFont arial(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

[[nodiscard]] constexpr QColor colourFromValue(quint32 value)
{
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// Gives the control the colour for one role of its palette, the rest of the palette unchanged.
inline void setColour(QWidget *control, QPalette::ColorRole role, quint32 value)
{
    QPalette palette = control->palette();
    palette.setColor(role, colourFromValue(value));
    control->setPalette(palette);
}
