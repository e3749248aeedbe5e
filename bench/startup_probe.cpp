// Linked into a window program beside its unchanged main() to time its start-up from outside:
// when the program's first top-level window has been shown (exposed on screen) and the event
// loop first has nothing left to do, the probe writes
//     ready <CLOCK_MONOTONIC ns> <window width>x<window height>
// to standard output and ends the process at once, so that the parent also reads the peak
// memory of exactly that start-up from the child's resource usage.
//
// Nothing here is part of Prismor: the probe only joins the benchmark's copies of the programs.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

class StartupProbe : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && !m_shown) {
            auto *window = qobject_cast<QWindow *>(watched);
            if (window && window->isTopLevel() && window->isExposed()) {
                m_shown = true;
                m_size = window->size();
                waitForIdle();
            }
        }
        return false;
    }

private:
    // The expose is handled (painted) after this filter returns; the next time the loop is
    // about to block, every event of the start-up has been dealt with.
    void waitForIdle()
    {
        auto *dispatcher = QAbstractEventDispatcher::instance();
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            std::printf("ready %lld %dx%d\n", monotonicNanoseconds(), m_size.width(),
                        m_size.height());
            std::fflush(stdout);
            std::_Exit(0);
        });
    }

    bool m_shown = false;
    QSize m_size;
};

void installStartupProbe()
{
    QCoreApplication::instance()->installEventFilter(new StartupProbe);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installStartupProbe)
