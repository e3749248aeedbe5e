// Faults of the Norlix components at every place where the utility calls them: the scripted Norlix
// of the check's tests fails one operation at exactly its nth call and answers everything else.

#include "fake_norlix.h"
#include "message_box_recorder.h"

#include <main.h>
#include <plain_label.h>
#include <user_settings.h>

#include "test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString unexpectedError = QStringLiteral("An unexpected error occurred; Prismor has to end.");
const QString outOfMemory = QStringLiteral("Prismor ran out of memory and has to end.");
const QString noDatabaseObject = "The Norlix company database component gave no object to work on.";
const QString noConverterObject
    = QStringLiteral("The Norlix number converter component gave no object to work on.");

QString faultDescription(const QString &operation, int call)
{
    return QStringLiteral("Norlix failed in %1 (call %2): the company database at "
                          "/srv/norlix/C/cedar.db could not be read.")
        .arg(operation)
        .arg(call);
}

// The run every case makes: start-up with company A current, a check of company C whose
// accounts OTHER-PC holds and which the user releases through Unlock, then Exit.
const QStringList fullReport { "Checking database of Company C", "WorkStation name: FRONT-DESK",
    "Database location: /srv/norlix/C/", "    Last compacted in month 2025-08",
    "    Database version 6.12", "Attempting to lock and unlock the accounts",
    "..... accounts seem to be locked by WorkStation: OTHER-PC", "     Attempting to unlock",
    "Success -- accounts could be locked by this Workstation", "Finished" };

enum class Phase { StartUp, Check, Exit };

struct CallSite
{
    const char *name;
    const char *operation;
    int nth;
    Phase phase;
    int linesKept; // of the report, when the check is abandoned
    const char *lockHolderAfter;
    const char *currentLetterAfter;
    bool givingBack = false; // the probe's own hold is left when this fails
};

