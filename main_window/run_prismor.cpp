// Prismor as a program: what it makes sure of before its window opens, the application object
// around the window, and the window's end as the process's exit status.

#include "run_prismor.h"

#include "application_font.h"
#include "application_icon.h"
#include "main.h"
#include "termination_signals.h"

#include <QApplication>
#include <QByteArray>

#include <cstdio>

#ifdef Q_OS_WIN
#include <components.h>

#include <objbase.h>
#endif

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <sys/stat.h>
#define PRISMOR_ON_X11_OR_WAYLAND
#endif

namespace {

#ifdef PRISMOR_ON_X11_OR_WAYLAND
// Without a display Qt's platform plugin would abort with a hint to reinstall the application.
// QT_QPA_PLATFORM chooses a platform of its own (offscreen, a framebuffer), which is Qt's to
// judge.
bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
        || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool isSocket(const QByteArray &path)
{
    struct stat status;
    return ::stat(path.constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

// Where no session bus is set (a bare X session, ssh -X), the D-Bus library would start a bus
// daemon of its own that outlives Prismor and note it under ~/.dbus. Nothing on such a bus would
// listen to Prismor, so an address it cannot use takes the place of that. The login session's
// bus in XDG_RUNTIME_DIR, which the library finds by itself, stays in use.
void startNoSessionBus()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isSocket(runtime + "/bus"))
        return;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}
#else
bool hasDisplay()
{
    return true;
}
void startNoSessionBus()
{
}
#endif

#ifdef Q_OS_WIN
// The window's thread is a single-threaded apartment from before the application object, whose
// platform plugin's OleInitialize then nests inside it, until after it: Norlix's components are
// apartment-threaded and may show windows of their own. Every reference to them is released
// before the apartment ends.
class ComApartment
{
public:
    ComApartment()
        : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))
    {
    }
    ~ComApartment()
    {
        Norlix::resetComponents();
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    ComApartment(const ComApartment &) = delete;
    ComApartment &operator=(const ComApartment &) = delete;

private:
    HRESULT m_result;
};
#else
class ComApartment
{
};
#endif

} // namespace

int runPrismor()
{
    if (!hasDisplay()) {
        std::fputs("Prismor needs a graphical desktop: no display is set (neither DISPLAY nor "
                   "WAYLAND_DISPLAY); start it from a desktop session, or over ssh -X.\n",
            stderr);
        return 1;
    }
    startNoSessionBus();
    [[maybe_unused]] const ComApartment apartment;

    // Prismor reads no command line, Qt's options included (-title, -style, -platform...): Qt
    // gets the program's name alone. Qt's environment variables still configure the platform.
    char programName[] = "Prismor";
    char *qtArgv[] = { programName, nullptr };
    int qtArgc = 1;
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Prismor"));
    QApplication::setDesktopFileName(QStringLiteral("prismor"));
    QApplication::setWindowIcon(applicationIcon());
    useArialAsDefaultFont();
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
