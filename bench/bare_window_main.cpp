// The floor that Qt sets for Prismor's start-up and memory: an empty top-level window with the
// same client area as Prismor's window (10965 by 7530 twips, 731 by 502 pixels at 96 dots per
// inch), shown by a main() shaped like Prismor's.

#include <QApplication>
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
    QWidget window;
    window.setWindowTitle(QStringLiteral("Bare window"));
    const QScreen *screen = window.screen();
    window.setFixedSize(pixelsFromTwips(10965, screen->logicalDotsPerInchX()),
                        pixelsFromTwips(7530, screen->logicalDotsPerInchY()));
    window.show();
    return QApplication::exec();
}
