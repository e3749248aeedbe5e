// Whole checks by the real window with the real Norlix components, against a stand-in
// installation that the test sets up with the norlix command.

#include <components.h>
#include <give_back_clock.h>
#include <main.h>
#include <plain_label.h>
#include <standin/standin_components.h>

#include "choice_dialog_driver.h"
#include "message_box_recorder.h"
#include "test_support.h"
#include "window_driver.h"
#include "window_test_support.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <thread>

#include <sqlite3.h>
#ifdef Q_OS_WIN
#include <com/class_registration.h>
#include <com/com_components.h>

#include <QProcess>
#include <QRegularExpression>

#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const QString norlixCommand = QStringLiteral(NORLIX_COMMAND);
using Texts::notYetSet;

// Runs the norlix command with the test's installation and gives back what it printed.
QString norlix(const QStringList &arguments)
{
    return runNorlix(norlixCommand, arguments);
}

// One field of `norlix company show`.
QString shownField(const QString &letter, const QString &field)
{
    const QStringList lines = norlix({ "company", "show", letter }).split(QLatin1Char('\n'));
    for (const QString &line : lines)
        if (line.startsWith(field + QStringLiteral(": ")))
            return line.mid(field.size() + 2);
    if (lines.contains(field + QLatin1Char(':')))
        return QString();
    return QStringLiteral("<no %1>").arg(field);
}

// The report of a check of the company whose lock probe succeeds, lockFound holding the lines
// of a hold met on the way; the location is the one that the norlix command shows.
QString fullReport(const QString &letter, const QString &month, const QString &version,
    const QStringList &lockFound = {})
{
    return report(
        QStringList { "Checking database of Company " + letter, "WorkStation name: FRONT-DESK",
            "Database location: " + shownField(letter, "location"),
            "    Last compacted in month " + month, "    Database version " + version,
            "Attempting to lock and unlock the accounts" }
        + lockFound + QStringList { Texts::lockSucceeded, "Finished" });
}

// Counts the mouse-button releases that reach the objects it watches.
class ReleaseCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease)
            ++count;
        return false;
    }
};

// Clicks Start and then Exit as the user would, by the mouse. The buttons get this many releases,
// some only once the window system's messages are handled.
#ifdef Q_OS_WIN
constexpr int releasesOfClickStartAndExit = 4;
#else
constexpr int releasesOfClickStartAndExit = 2;
#endif
void clickStartAndExit(Main &window)
{
    QTest::mouseClick(window.cmdStart, Qt::LeftButton);
    QTest::mouseClick(window.cmdExit, Qt::LeftButton);
#ifdef Q_OS_WIN
    // And as the window system delivers them, to a window the dialog has disabled.
    const auto hwnd = reinterpret_cast<HWND>(window.winId());
    for (QWidget *button : { static_cast<QWidget *>(window.cmdStart), static_cast<QWidget *>(window.cmdExit) }) {
        const QPoint centre = button->mapTo(&window, button->rect().center());
        const LPARAM at = MAKELPARAM(centre.x(), centre.y());
        PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    }
#endif
}

// The files under folder that this process holds open.
QStringList filesHeldOpenUnder(const QString &folder)
{
    QStringList held;
#ifdef Q_OS_WIN
    // Windows refuses to rename a file that a program holds open without sharing it for deletion,
    // as SQLite opens its files.
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        const QString aside = file + QStringLiteral(".aside");
        if (QFile::rename(file, aside))
            QFile::rename(aside, file);
        else
            held << file;
    }
#else
    const QString root = QFileInfo(folder).canonicalFilePath() + QLatin1Char('/');
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString &descriptor : descriptors.entryList(QDir::AllEntries | QDir::System)) {
        const QString target = QFile::symLinkTarget(descriptors.filePath(descriptor));
        if (target.startsWith(root))
            held << target;
    }
#endif
    return held;
}

#ifdef Q_OS_WIN
// Without fork the reader is a program of its own; null when it could not take hold.
using Reader = QProcess *;
#else
using Reader = pid_t;
#endif

