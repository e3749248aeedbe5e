#pragma once

// Shared by the window's tests: a scripted Norlix company database that records every call and
// the working object it was made on, and a test main that keeps the real settings store and the
// stand-in installation inside a temporary folder.

#include <components/component_error.h>
#include <components/components.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

struct ScriptedCompany
{
    QString location;
    QString fileName;
    QString name;
    bool databaseExists = true;
};

struct ScriptedNorlix
{
    QMap<QString, ScriptedCompany> companies;
    QString currentLetter;
    // The operation named here (as in calls) raises ComponentError with failureDescription.
    QString failingCall;
    QString failureDescription = QStringLiteral("The Norlix company database is not reachable.");
    // Runs on every operation, before it answers.
    std::function<void(const QString &call)> onCall;

    QStringList calls;
    // For each call, the number of the working object it was made on (1 for the first fetched).
    QList<int> objectOfCall;
    int objectsFetched = 0;

    [[nodiscard]] QStringList letterWrites() const
    {
        return calls.filter(QStringLiteral("CompanyLetter="));
    }

    // Makes this the component behind Norlix::SystemGlobal().
    void install();
};

// A SystemGlobal that cannot be created: Norlix is not installed or will not start.
inline void installUnavailableNorlix()
{
    Norlix::ComponentFactories factories;
    factories.systemGlobal = []() -> std::unique_ptr<Norlix::CompanyDatabaseComponent> {
        throw Norlix::ComponentError(
            QStringLiteral("The Norlix company database component could not be created."));
    };
    Norlix::useComponentFactories(std::move(factories));
}

namespace ScriptedNorlixDetail {

class Database : public Norlix::CompanyDatabase
{
public:
    Database(ScriptedNorlix &state, int number)
        : m_state(state)
        , m_number(number)
    {
    }

    bool FileExists(const QString &path) override
    {
        record(QStringLiteral("FileExists(%1)").arg(path));
        for (const ScriptedCompany &company : std::as_const(m_state.companies))
            if (company.databaseExists && company.location + company.fileName == path)
                return true;
        return false;
    }
    QString CompanySetting(const QString &key) override
    {
        record(QStringLiteral("CompanySetting(%1)").arg(key));
        return key == QLatin1String("Companyname") ? current().name : QString();
    }
    QString DatabaseLocation() override
    {
        record(QStringLiteral("DatabaseLocation"));
        return current().location;
    }
    QString DatabaseFileName() override
    {
        record(QStringLiteral("DatabaseFileName"));
        return current().fileName;
    }
    void CompanyLetter(const QString &letter) override
    {
        record(QStringLiteral("CompanyLetter=%1").arg(letter));
        m_state.currentLetter = letter;
    }
    QString CompanyLetter() override
    {
        record(QStringLiteral("CompanyLetter?"));
        return m_state.currentLetter;
    }
    QString LockOwner(const QString &lockName) override
    {
        record(QStringLiteral("LockOwner(%1)").arg(lockName));
        return QString();
    }
    QString AccountsLock(const QString &workstation, const QString &action) override
    {
        record(QStringLiteral("AccountsLock(%1,%2)").arg(workstation, action));
        return action == QLatin1String("LOCK") ? workstation : QString();
    }

private:
    void record(const QString &call)
    {
        m_state.calls << call;
        m_state.objectOfCall << m_number;
        if (m_state.onCall)
            m_state.onCall(call);
        if (call == m_state.failingCall)
            throw Norlix::ComponentError(m_state.failureDescription);
    }
    [[nodiscard]] ScriptedCompany current() const
    {
        return m_state.companies.value(m_state.currentLetter);
    }

    ScriptedNorlix &m_state;
    int m_number;
};

class SystemGlobal : public Norlix::CompanyDatabaseComponent
{
public:
    explicit SystemGlobal(ScriptedNorlix &state)
        : m_state(state)
    {
    }
    std::unique_ptr<Norlix::CompanyDatabase> Instance() override
    {
        return std::make_unique<Database>(m_state, ++m_state.objectsFetched);
    }

private:
    ScriptedNorlix &m_state;
};

} // namespace ScriptedNorlixDetail

inline void ScriptedNorlix::install()
{
    Norlix::ComponentFactories factories;
    factories.systemGlobal
        = [this] { return std::make_unique<ScriptedNorlixDetail::SystemGlobal>(*this); };
    Norlix::useComponentFactories(std::move(factories));
}

// Like QTEST_MAIN, but first points the per-user settings store (XDG_CONFIG_HOME) and the Norlix
// installation (NORLIX_HOME) into a temporary folder, before anything can read them.
#define PRISMOR_WINDOW_TEST_MAIN(TestClass)                                                        \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QTemporaryDir sandbox;                                                                     \
        if (!sandbox.isValid())                                                                    \
            return 1;                                                                              \
        QDir(sandbox.path()).mkpath(QStringLiteral("config"));                                     \
        QDir(sandbox.path()).mkpath(QStringLiteral("norlix"));                                     \
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.filePath(QStringLiteral("config")))); \
        qputenv("NORLIX_HOME", QFile::encodeName(sandbox.filePath(QStringLiteral("norlix"))));     \
        QApplication application(argc, argv);                                                      \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
