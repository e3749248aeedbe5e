#pragma once

#include <QString>

#include <memory>

namespace Norlix {

// The working object of the CompanyDatabase component. Every operation works on the company that
// is current for this user; a failure is raised as ComponentError.
class CompanyDatabase
{
public:
    virtual ~CompanyDatabase() = default;

    [[nodiscard]] virtual bool FileExists(const QString &path) = 0;
    [[nodiscard]] virtual QString CompanySetting(const QString &key) = 0;
    // Ends with a path separator, so that DatabaseLocation() + DatabaseFileName() is the path.
    [[nodiscard]] virtual QString DatabaseLocation() = 0;
    [[nodiscard]] virtual QString DatabaseFileName() = 0;
    // Makes that company current for every later operation, in this and other processes.
    virtual void CompanyLetter(const QString &letter) = 0;
    [[nodiscard]] virtual QString CompanyLetter() = 0;
    // The workstation holding the named lock ("LA": the accounts), or empty text.
    [[nodiscard]] virtual QString LockOwner(const QString &lockName) = 0;
    // action is "LOCK" or "UNLOCK"; gives back the holder of the accounts lock afterwards, so a
    // LOCK succeeded exactly when it gives back the name passed in.
    virtual QString AccountsLock(const QString &workstation, const QString &action) = 0;
};

// The component itself: the process keeps one and fetches a fresh working object from it for
// each operation.
class CompanyDatabaseComponent
{
public:
    virtual ~CompanyDatabaseComponent() = default;
    [[nodiscard]] virtual std::unique_ptr<CompanyDatabase> Instance() = 0;
};

} // namespace Norlix