// Starts a reader that holds a read transaction on the file for the given time, as a long report
// in another Norlix program would, and gives back once the reader holds it.
#ifdef Q_OS_WIN
Reader holdForReading(const QString &path, int seconds)
{
    auto reader = std::make_unique<QProcess>();
    reader->start(QStringLiteral(SQLITE_CHILD_EXECUTABLE),
        { QStringLiteral("read"), path, QString::number(seconds) }, commandOutput);
    while (reader->waitForReadyRead(30000) && !reader->canReadLine()) { }
    if (reader->readLine() != "held\n") {
        reader->kill();
        reader->waitForFinished();
        return nullptr;
    }
    return reader.release();
}

// Waits for the reader to end; whether it ended of itself with status 0. A check that outlasts
// the reader's hold may have run the event loop that noticed its end, and waitForFinished() is
// false for a process already finished.
bool readerSucceeded(Reader reader)
{
    const std::unique_ptr<QProcess> process(reader);
    if (process->state() != QProcess::NotRunning)
        process->waitForFinished(60000);
    return process->state() == QProcess::NotRunning
        && process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}
#else
pid_t holdForReading(const QString &path, int seconds)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t reader = fork();
    if (reader == 0) {
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != 0
            || sqlite3_exec(db, "BEGIN; SELECT count(*) FROM settings;", nullptr, nullptr, nullptr)
                != 0)
            _exit(1);
        (void)!write(ready[1], "r", 1);
        sleep(static_cast<unsigned>(seconds));
        _exit(0);
    }
    char byte = 0;
    close(ready[1]);
    const bool held = reader > 0 && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    return held ? reader : -1;
}
#endif

// The real stand-in, with a reader taking hold of the company's file right after a granted LOCK.
class ReaderAfterLock : public Norlix::CompanyDatabaseComponent
{
public:
    explicit ReaderAfterLock(Reader *reader, int seconds = 12)
        : m_real(Norlix::makeStandInSystemGlobal())
        , m_reader(reader)
        , m_seconds(seconds)
    {
    }

    std::unique_ptr<Norlix::CompanyDatabase> Instance() override
    {
        return std::make_unique<Database>(m_real->Instance(), m_reader, m_seconds);
    }

private:
    class Database : public Norlix::CompanyDatabase
    {
    public:
        Database(std::unique_ptr<Norlix::CompanyDatabase> real, Reader *reader, int seconds)
            : m_real(std::move(real))
            , m_reader(reader)
            , m_seconds(seconds)
        {
        }
        bool FileExists(const QString &path) override { return m_real->FileExists(path); }
        QString CompanySetting(const QString &key) override { return m_real->CompanySetting(key); }
        QString DatabaseLocation() override { return m_real->DatabaseLocation(); }
        QString DatabaseFileName() override { return m_real->DatabaseFileName(); }
        void CompanyLetter(const QString &letter) override { m_real->CompanyLetter(letter); }
        QString CompanyLetter() override { return m_real->CompanyLetter(); }
        QString LockOwner(const QString &lockName) override { return m_real->LockOwner(lockName); }
        QString AccountsLock(const QString &workstation, const QString &action) override
        {
            const QString holder = m_real->AccountsLock(workstation, action);
            if (action == QLatin1String("LOCK") && holder == workstation && *m_reader == 0)
                *m_reader = holdForReading(DatabaseLocation() + DatabaseFileName(), m_seconds);
            return holder;
        }

    private:
        std::unique_ptr<Norlix::CompanyDatabase> m_real;
        Reader *m_reader;
        int m_seconds;
    };

    std::unique_ptr<Norlix::CompanyDatabaseComponent> m_real;
    Reader *m_reader;
    int m_seconds;
};

} // namespace

class TestCheckEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void companyFoundWithItsVersion();
    void databaseMissing();
    void versionNotSet();
    void lockHeldElsewhereAndTheUserGivesUp();
    void lockHeldElsewhereReleasedThroughUnlock();
    void demoInstallationGivesEachOutcome();
    void installationOnAFileServer();
    void giveBackOutlastsAReader();
    void giveBackStaysWithTheCompanyThatWasLocked();
    void nothingOfTheInstallationStaysOpen();
    void startAndExitDoNothingWhileTheDialogIsOpen();
#ifdef Q_OS_WIN
    void checkGoesThroughTheRegisteredComponents();
    void componentsNotInstalled();
#endif

private:
    // Answers each choice dialog that opens with the next of answers, noting what it showed.
    void answerChoiceDialogs(QStringList answers);

    QTemporaryDir m_home;
    QTemporaryDir m_config;
    std::unique_ptr<MessageBoxRecorder> m_messages;
    QStringList m_dialogTitles;
    QStringList m_dialogButtons;
    QTimer m_dialogWatch;
};

