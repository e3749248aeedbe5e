// The company letter: what typing and pasting leave in txtLetter, and each outcome of
// SelectCompany with its colour, company name, message and component calls.

#include "fake_norlix.h"
#include "message_box_recorder.h"
#include "window_test_support.h"

#include <company_letter.h>
#include <letter_filter.h>
#include <main.h>
#include <plain_label.h>

#include "test_support.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLineEdit>
#include <QSignalSpy>

namespace {

QColor letterBackground(const Main &main)
{
    return main.txtLetter->palette().color(QPalette::Base);
}

} // namespace

class TestWindowLetter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void filteredLetter_data();
    void filteredLetter();
    void isCompanyLetter_data();
    void isCompanyLetter();

    void typing_data();
    void typing();
    void pasting_data();
    void pasting();
    void writingBackEqualTextRaisesNoFurtherChange();

    void selectCompany_data();
    void selectCompany();
    void eachOperationOnAFreshObject();
    void refusalLeavesTheWindowUsable();

private:
    FakeNorlix m_norlix;
    std::unique_ptr<MessageBoxRecorder> m_messages;
    std::unique_ptr<Main> m_main;
};

void TestWindowLetter::init()
{
    m_norlix = FakeNorlix {};
    m_norlix.currentLetter = QStringLiteral("C");
    m_norlix.addCompany("B", "company.ndb", true, "Bramley & <b>Sons</b>");
    m_norlix.addCompany("D", "company.ndb", false, "Dunmore Ltd");
    m_norlix.install();
    m_messages = std::make_unique<MessageBoxRecorder>();
    m_main = std::make_unique<Main>();
    QVERIFY(showExposed(*m_main));
    m_norlix.forgetCalls();
}

void TestWindowLetter::cleanup()
{
    m_main.reset();
    m_messages.reset();
    Norlix::resetComponents();
}

void TestWindowLetter::filteredLetter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blanks only") << "   " << QString();
    QTest::newRow("blank then b") << QStringLiteral(" b") << "B";
    QTest::newRow("word") << QStringLiteral("abc") << "A";
    QTest::newRow("capital kept") << QStringLiteral("Q") << "Q";
    QTest::newRow("digit") << QStringLiteral("7x") << "7";
    QTest::newRow("tab is not a blank") << QStringLiteral("\tb") << "\t";
    QTest::newRow("sharp s stays") << QStringLiteral("ßa") << "ß";
    QTest::newRow("ligature stays one") << QStringLiteral("ﬁx") << "ﬁ";
    QTest::newRow("accented") << QStringLiteral("é") << "É";
    QTest::newRow("combining marks kept") << QStringLiteral("e\u0301\u0323f") << "E\u0301\u0323";
    QTest::newRow("emoji not halved") << QStringLiteral("\U0001F600b") << "\U0001F600";
    QTest::newRow("astral letter upper-cased") << QStringLiteral("\U00010428z") << "\U00010400";
    QTest::newRow("flag pair whole")
        << QStringLiteral("\U0001F1EC\U0001F1E7a") << "\U0001F1EC\U0001F1E7";
    QTest::newRow("lone surrogate")
        << QString(QChar(0xD800)) + QStringLiteral("b") << QString(QChar(0xD800));
    QTest::newRow("astral letter before a Devanagari vowel")
        << QStringLiteral("\U0001D41A\u0960") << "\U0001D41A";
    // A prepended mark joins the blank after it into one character; the blank still goes.
    QTest::newRow("prepended mark before a blank") << QStringLiteral("؀ x") << "؀";
}

void TestWindowLetter::filteredLetter()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QCOMPARE(::filteredLetter(text), kept);
}

void TestWindowLetter::isCompanyLetter_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<bool>("valid");

    QTest::newRow("A") << "A" << true;
    QTest::newRow("Z") << "Z" << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("lower case") << "a" << false;
    QTest::newRow("two letters") << "AB" << false;
    QTest::newRow("digit") << "1" << false;
    QTest::newRow("before A") << "@" << false;
    QTest::newRow("after Z") << "[" << false;
    QTest::newRow("umlaut") << "Ä" << false;
    QTest::newRow("full-width A") << "Ａ" << false;
    QTest::newRow("sharp s") << "ß" << false;
    QTest::newRow("A with mark") << "A\u0301" << false;
}

void TestWindowLetter::isCompanyLetter()
{
    QFETCH(QString, letter);
    QFETCH(bool, valid);
    QCOMPARE(Norlix::isCompanyLetter(letter), valid);
}

void TestWindowLetter::typing_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("kept");

    QTest::newRow("blank then b") << QString() << QStringLiteral(" b") << "B";
    QTest::newRow("second letter dropped") << QString() << QStringLiteral("cd") << "C";
    QTest::newRow("sharp s") << QString() << QStringLiteral("ß") << "ß";
    QTest::newRow("after A") << QStringLiteral("A") << QStringLiteral("q") << "A";
}

void TestWindowLetter::typing()
{
    QFETCH(QString, start);
    QFETCH(QString, keys);
    QFETCH(QString, kept);

    m_main->txtLetter->setText(start);
    m_main->txtLetter->setFocus();
    m_main->txtLetter->end(false);
    const QColor before = letterBackground(*m_main);

    QTest::keyClicks(m_main->txtLetter, keys);

    QCOMPARE(m_main->txtLetter->text(), kept);
    // Typing neither colours the entry nor touches the component.
    QCOMPARE(letterBackground(*m_main), before);
    QVERIFY(m_norlix.calls.isEmpty());
    QVERIFY(m_messages->shown().isEmpty());
}

