// Start-up and exit: what the window notes when it loads, what it puts back when it ends by
// Exit, by its frame or by an error, and the message box as the user sees it.

#include "fake_norlix.h"
#include "message_box_recorder.h"
#include "window_test_support.h"

#include <application_font.h>
#include <main.h>
#include <plain_label.h>
#include <termination_signals.h>
#include <user_settings.h>

#include "test_support.h"

#include <QAbstractButton>
#include <QFont>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <stdexcept>

#ifdef Q_OS_WIN
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
namespace {

// What Windows sends each top-level window at a log-off, shut-down or restart, reason being
// ENDSESSION_LOGOFF, 0 or ENDSESSION_CLOSEAPP.
void endSession(QWidget &window, LPARAM reason)
{
    const HWND handle = reinterpret_cast<HWND>(window.winId());
    SendMessageW(handle, WM_QUERYENDSESSION, 0, reason);
    SendMessageW(handle, WM_ENDSESSION, TRUE, reason);
}

// Set in the copy of this test that exitOfTheProcessRestoresOnce runs as its child, to the file
// it tells its parent through.
constexpr char exitChildVariable[] = "PRISMOR_TEST_EXIT_CHILD";

} // namespace
#endif

class TestWindowLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUp_data();
    void startUp();
    void loadRunsOnceBeforeTheWindowIsShown();

    void exit_data();
    void exit();
    void closingOtherwiseRestoresOnce_data();
    void closingOtherwiseRestoresOnce();
    void applicationQuitRestores();
    void terminationSignalClosesLikeTheFrame_data();
    void terminationSignalClosesLikeTheFrame();
    void terminationSignalWaitsForAnOpenDialog();
    void exitOfTheProcessRestoresOnce_data();
    void exitOfTheProcessRestoresOnce();

    void errorInHandler_data();
    void errorInHandler();

    void realMessageBox();
    void defaultFontIsArialOnWindows();

private:
    void showMain();
    // Opens the window and makes company B current, as a check of B does.
    void showWithBSelected();
    // Norlix that cannot be created at all, or that fails the call named (none when empty).
    void failNorlix(bool norlixAvailable, const QString &failingCall);
    // In a child process: tells its parent each letter made current and each status the window
    // ends with, a line each.
    void tellParentWhatHappens(const std::function<void(const QString &)> &tell);

    FakeNorlix m_norlix;
    std::unique_ptr<MessageBoxRecorder> m_messages;
    std::unique_ptr<Main> m_main;
};

void TestWindowLifecycle::init()
{
    m_norlix = FakeNorlix {};
    m_norlix.currentLetter = QStringLiteral("C");
    m_norlix.addCompany("B", "company.ndb", true, "Bramley Ltd");
    m_norlix.addCompany("C", "company.ndb", true, "Carrow Ltd");
    m_norlix.install();
    setWorkstationSetting(QStringLiteral("frontdesk"));
    m_messages = std::make_unique<MessageBoxRecorder>();
    m_main = std::make_unique<Main>();
}

