#include "check_bench.h"

#include "syscall_tally.h"

#include <components.h>
#include <main.h>
#include <message_box.h>
#include <plain_label.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
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
        const MessageBox::Recorder messages;
        Main window;
        window.show();
        waitUntilExposed(window);
        window.txtLetter->setText(letter);

        std::vector<double> handler;
        std::vector<double> withRepaint;
        for (int run = -runs.warmUpRuns;
             run < runs.runs && figures.fault.isEmpty() && messages.shown().isEmpty(); ++run) {
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
        if (!messages.shown().isEmpty())
            figures.fault = QStringLiteral("a message box said: ") + messages.texts().first();
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
