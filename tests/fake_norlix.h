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
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>

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

// How an operation fails: what it raises, or, for a fetch of a working object, no object at all.
enum class Raised { ComponentError, RuntimeError, BadAlloc, NotAnException, NoObject };

// Thrown by a component that breaks every rule: not even a std::exception.
struct ForeignFailure
{
    int call;
};

struct FakeNorlix
{
    // failAt()'s nth that fails every call of the operation.
    static constexpr int everyCall = 0;

    // The installation.
    QMap<QString, FakeCompany> companies;
    QString currentLetter;
    QString lockHolder;
    // Replies given to "LOCK" requests before the lock model answers, one per request.
    std::deque<QString> scriptedLockReplies;
    // What a failing operation raises when failAt() names no description of its own.
    QString failureDescription = QStringLiteral("The Norlix company database is not reachable.");
    // Runs on every operation once it is logged, before it answers or fails.
    std::function<void(const QString &call)> onCall;
    QMap<QString, double> numbers; // ToNumber's answers by text; others read with toDouble
    std::deque<QString> choiceAnswers;

    // What happened.
    // Every operation as "name #n", the nth of that name: the calls below, the fetches of working
    // objects ("Instance", "Converter") and the creation of each component ("SystemGlobal
    // creation", "NumberConverter creation", "ChoiceDialog creation").
    QStringList operations;
    int faultsRaised = 0;
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

    [[nodiscard]] QStringList lockCalls() const { return calls.filter(u"AccountsLock("); }
    [[nodiscard]] QStringList letterWrites() const { return calls.filter(u"CompanyLetter="); }
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

    // The one way to make Norlix fail: the nth call of the operation, named as in operations
    // (a call as in calls), fails as raised says.
    void failAt(const QString &operation, int nth = 1, Raised raised = Raised::ComponentError,
        const QString &description = {})
    {
        m_faults.append({ operation, nth, raised, description });
    }

    // Counts an operation and fails it when it is armed; false: give back no object.
    bool pass(const QString &operation)
    {
        const int call = ++m_counts[operation];
        operations << QStringLiteral("%1 #%2").arg(operation).arg(call);
        for (const Fault &fault : std::as_const(m_faults)) {
            if (fault.operation != operation || (fault.nth != everyCall && fault.nth != call))
                continue;
            ++faultsRaised;
            const QString description
                = fault.description.isEmpty() ? failureDescription : fault.description;
            switch (fault.raised) {
            case Raised::ComponentError:
                throw Norlix::ComponentError(description);
            case Raised::RuntimeError:
                throw std::runtime_error(description.toStdString());
            case Raised::BadAlloc:
                throw std::bad_alloc();
            case Raised::NotAnException:
                throw ForeignFailure { call };
            case Raised::NoObject:
                return false;
            }
        }
        return true;
    }

    // A company whose database is fileName in /srv/norlix/LETTER/, with the settings that are not
    // empty: its name, the month last compacted and the version.
    FakeCompany &addCompany(const QString &letter, const QString &fileName, bool databaseExists,
        const QString &name, const QString &tidyMonth = {}, const QString &version = {})
    {
        FakeCompany &company = companies[letter];
        company = { QStringLiteral("/srv/norlix/%1/").arg(letter), fileName, databaseExists, {} };
        const std::pair<const char *, QString> settings[] = { { "Companyname", name },
            { "AcctDBtidyMonth", tidyMonth }, { "CompanyVersNbr", version } };
        for (const auto &[key, value] : settings)
            if (!value.isEmpty())
                company.settings.insert(QString::fromLatin1(key), value);
        return company;
    }

    // Logs an operation on a working object, then passes it.
    void record(const QString &call, int object)
    {
        calls << call;
        objectOfCall << object;
        if (onCall)
            onCall(call);
        pass(call);
    }

    // Forgets what start-up did, so that a test sees only its own calls.
    void forgetCalls()
    {
        calls.clear();
        objectOfCall.clear();
        databaseObjectsFetched = 0;
    }

