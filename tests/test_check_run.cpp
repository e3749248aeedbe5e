// Start's whole check and the lock probe, run by the real window against a scripted Norlix.

#include "fake_norlix.h"
#include "message_box_recorder.h"

#include <give_back_clock.h>
#include <main.h>
#include <one_line.h>
#include <plain_label.h>
#include <shell_word.h>
#include <user_settings.h>

#include "test_support.h"
#include "window_driver.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <memory>

Q_DECLARE_METATYPE(Shell)

namespace {

// With a holder, the lock was held by it until the user pressed Unlock.
QStringList successfulReportOfB(
    const QString &workstation, const QString &version, const QString &holder = {})
{
    QStringList lines { "Checking database of Company B", "WorkStation name: " + workstation,
        "Database location: /srv/norlix/B/", "    Last compacted in month 2024-03",
        "    Database version " + version, "Attempting to lock and unlock the accounts",
        "Success -- accounts could be locked by this Workstation", "Finished" };
    if (!holder.isEmpty())
        lines = lines.mid(0, 6)
            + QStringList { "..... accounts seem to be locked by WorkStation: " + holder,
                  "     Attempting to unlock" }
            + lines.mid(6);
    return lines;
}

// The label's lines as a screen reader reads them through the Text interface, without their
// line breaks.
QStringList linesReadAloud(PlainLabel *label)
{
    QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(label)->textInterface();
    QStringList lines;
    int start = 0;
    int end = 0;
    for (QString line = text->textAtOffset(0, QAccessible::LineBoundary, &start, &end);
         start >= 0 && end > start && lines.size() < 20;
         line = text->textAfterOffset(start, QAccessible::LineBoundary, &start, &end))
        lines << (line.endsWith(u'\n') ? line.chopped(1) : line);
    return lines;
}

// The label as a reader sees it: in each row of pixels, the columns that carry ink (darker than
// mid grey). A line drawn lower, taller, wider or in another order shows; a shade of grey at the
// edge of a letter does not.
QStringList inkOf(const QImage &image)
{
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row(image.width(), u' ');
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                row[x] = u'#';
        while (row.endsWith(u' '))
            row.chop(1);
        rows << row;
    }
    return rows;
}

} // namespace

class TestCheckRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void successfulCheckReportsLineByLine();
    void versionLine_data();
    void versionLine();
    void emptyWorkstationNameUsesATemporaryName();
    void secondCheckReplacesTheFirst();
    void refusedLetterLeavesTheReportEmpty_data();
    void refusedLetterLeavesTheReportEmpty();
    void errorMidCheckKeepsTheEarlierLines_data();
    void errorMidCheckKeepsTheEarlierLines();
    void storedValuesStayInTheirLine_data();
    void storedValuesStayInTheirLine();
    void valuesCloseTheDirectionsTheyOpen_data();
    void valuesCloseTheDirectionsTheyOpen();
    void linesAfterAValueAreDrawnAndReadAsWithout_data();
    void linesAfterAValueAreDrawnAndReadAsWithout();

    void lockProbe_data();
    void lockProbe();
    void answerAfterAnotherCompanyWasMadeCurrent_data();
    void answerAfterAnotherCompanyWasMadeCurrent();
    void giveBackThroughABusyFile_data();
    void giveBackThroughABusyFile();
    void shellWordForEachPlatform_data();
    void shellWordForEachPlatform();
    void temporaryNamesAreDrawnAfreshAtEveryAttempt();
    void temporaryNameAfterUnlockIsUsedForLockAndUnlock();
    void tempWorkstationNameForm();

private:
    // The window opened, with the calls of its start-up forgotten.
    std::unique_ptr<Main> openWindow();

    QTemporaryDir m_config;
    FakeNorlix m_norlix;
    std::unique_ptr<MessageBoxRecorder> m_messages;
};

void TestCheckRun::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void TestCheckRun::init()
{
    m_norlix = FakeNorlix {};
    m_norlix.addCompany("A", "acorn.db", true, "Acorn Supplies", "11", "X2.500");
    m_norlix.addCompany("B", "bramble.db", true, "Bramble Ltd", "2024-03", "V12345");
    m_norlix.addCompany("D", "dormant.db", false, {});
    m_norlix.currentLetter = QStringLiteral("C");
    m_norlix.install();

    m_messages = std::make_unique<MessageBoxRecorder>();
    setWorkstationSetting(QStringLiteral("  ws1 "));
}

