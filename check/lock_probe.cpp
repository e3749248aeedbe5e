// The accounts lock probe: take the lock in this workstation's name and give it straight back.

#include "fresh_objects.h"
#include "temp_name.h"

#include <components/components.h>
#include <main_window/main.h>
#include <main_window/one_line.h>

#include <chrono>
#include <cstdint>
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

// The probe must never leave the accounts locked in this workstation's name: when giving the
// lock back fails, it is tried once more before the error ends the check.
void giveBack(const QString &name)
{
    try {
        freshCompanyDatabase()->AccountsLock(name, unlockAction);
    } catch (...) {
        try {
            freshCompanyDatabase()->AccountsLock(name, unlockAction);
        } catch (...) {
        }
        throw;
    }
}

} // namespace

bool Main::TryLockAccounts()
{
    // No limit on attempts: only a lock taken or the user's Exit ends the probe.
    for (;;) {
        const QString name = WorkstationName.isEmpty() ? TempWorkstationName() : WorkstationName;
        if (freshCompanyDatabase()->AccountsLock(name, lockAction) == name) {
            giveBack(name);
            return true;
        }

        const QString answer = Norlix::ChoiceDialog().ShowChoice(
            cautionTitle, cautionMessage, cautionButtons, cautionStyle, 0);
        if (answer == QLatin1String("Exit"))
            return false;
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
