#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class QAbstractNativeEventFilter;
class QSocketNotifier;
class QWidget;

// While it lives, the end of the session closes the window as its frame would, so that it ends
// the way a close by the user does instead of dying on the spot. On Unix that is SIGTERM, SIGHUP
// and SIGINT (the desktop session or the system ending the process, its terminal closing,
// Ctrl+C); while a dialog of the window is open, the close waits until it has been answered. On
// Windows it is the log-off, shut-down or restart that Windows announces to every program, and
// the window closes at once. Only one may exist at a time.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QWidget *window);
    ~TerminationSignals() override;

private:
    void closeWindow();
    void closeWhenNoDialogIsOpen();

    QPointer<QWidget> m_window;
    QSocketNotifier *m_notifier = nullptr;
    std::unique_ptr<QAbstractNativeEventFilter> m_sessionEnd;
};
