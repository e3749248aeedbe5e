#include "check_bench.h"

#include "syscall_tally.h"

#include <components.h>
#include <main.h>
#include <plain_label.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QWindow>

#include <vector>

namespace {

// The check of a company whose accounts are free never shows the choice dialog. Should another
// workstation hold the lock after all, the benchmark answers Exit instead of waiting for a user,
// and says that its figures are not those of a plain check.
class ExitAnswer : public Norlix::ChoiceDialogComponent
{
public:
    explicit ExitAnswer(QString *fault)
        : m_fault(fault)
    {
    }

    QString ShowChoice(
        const QString &, const QString &, const QString &, const QString &, int) override
    {
        *m_fault = QStringLiteral("the accounts were locked elsewhere; the dialog was shown");
        return QStringLiteral("Exit");
    }

private:
    QString *m_fault;
};

// A message box means that the check failed: its text becomes the fault, and it is closed at
// once instead of waiting for a user.
class MessageBoxFault : public QObject
{
public:
    explicit MessageBoxFault(QString *fault)
        : m_fault(fault)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = event->type() == QEvent::Show ? qobject_cast<QMessageBox *>(watched) : nullptr;
        if (box) {
            if (m_fault->isEmpty())
                *m_fault = QStringLiteral("a message box said: ") + box->text();
            // The box's own loop starts after this event; the close waits for it.
            QMetaObject::invokeMethod(
                box, [box] { box->done(0); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QString *m_fault;
};

void waitUntilExposed(QWidget &window)
{
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
}

double elapsedMilliseconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

CheckFigures timeChecks(const QString &letter, const CheckRuns &runs)
{
    CheckFigures figures;
    Norlix::useComponentFactories(
        { {}, {}, [&figures] { return std::make_unique<ExitAnswer>(&figures.fault); } });

    {
        const MessageBoxFault messages(&figures.fault);
        Main window;
        window.show();
        waitUntilExposed(window);
        window.txtLetter->setText(letter);

        std::vector<double> handler;
        std::vector<double> withRepaint;
        for (int run = -runs.warmUpRuns; run < runs.runs && figures.fault.isEmpty(); ++run) {
            const bool marked = runs.marked && run >= 0;
            if (marked)
                markOperationStart();
            QElapsedTimer timer;
            timer.start();
            window.cmdStart_Click();
            const double handlerTime = elapsedMilliseconds(timer);
            if (marked)
                markOperationEnd();
            QCoreApplication::processEvents();
            if (run >= 0) {
                handler.push_back(handlerTime);
                withRepaint.push_back(elapsedMilliseconds(timer));
            }
        }
        figures.handlerMilliseconds = summarise(handler);
        figures.withRepaintMilliseconds = summarise(withRepaint);
        figures.report = window.lblResults->caption();
        window.hide();
    }

    Norlix::resetComponents();
    if (figures.fault.isEmpty() && !figures.report.endsWith(QStringLiteral("Finished\r\n")))
        figures.fault = QStringLiteral("the check did not finish");
    return figures;
}
