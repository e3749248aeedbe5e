// The Norlix choice dialog shown for real and answered by the test while it waits.

#include <component_error.h>
#include <dialog/choice_dialog_window.h>

#include "test_support.h"
#include "window_test_support.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// What the test saw of the dialog while it was open.
struct Seen
{
    bool shown = false;
    QString title;
    QString message;
    Qt::TextFormat messageFormat = Qt::AutoText;
    QStringList buttonTexts;
    bool hasIcon = false;
    QImage icon;
    QString iconName; // as a screen reader gives it
    bool modal = false;
    Qt::WindowFlags flags;
    QWidget *parent = nullptr;
    QString firstFocus; // the focused button's text, or the focused widget's name
    bool openAfterEscape = false;
    bool openAfterClose = false;
    bool anyDefaultButton = false;
};

QList<QPushButton *> buttonsOf(QWidget *dialog)
{
    auto buttons = dialog->findChildren<QPushButton *>();
    std::sort(buttons.begin(), buttons.end(),
        [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    return buttons;
}

QString focusName(QWidget *dialog)
{
    QWidget *focus = dialog->focusWidget();
    if (auto *button = qobject_cast<QPushButton *>(focus))
        return button->text();
    return focus ? focus->objectName() : QString();
}

// Waits for the modal dialog, records it, tries to close it without a choice, then lets answer
// press a button.
void answerWhenShown(Seen &seen, std::function<void(QWidget *)> answer)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, &seen, answer] {
        QWidget *dialog = shownChoiceDialog();
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();

        seen.shown = true;
        seen.firstFocus = focusName(dialog);
        seen.title = dialog->windowTitle();
        seen.modal = QApplication::activeModalWidget() == dialog
            && dialog->windowModality() == Qt::ApplicationModal;
        seen.flags = dialog->windowFlags();
        seen.parent = dialog->parentWidget();
        if (auto *message = dialog->findChild<QLabel *>(QStringLiteral("choiceMessage"))) {
            seen.message = message->text();
            seen.messageFormat = message->textFormat();
        }
        if (auto *icon = dialog->findChild<QLabel *>(QStringLiteral("choiceIcon"))) {
            seen.hasIcon = true;
            seen.icon = icon->pixmap().toImage();
            seen.iconName = QAccessible::queryAccessibleInterface(icon)->text(QAccessible::Name);
        }
        for (QPushButton *button : buttonsOf(dialog)) {
            seen.buttonTexts << button->text();
            seen.anyDefaultButton = seen.anyDefaultButton || button->isDefault();
        }

        QTest::keyClick(dialog, Qt::Key_Escape);
        seen.openAfterEscape = dialog->isVisible();
        dialog->close();
        seen.openAfterClose = dialog->isVisible();

        answer(dialog);
    });
    poll->start();
}

std::function<void(QWidget *)> clickButton(const QString &text)
{
    return [text](QWidget *dialog) {
        for (QPushButton *button : buttonsOf(dialog))
            if (button->text() == text) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
    };
}

// Shows the CAUTION dialog of a held lock and gives back the name of the button chosen.
QString showCaution(const QString &message = QStringLiteral("M"))
{
    return Norlix::makeChoiceDialogWindow()->ShowChoice(QStringLiteral("CAUTION"), message,
        QStringLiteral("Retry  Exit  Unlock"), QStringLiteral("warning"), 0);
}

// The style's own icon, drawn at the size that the dialog showed.
QImage standardImage(QStyle::StandardPixmap which, const QSize &size)
{
    return QApplication::style()->standardIcon(which).pixmap(size).toImage();
}

} // namespace

class TestChoiceDialog : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void showsTheCautionAndGivesBackTheChosenName();
    void givesBackEachName_data();
    void givesBackEachName();
    void iconFollowsTheStyleWord_data();
    void iconFollowsTheStyleWord();
    void showsMarkupAndAmpersandsAsWritten();
    void sitsOverTheActiveWindow();
    void enterChoosesTheButtonTheUserMovedTo();
    void onlyTheButtonsTakeTheFocus();
    void quittingWhileOpenRaisesInsteadOfAnsweringNothing();
};

void TestChoiceDialog::cleanup()
{
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
    QVERIFY(!QApplication::activeModalWidget());
}

