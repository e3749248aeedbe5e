#pragma once

#include <QObject>
#include <QPointer>

class QSocketNotifier;
class QWidget;

// While it lives, SIGTERM, SIGHUP and SIGINT (the desktop session or the system ending the
// process, its terminal closing, Ctrl+C) close the window as its frame would, so that it ends
// the way a close by the user does instead of dying on the spot; while a dialog of the window is
// open, the close waits until it has been answered. Only one may exist at a time.
// Does nothing where there are no such signals.
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
};
