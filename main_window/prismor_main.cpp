#include "application_icon.h"
#include "main.h"
#include "termination_signals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Prismor"));
    QApplication::setDesktopFileName(QStringLiteral("prismor"));
    QApplication::setWindowIcon(applicationIcon());
    // The window decides when and with which status the utility ends (see Main::ended), also
    // when a dialog of the check is the last window to close.
    QApplication::setQuitOnLastWindowClosed(false);

    Main window;
    QObject::connect(
        &window, &Main::ended, &application, &QCoreApplication::exit, Qt::QueuedConnection);
    const TerminationSignals closeOnTermination(&window);
    window.show();
    return QApplication::exec();
}
