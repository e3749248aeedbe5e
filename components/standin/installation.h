#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace Norlix {

class SqliteConnection;
struct DatabaseAccess;

// A company as the register knows it.
struct CompanyEntry
{
    QString letter;
    QString name;
    QString location; // ends with a path separator
    QString fileName;

    [[nodiscard]] QString path() const { return location + fileName; }
};

// Raises ComponentError unless text is a company letter.
void requireCompanyLetter(const QString &text);

// The stand-in Norlix installation: a folder holding the register of companies (register.sqlite)
// and, by default, each company's database under companies/<letter>/. The register also keeps
// each user's current company.
class Installation
{
public:
    explicit Installation(QString home);

    // NORLIX_HOME when it is set, otherwise the per-user default.
    [[nodiscard]] static QString homeFromEnvironment();
    [[nodiscard]] static QString defaultHome();

    [[nodiscard]] const QString &home() const { return m_home; }
    [[nodiscard]] QString registerPath() const;
    [[nodiscard]] bool exists() const;
    // Raises ComponentError when there is no installation in the folder.
    void requireExists() const;
    // Creates the folder and an empty register; an existing installation is left as it is.
    // Gives back false when there was one already.
    bool create();

    // Where Norlix keeps the database of a company that was added without a location or file.
    [[nodiscard]] QString defaultLocation(const QString &letter) const;
    [[nodiscard]] static QString defaultFileName(const QString &letter);

    [[nodiscard]] std::optional<CompanyEntry> company(const QString &letter) const;
    // The registered company, or for an unregistered letter the place where its file would be.
    [[nodiscard]] CompanyEntry companyOrDefault(const QString &letter) const;
    [[nodiscard]] QList<CompanyEntry> companies() const;
    // Registers a company, creating its database first when withDatabase is set; raises
    // ComponentError when the letter is registered already. An empty location or file name
    // means the default one.
    void addCompany(CompanyEntry entry, bool withDatabase);
    // Registers the company anew, or for the first time, in one transaction with the changes that
    // changeDatabase makes to its existing database, which it finds attached as schema "company":
    // both files change or neither. Without changeDatabase only the register changes.
    void putCompany(const CompanyEntry &entry,
        const std::function<void(SqliteConnection &)> &changeDatabase = {});
    // Takes the company out of the register; its database file stays where it is. Gives back
    // false when the letter was not registered.
    bool removeCompany(const QString &letter);

    // This user's current company; "A" until one has been made current.
    [[nodiscard]] QString currentLetter() const;
    void setCurrentLetter(const QString &letter);
    // companyOrDefault(currentLetter()), read at one time.
    [[nodiscard]] CompanyEntry currentCompany() const;

private:
    [[nodiscard]] DatabaseAccess registerAccess() const;
    [[nodiscard]] QString notFound() const;
    // Where the file of a company that is not registered would be.
    [[nodiscard]] CompanyEntry unregistered(const QString &letter) const;

    QString m_home;
};

// The name under which the current company is kept for the user running this process.
[[nodiscard]] QString currentUserName();

} // namespace Norlix
