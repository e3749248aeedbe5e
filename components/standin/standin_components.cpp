#include "standin_components.h"

#include "../component_error.h"
#include "to_number.h"

#include <QFileInfo>

namespace Norlix {
namespace {

class StandInConverter : public ConverterObject
{
public:
    double ToNumber(const QVariant &value) override { return toNumber(value); }
};

class StandInNumberConverter : public NumberConverterComponent
{
public:
    std::unique_ptr<ConverterObject> Converter() override
    {
        return std::make_unique<StandInConverter>();
    }
};

[[noreturn]] void notInstalled()
{
    throw ComponentError(QStringLiteral("The Norlix installation was not found (run norlix init)."));
}

class StandInCompanyDatabase : public CompanyDatabase
{
public:
    bool FileExists(const QString &path) override { return QFileInfo(path).isFile(); }
    QString CompanySetting(const QString &) override { notInstalled(); }
    QString DatabaseLocation() override { notInstalled(); }
    QString DatabaseFileName() override { notInstalled(); }
    void CompanyLetter(const QString &) override { notInstalled(); }
    QString CompanyLetter() override { notInstalled(); }
    QString LockOwner(const QString &) override { notInstalled(); }
    QString AccountsLock(const QString &, const QString &) override { notInstalled(); }
};

class StandInSystemGlobal : public CompanyDatabaseComponent
{
public:
    std::unique_ptr<CompanyDatabase> Instance() override
    {
        return std::make_unique<StandInCompanyDatabase>();
    }
};

} // namespace

std::unique_ptr<CompanyDatabaseComponent> makeStandInSystemGlobal()
{
    return std::make_unique<StandInSystemGlobal>();
}

std::unique_ptr<NumberConverterComponent> makeStandInNumberConverter()
{
    return std::make_unique<StandInNumberConverter>();
}

} // namespace Norlix
