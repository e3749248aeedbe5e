// What Start does: the check of one company and its report in lblResults.

#include "version_text.h"

#include <fresh_objects.h>
#include <main.h>
#include <one_line.h>
#include <plain_label.h>

#include <QLineEdit>

namespace {

const QString versionNotYetSet = QStringLiteral(" ** not yet set (by Norlix when it starts up) **");

} // namespace

void Main::cmdStart_Click()
{
    lblResults->setCaption(QString());
    const QString letter = txtLetter->text();
    if (!SelectCompany(letter))
        return;

    // Each value stays inside its line, so that what Norlix stores cannot add lines of its own.
    AddResult(QStringLiteral("Checking database of Company ") + onOneLine(letter));
    AddResult(QStringLiteral("WorkStation name: ") + onOneLine(WorkstationName));
    AddResult(QStringLiteral("Database location: ")
        + onOneLine(freshCompanyDatabase()->DatabaseLocation()));
    AddResult(QStringLiteral("    Last compacted in month ")
        + onOneLine(freshCompanyDatabase()->CompanySetting(QStringLiteral("AcctDBtidyMonth"))));

    const double version = GetDatabaseVersion();
    AddResult(QStringLiteral("    Database version ")
        + (version != 0 ? onOneLine(generalNumberText(version)) : versionNotYetSet));

    AddResult(QStringLiteral("Attempting to lock and unlock the accounts"));
    if (TryLockAccounts())
        AddResult(QStringLiteral("Success -- accounts could be locked by this Workstation"));
    else
        AddResult(QStringLiteral("Failure -- accounts could not be locked"));
    AddResult(QStringLiteral("Finished"));
}

void Main::AddResult(const QString &line)
{
    lblResults->setCaption(lblResults->caption() + line + QStringLiteral("\r\n"));
}
