#pragma once

// A scripted Norlix installation for the check's tests: companies, settings and the accounts
// lock held in memory, every call written to a log, and the choice dialog answered from a list.

#include <choice_dialog.h>
#include <company_database.h>
#include <component_error.h>
#include <components.h>
#include <number_converter.h>

#include <QMap>
#include <QStringList>
#include <QVariant>

#include <deque>
#include <optional>

struct FakeCompany
{
    QString location;
    QString fileName;
    bool databaseExists = true;
    QMap<QString, QString> settings;
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
    QString failureDescription;
    QMap<QString, double> numbers; // ToNumber's answers by text; others read with toDouble
    std::deque<QString> choiceAnswers;

    // What happened.
    QStringList calls;
    QList<QVariant> toNumberArguments;
    QList<ShownChoice> choices;
    int databaseObjectsFetched = 0;
    int converterObjectsFetched = 0;
    bool objectReused = false;
    bool dialogAnswersRanOut = false;

    [[nodiscard]] QStringList lockCalls() const
    {
        return calls.filter(QStringLiteral("AccountsLock("));
    }
    void install();
};

namespace FakeNorlixDetail {

// Counts the operations on one working object: each is meant for a single operation.
class SingleUse
{
protected:
    explicit SingleUse(FakeNorlix &state)
        : m_state(state)
    {
    }
    FakeNorlix &use(const QString &call)
    {
        if (++m_operations > 1)
            m_state.objectReused = true;
        m_state.calls << call;
        if (!m_state.failingCall.isEmpty() && call == m_state.failingCall)
            throw Norlix::ComponentError(m_state.failureDescription);
        return m_state;
    }

private:
    FakeNorlix &m_state;
    int m_operations = 0;
};

class Database : public Norlix::CompanyDatabase, SingleUse
{
public:
    explicit Database(FakeNorlix &state)
        : SingleUse(state)
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

class Converter : public Norlix::ConverterObject, SingleUse
{
public:
    explicit Converter(FakeNorlix &state)
        : SingleUse(state)
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
        m_state.calls << QStringLiteral("ShowChoice");
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