void TestCheckEndToEnd::initTestCase()
{
    QVERIFY(m_home.isValid() && m_config.isValid());
    // Set before the first use of a component or a setting, and inherited by the norlix command.
    qputenv("NORLIX_HOME", QFile::encodeName(m_home.path() + QStringLiteral("/norlix")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    Norlix::resetComponents();

    QVERIFY(QFileInfo(norlixCommand).isExecutable());
    const QList<QStringList> setUp {
        { "init" },
        { "company", "add", "A", "Alder Joinery Ltd" },
        { "setting", "set", "A", "Companyname", "Alder Joinery Ltd" },
        { "setting", "set", "A", "AcctDBtidyMonth", "2025-10" },
        { "setting", "set", "A", "CompanyVersNbr", "V6.123" },
        { "company", "add", "B", "Birchwood Bakery", "--no-database" },
        { "company", "add", "C", "Cedar Lane Cafe" },
        { "setting", "set", "C", "Companyname", "Cedar Lane Cafe" },
        { "setting", "set", "C", "AcctDBtidyMonth", "2025-08" },
        { "setting", "set", "C", "CompanyVersNbr", "V6.12" },
        { "company", "add", "D", "Dogwood Designs" },
        { "setting", "set", "D", "Companyname", "Dogwood Designs" },
        { "setting", "set", "D", "AcctDBtidyMonth", "2025-09" },
        { "workstation", "front-desk " },
        { "current", "C" },
    };
    for (const QStringList &command : setUp)
        QVERIFY2(norlix(command) != norlixFailed, qPrintable(command.join(QLatin1Char(' '))));
    QCOMPARE(norlix({ "company", "list" }).count(QLatin1Char('\n')), 3);
}

void TestCheckEndToEnd::init()
{
    m_messages = std::make_unique<MessageBoxRecorder>();
    m_dialogTitles.clear();
    m_dialogButtons.clear();
}

void TestCheckEndToEnd::cleanup()
{
    m_dialogWatch.stop();
    m_dialogWatch.disconnect();
    m_messages.reset();
    // A test that failed half-way leaves no stand-in components or clock to the next one.
    Norlix::resetComponents();
    giveBackClock() = GiveBackClock::real();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestCheckEndToEnd::answerChoiceDialogs(QStringList answers)
{
    m_dialogWatch.setInterval(10);
    connect(&m_dialogWatch, &QTimer::timeout, this, [this, answers]() mutable {
        const std::optional<ShownChoice> dialog = shownChoice();
        if (!dialog)
            return;
        m_dialogTitles << dialog->title;
        m_dialogButtons << dialog->buttons.join(QLatin1Char('|'));
        const QString answer = answers.isEmpty() ? QStringLiteral("Exit") : answers.takeFirst();
        dialog->choose(answer);
    });
    m_dialogWatch.start();
}

void TestCheckEndToEnd::companyFoundWithItsVersion()
{
    auto window = openWindow();

    runCheck(*window, QStringLiteral("A"));

    QCOMPARE(window->lblResults->caption(), fullReport("A", "2025-10", "6.123"));
    QVERIFY(m_messages->shown().isEmpty());
    QVERIFY(m_dialogTitles.isEmpty());
    QCOMPARE(shownField("A", "lock"), QString());
}

void TestCheckEndToEnd::databaseMissing()
{
    auto window = openWindow();

    runCheck(*window, QStringLiteral("B"));

    QCOMPARE(window->lblResults->caption(), QString());
    QCOMPARE(m_messages->texts(), QStringList { "Cannot find database for Company B" });
    QCOMPARE(window->lblCoName->caption(), QString());
    QCOMPARE(norlix({ "current" }), QStringLiteral("B"));
}

void TestCheckEndToEnd::versionNotSet()
{
    auto window = openWindow();

    runCheck(*window, QStringLiteral("D"));

    QCOMPARE(window->lblResults->caption(), fullReport("D", "2025-09", notYetSet));
    QCOMPARE(window->lblCoName->caption(), QStringLiteral("Dogwood Designs"));
}

void TestCheckEndToEnd::lockHeldElsewhereAndTheUserGivesUp()
{
    QCOMPARE(norlix({ "lock", "C", "OTHER-PC" }), QStringLiteral("OTHER-PC"));
    answerChoiceDialogs({ QStringLiteral("Retry"), QStringLiteral("Exit") });
    auto window = openWindow();

    runCheck(*window, QStringLiteral("C"));

    QCOMPARE(m_dialogTitles, QStringList({ "CAUTION", "CAUTION" }));
    const QStringList lines = window->lblResults->caption().split(QStringLiteral("\r\n"));
    QCOMPARE(lines.mid(5),
        QStringList({ "Attempting to lock and unlock the accounts",
            "Failure -- accounts could not be locked", "Finished", "" }));
    QCOMPARE(shownField("C", "lock"), QStringLiteral("OTHER-PC (1 hold)"));
    QCOMPARE(norlix({ "unlock", "C", "OTHER-PC" }), QString());
}

void TestCheckEndToEnd::lockHeldElsewhereReleasedThroughUnlock()
{
    QCOMPARE(norlix({ "lock", "C", "OTHER-PC" }), QStringLiteral("OTHER-PC"));
    QCOMPARE(shownField("C", "lock"), QStringLiteral("OTHER-PC (1 hold)"));
    answerChoiceDialogs({ QStringLiteral("Unlock") });
    auto window = openWindow();

    runCheck(*window, QStringLiteral("C"));

    QCOMPARE(m_dialogTitles, QStringList { "CAUTION" });
    QCOMPARE(m_dialogButtons, QStringList { "Retry|Exit|Unlock" });
    QCOMPARE(window->lblResults->caption(),
        fullReport("C", "2025-08", "6.12",
            { "..... accounts seem to be locked by WorkStation: OTHER-PC",
                "     Attempting to unlock" }));
    QVERIFY(m_messages->shown().isEmpty());
    QCOMPARE(shownField("C", "lock"), QString());
    QCOMPARE(Norlix::SystemGlobal().Instance()->LockOwner(QStringLiteral("LA")), QString());
}

// The demo that the README describes: A found, B missing, C locked elsewhere, D without version.
void TestCheckEndToEnd::demoInstallationGivesEachOutcome()
{
    const QByteArray testHome = qgetenv("NORLIX_HOME");
    qputenv("NORLIX_HOME", QFile::encodeName(m_home.path() + QStringLiteral("/demo")));
    Norlix::resetComponents();
    QVERIFY(norlix({ "demo" }) != norlixFailed);
    QCOMPARE(shownField("C", "lock"), QStringLiteral("ACCOUNTS-PC (1 hold)"));
    answerChoiceDialogs({ QStringLiteral("Unlock") });
    auto window = openWindow();

    QStringList reports;
    for (const QString letter : { "A", "B", "C", "D" }) {
        runCheck(*window, letter);
        reports << window->lblResults->caption();
    }

    const QString versionA = QStringLiteral("\r\n    Database version 6.123\r\n");
    QVERIFY2(reports.at(0).contains(versionA), qPrintable(reports.at(0)));
    QVERIFY(reports.at(0).endsWith(QLatin1String("by this Workstation\r\nFinished\r\n")));
    QCOMPARE(reports.at(1), QString());
    QCOMPARE(m_messages->texts(), QStringList { "Cannot find database for Company B" });
    QVERIFY2(reports.at(2).contains(
                 QLatin1String("..... accounts seem to be locked by WorkStation: ACCOUNTS-PC\r\n"
                               "     Attempting to unlock\r\n"
                               "Success -- accounts could be locked by this Workstation\r\n")),
        qPrintable(reports.at(2)));
    QCOMPARE(m_dialogTitles, QStringList { "CAUTION" });
    QVERIFY2(reports.at(3).contains(QStringLiteral("\r\n    Database version ") + notYetSet),
        qPrintable(reports.at(3)));

    window.reset();
    qputenv("NORLIX_HOME", testHome);
    Norlix::resetComponents();
}

// Workstations often reach the installation on a file server, by a UNC path. The report names
// the database there as Windows writes it. PRISMOR_TEST_UNC_SHARE names a share that the test
// may write to (\\server\share); the Wine runs give one.
void TestCheckEndToEnd::installationOnAFileServer()
{
#ifndef Q_OS_WIN
    QSKIP("UNC paths are Windows' own");
#endif
    const QString share = qEnvironmentVariable("PRISMOR_TEST_UNC_SHARE");
    if (share.isEmpty())
        QSKIP("no file server share: PRISMOR_TEST_UNC_SHARE names one, e.g. \\\\server\\share");
    QVERIFY2(share.startsWith(QLatin1String("\\\\")), qPrintable(share));
    const QString folder = QStringLiteral("Norlix-%1").arg(QCoreApplication::applicationPid());
    const QString home = share + QLatin1Char('\\') + folder;
    QVERIFY2(!QFileInfo::exists(home), qPrintable(home));

    const QByteArray testHome = qgetenv("NORLIX_HOME");
    const auto restore = qScopeGuard([&] {
        Norlix::resetComponents();
        QDir(home).removeRecursively();
        qputenv("NORLIX_HOME", testHome);
    });
    qputenv("NORLIX_HOME", home.toUtf8());
    Norlix::resetComponents();
    QCOMPARE(norlix({ "demo" }), "Demo Norlix installation ready at " + home);
    auto window = openWindow();
    runCheck(*window, QStringLiteral("A"));
    const QString report = window->lblResults->caption();
    window.reset();

    QVERIFY2(report.contains("\r\nDatabase location: " + home + "\\companies\\A\\\r\n"),
        qPrintable(report));
    QVERIFY2(report.endsWith(Texts::lockSucceeded + QLatin1String("\r\nFinished\r\n")),
        qPrintable(report));
    QVERIFY(m_messages->shown().isEmpty());
}

// A reader that holds the file longer than the component waits for it: the probe's UNLOCK meets
// a busy file more than once, and still gives the hold back instead of leaving it.
void TestCheckEndToEnd::giveBackOutlastsAReader()
{
    Reader reader = 0;
    Norlix::useComponentFactories(
        { [&reader] { return std::make_unique<ReaderAfterLock>(&reader); }, {}, {} });
    auto window = openWindow();

    runCheck(*window, QStringLiteral("A"));

#ifdef Q_OS_WIN
    QVERIFY(reader);
    QVERIFY(readerSucceeded(reader));
#else
    int status = -1;
    QVERIFY(reader > 0);
    QCOMPARE(waitpid(reader, &status, 0), reader);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
    QVERIFY2(m_messages->shown().isEmpty(),
        m_messages->shown().isEmpty() ? "" : qPrintable(m_messages->shown().first().text));
    QVERIFY(window->lblResults->caption().endsWith(report({ Texts::lockSucceeded, "Finished" })));
    QCOMPARE(shownField("A", "lock"), QString());
    window.reset();
    Norlix::resetComponents();
}

// Another window, or Norlix itself, makes company D current while the probe waits to give A's
// hold back: the repeat must not go to D, and the check must not end in Success with A held.
void TestCheckEndToEnd::giveBackStaysWithTheCompanyThatWasLocked()
{
    Reader reader = 0;
    Norlix::useComponentFactories(
        { [&reader] { return std::make_unique<ReaderAfterLock>(&reader, 7); }, {}, {} });
    giveBackClock().sleep = [](GiveBackClock::Clock::duration pause) {
        if (norlix({ "current" }) != QLatin1String("D"))
            QCOMPARE(norlix({ "current", "D" }), QString());
        std::this_thread::sleep_for(pause);
    };
    auto window = openWindow();

    runCheck(*window, QStringLiteral("A"));

    giveBackClock() = GiveBackClock::real();
#ifdef Q_OS_WIN
    QVERIFY(reader);
    QVERIFY(readerSucceeded(reader));
#else
    int status = -1;
    QVERIFY(reader > 0);
    QCOMPARE(waitpid(reader, &status, 0), reader);
#endif
    QVERIFY(!window->lblResults->caption().contains(Texts::lockSucceeded));
    QCOMPARE(m_messages->shown().size(), 1);
    const QString message = m_messages->shown().first().text;
    QVERIFY2(message.startsWith(QStringLiteral("The accounts of company A were left locked in "
                                               "this workstation's name, \"FRONT-DESK\"")),
        qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("Company D was made current meanwhile")),
        qPrintable(message));
    QCOMPARE(shownField("A", "lock"), QStringLiteral("FRONT-DESK (1 hold)"));
    QCOMPARE(shownField("D", "lock"), QString());
    window.reset();
    Norlix::resetComponents();
    QCOMPARE(norlix({ "unlock", "A", "FRONT-DESK" }), QString());
}

// Between operations Prismor holds no file of the installation open, so that a restore, a rename
// over a company's file or Norlix's compaction from another workstation can go on while the
// window sits idle: after start-up, after a check, and after a check that ended at the CAUTION
// dialog.
void TestCheckEndToEnd::nothingOfTheInstallationStaysOpen()
{
    const QString home = qEnvironmentVariable("NORLIX_HOME");
    sqlite3 *reader = nullptr;
    QCOMPARE(sqlite3_open(qPrintable(home + QStringLiteral("/register.sqlite")), &reader),
        SQLITE_OK);
    QCOMPARE(sqlite3_exec(reader, "SELECT count(*) FROM companies", nullptr, nullptr, nullptr),
        SQLITE_OK);
    const QStringList heldByTheTest = filesHeldOpenUnder(home);
    sqlite3_close(reader);
    QCOMPARE(heldByTheTest.size(), 1);
    QCOMPARE(norlix({ "lock", "C", "OTHER-PC" }), QStringLiteral("OTHER-PC"));
    answerChoiceDialogs({ QStringLiteral("Exit") });

    auto window = openWindow();
    QCOMPARE(filesHeldOpenUnder(home), QStringList());
    runCheck(*window, QStringLiteral("A"));
    QCOMPARE(window->lblResults->caption(), fullReport("A", "2025-10", "6.123"));
    QCOMPARE(filesHeldOpenUnder(home), QStringList());
    runCheck(*window, QStringLiteral("C"));
    QCOMPARE(m_dialogTitles, QStringList { "CAUTION" });
    QCOMPARE(filesHeldOpenUnder(home), QStringList());

    window.reset();
    QCOMPARE(norlix({ "unlock", "C", "OTHER-PC" }), QString());
}

// The component's dialog runs a loop of its own, in which Qt still delivers what was posted to it:
// a click on Start or Exit meanwhile must run nothing, neither a second check nor the end.
void TestCheckEndToEnd::startAndExitDoNothingWhileTheDialogIsOpen()
{
    QCOMPARE(norlix({ "lock", "C", "OTHER-PC" }), QStringLiteral("OTHER-PC"));
    auto window = openWindow();
    QSignalSpy ended(window.get(), &Main::ended);
    ReleaseCounter releases;
    window->cmdStart->installEventFilter(&releases);
    window->cmdExit->installEventFilter(&releases);
    bool clicking = false;
    int expectedReleases = 0;
    QDeadlineTimer clicksDelivered;
    m_dialogWatch.setInterval(10);
    connect(&m_dialogWatch, &QTimer::timeout, this, [&] {
        const std::optional<ShownChoice> dialog = shownChoice();
        if (!dialog)
            return;
        if (!clicking) {
            clicking = true;
            // From a timer of its own, so that a dialog the clicks open is answered too.
            QTimer::singleShot(0, this, [&] {
                clicksDelivered.setRemainingTime(3000);
                expectedReleases = releasesOfClickStartAndExit;
                clickStartAndExit(*window);
            });
            return;
        }
        // The dialog is answered only once the clicks have reached the buttons while it is open:
        // on a busy machine Qt may hand them on late, and they would then come after it. A dialog
        // that the clicks themselves open is answered after a while.
        if (expectedReleases == 0
            || (releases.count < expectedReleases && !clicksDelivered.hasExpired()))
            return;
        m_dialogTitles << dialog->title;
        dialog->choose(QStringLiteral("Exit"));
    });
    m_dialogWatch.start();

    runCheck(*window, QStringLiteral("C"));
    QTest::qWait(100);

    QVERIFY(releases.count >= expectedReleases);
    QCOMPARE(m_dialogTitles, QStringList { "CAUTION" });
    QCOMPARE(ended.count(), 0);
    QCOMPARE(window->lblResults->caption().count(QStringLiteral("Finished")), 1);
    QVERIFY(window->isVisible());
    window.reset();
    QCOMPARE(norlix({ "unlock", "C", "OTHER-PC" }), QString());
}

#ifdef Q_OS_WIN
// A check of A reaches the stand-in only through COM: every text goes by value, every working
// object is fetched for one operation and is gone once the check is over.
void TestCheckEndToEnd::checkGoesThroughTheRegisteredComponents()
{
    const std::wstring serverPath = AutomationServer::registeredServer(L"Norlix.SystemGlobal");
    QVERIFY2(!serverPath.empty(), "the stand-in is not registered in this Wine prefix");
    HMODULE server = LoadLibraryW(serverPath.c_str());
    QVERIFY(server);
    const auto cleanUp = qScopeGuard([server] { FreeLibrary(server); });
    using StartLog = void (*)();
    using Log = const wchar_t *(*)();
    using Live = long (*)(const wchar_t *);
    const auto startLog = reinterpret_cast<StartLog>(
        reinterpret_cast<void *>(GetProcAddress(server, "NorlixStandInStartCallLog")));
    const auto log = reinterpret_cast<Log>(
        reinterpret_cast<void *>(GetProcAddress(server, "NorlixStandInCallLog")));
    const auto live = reinterpret_cast<Live>(
        reinterpret_cast<void *>(GetProcAddress(server, "NorlixStandInLiveObjects")));
    QVERIFY(startLog && log && live);

    auto window = openWindow();
    startLog();
    runCheck(*window, QStringLiteral("A"));
    QCOMPARE(window->lblResults->caption(), fullReport("A", "2025-10", "6.123"));

    const QStringList calls = QString::fromWCharArray(log()).split(u'\n', Qt::SkipEmptyParts);
    qInfo().noquote() << "Members called for a check of A:\n" + calls.join(u'\n');
    QVERIFY(calls.contains("CompanyDatabase.CompanyLetter PROPERTYPUT BSTR=A named:-3"));
    QVERIFY(calls.contains("CompanyDatabase.DatabaseLocation METHOD|PROPERTYGET"));
    QVERIFY(calls.contains("CompanyDatabase.CompanySetting METHOD|PROPERTYGET BSTR=AcctDBtidyMonth"));
    QVERIFY(calls.contains("CompanyDatabase.AccountsLock METHOD|PROPERTYGET BSTR=FRONT-DESK BSTR=LOCK"));
    QVERIFY(calls.contains("CompanyDatabase.AccountsLock METHOD|PROPERTYGET BSTR=FRONT-DESK BSTR=UNLOCK"));
    QCOMPARE(calls.filter(QStringLiteral("BYREF")), QStringList());
    // One working object for each operation on it.
    QCOMPARE(calls.filter(QRegularExpression(QStringLiteral("^SystemGlobal\\.Instance "))).size(),
        calls.filter(QRegularExpression(QStringLiteral("^CompanyDatabase\\."))).size());
    QCOMPARE(live(L"CompanyDatabase"), 0);
    QCOMPARE(live(L"Converter"), 0);
    QCOMPARE(live(L"SystemGlobal"), 1);
    window.reset();
}

// A workstation where no Norlix is registered: the window opens and Exit closes it; Start names
// the component that is not installed.
void TestCheckEndToEnd::componentsNotInstalled()
{
    const auto absent = [](const Norlix::ComClass &component) {
        return Norlix::ComClass { component.progId + QStringLiteral("Absent"), component.name };
    };
    const auto useAbsent = [&] {
        Norlix::useComponentFactories(
            { [&] { return Norlix::makeComSystemGlobal(absent(Norlix::norlixComClasses.systemGlobal)); },
                [&] {
                    return Norlix::makeComNumberConverter(
                        absent(Norlix::norlixComClasses.numberConverter));
                },
                [&] { return Norlix::makeComChoiceDialog(absent(Norlix::norlixComClasses.choiceDialog)); } });
    };
    const auto backToTheRegistered = qScopeGuard([] { Norlix::resetComponents(); });

    useAbsent();
    auto window = openWindow();
    QSignalSpy ended(window.get(), &Main::ended);
    QTest::mouseClick(window->cmdExit, Qt::LeftButton);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toInt(), 0);
    QVERIFY(m_messages->shown().isEmpty());
    window.reset();

    useAbsent();
    window = openWindow();
    QSignalSpy endedAfterStart(window.get(), &Main::ended);
    runCheck(*window, QStringLiteral("A"));
    QCOMPARE(m_messages->texts(),
        QStringList { "The Norlix company database component (Norlix.SystemGlobalAbsent) is not "
                      "installed on this workstation." });
    QCOMPARE(endedAfterStart.count(), 1);
    window.reset();
}
#endif

QTEST_MAIN(TestCheckEndToEnd)
#include "test_check_end_to_end.moc"