// Every component call of the run above, in the order in which they are made. Each operation on
// the company database comes after an Instance of its own.
constexpr CallSite callSites[] = {
    { "start-up: creating SystemGlobal", "SystemGlobal creation", 1, Phase::StartUp, 10, "", "" },
    { "start-up: Instance", "Instance", 1, Phase::StartUp, 10, "", "" },
    { "start-up: CompanyLetter read", "CompanyLetter?", 1, Phase::StartUp, 10, "", "" },
    { "selection: Instance for CompanyLetter write", "Instance", 2, Phase::Check, 0, "OTHER-PC",
        "A" },
    { "selection: CompanyLetter write", "CompanyLetter=C", 1, Phase::Check, 0, "OTHER-PC", "A" },
    { "selection: Instance for DatabaseLocation", "Instance", 3, Phase::Check, 0, "OTHER-PC", "A" },
    { "selection: DatabaseLocation", "DatabaseLocation", 1, Phase::Check, 0, "OTHER-PC", "A" },
    { "selection: Instance for DatabaseFileName", "Instance", 4, Phase::Check, 0, "OTHER-PC", "A" },
    { "selection: DatabaseFileName", "DatabaseFileName", 1, Phase::Check, 0, "OTHER-PC", "A" },
    { "selection: Instance for FileExists", "Instance", 5, Phase::Check, 0, "OTHER-PC", "A" },
    { "selection: FileExists", "FileExists(/srv/norlix/C/cedar.db)", 1, Phase::Check, 0, "OTHER-PC",
        "A" },
    { "selection: Instance for Companyname", "Instance", 6, Phase::Check, 0, "OTHER-PC", "A" },
    { "selection: CompanySetting Companyname", "CompanySetting(Companyname)", 1, Phase::Check, 0,
        "OTHER-PC", "A" },
    { "check: Instance for DatabaseLocation", "Instance", 7, Phase::Check, 2, "OTHER-PC", "A" },
    { "check: DatabaseLocation", "DatabaseLocation", 2, Phase::Check, 2, "OTHER-PC", "A" },
    { "check: Instance for AcctDBtidyMonth", "Instance", 8, Phase::Check, 3, "OTHER-PC", "A" },
    { "check: CompanySetting AcctDBtidyMonth", "CompanySetting(AcctDBtidyMonth)", 1, Phase::Check,
        3, "OTHER-PC", "A" },
    { "check: Instance for CompanyVersNbr", "Instance", 9, Phase::Check, 4, "OTHER-PC", "A" },
    { "check: CompanySetting CompanyVersNbr", "CompanySetting(CompanyVersNbr)", 1, Phase::Check, 4,
        "OTHER-PC", "A" },
    { "check: creating NumberConverter", "NumberConverter creation", 1, Phase::Check, 4, "OTHER-PC",
        "A" },
    { "check: Converter", "Converter", 1, Phase::Check, 4, "OTHER-PC", "A" },
    { "check: ToNumber", "ToNumber(6.12)", 1, Phase::Check, 4, "OTHER-PC", "A" },
    { "check: Instance for the LOCK refused", "Instance", 10, Phase::Check, 6, "OTHER-PC", "A" },
    { "check: AccountsLock LOCK refused", "AccountsLock(FRONT-DESK,LOCK)", 1, Phase::Check, 6,
        "OTHER-PC", "A" },
    { "check: creating ChoiceDialog", "ChoiceDialog creation", 1, Phase::Check, 6, "OTHER-PC",
        "A" },
    { "check: ShowChoice", "ShowChoice", 1, Phase::Check, 6, "OTHER-PC", "A" },
    { "check: Instance for the company current after the answer", "Instance", 11, Phase::Check, 6,
        "OTHER-PC", "A" },
    { "check: CompanyLetter read after the answer", "CompanyLetter?", 2, Phase::Check, 6,
        "OTHER-PC", "A" },
    { "check: Instance for LockOwner", "Instance", 12, Phase::Check, 6, "OTHER-PC", "A" },
    { "check: LockOwner", "LockOwner(LA)", 1, Phase::Check, 6, "OTHER-PC", "A" },
    { "check: Instance for the holder's UNLOCK", "Instance", 13, Phase::Check, 8, "OTHER-PC", "A" },
    { "check: AccountsLock UNLOCK of the holder", "AccountsLock(OTHER-PC,UNLOCK)", 1, Phase::Check,
        8, "OTHER-PC", "A" },
    { "check: Instance for the LOCK granted", "Instance", 14, Phase::Check, 8, "", "A" },
    { "check: AccountsLock LOCK granted", "AccountsLock(FRONT-DESK,LOCK)", 2, Phase::Check, 8, "",
        "A" },
    // The lock was granted and giving it back failed in a way that may have changed something:
    // it is not asked again, and the message says how to release the hold.
    { "check: Instance for the own UNLOCK", "Instance", 15, Phase::Check, 8, "FRONT-DESK", "A",
        true },
    { "check: AccountsLock UNLOCK own", "AccountsLock(FRONT-DESK,UNLOCK)", 1, Phase::Check, 8,
        "FRONT-DESK", "A", true },
    { "exit: Instance", "Instance", 16, Phase::Exit, 10, "", "C" },
    { "exit: CompanyLetter write", "CompanyLetter=A", 1, Phase::Exit, 10, "", "C" },
};

// The message when giving the probe's hold back failed for this cause. The command is written for
// the shell of the platform.
QString leftLockedOfC(const QString &cause)
{
#ifdef Q_OS_WIN
    const QString unlock = QStringLiteral("norlix unlock C \"FRONT-DESK\"");
#else
    const QString unlock = QStringLiteral("norlix unlock C FRONT-DESK");
#endif
    return QStringLiteral("The accounts of company C were left locked in this workstation's name, "
                          "\"FRONT-DESK\": the lock taken for the check could not be given back.")
        + QStringLiteral("\n\n") + cause + QStringLiteral("\n\nTo release them, run\n    ") + unlock
        + QStringLiteral("\nor check company C from another workstation and press Unlock.");
}

struct RaisedKind
{
    const char *name;
    Raised raised;
    const QString *message; // null: the fault's own description
};

constexpr RaisedKind raisedKinds[] = { { "ComponentError", Raised::ComponentError, nullptr },
    { "std::runtime_error", Raised::RuntimeError, nullptr },
    { "std::bad_alloc", Raised::BadAlloc, &outOfMemory },
    { "not a std::exception", Raised::NotAnException, &unexpectedError } };

} // namespace

