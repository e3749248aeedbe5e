// The company's database version, from its setting "CompanyVersNbr".

#include "version_text.h"

#include <fresh_objects.h>
#include <main.h>

#include <QVariant>

double Main::GetDatabaseVersion()
{
    const QString setting
        = freshCompanyDatabase()->CompanySetting(QStringLiteral("CompanyVersNbr"));
    return freshConverter()->ToNumber(QVariant(cutVersionText(setting)));
}