void TestCheckRun::cleanup()
{
    m_messages.reset();
    Norlix::resetComponents();
    giveBackClock() = GiveBackClock::real();
    QVERIFY(!m_norlix.dialogAnswersRanOut);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

std::unique_ptr<Main> TestCheckRun::openWindow()
{
    auto window = ::openWindow();
    m_norlix.forgetCalls();
    return window;
}

void TestCheckRun::successfulCheckReportsLineByLine()
{
    auto window = openWindow();
    QCOMPARE(window->workstationName(), QStringLiteral("WS1"));

    runCheck(*window, QStringLiteral("B"));

    QCOMPARE(window->lblResults->caption(), report(successfulReportOfB("WS1", "12345")));
    QCOMPARE(m_norlix.calls,
        QStringList({ "CompanyLetter=B", "DatabaseLocation", "DatabaseFileName",
            "FileExists(/srv/norlix/B/bramble.db)", "CompanySetting(Companyname)",
            "DatabaseLocation", "CompanySetting(AcctDBtidyMonth)", "CompanySetting(CompanyVersNbr)",
            "ToNumber(12345)", "AccountsLock(WS1,LOCK)", "AccountsLock(WS1,UNLOCK)" }));
    // The cut text reaches the converter as a general value holding text.
    QCOMPARE(m_norlix.toNumberArguments.size(), 1);
    QCOMPARE(m_norlix.toNumberArguments.at(0).typeId(), int(QMetaType::QString));
    QCOMPARE(m_norlix.converterObjectsFetched, 1);
    QVERIFY(m_norlix.everyCallOnAFreshObject());
    QVERIFY(m_norlix.lockHolder.isEmpty());
    QVERIFY(m_messages->shown().isEmpty());
    QVERIFY(m_norlix.choices.isEmpty());
}

void TestCheckRun::versionLine_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("shown");

    const QString notYetSet = Texts::notYetSet;
    QTest::newRow("integer") << "V12345" << QStringLiteral("12345");
    QTest::newRow("fraction without trailing zeros") << "X2.500" << QStringLiteral("2.5");
    QTest::newRow("below one") << "V0.5" << QStringLiteral("0.5");
    QTest::newRow("negative") << "V-2" << QStringLiteral("-2");
    QTest::newRow("beyond the sixth character ignored") << "V1234567" << QStringLiteral("12345");
    QTest::newRow("large") << "V1E+16" << QStringLiteral("1E+16");
    QTest::newRow("zero") << "V0" << notYetSet;
    QTest::newRow("empty") << "" << notYetSet;
    QTest::newRow("prefix only") << "V" << notYetSet;
    QTest::newRow("no number") << "Vabc" << notYetSet;
}

void TestCheckRun::versionLine()
{
    QFETCH(QString, setting);
    QFETCH(QString, shown);
    m_norlix.companies[QStringLiteral("B")].settings[QStringLiteral("CompanyVersNbr")] = setting;
    auto window = openWindow();

    runCheck(*window, QStringLiteral("B"));

    const QStringList lines = window->lblResults->caption().split(QStringLiteral("\r\n"));
    QCOMPARE(lines.value(4), QStringLiteral("    Database version ") + shown);
    QCOMPARE(window->lblResults->caption(), report(successfulReportOfB("WS1", shown)));
}

void TestCheckRun::emptyWorkstationNameUsesATemporaryName()
{
    setWorkstationSetting(QString());
    m_norlix.companies["B"].settings["CompanyVersNbr"] = "V0";
    auto window = openWindow();
    QVERIFY(window->workstationName().isEmpty());

    runCheck(*window, QStringLiteral("B"));

    QCOMPARE(
        window->lblResults->caption(), report(successfulReportOfB(QString(), Texts::notYetSet)));
    QVERIFY(window->lblResults->caption().contains(QStringLiteral("\r\nWorkStation name: \r\n")));
    QVERIFY(window->lblResults->caption().contains("    Database version  ** not yet set"));
    const QStringList lockCalls = m_norlix.lockCalls();
    QCOMPARE(lockCalls.size(), 2);
    const QString name = FakeNorlix::workstationOf(lockCalls.at(0));
    QVERIFY2(isTempName(name), qPrintable(name));
    QCOMPARE(lockCalls.at(1), QStringLiteral("AccountsLock(%1,UNLOCK)").arg(name));
}