void TestWindowLifecycle::cleanup()
{
    m_main.reset();
    m_messages.reset();
    Norlix::resetComponents();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestWindowLifecycle::showMain()
{
    QVERIFY(showExposed(*m_main));
}

void TestWindowLifecycle::showWithBSelected()
{
    showMain();
    QVERIFY(m_main->SelectCompany(QStringLiteral("B")));
}

void TestWindowLifecycle::tellParentWhatHappens(
    const std::function<void(const QString &)> &tell)
{
    m_norlix.onCall = [tell](const QString &call) {
        if (call.startsWith(QLatin1String("CompanyLetter=")))
            tell(call);
    };
    connect(m_main.get(), &Main::ended, [tell](int status) { tell(QString::number(status)); });
}

void TestWindowLifecycle::failNorlix(bool norlixAvailable, const QString &failingCall)
{
    if (!norlixAvailable)
        m_norlix.failAt(QStringLiteral("SystemGlobal creation"), FakeNorlix::everyCall);
    if (!failingCall.isEmpty())
        m_norlix.failAt(failingCall);
}

void TestWindowLifecycle::startUp_data()
{
    QTest::addColumn<QString>("setting"); // null: absent
    QTest::addColumn<bool>("norlixAvailable");
    QTest::addColumn<QString>("failingCall");
    QTest::addColumn<QString>("savedLetter");
    QTest::addColumn<QString>("workstation");

    QTest::newRow("lower case with blanks")
        << "  front desk 2  " << true << QString() << QStringLiteral("C") << "FRONT DESK 2";
    QTest::newRow("setting absent") << QString() << true << QString() << "C" << QString();
    QTest::newRow("setting empty") << QStringLiteral("") << true << QString() << "C" << QString();
    QTest::newRow("only blanks are trimmed")
        << " \tws " << true << QString() << QStringLiteral("C") << "\tWS";
    QTest::newRow("component unavailable") << "ws-7" << false << QString() << QString() << "WS-7";
    QTest::newRow("letter cannot be read")
        << "ws-7" << true << "CompanyLetter?" << QString() << "WS-7";
}

void TestWindowLifecycle::startUp()
{
    QFETCH(QString, setting);
    QFETCH(bool, norlixAvailable);
    QFETCH(QString, failingCall);
    QFETCH(QString, savedLetter);
    QFETCH(QString, workstation);

    setWorkstationSetting(setting);
    failNorlix(norlixAvailable, failingCall);
    QSignalSpy ended(m_main.get(), &Main::ended);

    showMain();

    QVERIFY(m_main->isVisible());
    QCOMPARE(m_main->lblInstr->caption(), Texts::instructions);
    QCOMPARE(m_main->savedCompanyLetter(), savedLetter);
    QCOMPARE(m_main->workstationName(), workstation);
    QVERIFY(m_messages->shown().isEmpty());
    QCOMPARE(ended.count(), 0);
    // Start-up only reads: the setting is as it was and no company was made current.
    QCOMPARE(workstationSetting(), setting.isNull() ? QString() : setting);
    QVERIFY(m_norlix.letterWrites().isEmpty());
}

void TestWindowLifecycle::loadRunsOnceBeforeTheWindowIsShown()
{
    QList<bool> visibleWhenRead;
    m_norlix.onCall = [&](const QString &call) {
        if (call == QLatin1String("CompanyLetter?")) {
            const QWindow *window = m_main->windowHandle();
            visibleWhenRead << (window && window->isVisible());
        }
    };
    QCOMPARE(m_main->lblInstr->caption().left(25), QStringLiteral("Program to check Norlix d"));

    showMain();
    m_main->hide();
    showMain();

    QCOMPARE(visibleWhenRead, QList<bool> { false });
    QCOMPARE(m_main->lblInstr->caption(), Texts::instructions);
}

void TestWindowLifecycle::exit_data()
{
    QTest::addColumn<QString>("checkLetter"); // empty: no check
    QTest::addColumn<bool>("norlixAvailable");
    QTest::addColumn<QString>("failingCall");
    QTest::addColumn<QStringList>("letterWrites");
    QTest::addColumn<QString>("currentAfter");

    QTest::newRow("no check") << QString() << true << QString() << QStringList { "CompanyLetter=C" }
                              << "C";
    QTest::newRow("after a check of B")
        << "B" << true << QString() << QStringList { "CompanyLetter=B", "CompanyLetter=C" } << "C";
    QTest::newRow("after a missing company")
        << "Q" << true << QString() << QStringList { "CompanyLetter=Q", "CompanyLetter=C" } << "C";
    QTest::newRow("letter unreadable at start")
        << "B" << true << "CompanyLetter?" << QStringList { "CompanyLetter=B", "CompanyLetter=" }
        << QString();
    QTest::newRow("restore fails") << "B" << true << "CompanyLetter=C"
                                   << QStringList { "CompanyLetter=B", "CompanyLetter=C" } << "B";
    QTest::newRow("component unavailable")
        << QString() << false << QString() << QStringList() << "C";
}

void TestWindowLifecycle::exit()
{
    QFETCH(QString, checkLetter);
    QFETCH(bool, norlixAvailable);
    QFETCH(QString, failingCall);
    QFETCH(QStringList, letterWrites);
    QFETCH(QString, currentAfter);

    failNorlix(norlixAvailable, failingCall);
    QSignalSpy ended(m_main.get(), &Main::ended);
    showMain();
    if (!checkLetter.isEmpty())
        m_main->SelectCompany(checkLetter);
    const qsizetype messagesBefore = m_messages->shown().size();

    QTest::mouseClick(m_main->cmdExit, Qt::LeftButton);

    QCOMPARE(m_norlix.letterWrites(), letterWrites);
    QCOMPARE(m_norlix.currentLetter, currentAfter);
    QCOMPARE(statuses(ended), QList<int> { 0 });
    QVERIFY(!m_main->isVisible());
    QCOMPARE(m_messages->shown().size(), messagesBefore);
}

void TestWindowLifecycle::closingOtherwiseRestoresOnce_data()
{
    QTest::addColumn<bool>("byWindowSystem");
    QTest::newRow("window manager closes the window") << true;
    QTest::newRow("window closed by the program") << false;
}

void TestWindowLifecycle::closingOtherwiseRestoresOnce()
{
    QFETCH(bool, byWindowSystem);

    QSignalSpy ended(m_main.get(), &Main::ended);
    showWithBSelected();

    if (byWindowSystem)
        QVERIFY(m_main->windowHandle()->close());
    else
        QVERIFY(m_main->close());

    QVERIFY(!m_main->isVisible());
    QCOMPARE(m_norlix.currentLetter, QStringLiteral("C"));
    QCOMPARE(statuses(ended), QList<int> { 0 });

    // Whatever comes after, the saved company is written back only once.
    m_main->cmdExit_Click();
    m_main->show();
    m_main->close();
    QCOMPARE(m_norlix.letterWrites(), QStringList({ "CompanyLetter=B", "CompanyLetter=C" }));
    QCOMPARE(ended.count(), 1);
}

// The desktop session may end the application without closing its window first.
void TestWindowLifecycle::applicationQuitRestores()
{
    showWithBSelected();

    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCOMPARE(QApplication::exec(), 0);

    QCOMPARE(m_norlix.currentLetter, QStringLiteral("C"));
    QCOMPARE(m_norlix.letterWrites().size(), 2);
}

#ifdef Q_OS_WIN
void TestWindowLifecycle::terminationSignalClosesLikeTheFrame_data()
{
    QTest::addColumn<int>("reason");
    QTest::newRow("log-off") << int(ENDSESSION_LOGOFF);
    QTest::newRow("shut-down") << 0;
    QTest::newRow("restart by an installer") << int(ENDSESSION_CLOSEAPP);
}

// Windows may end the process as soon as WM_ENDSESSION is answered: the window is closed by then.
void TestWindowLifecycle::terminationSignalClosesLikeTheFrame()
{
    QFETCH(int, reason);

    QSignalSpy ended(m_main.get(), &Main::ended);
    showWithBSelected();
    {
        const TerminationSignals termination(m_main.get());
        endSession(*m_main, reason);
        QVERIFY(!m_main->isVisible());
    }

    QCOMPARE(m_norlix.currentLetter, QStringLiteral("C"));
    QCOMPARE(statuses(ended), QList<int> { 0 });
    // Gone with it, it closes nothing more.
    showMain();
    endSession(*m_main, reason);
    QVERIFY(m_main->isVisible());
}

// There is no later moment to wait for: the window closes with the dialog still open.
void TestWindowLifecycle::terminationSignalWaitsForAnOpenDialog()
{
    m_messages.reset();
    showMain();
    const TerminationSignals termination(m_main.get());
    bool closedWhileDialogOpen = false;
    QString restoredWhileDialogOpen;
    bool selected = true;

    whileModal([&] { selected = m_main->SelectCompany(QString()); },
        [&](QWidget *box) {
            endSession(*m_main, ENDSESSION_LOGOFF);
            closedWhileDialogOpen = !m_main->isVisible() && box->isVisible();
            restoredWhileDialogOpen = m_norlix.currentLetter;
            QTest::keyClick(box, Qt::Key_Enter);
        });

    QVERIFY(!selected);
    QVERIFY(closedWhileDialogOpen);
    QCOMPARE(restoredWhileDialogOpen, QStringLiteral("C"));
    QVERIFY(!m_main->isVisible());
    QCOMPARE(m_norlix.currentLetter, QStringLiteral("C"));
    QCOMPARE(m_norlix.letterWrites(), QStringList { "CompanyLetter=C" });
}
#else
void TestWindowLifecycle::terminationSignalClosesLikeTheFrame_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestWindowLifecycle::terminationSignalClosesLikeTheFrame()
{
    QFETCH(int, signalNumber);

    QSignalSpy ended(m_main.get(), &Main::ended);
    showWithBSelected();
    {
        const TerminationSignals termination(m_main.get());
        QCOMPARE(std::raise(signalNumber), 0);
        QTRY_VERIFY(!m_main->isVisible());
    }

    QCOMPARE(m_norlix.currentLetter, QStringLiteral("C"));
    QCOMPARE(statuses(ended), QList<int> { 0 });
    struct sigaction disposition = {};
    QCOMPARE(::sigaction(signalNumber, nullptr, &disposition), 0);
    QVERIFY(disposition.sa_handler == SIG_DFL);
}

void TestWindowLifecycle::terminationSignalWaitsForAnOpenDialog()
{
    m_messages.reset();
    showMain();
    const TerminationSignals termination(m_main.get());
    bool visibleWhileDialogOpen = false;
    bool selected = true;

    whileModal([&] { selected = m_main->SelectCompany(QString()); },
        [&](QWidget *box) {
            std::raise(SIGTERM);
            QTest::qWait(300);
            visibleWhileDialogOpen = m_main->isVisible() && box->isVisible();
            QTest::keyClick(box, Qt::Key_Enter);
        });

    QVERIFY(!selected);
    QVERIFY(visibleWhileDialogOpen);
    QTRY_VERIFY(!m_main->isVisible());
    QCOMPARE(m_norlix.currentLetter, QStringLiteral("C"));
}
#endif

void TestWindowLifecycle::exitOfTheProcessRestoresOnce_data()
{
    QTest::addColumn<bool>("signalBurstFirst");
#ifdef Q_OS_WIN
    QTest::newRow("exit() from under the window") << false;
    QTest::newRow("a burst of session ends, then exit()") << true;
#else
    QTest::newRow("the X server goes away") << false;
    QTest::newRow("a burst of termination signals, then the X server goes away") << true;
#endif
}

// Qt's X11 platform ends the process with exit(1) when the X server has gone, closing no window.
// A child process does that here and tells through a pipe which letters it wrote and which
// statuses the window ended with.
void TestWindowLifecycle::exitOfTheProcessRestoresOnce()
{
    QFETCH(bool, signalBurstFirst);
    showWithBSelected();
#ifdef Q_OS_WIN
    // Without fork the child is this test run again, by itself, in a process of its own.
    if (const QString toParent = qEnvironmentVariable(exitChildVariable); !toParent.isEmpty()) {
        QFile told(toParent);
        if (!told.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            std::exit(2);
        tellParentWhatHappens([&](const QString &what) { told.write(what.toUtf8() + '\n'); });
        if (signalBurstFirst) {
            const TerminationSignals termination(m_main.get());
            for (const LPARAM reason : { LPARAM(ENDSESSION_LOGOFF), LPARAM(ENDSESSION_LOGOFF),
                     LPARAM(0), LPARAM(ENDSESSION_CLOSEAPP), LPARAM(ENDSESSION_LOGOFF) })
                endSession(*m_main, reason);
            QCoreApplication::processEvents();
        }
        std::exit(1);
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString toldPath = dir.filePath(QStringLiteral("told"));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(exitChildVariable), toldPath);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
        { "exitOfTheProcessRestoresOnce:" + QString::fromUtf8(QTest::currentDataTag()) });
    QVERIFY(child.waitForFinished(120000));
    const QByteArray output = child.readAll();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 1, output.constData());
    const QStringList told
        = QString::fromUtf8(fileBytes(toldPath)).split(u'\n', Qt::SkipEmptyParts);
#else
    int pipeEnds[2];
    QCOMPARE(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    QVERIFY(child != -1);
    if (child == 0) {
        ::close(pipeEnds[0]);
        tellParentWhatHappens([&](const QString &what) {
            const QByteArray line = what.toUtf8() + '\n';
            [[maybe_unused]] const auto written = ::write(pipeEnds[1], line.data(), line.size());
        });
        if (signalBurstFirst) {
            const TerminationSignals termination(m_main.get());
            for (const int signalNumber : { SIGTERM, SIGTERM, SIGHUP, SIGINT, SIGTERM })
                std::raise(signalNumber);
            // No test macro here: a failing one would return into the rest of the tests.
            for (int wait = 0; wait < 500 && m_main->isVisible(); ++wait)
                QTest::qWait(10);
            QCoreApplication::processEvents();
        }
        std::exit(1);
    }
    ::close(pipeEnds[1]);
    QFile fromChild;
    QVERIFY(fromChild.open(pipeEnds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    const QStringList told
        = QString::fromUtf8(fromChild.readAll()).split(u'\n', Qt::SkipEmptyParts);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);

    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 1);
#endif
    const QStringList restoredOnce { "CompanyLetter=C" };
    const QStringList endedOnceByTheBurst { "CompanyLetter=C", "0" };
    QCOMPARE(told, signalBurstFirst ? endedOnceByTheBurst : restoredOnce);
}

void TestWindowLifecycle::errorInHandler_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("letterWrites");

    QTest::newRow("Norlix fails during Start")
        << QStringLiteral("start") << "The Norlix company database is not reachable."
        << QStringList { "CompanyLetter=B", "CompanyLetter=C" };
    QTest::newRow("standard exception")
        << QStringLiteral("std") << "disk full" << QStringList { "CompanyLetter=C" };
    QTest::newRow("anything else thrown")
        << "other" << QStringLiteral("An unexpected error occurred; Prismor has to end.")
        << QStringList { "CompanyLetter=C" };
}

