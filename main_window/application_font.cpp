#include "application_font.h"

#include "window_units.h"

#include <QGuiApplication>

void useArialAsDefaultFont()
{
#ifdef Q_OS_WIN
    // The letter entry, as any QLineEdit, lays its text out once in the application's font before
    // it takes its own, so with the desktop's default font Qt would load that font too, only to
    // drop it. Where the desktop names it by a substitute, such as Wine's "MS Shell Dlg", Qt's
    // Windows font database reads every installed family to resolve the name, which made start-up
    // under Wine some 150 ms slower. QGuiApplication's default font, unlike QApplication::setFont(),
    // leaves the desktop's fonts for message boxes in place.
    QGuiApplication::setFont(arial(9));
#endif
}