void TestChoiceDialog::showsTheCautionAndGivesBackTheChosenName()
{
    const QString message = Texts::lockMessage;
    Seen seen;
    answerWhenShown(seen, clickButton(QStringLiteral("Unlock")));

    const QString answer = showCaution(message);

    QVERIFY(seen.shown);
    QCOMPARE(answer, QStringLiteral("Unlock"));
    QCOMPARE(seen.title, QStringLiteral("CAUTION"));
    QCOMPARE(seen.message, message);
    QCOMPARE(seen.messageFormat, Qt::PlainText);
    QCOMPARE(seen.buttonTexts, QStringList({ "Retry", "Exit", "Unlock" }));
    QVERIFY(seen.modal);
    QVERIFY(seen.hasIcon);
    QCOMPARE(seen.icon, standardImage(QStyle::SP_MessageBoxWarning, seen.icon.size()));
    QVERIFY(!seen.anyDefaultButton);
    QCOMPARE(seen.firstFocus, QStringLiteral("Retry"));
    QVERIFY(!(seen.flags & Qt::WindowCloseButtonHint));
    QVERIFY(seen.openAfterEscape);
    QVERIFY(seen.openAfterClose);
}

void TestChoiceDialog::givesBackEachName_data()
{
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("click");

    QTest::newRow("first") << "Retry  Exit  Unlock" << QStringList { "Retry", "Exit", "Unlock" }
                           << "Retry";
    QTest::newRow("middle") << "Retry  Exit  Unlock" << QStringList { "Retry", "Exit", "Unlock" }
                            << "Exit";
    QTest::newRow("one space stays inside a name")
        << "Try again  Give up" << QStringList { "Try again", "Give up" } << "Give up";
    QTest::newRow("extra separators skipped")
        << "  Yes    No  " << QStringList { "Yes", "No" } << "No";
    QTest::newRow("no names at all") << "" << QStringList { "OK" } << "OK";
}

void TestChoiceDialog::givesBackEachName()
{
    QFETCH(QString, buttons);
    QFETCH(QStringList, shown);
    QFETCH(QString, click);

    Seen seen;
    answerWhenShown(seen, clickButton(click));
    const QString answer = Norlix::makeChoiceDialogWindow()->ShowChoice(
        QStringLiteral("Title"), QStringLiteral("Message"), buttons, QStringLiteral("warning"), 0);

    QCOMPARE(seen.buttonTexts, shown);
    QCOMPARE(answer, click);
}

void TestChoiceDialog::iconFollowsTheStyleWord_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("standardPixmap");
    QTest::addColumn<QString>("iconName");

    QTest::newRow("warning") << "warning" << int(QStyle::SP_MessageBoxWarning) << "Warning";
    QTest::newRow("Warning") << "Warning" << int(QStyle::SP_MessageBoxWarning) << "Warning";
    QTest::newRow("information") << "information" << int(QStyle::SP_MessageBoxInformation)
                                 << "Information";
    QTest::newRow("critical") << "critical" << int(QStyle::SP_MessageBoxCritical) << "Error";
    QTest::newRow("question") << "question" << int(QStyle::SP_MessageBoxQuestion) << "Question";
    QTest::newRow("unknown word") << "sparkly" << -1 << "";
    QTest::newRow("empty") << "" << -1 << "";
}

void TestChoiceDialog::iconFollowsTheStyleWord()
{
    QFETCH(QString, style);
    QFETCH(int, standardPixmap);
    QFETCH(QString, iconName);

    Seen seen;
    answerWhenShown(seen, clickButton(QStringLiteral("OK")));
    const QString answer = Norlix::makeChoiceDialogWindow()->ShowChoice("T", "M", "OK", style, 0);

    QCOMPARE(answer, QStringLiteral("OK"));
    QCOMPARE(seen.hasIcon, standardPixmap >= 0);
    if (standardPixmap >= 0) {
        QCOMPARE(
            seen.icon, standardImage(QStyle::StandardPixmap(standardPixmap), seen.icon.size()));
        QCOMPARE(seen.iconName, iconName);
    }
}