void TestWindowLifecycle::errorInHandler()
{
    QFETCH(QString, how);
    QFETCH(QString, message);
    QFETCH(QStringList, letterWrites);

    QSignalSpy ended(m_main.get(), &Main::ended);
    showMain();
    qsizetype messagesWhenRestored = -1;
    m_norlix.onCall = [&](const QString &call) {
        if (call == QLatin1String("CompanyLetter=C"))
            messagesWhenRestored = m_messages->shown().size();
    };

    if (how == QLatin1String("start")) {
        m_norlix.failAt(QStringLiteral("FileExists(/srv/norlix/B/company.ndb)"));
        m_main->txtLetter->setText(QStringLiteral("b"));
        QTest::mouseClick(m_main->cmdStart, Qt::LeftButton);
    } else if (how == QLatin1String("std")) {
        m_main->guarded([] { throw std::runtime_error("disk full"); });
    } else {
        m_main->guarded([] { throw 42; });
    }

    QCOMPARE(m_messages->texts(), QStringList { message });
    QCOMPARE(m_messages->shown().first().title, QStringLiteral("Prismor"));
    QCOMPARE(m_norlix.letterWrites(), letterWrites);
    QCOMPARE(messagesWhenRestored, 1); // the user is told first, then the company is put back
    QCOMPARE(statuses(ended), QList<int> { 1 });
    QVERIFY(!m_main->isVisible());

    // The utility is ending: no handler runs any more, and no second restore happens.
    const qsizetype callsAtEnd = m_norlix.calls.size();
    m_main->guarded([] { throw std::runtime_error("again"); });
    m_main->close();
    QCOMPARE(m_norlix.calls.size(), callsAtEnd);
    QCOMPARE(m_messages->shown().size(), 1);
    QCOMPARE(ended.count(), 1);
}

