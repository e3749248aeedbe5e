// How the handlers run: each is connected through guarded(), which holds the window's policy for
// an error that no handler catches.

#include "error_policy.h"

#include "main.h"
#include "message_box.h"

#include <component_error.h>

#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QLineEdit>
#include <QPushButton>

#include <new>

namespace {

const QString unexpectedError = QStringLiteral("An unexpected error occurred; Prismor has to end.");

} // namespace

QString errorDescription(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Norlix::ComponentError &componentError) {
        return componentError.description();
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Prismor ran out of memory and has to end.");
    } catch (const std::exception &otherError) {
        return QString::fromLocal8Bit(otherError.what());
    } catch (...) {
        return unexpectedError;
    }
}

void Main::connectHandlers()
{
    connect(txtLetter, &QLineEdit::textChanged, this,
        [this] { guarded([this] { txtLetter_Change(); }); });
    // A check may wait in a Norlix component's own dialog, whose loop still delivers what Qt has
    // posted: Start and Exit then do nothing until the check is over.
    connect(cmdStart, &QPushButton::clicked, this, [this] {
        if (!m_checkRunning)
            guarded([this] {
                const QScopedValueRollback running(m_checkRunning, true);
                cmdStart_Click();
            });
    });
    connect(cmdExit, &QPushButton::clicked, this, [this] {
        if (!m_checkRunning)
            guarded([this] { cmdExit_Click(); });
    });
    // A desktop session that ends the application without closing its window still gets the
    // saved company back.
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(
            application, &QCoreApplication::aboutToQuit, this, [this] { restoreSavedCompany(); });
}

void Main::guarded(const std::function<void()> &handler)
{
    if (m_stage == Stage::Ending)
        return;
    try {
        handler();
    } catch (...) {
        endAfterError(errorDescription(std::current_exception()));
    }
}

void Main::endAfterError(const QString &description)
{
    const QString shown = description.isEmpty() ? unexpectedError : description;
    try {
        MessageBox::show(this, shown);
    } catch (...) {
    }
    restoreSavedCompany();
    unload(1);
}