Q_DECLARE_METATYPE(Raised)
Q_DECLARE_METATYPE(Phase)

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void runWithoutFaultsMakesExactlyTheListedCalls();
    void faultAtCallSite_data();
    void faultAtCallSite();
    void noWorkingObject_data();
    void noWorkingObject();
    void restoreFailingAfterAnErrorStillEnds_data();
    void restoreFailingAfterAnErrorStillEnds();

private:
    // Opens the window, checks company C, and presses Exit if the window is still open.
    void runCheckAndExit();

    QTemporaryDir m_config;
    FakeNorlix m_norlix;
    std::unique_ptr<MessageBoxRecorder> m_messages;
    std::unique_ptr<Main> m_window;
    std::unique_ptr<QSignalSpy> m_ended;
    bool m_openedAfterStartUp = false;
};

void TestFaults::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    setWorkstationSetting(QStringLiteral("front-desk "));
}

void TestFaults::init()
{
    m_norlix = FakeNorlix {};
    m_norlix.addCompany("A", "alder.db", true, "Alder Joinery Ltd");
    m_norlix.addCompany("C", "cedar.db", true, "Cedar Lane Cafe", "2025-08", "V6.12");
    m_norlix.currentLetter = QStringLiteral("A");
    m_norlix.lockHolder = QStringLiteral("OTHER-PC");
    m_norlix.choiceAnswers = { QStringLiteral("Unlock") };
    m_norlix.install();
    m_messages = std::make_unique<MessageBoxRecorder>();
}

void TestFaults::cleanup()
{
    m_ended.reset();
    m_window.reset();
    m_messages.reset();
    Norlix::resetComponents();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestFaults::runCheckAndExit()
{
    m_window = std::make_unique<Main>();
    m_ended = std::make_unique<QSignalSpy>(m_window.get(), &Main::ended);
    m_window->show();
    QCoreApplication::processEvents();
    m_openedAfterStartUp = m_window->isVisible() && m_ended->isEmpty();
    if (!m_openedAfterStartUp)
        return;

    m_window->txtLetter->setText(QStringLiteral("C"));
    QTest::mouseClick(m_window->cmdStart, Qt::LeftButton);
    QCoreApplication::processEvents();
    if (m_ended->isEmpty())
        QTest::mouseClick(m_window->cmdExit, Qt::LeftButton);
    QCoreApplication::processEvents();
}

void TestFaults::runWithoutFaultsMakesExactlyTheListedCalls()
{
    runCheckAndExit();

    QVERIFY(m_openedAfterStartUp);
    QCOMPARE(m_window->lblResults->caption(), report(fullReport));
    QCOMPARE(statuses(*m_ended), QList<int> { 0 });
    QVERIFY(m_messages->shown().isEmpty());
    QCOMPARE(m_norlix.currentLetter, QStringLiteral("A"));
    QCOMPARE(m_norlix.lockHolder, QString());

    QStringList listed;
    for (const CallSite &site : callSites)
        listed << QStringLiteral("%1 #%2").arg(QLatin1String(site.operation)).arg(site.nth);
    QCOMPARE(m_norlix.operations, listed);
}

void TestFaults::faultAtCallSite_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("nth");
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<int>("linesKept");
    QTest::addColumn<QString>("lockHolderAfter");
    QTest::addColumn<QString>("currentLetterAfter");
    QTest::addColumn<Raised>("raised");
    QTest::addColumn<QString>("shownText");

    for (const CallSite &site : callSites) {
        const QString operation = QLatin1String(site.operation);
        for (const RaisedKind &kind : raisedKinds) {
            const QString cause
                = kind.message ? *kind.message : faultDescription(operation, site.nth);
            const QString shown = site.givingBack ? leftLockedOfC(cause) : cause;
            QTest::addRow("%s / %s", site.name, kind.name)
                << operation << site.nth << site.phase << site.linesKept
                << QString::fromLatin1(site.lockHolderAfter)
                << QString::fromLatin1(site.currentLetterAfter) << kind.raised << shown;
        }
    }
}