void TestChoiceDialog::showsMarkupAndAmpersandsAsWritten()
{
    Seen seen;
    answerWhenShown(
        seen, [](QWidget *dialog) { QTest::mouseClick(buttonsOf(dialog).at(0), Qt::LeftButton); });
    const QString answer = Norlix::makeChoiceDialogWindow()->ShowChoice(QStringLiteral("A [*] B"),
        QStringLiteral("<b>bold</b> & <i>x</i>"), QStringLiteral("Save && Go  &Quit"),
        QStringLiteral("none"), 0);

    QCOMPARE(answer, QStringLiteral("Save && Go"));
    QCOMPARE(seen.message, QStringLiteral("<b>bold</b> & <i>x</i>"));
    QCOMPARE(seen.messageFormat, Qt::PlainText);
    // "&" doubled on the button so that it shows itself rather than underlining a shortcut.
    QCOMPARE(seen.buttonTexts, QStringList({ "Save &&&& Go", "&&Quit" }));
}

void TestChoiceDialog::sitsOverTheActiveWindow()
{
    QWidget window;
    QVERIFY(showActive(window));

    Seen seen;
    answerWhenShown(seen, clickButton(QStringLiteral("Exit")));
    const QString answer = showCaution();

    QCOMPARE(answer, QStringLiteral("Exit"));
    QCOMPARE(seen.parent, &window);
    QVERIFY(seen.modal);
}

void TestChoiceDialog::enterChoosesTheButtonTheUserMovedTo()
{
    Seen seen;
    QString focusedText;
    answerWhenShown(seen, [&focusedText](QWidget *dialog) {
        // Tab from Retry to Exit.
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        if (auto *button = qobject_cast<QPushButton *>(dialog->focusWidget())) {
            focusedText = button->text();
            QTest::keyClick(button, Qt::Key_Return);
        }
        if (dialog->isVisible()) // the keys missed: answer anyway so that the test ends
            QTest::mouseClick(buttonsOf(dialog).at(0), Qt::LeftButton);
    });
    const QString answer = showCaution();

    QCOMPARE(focusedText, QStringLiteral("Exit"));
    QCOMPARE(answer, QStringLiteral("Exit"));
}

// The dialog opens on its first button, and the message never takes the focus or shows a text
// cursor; a screen reader still meets the message as the dialog's text.
void TestChoiceDialog::onlyTheButtonsTakeTheFocus()
{
    Seen seen;
    QStringList focusAfterTabs;
    QString focusAfterClickOnMessage;
    Qt::FocusPolicy messageFocus = Qt::StrongFocus;
    QString dialogName;
    QString messageName;
    QAccessible::Role messageRole = QAccessible::NoRole;
    answerWhenShown(seen, [&](QWidget *dialog) {
        auto *message = dialog->findChild<QLabel *>(QStringLiteral("choiceMessage"));
        if (message) {
            messageFocus = message->focusPolicy();
            QTest::mouseClick(message, Qt::LeftButton);
            focusAfterClickOnMessage = focusName(dialog);
            QAccessibleInterface *reading = QAccessible::queryAccessibleInterface(message);
            messageName = reading->text(QAccessible::Name);
            messageRole = reading->role();
        }
        dialogName = QAccessible::queryAccessibleInterface(dialog)->text(QAccessible::Name);
        for (int tab = 0; tab < 3; ++tab) {
            QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Tab);
            focusAfterTabs << focusName(dialog);
        }
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Return);
        if (dialog->isVisible()) // Enter missed: answer anyway so that the test ends
            QTest::mouseClick(buttonsOf(dialog).at(1), Qt::LeftButton);
    });
    const QString answer = showCaution(Texts::lockMessage);

    QCOMPARE(seen.firstFocus, QStringLiteral("Retry"));
    QCOMPARE(messageFocus, Qt::NoFocus);
    QCOMPARE(focusAfterClickOnMessage, QStringLiteral("Retry"));
    QCOMPARE(focusAfterTabs, QStringList({ "Exit", "Unlock", "Retry" }));
    QCOMPARE(answer, QStringLiteral("Retry"));
    QCOMPARE(dialogName, QStringLiteral("CAUTION"));
    QCOMPARE(messageName, Texts::lockMessage);
    QCOMPARE(messageRole, QAccessible::StaticText);
}

void TestChoiceDialog::quittingWhileOpenRaisesInsteadOfAnsweringNothing()
{
    Seen seen;
    answerWhenShown(seen, [](QWidget *) { QCoreApplication::exit(0); });
    QVERIFY_THROWS_EXCEPTION(Norlix::ComponentError, (void)showCaution());
    QVERIFY(seen.shown);
    QVERIFY(!shownChoiceDialog());
}

QTEST_MAIN(TestChoiceDialog)
#include "test_choice_dialog.moc"
