#pragma once

// A scripted Norlix installation for the window's, the check's and the fault tests: companies,
// settings and the accounts lock held in memory, every call written to a log with the working
// object it was made on, and the choice dialog answered from a list.

#include <choice_dialog.h>
#include <company_database.h>
#include <component_error.h>
#include <components.h>
#include <number_converter.h>

#include <QMap>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <deque>
#include <functional>
#include <memory>

struct FakeCompany
{
    QString location;
    QString fileName;
    bool databaseExists = true;
    QMap<QString, QString> settings; // "Companyname" is the name the window shows
};

struct ShownChoice
{
    QString title;
    QString message;
    QString buttons;
    QString style;
    int number = -1;
};

struct FakeNorlix
{
    // The installation.
    QMap<QString, FakeCompany> companies;
    QString currentLetter;
    QString lockHolder;
    // Replies given to "LOCK" requests before the lock model answers, one per request.
    std::deque<QString> scriptedLockReplies;
    // An operation named here (as in the log) raises ComponentError with this description.
    QString failingCall;
    QString failureDescription = QStringLiteral("The Norlix company database is not reachable.");
    // Runs on every operation once it is logged, before it answers or fails.
    std::function<void(const QString &call)> onCall;
    QMap<QString, double> numbers; // ToNumber's answers by text; others read with toDouble
    std::deque<QString> choiceAnswers;

    // What happened.
    QStringList calls;
    // For each call, the working object it was made on: company database objects and converters
    // are numbered from 1 in the order they were handed out; the choice dialog has none (0).
    QList<int> objectOfCall;
    int workingObjectsMade = 0;
    QList<QVariant> toNumberArguments;
    QList<ShownChoice> choices;
    int databaseObjectsFetched = 0;
    int converterObjectsFetched = 0;
    bool dialogAnswersRanOut = false;

    [[nodiscard]] QStringList lockCalls() const
    {
        return calls.filter(QStringLiteral("AccountsLock("));
    }
    [[nodiscard]] QStringList letterWrites() const
    {
        return calls.filter(QStringLiteral("CompanyLetter="));
    }
    // Each working object is meant for a single operation.
    [[nodiscard]] bool objectReused() const
    {
        QSet<int> seen;
        for (const int object : objectOfCall) {
            if (object != 0 && seen.contains(object))
                return true;
            seen.insert(object);
        }
        return false;
    }

    // Logs an operation; raises the scripted failure when it is the failing one.
    void record(const QString &call, int object)
    {
        calls << call;
        objectOfCall << object;
        if (onCall)
            onCall(call);
        if (!failingCall.isEmpty() && call == failingCall)
            throw Norlix::ComponentError(failureDescription);
    }

    // Makes these the components behind Norlix's SystemGlobal, NumberConverter and ChoiceDialog.
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

namespace FakeNorlixDetail {

// A working object with a number of its own, which every operation on it is logged with.
class WorkingObject
{
protected:
    explicit WorkingObject(FakeNorlix &state)
        : m_state(state)
        , m_number(++state.workingObjectsMade)
    {
    }
    FakeNorlix &use(const QString &call)
    {
        m_state.record(call, m_number);
        return m_state;
    }

private:
    FakeNorlix &m_state;
    int m_number;
};

class Database : public Norlix::CompanyDatabase, WorkingObject
{
public:
    explicit Database(FakeNorlix &state)
        : WorkingObject(state)
    {
    }