// The one test with the real box: modal over the window, titled "Prismor", OK only, no icon.
void TestWindowLifecycle::realMessageBox()
{
    m_messages.reset();
    showMain();

    struct Seen
    {
        bool found = false;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Information;
        bool iconPixmapEmpty = false;
        QList<QAbstractButton *> buttons;
        QString buttonText;
        Qt::TextFormat format = Qt::AutoText;
        Qt::WindowModality modality = Qt::NonModal;
        QWidget *parent = nullptr;
    } seen;
    bool selected = true;

    whileModal([&] { selected = m_main->SelectCompany(QStringLiteral("<b>")); },
        [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            seen.found = box != nullptr;
            if (!box) {
                modal->close();
                return;
            }
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.iconPixmapEmpty = box->iconPixmap().isNull();
            seen.buttons = box->buttons();
            seen.buttonText
                = box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->text() : QString();
            seen.format = box->textFormat();
            seen.modality = box->windowModality();
            seen.parent = box->parentWidget();
            QTest::keyClick(box, Qt::Key_Enter);
        });

    QVERIFY(!selected);
    QVERIFY2(seen.found, "no message box was shown");
    QCOMPARE(seen.title, QStringLiteral("Prismor"));
    QCOMPARE(seen.text, Texts::letterNotValid);
    QCOMPARE(seen.icon, QMessageBox::NoIcon);
    QVERIFY(seen.iconPixmapEmpty);
    QCOMPARE(seen.buttons.size(), 1);
    QCOMPARE(seen.buttonText, QStringLiteral("OK"));
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.modality, Qt::ApplicationModal);
    QCOMPARE(seen.parent, m_main.get());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(m_main->isVisible());
}

// On Windows Prismor makes Arial the application's font before the window, so that Qt never loads
// the desktop's default font only to drop it; message boxes still take the desktop's message font.
void TestWindowLifecycle::defaultFontIsArialOnWindows()
{
    const QFont applicationFont = QGuiApplication::font();
    const QFont messageBoxFont = QApplication::font("QMessageBox");
    const auto restore = qScopeGuard([&] { QGuiApplication::setFont(applicationFont); });

    useArialAsDefaultFont();

#ifdef Q_OS_WIN
    QCOMPARE(QGuiApplication::font().family(), QStringLiteral("Arial"));
    QCOMPARE(QGuiApplication::font().weight(), QFont::Normal);
#else
    QCOMPARE(QGuiApplication::font(), applicationFont);
#endif
    QCOMPARE(QApplication::font("QMessageBox"), messageBoxFont);
}

PRISMOR_WINDOW_TEST_MAIN(TestWindowLifecycle)
#include "test_window_lifecycle.moc"
