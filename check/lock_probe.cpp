// The accounts lock probe: take the lock in this workstation's name and give it straight back.

#include "give_back_clock.h"
#include "shell_word.h"
#include "temp_name.h"

#include <component_error.h>
#include <components.h>
#include <error_policy.h>
#include <fresh_objects.h>
#include <main.h>
#include <one_line.h>

#include <QApplication>
#include <QLineEdit>

#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <random>

namespace {

const QString lockAction = QStringLiteral("LOCK");
const QString unlockAction = QStringLiteral("UNLOCK");

const QString cautionTitle = QStringLiteral("CAUTION");
const QString cautionMessage = QStringLiteral(
    "Cannot lock the accounts. If another person is using Norlix, ask them to Exit and then you "
    "can RETRY. Otherwise EXIT. If you are certain the accounts should not be locked, click "
    "UNLOCK.");
const QString cautionButtons = QStringLiteral("Retry  Exit  Unlock");
const QString cautionStyle = QStringLiteral("warning");

// A give-back that meets a busy file is asked again until this long after its first failure, so
// that a reader holding the company's file for half a minute cannot strand the probe's hold.
constexpr std::chrono::seconds giveBackPatience { 60 };
// The component itself waits a while for a busy file; this pause only keeps one that fails at
// once from being asked without a break.
constexpr std::chrono::milliseconds giveBackPause { 250 };

// While the probe waits to give its hold back the window takes no input; the cursor says so.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// How to release a hold that the probe had to leave: with the norlix command, its name quoted for
// the shell of the platform, unless no quoting passes the name through that shell unchanged.
QString releaseHint(const QString &letter, const QString &name)
{
    const std::optional<QString> word = shellWord(name, platformShell);
    if (!word)
        return QStringLiteral("To release them, check company %1 from another workstation and "
                              "press Unlock. This workstation's name cannot be written safely on "
                              "a command line, so no norlix unlock command is given for it.")
            .arg(letter);
    return QStringLiteral("To release them, run\n    norlix unlock %1 %2\nor check company %1 from "
                          "another workstation and press Unlock.")
        .arg(letter, *word);
}

enum class Hold { Left, MayBeLeft };

Norlix::ComponentError leftLocked(
    const QString &letter, const QString &name, const QString &cause, Hold hold = Hold::Left)
{
    QString text = (hold == Hold::Left
            ? QStringLiteral("The accounts of company %1 were left locked in this workstation's "
                             "name, \"%2\": the lock taken for the check could not be given "
                             "back.")
            : QStringLiteral("The accounts of company %1 may have been left locked in this "
                             "workstation's name, \"%2\": it is not known whether the lock "
                             "taken for the check was given back."))
                       .arg(letter, name);
    if (!cause.isEmpty())
        text += QStringLiteral("\n\n") + cause;
    text += QStringLiteral("\n\n") + releaseHint(letter, name);
    return Norlix::ComponentError(text);
}

// Every request works on the company that is current, and another window of this user, or
// Norlix itself, may make another company current while the probe waits to ask again. So a
// repeated give-back goes out only while the company that was locked is current, and counts only
// when it still is afterwards; otherwise the check ends naming the hold it may have left.
void requireStillCurrent(const QString &letter, const QString &name, Hold hold)
{
    QString current;
    try {
        current = freshCompanyDatabase()->CompanyLetter();
    } catch (...) {
        throw leftLocked(letter, name, errorDescription(std::current_exception()), hold);
    }
    if (current != letter)
        throw leftLocked(letter, name,
            QStringLiteral("Company %1 was made current meanwhile, by another window or program, "
                           "and the lock can be given back only while company %2 is current.")
                .arg(onOneLine(current), letter),
            hold);
}

// The probe must never leave the accounts locked in this workstation's name. A request that
// failed is repeated only when it certainly changed nothing: one that may have given the hold
// back would, repeated, give back a hold that is not the probe's, such as one that Norlix itself
// keeps on this workstation.
void giveBack(const QString &name, const QString &letter)
{
    GiveBackClock &clock = giveBackClock();
    std::optional<GiveBackClock::Clock::time_point> deadline;
    std::optional<WaitCursor> waitCursor;
    for (bool repeat = false;; repeat = true) {
        if (repeat)
            requireStillCurrent(letter, name, Hold::Left);
        try {
            freshCompanyDatabase()->AccountsLock(name, unlockAction);
        } catch (const Norlix::ComponentError &error) {
            const auto now = clock.now();
            if (!deadline)
                deadline = now + giveBackPatience;
            if (!error.changedNothing() || now >= *deadline)
                throw leftLocked(letter, name, error.description());
            if (!waitCursor)
                waitCursor.emplace();
            clock.sleep(giveBackPause);
            continue;
        } catch (...) {
            throw leftLocked(letter, name, errorDescription(std::current_exception()));
        }
        if (repeat)
            requireStillCurrent(letter, name, Hold::MayBeLeft);
        return;
    }
}

// While the CAUTION message waits for an answer, another window or program, or a close of this
// one that puts the saved company back, may make another company current. Retry and Unlock would
// then act on that company's accounts, releasing a lock that is not the one the user was shown.
void requireStillCurrentAfterChoice(const QString &letter)
{
    const QString current = freshCompanyDatabase()->CompanyLetter();
    if (current != letter)
        throw Norlix::ComponentError(
            QStringLiteral("Company %1 became the current company while the CAUTION message "
                           "was open. The check of company %2 ends here, and nothing was done to "
                           "the accounts of either company.")
                .arg(onOneLine(current), letter));
}

} // namespace

bool Main::TryLockAccounts()
{
    const QString letter = txtLetter->text();
    // No limit on attempts: only a lock taken or the user's Exit ends the probe.
    for (;;) {
        const QString name = WorkstationName.isEmpty() ? TempWorkstationName() : WorkstationName;
        if (freshCompanyDatabase()->AccountsLock(name, lockAction) == name) {
            giveBack(name, letter);
            return true;
        }

        const QString answer = Norlix::ChoiceDialog().ShowChoice(
            cautionTitle, cautionMessage, cautionButtons, cautionStyle, 0);
        if (answer == QLatin1String("Exit"))
            return false;
        requireStillCurrentAfterChoice(letter);
        if (answer == QLatin1String("Unlock")) {
            const QString holder = freshCompanyDatabase()->LockOwner(QStringLiteral("LA"));
            AddResult(QStringLiteral("..... accounts seem to be locked by WorkStation: ")
                + onOneLine(holder));
            AddResult(QStringLiteral("     Attempting to unlock"));
            // The holder may have let go since the lock was refused; there is then nothing to
            // release, and asking to unlock in no one's name is an error.
            if (!holder.isEmpty())
                freshCompanyDatabase()->AccountsLock(holder, unlockAction);
        }
        // "Retry" and any other answer: simply the next attempt.
    }
}

QString Main::TempWorkstationName()
{
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    const auto clockBits = static_cast<std::uint64_t>(ticks);
    std::seed_seq seed { static_cast<std::uint32_t>(clockBits),
        static_cast<std::uint32_t>(clockBits >> 32) };
    std::mt19937 generator(seed);
    return tempWorkstationName(unitFloatFromBits(static_cast<std::uint32_t>(generator())));
}