void TestWindowLetter::pasting_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("kept");

    QTest::newRow("three-letter word") << QStringLiteral("xyz") << "X";
    QTest::newRow("blanks around") << QStringLiteral("  m  ") << "M";
    QTest::newRow("emoji pair") << QStringLiteral("\U0001F600\U0001F601") << "\U0001F600";
    QTest::newRow("letter with marks") << QStringLiteral("o\u0308\u0304p") << "O\u0308\u0304";
    QTest::newRow("sharp s word") << QStringLiteral("ßtraße") << "ß";
    QTest::newRow("report line") << QStringLiteral("b\r\nc") << "B";
}

void TestWindowLetter::pasting()
{
    QFETCH(QString, clipboard);
    QFETCH(QString, kept);

    QGuiApplication::clipboard()->setText(clipboard);
    m_main->txtLetter->setFocus();
    m_main->txtLetter->selectAll();
    QTest::keySequence(m_main->txtLetter, QKeySequence::Paste);

    QCOMPARE(m_main->txtLetter->text(), kept);
}

void TestWindowLetter::writingBackEqualTextRaisesNoFurtherChange()
{
    QSignalSpy changes(m_main->txtLetter, &QLineEdit::textChanged);

    m_main->txtLetter->setText(QStringLiteral("b"));
    QCOMPARE(m_main->txtLetter->text(), QStringLiteral("B"));
    QCOMPARE(changes.count(), 2); // the program's "b", then the handler's "B"

    changes.clear();
    m_main->txtLetter->setText(QStringLiteral("B"));
    m_main->txtLetter_Change();
    QCOMPARE(changes.count(), 0);
    QCOMPARE(m_main->txtLetter->text(), QStringLiteral("B"));

    // Deleting the text leaves it empty, once.
    m_main->txtLetter->setFocus();
    m_main->txtLetter->end(false);
    QTest::keyClick(m_main->txtLetter, Qt::Key_Backspace);
    QCOMPARE(m_main->txtLetter->text(), QString());
    QCOMPARE(changes.count(), 1);
}

void TestWindowLetter::selectCompany_data()
{
    QTest::addColumn<QString>("letter");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QString>("companyName");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("currentAfter");

    const QColor orange(255, 208, 176), pink(255, 208, 208), green(224, 255, 224);
    const QStringList refused = { Texts::letterNotValid };
    for (const char *letter : { "", "1", "b", "BB", "Ä", " B", "ß" })
        QTest::addRow("refused '%s'", letter) << QString::fromUtf8(letter) << false << orange
                                              << QString() << refused << QStringList() << "C";

    QTest::newRow("database missing")
        << "D" << false << pink << QString() << QStringList { "Cannot find database for Company D" }
        << QStringList { "CompanyLetter=D", "DatabaseLocation", "DatabaseFileName",
               "FileExists(/srv/norlix/D/company.ndb)" }
        << "D";
    QTest::newRow("company unknown to Norlix")
        << "Q" << false << pink << QString() << QStringList { "Cannot find database for Company Q" }
        << QStringList { "CompanyLetter=Q", "DatabaseLocation", "DatabaseFileName", "FileExists()" }
        << "Q";
    QTest::newRow("found") << "B" << true << green << "Bramley & <b>Sons</b>" << QStringList()
                           << QStringList { "CompanyLetter=B", "DatabaseLocation",
                                  "DatabaseFileName", "FileExists(/srv/norlix/B/company.ndb)",
                                  "CompanySetting(Companyname)" }
                           << "B";
}

void TestWindowLetter::selectCompany()
{
    QFETCH(QString, letter);
    QFETCH(bool, found);
    QFETCH(QColor, colour);
    QFETCH(QString, companyName);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, calls);
    QFETCH(QString, currentAfter);

    // A name left over from an earlier check must not survive a refusal.
    m_main->lblCoName->setCaption(QStringLiteral("Earlier Company"));

    QCOMPARE(m_main->SelectCompany(letter), found);

    QCOMPARE(letterBackground(*m_main), colour);
    QCOMPARE(m_main->lblCoName->caption(), companyName);
    QCOMPARE(m_messages->texts(), messages);
    for (const ShownMessageBox &shown : m_messages->shown()) {
        QCOMPARE(shown.title, QStringLiteral("Prismor"));
        QCOMPARE(shown.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(shown.icon, QMessageBox::NoIcon);
        QCOMPARE(shown.textFormat, Qt::PlainText);
        QVERIFY(shown.modal);
    }
    QCOMPARE(m_norlix.calls, calls);
    QCOMPARE(m_norlix.currentLetter, currentAfter);
}

void TestWindowLetter::eachOperationOnAFreshObject()
{
    QVERIFY(m_main->SelectCompany(QStringLiteral("B")));
    QCOMPARE(m_norlix.calls.size(), 5);
    QVERIFY(m_norlix.everyCallOnAFreshObject());
}

void TestWindowLetter::refusalLeavesTheWindowUsable()
{
    QVERIFY(!m_main->SelectCompany(QStringLiteral("D")));
    QVERIFY(m_main->isVisible());
    QVERIFY(m_main->SelectCompany(QStringLiteral("B")));
    QCOMPARE(letterBackground(*m_main), QColor(224, 255, 224));
    QCOMPARE(m_main->lblCoName->caption(), QStringLiteral("Bramley & <b>Sons</b>"));
    QCOMPARE(m_main->lblCoName->text(), QStringLiteral("Bramley & <b>Sons</b>"));
}

PRISMOR_WINDOW_TEST_MAIN(TestWindowLetter)
#include "test_window_letter.moc"
