#include "demo.h"

#include "../component_error.h"
#include "company_file.h"
#include "installation.h"

#include <QFile>
#include <QFileInfo>

namespace Norlix {
namespace {

struct DemoCompany
{
    const char *letter;
    const char *name;
    const char *tidyMonth; // empty: no database
    const char *version; // empty: not recorded yet
};

constexpr DemoCompany demoCompanies[] = {
    { "A", "Alder Joinery Ltd", "2025-10", "V6.123" },
    { "B", "Birchwood Bakery", "", "" },
    { "C", "Cedar Lane Cafe", "2025-08", "V6.120" },
    { "D", "Dogwood Designs", "2025-09", "" },
};

// The demo keeps its companies at their default places, so a refresh never touches a database
// that was registered elsewhere by hand.
void resetDemoCompany(Installation &installation, const DemoCompany &demo)
{
    const QString letter = QString::fromLatin1(demo.letter);
    const CompanyEntry entry { letter, QString::fromUtf8(demo.name),
        installation.defaultLocation(letter), Installation::defaultFileName(letter) };
    const bool withDatabase = *demo.tidyMonth != '\0';
    CompanyFile file(letter, entry.path());
    // The file is dealt with before the register changes, so that a damaged database stops the
    // demo with the register as it was.
    if (withDatabase)
        file.create();
    else if (QFileInfo::exists(entry.path()) && !QFile::remove(entry.path()))
        throw ComponentError(
            QStringLiteral("The demo database %1 could not be removed.").arg(entry.path()));
    installation.removeCompany(letter);
    installation.addCompany(entry, withDatabase);
    if (!withDatabase)
        return;

    file.setSetting(QStringLiteral("Companyname"), entry.name);
    file.setSetting(QStringLiteral("AcctDBtidyMonth"), QString::fromLatin1(demo.tidyMonth));
    if (*demo.version)
        file.setSetting(QStringLiteral("CompanyVersNbr"), QString::fromLatin1(demo.version));
    else
        file.removeSetting(QStringLiteral("CompanyVersNbr"));
    file.releaseLock(QString::fromLatin1(accountsLockName));
}

} // namespace

void createDemoInstallation(Installation &installation)
{
    installation.create();
    for (const DemoCompany &demo : demoCompanies)
        resetDemoCompany(installation, demo);
    CompanyFile lockedCompany(
        QStringLiteral("C"), installation.companyOrDefault(QStringLiteral("C")).path());
    lockedCompany.accountsLock(QString::fromLatin1(demoLockHolder), QStringLiteral("LOCK"));
}

} // namespace Norlix
