// Start-up and exit of the window Main: the load event, noting the company that is current and
// putting it back however the utility ends.

#include "main.h"

#include "plain_label.h"
#include "surrounding_spaces.h"

#include <fresh_objects.h>
#include <user_settings.h>

#include <QCloseEvent>
#include <QShowEvent>

#include <cstdio>
#include <cstdlib>

namespace {

// The window whose saved company an exit() of the process puts back (see restoreAtExitToo).
Main *windowRestoredAtExit = nullptr;

const QString crlf = QStringLiteral("\r\n");

// Runs one step of a sequence whose errors are ignored, one statement at a time.
template<typename Step> void ignoringErrors(Step step)
{
    try {
        step();
    } catch (...) {
    }
}

} // namespace

Main::~Main()
{
    if (windowRestoredAtExit == this)
        windowRestoredAtExit = nullptr;
}

void Main::showEvent(QShowEvent *event)
{
    if (m_stage == Stage::Created) {
        m_stage = Stage::Loading;
        guarded([this] { Form_Load(); });
        if (m_stage == Stage::Loading)
            m_stage = Stage::Open;
    }
    QWidget::showEvent(event);
}

void Main::closeEvent(QCloseEvent *event)
{
    if (m_stage != Stage::Ending) {
        restoreSavedCompany();
        m_stage = Stage::Ending;
        emit ended(0);
    }
    event->accept();
}

void Main::Form_Load()
{
    InitialiseForm();
}

void Main::InitialiseForm()
{
    lblInstr->setCaption(QStringLiteral("Program to check Norlix Database version.") + crlf);
    lblInstr->setCaption(lblInstr->caption()
        + QStringLiteral("This does not affect or change any data so it is safe "
                         "to use at any time.")
        + crlf + crlf);
    lblInstr->setCaption(lblInstr->caption()
        + QStringLiteral("First select which company letter you wish to check."));

    // From here on a failing step leaves its field empty and start-up carries on.
    if (m_savedCompany == SavedCompany::NotNoted)
        m_savedCompany = SavedCompany::Noted;
    ignoringErrors([this] { SavedCompanyLetter = freshCompanyDatabase()->CompanyLetter(); });
    restoreAtExitToo();
    ignoringErrors([this] {
        const QString name = Norlix::readUserSetting(
            QStringLiteral("Norlix6"), QStringLiteral("ThisPC"), QStringLiteral("WStnName"));
        WorkstationName = withoutSurroundingSpaces(name.toUpper());
    });
}

void Main::cmdExit_Click()
{
    restoreSavedCompany();
    unload(0);
}

void Main::restoreSavedCompany()
{
    if (m_savedCompany != SavedCompany::Noted)
        return;
    m_savedCompany = SavedCompany::Restored;
    ignoringErrors([this] { freshCompanyDatabase()->CompanyLetter(SavedCompanyLetter); });
}

// Qt's X11 platform ends the process with exit(1) when its connection to the X server breaks (the
// X server, or the Wayland desktop that runs it, has gone), without closing any window; exit()
// still runs the handlers registered with atexit. This one is registered after the components'
// references came to exist, so it runs while they still do.
void Main::restoreAtExitToo()
{
    static const bool registered = std::atexit(&Main::restoreAtExit) == 0;
    if (registered)
        windowRestoredAtExit = this;
}

void Main::restoreAtExit()
{
    if (!windowRestoredAtExit)
        return;
    windowRestoredAtExit->restoreSavedCompany();
    // The window is still there, so the process is ending from under it, its display gone (Qt and
    // Xlib both end with status 1 then). Tearing Qt down from here would only risk a crash once
    // the company is back; the process ends at once instead.
    std::fflush(nullptr);
    std::_Exit(1);
}

void Main::unload(int status)
{
    if (m_stage == Stage::Ending)
        return;
    const bool loading = m_stage == Stage::Loading;
    m_stage = Stage::Ending;
    emit ended(status);
    // Closing from inside the first show would leave the window half shown; close once it is.
    if (loading)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    else
        close();
}