void TestCheckRun::secondCheckReplacesTheFirst()
{
    m_norlix.lockHolder = QStringLiteral("W7");
    m_norlix.choiceAnswers = { QStringLiteral("Unlock") };
    auto window = openWindow();

    runCheck(*window, QStringLiteral("B"));
    QCOMPARE(window->lblResults->caption(), report(successfulReportOfB("WS1", "12345", "W7")));

    runCheck(*window, QStringLiteral("A"));
    QCOMPARE(window->lblResults->caption(),
        report({ "Checking database of Company A", "WorkStation name: WS1",
            "Database location: /srv/norlix/A/", "    Last compacted in month 11",
            "    Database version 2.5", "Attempting to lock and unlock the accounts",
            "Success -- accounts could be locked by this Workstation", "Finished" }));
    QVERIFY(m_messages->shown().isEmpty());
}

void TestCheckRun::refusedLetterLeavesTheReportEmpty_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty") << "" << Texts::letterNotValid;
    QTest::newRow("digit") << "7" << Texts::letterNotValid;
    QTest::newRow("database missing")
        << "D" << QStringLiteral("Cannot find database for Company D");
}

void TestCheckRun::refusedLetterLeavesTheReportEmpty()
{
    QFETCH(QString, letter);
    QFETCH(QString, message);
    auto window = openWindow();
    runCheck(*window, QStringLiteral("B"));
    QVERIFY(!window->lblResults->caption().isEmpty());
    m_norlix.calls.clear();

    runCheck(*window, letter);

    QCOMPARE(window->lblResults->caption(), QString());
    QCOMPARE(m_messages->texts(), QStringList { message });
    QVERIFY(m_norlix.lockCalls().isEmpty());
    QVERIFY(!m_norlix.calls.contains(QStringLiteral("CompanySetting(CompanyVersNbr)")));
    QVERIFY(window->isVisible());
}

void TestCheckRun::errorMidCheckKeepsTheEarlierLines_data()
{
    QTest::addColumn<QString>("failingCall");
    QTest::addColumn<bool>("lockHeld");
    QTest::addColumn<int>("linesKept");

    QTest::newRow("last compacted") << "CompanySetting(AcctDBtidyMonth)" << false << 3;
    QTest::newRow("version setting") << "CompanySetting(CompanyVersNbr)" << false << 4;
    QTest::newRow("converter") << "ToNumber(12345)" << false << 4;
    QTest::newRow("lock") << "AccountsLock(WS1,LOCK)" << false << 6;
    QTest::newRow("lock owner") << "LockOwner(LA)" << true << 6;
    QTest::newRow("unlock of the holder") << "AccountsLock(W7,UNLOCK)" << true << 8;
}

void TestCheckRun::errorMidCheckKeepsTheEarlierLines()
{
    QFETCH(QString, failingCall);
    QFETCH(bool, lockHeld);
    QFETCH(int, linesKept);
    const QString description = "The company database of B could not be read: disk I/O error.";
    m_norlix.failAt(failingCall, 1, Raised::ComponentError, description);
    if (lockHeld) {
        m_norlix.lockHolder = QStringLiteral("W7");
        m_norlix.choiceAnswers = { QStringLiteral("Unlock") };
    }
    auto window = openWindow();
    QSignalSpy ended(window.get(), &Main::ended);

    runCheck(*window, QStringLiteral("B"));

    const QStringList expected = successfulReportOfB("WS1", "12345", "W7");
    QCOMPARE(window->lblResults->caption(), report(expected.mid(0, linesKept)));
    QCOMPARE(m_messages->texts(), QStringList { description });
    QCOMPARE(m_messages->shown().at(0).title, QStringLiteral("Prismor"));
    QCOMPARE(ended.size(), 1);
    QVERIFY(ended.at(0).at(0).toInt() != 0);
}

void TestCheckRun::storedValuesStayInTheirLine_data()
{
    QTest::addColumn<QString>("inside"); // stored inside every value
    QTest::addColumn<QString>("shown"); // what the report shows of it there
    QTest::addColumn<QString>("closing"); // what the report adds at the end of every value

    const QString mark(QChar(u'\u00B6'));
    QTest::newRow("CR") << "\r" << mark << "";
    QTest::newRow("LF") << "\n" << mark << "";
    QTest::newRow("CR LF") << "\r\n" << mark + mark << "";
    QTest::newRow("VT") << "\v" << mark << "";
    QTest::newRow("FF") << "\f" << mark << "";
    QTest::newRow("NEL") << "\u0085" << mark << "";
    QTest::newRow("line separator") << "\u2028" << mark << "";
    QTest::newRow("paragraph separator") << "\u2029" << mark << "";
    QTest::newRow("NUL") << QString(QChar(u'\0')) << "[U+0000]"
                         << "";
    QTest::newRow("tab, escape, unit separator") << "\t\x1b\x1f"
                                                 << "[U+0009][U+001B][U+001F]"
                                                 << "";
    QTest::newRow("DEL and C1") << "\x7f\u0080\u009b\u009f"
                                << "[U+007F][U+0080][U+009B][U+009F]"
                                << "";
    QTest::newRow("right-to-left override") << "\u202E"
                                            << "\u202E"
                                            << "\u202C";
    QTest::newRow("right-to-left isolate") << "\u2067"
                                           << "\u2067"
                                           << "\u2069";
}

