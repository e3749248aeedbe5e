#include "termination_signals.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// A signal handler may do next to nothing; it passes the signal on through this socket pair to
// the event loop, which closes the window.
int signalSockets[2] = { -1, -1 };
constexpr int handledSignals[] = { SIGTERM, SIGHUP, SIGINT };

extern "C" void passSignalOn(int signalNumber)
{
    const char byte = char(signalNumber);
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
}
#endif

#ifdef Q_OS_WIN
// Windows asks every program to end when the user logs off or the machine shuts down or
// restarts (WM_QUERYENDSESSION, then WM_ENDSESSION), and may end the process as soon as
// WM_ENDSESSION has been answered. So the window is closed there and then, as its frame would
// close it, even with a dialog of the check open: there is no later moment to wait for.
class SessionEndFilter : public QAbstractNativeEventFilter
{
public:
    explicit SessionEndFilter(const QPointer<QWidget> &window)
        : m_window(window)
    {
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const MSG *msg = static_cast<const MSG *>(message);
        if (msg->message != WM_ENDSESSION || !msg->wParam || !m_window)
            return false;
        const auto own = reinterpret_cast<HWND>(m_window->internalWinId());
        m_window->close();
        // Closing destroys the window's native window: Qt must not go on handling a message for
        // it, which would crash. Qt answers the other windows' messages as for every program.
        if (msg->hwnd != own)
            return false;
        *result = 0; // the message is processed
        return true;
    }

private:
    const QPointer<QWidget> &m_window;
};
#endif

} // namespace

TerminationSignals::TerminationSignals(QWidget *window)
    : m_window(window)
{
#ifdef Q_OS_WIN
    m_sessionEnd = std::make_unique<SessionEndFilter>(m_window);
    QCoreApplication::instance()->installNativeEventFilter(m_sessionEnd.get());
#endif
#ifdef Q_OS_UNIX
    if (signalSockets[0] != -1 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return;
    m_notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::closeWindow);

    struct sigaction action = {};
    action.sa_handler = passSignalOn;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : handledSignals)
        ::sigaction(signalNumber, &action, nullptr);
#endif
}

TerminationSignals::~TerminationSignals()
{
#ifdef Q_OS_WIN
    QCoreApplication::instance()->removeNativeEventFilter(m_sessionEnd.get());
#endif
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (const int signalNumber : handledSignals)
        ::signal(signalNumber, SIG_DFL);
    delete m_notifier;
    for (int &socket : signalSockets) {
        ::close(socket);
        socket = -1;
    }
#endif
}

void TerminationSignals::closeWindow()
{
#ifdef Q_OS_UNIX
    char byte = 0;
    [[maybe_unused]] const auto read = ::read(signalSockets[1], &byte, 1);
#endif
    closeWhenNoDialogIsOpen();
}

// A handler waiting in a modal dialog must first run to its end: ending the event loop under it
// would return from the dialog without an answer.
void TerminationSignals::closeWhenNoDialogIsOpen()
{
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(200, this, &TerminationSignals::closeWhenNoDialogIsOpen);
        return;
    }
    if (m_window)
        m_window->close();
}