    // Each working object serves a single operation, and each operation on the company database
    // had one fetched for it.
    [[nodiscard]] bool everyCallOnAFreshObject() const
    {
        const auto databaseCalls
            = std::count_if(calls.cbegin(), calls.cend(), [](const QString &call) {
                  return !call.startsWith(QLatin1String("ToNumber"))
                      && call != QLatin1String("ShowChoice");
              });
        return !objectReused() && databaseObjectsFetched == databaseCalls;
    }

    // The workstation name that an "AccountsLock(NAME,ACTION)" call asked under.
    [[nodiscard]] static QString workstationOf(const QString &lockCall)
    {
        return lockCall.section(QLatin1Char('('), 1).section(QLatin1Char(','), 0, 0);
    }

    // Makes these the components behind Norlix's SystemGlobal, NumberConverter and ChoiceDialog.
    void install();

private:
    struct Fault
    {
        QString operation;
        int nth;
        Raised raised;
        QString description;
    };
    QList<Fault> m_faults;
    QMap<QString, int> m_counts;
};

// The temporary names drawn for a workstation without one: TEMP0 to TEMP10000.
[[nodiscard]] inline bool isTempName(const QString &name)
{
    static const QRegularExpression form(QStringLiteral("^TEMP(0|[1-9][0-9]{0,4})$"));
    return form.match(name).hasMatch() && name.mid(4).toInt() <= 10000;
}

namespace FakeNorlixDetail {

// A working object with a number of its own, which every operation on it is logged with.
class WorkingObject
{
public:
    explicit WorkingObject(FakeNorlix &state)
        : m_state(state)
        , m_number(++state.workingObjectsMade)
    {
    }

protected:
    FakeNorlix &use(const QString &call)
    {
        m_state.record(call, m_number);
        return m_state;
    }

private:
    FakeNorlix &m_state;
    int m_number;
};

// A component: it answers from the installation's state.
template<typename Interface> class Component : public Interface
{
public:
    explicit Component(FakeNorlix &state)
        : m_state(state)
    {
    }

protected:
    FakeNorlix &m_state;
};

class Database : public Norlix::CompanyDatabase, WorkingObject
{
public:
    using WorkingObject::WorkingObject;

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

class SystemGlobal : public Component<Norlix::CompanyDatabaseComponent>
{
public:
    using Component::Component;
    std::unique_ptr<Norlix::CompanyDatabase> Instance() override
    {
        ++m_state.databaseObjectsFetched;
        if (!m_state.pass(QStringLiteral("Instance")))
            return nullptr;
        return std::make_unique<Database>(m_state);
    }
};

class Converter : public Norlix::ConverterObject, WorkingObject
{
public:
    using WorkingObject::WorkingObject;
    double ToNumber(const QVariant &value) override
    {
        auto &s = use(QStringLiteral("ToNumber(%1)").arg(value.toString()));
        s.toNumberArguments << value;
        const QString text = value.toString();
        return s.numbers.contains(text) ? s.numbers.value(text) : text.toDouble();
    }
};

class NumberConverter : public Component<Norlix::NumberConverterComponent>
{
public:
    using Component::Component;
    std::unique_ptr<Norlix::ConverterObject> Converter() override
    {
        ++m_state.converterObjectsFetched;
        if (!m_state.pass(QStringLiteral("Converter")))
            return nullptr;
        return std::make_unique<FakeNorlixDetail::Converter>(m_state);
    }
};

class ChoiceDialog : public Component<Norlix::ChoiceDialogComponent>
{
public:
    using Component::Component;
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
};

} // namespace FakeNorlixDetail

// Creating a component is an operation of its own: the first use that finds the reference empty.
inline void FakeNorlix::install()
{
    Norlix::useComponentFactories(Norlix::ComponentFactories {
        [this] {
            pass(QStringLiteral("SystemGlobal creation"));
            return std::make_unique<FakeNorlixDetail::SystemGlobal>(*this);
        },
        [this] {
            pass(QStringLiteral("NumberConverter creation"));
            return std::make_unique<FakeNorlixDetail::NumberConverter>(*this);
        },
        [this] {
            pass(QStringLiteral("ChoiceDialog creation"));
            return std::make_unique<FakeNorlixDetail::ChoiceDialog>(*this);
        },
    });
}