void TestFaults::faultAtCallSite()
{
    QFETCH(QString, operation);
    QFETCH(int, nth);
    QFETCH(Phase, phase);
    QFETCH(int, linesKept);
    QFETCH(QString, lockHolderAfter);
    QFETCH(QString, currentLetterAfter);
    QFETCH(Raised, raised);
    QFETCH(QString, shownText);
    m_norlix.failAt(operation, nth, raised, faultDescription(operation, nth));

    runCheckAndExit();

    QVERIFY2(
        m_norlix.faultsRaised == 1, "the fault was never raised: the call site was not reached");
    QVERIFY2(m_openedAfterStartUp, "start-up did not carry on past the fault");
    QCOMPARE(m_norlix.currentLetter, currentLetterAfter);
    QCOMPARE(m_norlix.lockHolder, lockHolderAfter);
    QVERIFY(!m_window->isVisible());
    if (phase != Phase::Check) {
        QCOMPARE(m_window->lblResults->caption(), report(fullReport));
        QCOMPARE(statuses(*m_ended), QList<int> { 0 });
        QVERIFY(m_messages->shown().isEmpty());
        return;
    }

    QCOMPARE(m_window->lblResults->caption(), report(fullReport.mid(0, linesKept)));
    QCOMPARE(m_messages->texts(), QStringList { shownText });
    QCOMPARE(m_messages->shown().at(0).title, QStringLiteral("Prismor"));
    const QList<int> ended = statuses(*m_ended);
    QCOMPARE(ended.size(), 1);
    QVERIFY(ended.first() != 0);
    // Putting the saved company back is the last thing the utility asks of Norlix.
    QCOMPARE(m_norlix.calls.last(), QStringLiteral("CompanyLetter=A"));
}

void TestFaults::noWorkingObject_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("nth");
    QTest::addColumn<QString>("shownText");
    QTest::addColumn<QString>("currentLetterAfter");

    QTest::newRow("start-up: no company database object")
        << "Instance" << 1 << QString() << QString();
    QTest::newRow("selection: no company database object")
        << "Instance" << 2 << noDatabaseObject << "A";
    QTest::newRow("check: no company database object for the LOCK")
        << "Instance" << 10 << noDatabaseObject << "A";
    QTest::newRow("check: no converter object") << "Converter" << 1 << noConverterObject << "A";
    QTest::newRow("exit: no company database object") << "Instance" << 16 << QString() << "C";
}

// A component that gives back nothing to work on fails like one that raises.
void TestFaults::noWorkingObject()
{
    QFETCH(QString, operation);
    QFETCH(int, nth);
    QFETCH(QString, shownText);
    QFETCH(QString, currentLetterAfter);
    m_norlix.failAt(operation, nth, Raised::NoObject);

    runCheckAndExit();

    QCOMPARE(m_norlix.faultsRaised, 1);
    QVERIFY(m_openedAfterStartUp);
    QCOMPARE(m_norlix.currentLetter, currentLetterAfter);
    if (shownText.isEmpty()) {
        QVERIFY(m_messages->shown().isEmpty());
        QCOMPARE(statuses(*m_ended), QList<int> { 0 });
    } else {
        QCOMPARE(m_messages->texts(), QStringList { shownText });
        QCOMPARE(statuses(*m_ended), QList<int> { 1 });
    }
}

void TestFaults::restoreFailingAfterAnErrorStillEnds_data()
{
    QTest::addColumn<Raised>("raised");
    for (const RaisedKind &kind : raisedKinds)
        QTest::newRow(kind.name) << kind.raised;
}

// The check fails at the version, and putting the saved company back fails as well: the user
// still sees the first error, once, and the utility still ends.
void TestFaults::restoreFailingAfterAnErrorStillEnds()
{
    QFETCH(Raised, raised);
    const QString version = QStringLiteral("CompanySetting(CompanyVersNbr)");
    m_norlix.failAt(version, 1, Raised::ComponentError, faultDescription(version, 1));
    m_norlix.failAt(QStringLiteral("CompanyLetter=A"), 1, raised);

    runCheckAndExit();

    QCOMPARE(m_norlix.faultsRaised, 2);
    QCOMPARE(m_messages->texts(), QStringList { faultDescription(version, 1) });
    QCOMPARE(statuses(*m_ended), QList<int> { 1 });
    QCOMPARE(m_window->lblResults->caption(), report(fullReport.mid(0, 4)));
    QCOMPARE(m_norlix.currentLetter, QStringLiteral("C"));
    QVERIFY(!m_window->isVisible());
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