// A stored value cannot add report lines, such as a Success and a Finished of its own, nor hide
// a character from the screen or from a screen reader, nor turn the lines after it around.
void TestCheckRun::storedValuesStayInTheirLine()
{
    QFETCH(QString, inside);
    QFETCH(QString, shown);
    QFETCH(QString, closing);
    const QString forged = "Success -- accounts could be locked by this Workstation";
    FakeCompany &b = m_norlix.companies[QStringLiteral("B")];
    b.location = QStringLiteral("/srv/") + inside + QStringLiteral("norlix/B/");
    b.settings[QStringLiteral("AcctDBtidyMonth")] = QStringLiteral("3") + inside + forged;
    b.settings[QStringLiteral("Companyname")] = QStringLiteral("Bramble") + inside + "Ltd";
    setWorkstationSetting(QStringLiteral("ws") + inside + QStringLiteral("1"));
    m_norlix.lockHolder = QStringLiteral("W") + inside + QStringLiteral("7");
    m_norlix.choiceAnswers = { QStringLiteral("Unlock") };
    auto window = openWindow();

    runCheck(*window, QStringLiteral("B"));

    QCOMPARE(window->lblResults->caption(),
        report({ "Checking database of Company B", "WorkStation name: WS" + shown + "1" + closing,
            "Database location: /srv/" + shown + "norlix/B/" + closing,
            "    Last compacted in month 3" + shown + forged + closing,
            "    Database version 12345", "Attempting to lock and unlock the accounts",
            "..... accounts seem to be locked by WorkStation: W" + shown + "7" + closing,
            "     Attempting to unlock", "Success -- accounts could be locked by this Workstation",
            "Finished" }));
    QCOMPARE(window->lblCoName->caption(), "Bramble" + shown + "Ltd" + closing);
    // What is passed to Norlix is the value as stored.
    QVERIFY(m_norlix.calls.contains("AccountsLock(W" + inside + "7,UNLOCK)"));
}

void TestCheckRun::valuesCloseTheDirectionsTheyOpen_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");

    QTest::newRow("closed by the value") << "\u202Bx\u202Cy\u2066z\u2069"
                                         << "\u202Bx\u202Cy\u2066z\u2069";
    QTest::newRow("innermost first") << "\u202A\u2068\u202D"
                                     << "\u202A\u2068\u202D\u202C\u2069\u202C";
    QTest::newRow("a PDF cannot close an isolate") << "\u2066\u202C"
                                                   << "\u2066\u202C\u2069";
    QTest::newRow("a PDI closes what its isolate holds") << "\u202A\u2067\u202E\u2069"
                                                         << "\u202A\u2067\u202E\u2069\u202C";
    QTest::newRow("a PDI closes only the innermost isolate") << "\u2066\u2067\u2069"
                                                             << "\u2066\u2067\u2069\u2069";
    QTest::newRow("a PDI without an isolate closes nothing") << "\u202E\u2069"
                                                             << "\u202E\u2069\u202C";
    QTest::newRow("a stray PDF") << "\u202Cx"
                                 << "\u202Cx";
    QTest::newRow("right-to-left letters and marks") << "\u05D1\u05E8\u200F 12"
                                                     << "\u05D1\u05E8\u200F 12";
    QTest::newRow("no-break space stays") << "a\u00A0b"
                                          << "a\u00A0b";
}

void TestCheckRun::valuesCloseTheDirectionsTheyOpen()
{
    QFETCH(QString, value);
    QFETCH(QString, shown);
    QCOMPARE(onOneLine(value), shown);
}

void TestCheckRun::linesAfterAValueAreDrawnAndReadAsWithout_data()
{
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("drawnAs"); // a month that the box draws the same

    QTest::newRow("right-to-left override at the end") << "2024-03\u202E"
                                                       << "2024-03";
    QTest::newRow("right-to-left isolate at the end") << "2024-03\u2067"
                                                      << "2024-03";
    QTest::newRow("NUL") << QStringLiteral("2024-03") + QChar(u'\0') << "2024-03[U+0000]";
}