    bool FileExists(const QString &path) override
    {
        auto &s = use(QStringLiteral("FileExists(%1)").arg(path));
        for (const FakeCompany &company : s.companies)
            if (company.databaseExists && company.location + company.fileName == path)
                return true;
        return false;
    }
    QString CompanySetting(const QString &key) override
    {
        auto &s = use(QStringLiteral("CompanySetting(%1)").arg(key));
        return s.companies.value(s.currentLetter).settings.value(key);
    }
    QString DatabaseLocation() override
    {
        auto &s = use(QStringLiteral("DatabaseLocation"));
        return s.companies.value(s.currentLetter).location;
    }
    QString DatabaseFileName() override
    {
        auto &s = use(QStringLiteral("DatabaseFileName"));
        return s.companies.value(s.currentLetter).fileName;
    }
    void CompanyLetter(const QString &letter) override
    {
        use(QStringLiteral("CompanyLetter=%1").arg(letter)).currentLetter = letter;
    }
    QString CompanyLetter() override { return use(QStringLiteral("CompanyLetter?")).currentLetter; }
    QString LockOwner(const QString &lockName) override
    {
        return use(QStringLiteral("LockOwner(%1)").arg(lockName)).lockHolder;
    }
    QString AccountsLock(const QString &workstation, const QString &action) override
    {
        auto &s = use(QStringLiteral("AccountsLock(%1,%2)").arg(workstation, action));
        if (action == QLatin1String("LOCK")) {
            if (!s.scriptedLockReplies.empty()) {
                const QString reply = s.scriptedLockReplies.front();
                s.scriptedLockReplies.pop_front();
                return reply;
            }
            if (s.lockHolder.isEmpty())
                s.lockHolder = workstation;
        } else if (action == QLatin1String("UNLOCK") && s.lockHolder == workstation) {
            s.lockHolder.clear();
        }
        return s.lockHolder;
    }
};

class SystemGlobal : public Norlix::CompanyDatabaseComponent
{
public:
    explicit SystemGlobal(FakeNorlix &state)
        : m_state(state)
    {
    }
    std::unique_ptr<Norlix::CompanyDatabase> Instance() override
    {
        ++m_state.databaseObjectsFetched;
        return std::make_unique<Database>(m_state);
    }

private:
    FakeNorlix &m_state;
};

class Converter : public Norlix::ConverterObject, WorkingObject
{
public:
    explicit Converter(FakeNorlix &state)
        : WorkingObject(state)
    {
    }
    double ToNumber(const QVariant &value) override
    {
        auto &s = use(QStringLiteral("ToNumber(%1)").arg(value.toString()));
        s.toNumberArguments << value;
        const QString text = value.toString();
        return s.numbers.contains(text) ? s.numbers.value(text) : text.toDouble();
    }
};

class NumberConverter : public Norlix::NumberConverterComponent
{
public:
    explicit NumberConverter(FakeNorlix &state)
        : m_state(state)
    {
    }
    std::unique_ptr<Norlix::ConverterObject> Converter() override
    {
        ++m_state.converterObjectsFetched;
        return std::make_unique<FakeNorlixDetail::Converter>(m_state);
    }

private:
    FakeNorlix &m_state;
};

class ChoiceDialog : public Norlix::ChoiceDialogComponent
{
public:
    explicit ChoiceDialog(FakeNorlix &state)
        : m_state(state)
    {
    }
    QString ShowChoice(const QString &title, const QString &message, const QString &buttons,
        const QString &style, int number) override
    {
        m_state.record(QStringLiteral("ShowChoice"), 0);
        m_state.choices << ShownChoice { title, message, buttons, style, number };
        if (m_state.choiceAnswers.empty()) {
            // A probe that keeps asking would never end: give up, and let the test see it.
            m_state.dialogAnswersRanOut = true;
            return QStringLiteral("Exit");
        }
        const QString answer = m_state.choiceAnswers.front();
        m_state.choiceAnswers.pop_front();
        return answer;
    }

private:
    FakeNorlix &m_state;
};

} // namespace FakeNorlixDetail

inline void FakeNorlix::install()
{
    Norlix::useComponentFactories(Norlix::ComponentFactories {
        [this] { return std::make_unique<FakeNorlixDetail::SystemGlobal>(*this); },
        [this] { return std::make_unique<FakeNorlixDetail::NumberConverter>(*this); },
        [this] { return std::make_unique<FakeNorlixDetail::ChoiceDialog>(*this); },
    });
}
