#include "standin_components.h"

#include "company_file.h"
#include "installation.h"
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

// Every operation reads the current company afresh, so that a company made current by another
// process (or another object) counts at once. Each opens the files it needs and closes them
// before it returns: the component holds nothing of the installation open between operations.
class StandInCompanyDatabase : public CompanyDatabase
{
public:
    explicit StandInCompanyDatabase(const Installation &installation)
        : m_installation(installation)
    {
    }

    bool FileExists(const QString &path) override { return QFileInfo(path).isFile(); }
    QString CompanySetting(const QString &key) override { return currentFile().setting(key); }
    QString DatabaseLocation() override { return currentCompany().location; }
    QString DatabaseFileName() override { return currentCompany().fileName; }
    void CompanyLetter(const QString &letter) override { m_installation.setCurrentLetter(letter); }
    QString CompanyLetter() override { return m_installation.currentLetter(); }
    QString LockOwner(const QString &lockName) override
    {
        return currentFile().lockOwner(lockName);
    }
    QString AccountsLock(const QString &workstation, const QString &action) override
    {
        return currentFile().accountsLock(workstation, action);
    }

private:
    [[nodiscard]] CompanyEntry currentCompany() const { return m_installation.currentCompany(); }

    [[nodiscard]] CompanyFile currentFile() const
    {
        const CompanyEntry company = currentCompany();
        return CompanyFile(company.letter, company.path());
    }

    Installation m_installation;
};

class StandInSystemGlobal : public CompanyDatabaseComponent
{
public:
    explicit StandInSystemGlobal(Installation installation)
        : m_installation(std::move(installation))
    {
    }

    std::unique_ptr<CompanyDatabase> Instance() override
    {
        return std::make_unique<StandInCompanyDatabase>(m_installation);
    }

private:
    Installation m_installation;
};

} // namespace

std::unique_ptr<CompanyDatabaseComponent> makeStandInSystemGlobal()
{
    Installation installation(Installation::homeFromEnvironment());
    installation.requireExists();
    return std::make_unique<StandInSystemGlobal>(std::move(installation));
}

std::unique_ptr<NumberConverterComponent> makeStandInNumberConverter()
{
    return std::make_unique<StandInNumberConverter>();
}

} // namespace Norlix