// The report's lines are one paragraph to the text layout: what a value opens would reach every
// line below it. A screen reader's text would end at a NUL. The controls are never drawn, and a
// desktop font that has glyphs for them (Noto Sans Mono, which the test set installs) must not
// make their line taller and move the lines below.
void TestCheckRun::linesAfterAValueAreDrawnAndReadAsWithout()
{
    QFETCH(QString, month);
    QFETCH(QString, drawnAs);
    QString &storedMonth
        = m_norlix.companies[QStringLiteral("B")].settings[QStringLiteral("AcctDBtidyMonth")];
    storedMonth = drawnAs;
    auto window = openWindow();
    runCheck(*window, QStringLiteral("B"));
    const QStringList expected = inkOf(window->lblResults->grab().toImage());

    storedMonth = month;
    runCheck(*window, QStringLiteral("B"));

    QCOMPARE(inkOf(window->lblResults->grab().toImage()), expected);
    const QStringList lines = linesReadAloud(window->lblResults);
    QCOMPARE(lines.mid(4), successfulReportOfB("WS1", "12345").mid(4));
    QVERIFY(!lines.join(QString()).contains(QChar(u'\0')));
}

void TestCheckRun::lockProbe_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QStringList>("scriptedLockReplies");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("lines");

    const QString lock = QStringLiteral("AccountsLock(WS1,LOCK)");
    const QString unlock = QStringLiteral("AccountsLock(WS1,UNLOCK)");
    const QString choice = QStringLiteral("ShowChoice");
    // After every answer but Exit: is the company still the one the message was about?
    const QString current = QStringLiteral("CompanyLetter?");

    QTest::newRow("free") << "" << QStringList() << QStringList() << true
                          << QStringList { lock, unlock } << QStringList();
    QTest::newRow("held, Exit") << "W7" << QStringList() << QStringList { "Exit" } << false
                                << QStringList { lock, choice } << QStringList();
    QTest::newRow("held, Retry then Exit")
        << "W7" << QStringList() << QStringList { "Retry", "Exit" } << false
        << QStringList { lock, choice, current, lock, choice } << QStringList();
    QTest::newRow("held, Unlock")
        << "W7" << QStringList() << QStringList { "Unlock" } << true
        << QStringList { lock, choice, current, "LockOwner(LA)", "AccountsLock(W7,UNLOCK)", lock,
               unlock }
        << QStringList { "..... accounts seem to be locked by WorkStation: W7",
               "     Attempting to unlock" };
    QTest::newRow("held, unknown answers are a retry")
        << "W7" << QStringList() << QStringList { "retry", "", "Cancel", "EXIT", " Exit", "Exit" }
        << false
        << QStringList { lock, choice, current, lock, choice, current, lock, choice, current, lock,
               choice, current, lock, choice, current, lock, choice }
        << QStringList();
    QTest::newRow("held, Retry until the holder has gone")
        << "" << QStringList { "W7", "W7" } << QStringList { "Retry", "Retry" } << true
        << QStringList { lock, choice, current, lock, choice, current, lock, unlock }
        << QStringList();
    QTest::newRow("granted under a name differing in case")
        << "" << QStringList { "ws1" } << QStringList { "Exit" } << false
        << QStringList { lock, choice } << QStringList();
    QTest::newRow("held by the same name in lower case, Unlock")
        << "ws1" << QStringList() << QStringList { "Unlock" } << true
        << QStringList { lock, choice, current, "LockOwner(LA)", "AccountsLock(ws1,UNLOCK)", lock,
               unlock }
        << QStringList { "..... accounts seem to be locked by WorkStation: ws1",
               "     Attempting to unlock" };
    QTest::newRow("held, but let go before Unlock")
        << "" << QStringList { "W7" } << QStringList { "Unlock" } << true
        << QStringList { lock, choice, current, "LockOwner(LA)", lock, unlock }
        << QStringList { "..... accounts seem to be locked by WorkStation: ",
               "     Attempting to unlock" };
    QTest::newRow("Unlock, then held by another, Exit")
        << "W7" << QStringList { "W7", "W8" } << QStringList { "Unlock", "Exit" } << false
        << QStringList { lock, choice, current, "LockOwner(LA)", "AccountsLock(W7,UNLOCK)", lock,
               choice }
        << QStringList { "..... accounts seem to be locked by WorkStation: W7",
               "     Attempting to unlock" };
}

