// The floor that Qt sets for Prismor's start-up and memory: an empty top-level window with the
// same client area as Prismor's window (10965 by 7530 twips, 731 by 502 pixels at 96 dots per
// inch), shown by a main() shaped like Prismor's. Built with WITH_TEXT_LABEL it also shows one
// line of text, the least a window needs to load fonts, for reference. On Windows, as Prismor does,
// Arial is the application's font.

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace {

int pixelsFromTwips(int twips, qreal dotsPerInch)
{
    return static_cast<int>(std::lround(twips * dotsPerInch / 1440.0));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
#ifdef Q_OS_WIN
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(9);
    QGuiApplication::setFont(arial);
#endif
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    const QScreen *screen = window.screen();
    window.setFixedSize(pixelsFromTwips(10965, screen->logicalDotsPerInchX()),
                        pixelsFromTwips(7530, screen->logicalDotsPerInchY()));
#ifdef WITH_TEXT_LABEL
    QLabel label(QStringLiteral("Program to check Norlix Database version."), &window);
    label.move(24, 16);
#endif
    window.show();
    return QApplication::exec();
}