void TestCheckRun::lockProbe()
{
    QFETCH(QString, holder);
    QFETCH(QStringList, scriptedLockReplies);
    QFETCH(QStringList, answers);
    QFETCH(bool, locked);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, lines);

    m_norlix.lockHolder = holder;
    m_norlix.scriptedLockReplies.assign(scriptedLockReplies.cbegin(), scriptedLockReplies.cend());
    m_norlix.choiceAnswers.assign(answers.cbegin(), answers.cend());
    auto window = openWindow();
    window->txtLetter->setText(m_norlix.currentLetter);

    QCOMPARE(window->TryLockAccounts(), locked);

    QCOMPARE(m_norlix.calls, calls);
    QCOMPARE(window->lblResults->caption(), report(lines));
    QVERIFY(m_norlix.choiceAnswers.empty());
    for (const ShownChoice &shown : m_norlix.choices) {
        QCOMPARE(shown.title, QStringLiteral("CAUTION"));
        QCOMPARE(shown.message, Texts::lockMessage);
        QCOMPARE(shown.buttons, QStringLiteral("Retry  Exit  Unlock"));
        QCOMPARE(shown.style, QStringLiteral("warning"));
        QCOMPARE(shown.number, 0);
    }
    QVERIFY(m_norlix.everyCallOnAFreshObject());
}

void TestCheckRun::answerAfterAnotherCompanyWasMadeCurrent_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("Unlock") << "Unlock";
    QTest::newRow("Retry") << "Retry";
}

// The company made current while the CAUTION message waited, by another program or by a close of
// the window, keeps its accounts lock: neither answer may act on it.
void TestCheckRun::answerAfterAnotherCompanyWasMadeCurrent()
{
    QFETCH(QString, answer);
    m_norlix.lockHolder = QStringLiteral("W7");
    m_norlix.choiceAnswers = { answer };
    m_norlix.onCall = [this](const QString &call) {
        if (call == QLatin1String("ShowChoice"))
            m_norlix.currentLetter = QStringLiteral("A");
    };
    auto window = openWindow();
    QSignalSpy ended(window.get(), &Main::ended);

    runCheck(*window, QStringLiteral("B"));

    QCOMPARE(m_norlix.lockCalls(), QStringList { "AccountsLock(WS1,LOCK)" });
    QVERIFY(!m_norlix.calls.contains(QStringLiteral("LockOwner(LA)")));
    QCOMPARE(m_norlix.lockHolder, QStringLiteral("W7"));
    QCOMPARE(m_messages->texts(),
        QStringList { "Company A became the current company while the CAUTION message was open. "
                      "The check of company B ends here, and nothing was done to the accounts of "
                      "either company." });
    // As after any failure in the check: the saved company is put back, and Prismor ends.
    QCOMPARE(m_norlix.letterWrites().last(), QStringLiteral("CompanyLetter=C"));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).at(0).toInt(), 1);
}

void TestCheckRun::giveBackThroughABusyFile_data()
{
    QTest::addColumn<QString>("workstation");
    QTest::addColumn<int>("readerSeconds"); // -1: the reader never lets go
    QTest::addColumn<bool>("changedNothing");
    QTest::addColumn<QString>("message"); // empty: the lock was given back

    // The command is written for the shell of the platform that the test runs on.
#ifdef Q_OS_WIN
    const QString unlockFrontDesk = QStringLiteral("norlix unlock B \"FRONT DESK'S PC\"");
    const QString unlockWs1 = QStringLiteral("norlix unlock B \"WS1\"");
    const QString releasePercent = QStringLiteral(
        "To release them, check company B from another workstation and press Unlock. This "
        "workstation's name cannot be written safely on a command line, so no norlix unlock "
        "command is given for it.");
#else
    const QString unlockFrontDesk = QStringLiteral("norlix unlock B 'FRONT DESK'\\''S PC'");
    const QString unlockWs1 = QStringLiteral("norlix unlock B WS1");
    const QString releasePercent = QStringLiteral(
        "To release them, run\n    norlix unlock B '50% PC'\nor check company B from another "
        "workstation and press Unlock.");
#endif

    QTest::newRow("a reader of 30 s") << "ws1" << 30 << true << QString();
    QTest::newRow("a failure that may have changed something")
        << "front desk's pc" << 30 << false
        << "The accounts of company B were left locked in this workstation's name, \"FRONT DESK'S "
           "PC\": the lock taken for the check could not be given back.\n\nThe company "
           "database of B is busy.\n\nTo release them, run\n    "
            + unlockFrontDesk + "\nor check company B from another workstation and press Unlock.";
    QTest::newRow("a reader that never lets go")
        << "ws1" << -1 << true
        << "The accounts of company B were left locked in this workstation's name, \"WS1\": the "
           "lock taken for the check could not be given back.\n\nThe company database of B is "
           "busy.\n\nTo release them, run\n    "
            + unlockWs1 + "\nor check company B from another workstation and press Unlock.";
    QTest::newRow("a name that cmd.exe would expand")
        << "50% pc" << 30 << false
        << "The accounts of company B were left locked in this workstation's name, \"50% PC\": "
           "the lock taken for the check could not be given back.\n\nThe company database of B "
           "is busy.\n\n"
            + releasePercent;
}

// Giving the probe's hold back outlasts a reader that keeps the company's file busy, repeats only
// a request that certainly changed nothing, and says how to release a hold it had to leave.
void TestCheckRun::giveBackThroughABusyFile()
{
    using namespace std::chrono_literals;
    QFETCH(QString, workstation);
    QFETCH(int, readerSeconds);
    QFETCH(bool, changedNothing);
    QFETCH(QString, message);
    setWorkstationSetting(workstation);
    const QString unlock = QStringLiteral("AccountsLock(%1,UNLOCK)").arg(workstation.toUpper());
    GiveBackClock::Clock::time_point now;
    giveBackClock()
        = { [&] { return now; }, [&](GiveBackClock::Clock::duration pause) { now += pause; } };
    QList<bool> waitCursorShown;
    m_norlix.onCall = [&](const QString &call) {
        if (call != unlock)
            return;
        const QCursor *cursor = QApplication::overrideCursor();
        waitCursorShown << (cursor && cursor->shape() == Qt::WaitCursor);
        // As the stand-in does, a request waits 5 s for the busy file before it fails.
        if (readerSeconds < 0 || now < GiveBackClock::Clock::time_point(readerSeconds * 1s)) {
            now += 5s;
            throw Norlix::ComponentError(QStringLiteral("The company database of B is busy."),
                changedNothing ? Norlix::ComponentError::Effect::Unchanged
                               : Norlix::ComponentError::Effect::Unknown);
        }
    };
    auto window = openWindow();
    QSignalSpy ended(window.get(), &Main::ended);

    runCheck(*window, QStringLiteral("B"));

    QVERIFY(!QApplication::overrideCursor());
    const QStringList fullReport = successfulReportOfB(workstation.toUpper(), "12345");
    if (message.isEmpty()) {
        QCOMPARE(window->lblResults->caption(), report(fullReport));
        QVERIFY(m_norlix.lockHolder.isEmpty());
        QVERIFY(m_messages->shown().isEmpty());
        QVERIFY(ended.isEmpty());
        QVERIFY(waitCursorShown.size() > 6);
        QCOMPARE(waitCursorShown.count(true), waitCursorShown.size() - 1);
        return;
    }
    QCOMPARE(window->lblResults->caption(), report(fullReport.mid(0, 6)));
    QCOMPARE(m_norlix.lockHolder, workstation.toUpper());
    QCOMPARE(m_messages->texts(), QStringList { message });
    QCOMPARE(ended.size(), 1);
    QVERIFY(ended.at(0).at(0).toInt() != 0);
    if (!changedNothing) {
        QCOMPARE(m_norlix.calls.count(unlock), 1);
    } else {
        // Bounded: it gives up at the first failure a minute after the first one (at 5 s).
        QVERIFY(now >= GiveBackClock::Clock::time_point(65s));
        QVERIFY(now < GiveBackClock::Clock::time_point(71s));
    }
}

void TestCheckRun::shellWordForEachPlatform_data()
{
    QTest::addColumn<Shell>("shell");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("word"); // null: the name cannot be written safely

    const Shell posix = Shell::Posix;
    const Shell windows = Shell::Windows;
    const struct
    {
        const char *row;
        Shell shell;
        const char *name;
        const char *word;
    } cases[] = {
        // clang-format off
        { "POSIX: plain",                      posix,   "FRONT-DESK",      "FRONT-DESK" },
        { "POSIX: blank and apostrophe",       posix,   "FRONT DESK'S PC", "'FRONT DESK'\\''S PC'" },
        { "POSIX: expanded or split",          posix,   "A$B`C\"D!*;&|\\", "'A$B`C\"D!*;&|\\'" },
        { "Windows: plain",                    windows, "FRONT-DESK",      "\"FRONT-DESK\"" },
        { "Windows: blank and apostrophe",     windows, "FRONT DESK'S PC", "\"FRONT DESK'S PC\"" },
        // Operators of cmd.exe; a number, list or end of command to PowerShell.
        { "Windows: operators, number, list",  windows, "A&B|C<D>E^F(G)1KB,2;3",
                                                        "\"A&B|C<D>E^F(G)1KB,2;3\"" },
        { "Windows: backslashes inside",       windows, "\\\\SERVER\\PC 1", "\"\\\\SERVER\\PC 1\"" },
        { "Windows: letters beyond ASCII",     windows, "BÜRO",            "\"BÜRO\"" },
        { "Windows: double quote",             windows, "A\"B",            nullptr },
        { "Windows: PowerShell's left quote",  windows, "A\u201CB",        nullptr },
        { "Windows: PowerShell's right quote", windows, "A\u201DB",        nullptr },
        { "Windows: PowerShell's low quote",   windows, "A\u201EB",        nullptr },
        { "Windows: percent, cmd.exe's",       windows, "50%",             nullptr },
        { "Windows: exclamation, cmd.exe's",   windows, "HI!",             nullptr },
        { "Windows: dollar, PowerShell's",     windows, "A$B",             nullptr },
        { "Windows: backtick, PowerShell's",   windows, "A`B",             nullptr },
        { "Windows: backslash at the end",     windows, "PC\\",            nullptr },
        { "Windows: line break",               windows, "A\nB",            nullptr },
        { "Windows: tab",                      windows, "A\tB",            nullptr },
        { "Windows: line separator",           windows, "A\u2028B",        nullptr },
        { "Windows: empty",                    windows, "",                nullptr },
        // clang-format on
    };
    for (const auto &[row, shell, name, word] : cases)
        QTest::newRow(row) << shell << QString::fromUtf8(name)
                           << (word ? QString::fromUtf8(word) : QString());
}

// The name in the release hint is one argument of the command, exactly as it is, in the shell of
// the platform: a POSIX shell, or both cmd.exe and PowerShell, whose quoting differ.
void TestCheckRun::shellWordForEachPlatform()
{
    QFETCH(Shell, shell);
    QFETCH(QString, name);
    QFETCH(QString, word);
    const std::optional<QString> written = shellWord(name, shell);
    QCOMPARE(written.has_value(), !word.isNull());
    QCOMPARE(written.value_or(QString()), word);
}

void TestCheckRun::temporaryNamesAreDrawnAfreshAtEveryAttempt()
{
    setWorkstationSetting(QStringLiteral("   "));
    m_norlix.lockHolder = QStringLiteral("W7");
    m_norlix.choiceAnswers = { "Retry", "Retry", "Retry", "Retry", "Retry", "Exit" };
    auto window = openWindow();
    window->txtLetter->setText(m_norlix.currentLetter);
    QVERIFY(window->workstationName().isEmpty());

    QVERIFY(!window->TryLockAccounts());

    const QStringList lockCalls = m_norlix.lockCalls();
    QCOMPARE(lockCalls.size(), 6);
    QSet<QString> names;
    for (const QString &call : lockCalls) {
        QVERIFY2(call.endsWith(QLatin1String(",LOCK)")), qPrintable(call));
        const QString name = FakeNorlix::workstationOf(call);
        QVERIFY2(isTempName(name), qPrintable(name));
        names << name;
    }
    // Six draws from 10001 names all alike would mean the name is not drawn again.
    QVERIFY(names.size() > 1);
}

void TestCheckRun::temporaryNameAfterUnlockIsUsedForLockAndUnlock()
{
    setWorkstationSetting(QString());
    m_norlix.lockHolder = QStringLiteral("W7");
    m_norlix.choiceAnswers = { QStringLiteral("Unlock") };
    auto window = openWindow();
    window->txtLetter->setText(m_norlix.currentLetter);

    QVERIFY(window->TryLockAccounts());

    const QStringList lockCalls = m_norlix.lockCalls();
    QCOMPARE(lockCalls.size(), 4);
    QCOMPARE(lockCalls.at(1), QStringLiteral("AccountsLock(W7,UNLOCK)"));
    const QString name = FakeNorlix::workstationOf(lockCalls.at(2));
    QVERIFY2(isTempName(name), qPrintable(name));
    QCOMPARE(lockCalls.at(2), QStringLiteral("AccountsLock(%1,LOCK)").arg(name));
    QCOMPARE(lockCalls.at(3), QStringLiteral("AccountsLock(%1,UNLOCK)").arg(name));
    QVERIFY(m_norlix.lockHolder.isEmpty());
}

void TestCheckRun::tempWorkstationNameForm()
{
    auto window = openWindow();
    QSet<QString> names;
    for (int i = 0; i < 200; ++i) {
        const QString name = window->TempWorkstationName();
        QVERIFY2(isTempName(name), qPrintable(name));
        names << name;
    }
    QVERIFY(names.size() > 1);
}

QTEST_MAIN(TestCheckRun)
#include "test_check_run.moc"
