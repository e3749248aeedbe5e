// The window as it is created and shown: the layout table, keyboard, labels, screen reader.

#include "fake_norlix.h"
#include "message_box_recorder.h"
#include "test_support.h"
#include "window_test_support.h"

#include <application_icon.h>
#include <main.h>
#include <plain_label.h>
#include <window_units.h>

#include <QAccessible>
#include <QDialog>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>

namespace {

QString textOf(const QWidget *control)
{
    if (const auto *entry = qobject_cast<const QLineEdit *>(control))
        return entry->text();
    if (const auto *button = qobject_cast<const QPushButton *>(control))
        return button->text();
    if (const auto *label = qobject_cast<const PlainLabel *>(control))
        return label->caption();
    return QStringLiteral("<not a control of the window>");
}

// The rows of an image holding any pixel darker than mid grey.
QList<int> inkedRows(const QImage &image)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) {
                rows << y;
                break;
            }
    return rows;
}

} // namespace

class TestWindowLayout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void twipsAndColourValues_data();
    void twipsAndColourValues();
    void window();
    void controls_data();
    void controls();
    void controlsAreCreatedInTableOrder();
    void shownWindow();

    void tabOrder();
    void enterAndEscapeInEntryPressNothing_data();
    void enterAndEscapeInEntryPressNothing();
    void focusedButtonIsPressedByKey_data();
    void focusedButtonIsPressedByKey();

    void labelShowsCaptionAsPlainText_data();
    void labelShowsCaptionAsPlainText();
    void lineEndsLeaveNoStrayCharacter();
    void longLineBreaksBetweenWords();
    void labelsKeepTheirSize();

    void screenReaderNames();
    void screenReaderReadsTheReportLineByLine();
    void applicationIconHasBothSizes();

private:
    FakeNorlix m_norlix;
    std::unique_ptr<MessageBoxRecorder> m_messages;
};

void TestWindowLayout::init()
{
    m_norlix = FakeNorlix {};
    m_norlix.currentLetter = QStringLiteral("C");
    m_norlix.install();
    m_messages = std::make_unique<MessageBoxRecorder>();
}

void TestWindowLayout::cleanup()
{
    m_messages.reset();
    Norlix::resetComponents();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestWindowLayout::twipsAndColourValues_data()
{
    QTest::addColumn<int>("twips");
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<int>("pixels");

    QTest::newRow("15 twips at 96 dpi") << 15 << 96.0 << 1;
    QTest::newRow("Label1's top rounds up") << 400 << 96.0 << 27;
    QTest::newRow("client width") << 10965 << 96.0 << 731;
    QTest::newRow("one inch at 144 dpi") << 1440 << 144.0 << 144;
    QTest::newRow("Exit's width at 120 dpi") << 1095 << 120.0 << 91;
}

void TestWindowLayout::twipsAndColourValues()
{
    QFETCH(int, twips);
    QFETCH(qreal, dpi);
    QFETCH(int, pixels);
    QCOMPARE(pixelsFromTwips(twips, dpi), pixels);

    // Red sits in the low byte of a colour value.
    QCOMPARE(colourFromValue(0x00C0FFFF), QColor(255, 255, 192));
    QCOMPARE(colourFromValue(0x00FF0000), QColor(0, 0, 255));
    QCOMPARE(colourFromValue(0x00B0D0FF), QColor(255, 208, 176));
}

void TestWindowLayout::window()
{
    Main main;
    QCOMPARE(main.windowTitle(), QStringLiteral("Check Norlix DB"));
    QCOMPARE(main.size(), QSize(731, 502));
    QCOMPARE(main.minimumSize(), QSize(731, 502));
    QCOMPARE(main.maximumSize(), QSize(731, 502));
    QVERIFY(!main.autoFillBackground());
}

void TestWindowLayout::controls_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<int>("fontPixels");
    QTest::addColumn<QColor>("textColour"); // invalid: the platform's default
    QTest::addColumn<QColor>("backgroundColour"); // invalid: the platform's default

    const QColor platform;
    QTest::newRow("txtLetter") << "A" << QRect(640, 24, 25, 25) << 11.25 << 15 << platform
                               << platform;
    QTest::newRow("cmdExit") << "Exit" << QRect(616, 448, 73, 33) << 9.75 << 13 << platform
                             << platform;
    QTest::newRow("cmdStart") << "Start" << QRect(640, 80, 73, 33) << 9.75 << 13 << platform
                              << platform;
    QTest::newRow("lblCoName") << QString() << QRect(512, 48, 209, 25) << 9.75 << 13
                               << QColor(0, 0, 255) << platform;
    QTest::newRow("Label1") << "Company Letter: " << QRect(528, 27, 105, 17) << 9.75 << 13
                            << platform << platform;
    QTest::newRow("Label3") << "Results" << QRect(24, 112, 105, 17) << 9.0 << 12
                            << QColor(128, 128, 128) << platform;
    QTest::newRow("lblResults") << QString() << QRect(24, 128, 609, 305) << 11.25 << 15 << platform
                                << QColor(255, 255, 255);
    QTest::newRow("lblInstr") << QStringLiteral(
        "Program to check Norlix database version. This is safe to use at "
        "any time. It does not affect any files, or change any data.")
                              << QRect(24, 16, 473, 81) << 11.25 << 15 << platform
                              << QColor(255, 255, 192);
}

void TestWindowLayout::controls()
{
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(qreal, points);
    QFETCH(int, fontPixels);
    QFETCH(QColor, textColour);
    QFETCH(QColor, backgroundColour);

    Main main;
    QCOMPARE(main.screen()->logicalDotsPerInchX(), 96.0);
    const auto *control = main.findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control);
    QCOMPARE(textOf(control), text);
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(control->minimumSize(), geometry.size());
    QCOMPARE(control->maximumSize(), geometry.size());

    const QFont font = control->font();
    QCOMPARE(font.family(), QStringLiteral("Arial"));
    QCOMPARE(font.pointSizeF(), points);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
    QCOMPARE(QFontInfo(font).pixelSize(), fontPixels);

    // What the table leaves open keeps the defaults of that kind of control. On Windows those of
    // the application are the system's colours, which the window replaces with Qt's light ones.
#ifdef Q_OS_WIN
    const QPalette defaults = main.palette();
#else
    const QPalette defaults = QApplication::palette(control);
#endif
    QPalette::ColorRole textRole = QPalette::ButtonText;
    QPalette::ColorRole backgroundRole = QPalette::Button;
    if (qobject_cast<const PlainLabel *>(control)) {
        textRole = QPalette::WindowText;
        backgroundRole = QPalette::Window;
    } else if (qobject_cast<const QLineEdit *>(control)) {
        textRole = QPalette::Text;
        backgroundRole = QPalette::Base;
    }
    QCOMPARE(control->palette().color(textRole),
        textColour.isValid() ? textColour : defaults.color(textRole));
    if (backgroundColour.isValid()) {
        QVERIFY(control->autoFillBackground());
        QCOMPARE(control->palette().color(backgroundRole), backgroundColour);
    } else {
        // A label without a colour of its own shows the window face: it paints no box.
        QVERIFY(!control->autoFillBackground());
        QCOMPARE(control->palette().color(backgroundRole), defaults.color(backgroundRole));
    }
}

void TestWindowLayout::controlsAreCreatedInTableOrder()
{
    Main main;
    QStringList names;
    for (const QObject *child : main.children())
        if (child->isWidgetType())
            names << child->objectName();
    QCOMPARE(names,
        QStringList({ "txtLetter", "cmdExit", "cmdStart", "lblCoName", "Label1", "Label3",
            "lblResults", "lblInstr" }));
}

void TestWindowLayout::shownWindow()
{
    Main main;
    QVERIFY(showActive(main));

    QCOMPARE(QApplication::focusWidget(), main.cmdStart);
    QCOMPARE(main.lblInstr->caption(), Texts::instructions);
    QCOMPARE(main.txtLetter->text(), QStringLiteral("A"));
    QCOMPARE(main.txtLetter->palette().color(QPalette::Base),
        QApplication::palette(main.txtLetter).color(QPalette::Base));
    QVERIFY(main.lblCoName->caption().isEmpty());
    QVERIFY(main.lblResults->caption().isEmpty());
    QVERIFY(m_messages->shown().isEmpty());
}

void TestWindowLayout::tabOrder()
{
    Main main;
    QVERIFY(showActive(main));

    const QList<QWidget *> forward = { main.cmdExit, main.txtLetter, main.cmdStart };
    for (QWidget *next : forward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
    const QList<QWidget *> backward = { main.txtLetter, main.cmdExit, main.cmdStart };
    for (QWidget *next : backward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestWindowLayout::enterAndEscapeInEntryPressNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("insideDialog");

    for (const bool insideDialog : { false, true }) {
        const char *where = insideDialog ? " inside a dialog" : "";
        QTest::addRow("Return%s", where) << int(Qt::Key_Return) << insideDialog;
        QTest::addRow("Enter%s", where) << int(Qt::Key_Enter) << insideDialog;
        QTest::addRow("Escape%s", where) << int(Qt::Key_Escape) << insideDialog;
    }
}

// Inside a dialog, Qt would make every button a default button unless told otherwise.
void TestWindowLayout::enterAndEscapeInEntryPressNothing()
{
    QFETCH(int, key);
    QFETCH(bool, insideDialog);

    QDialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    std::unique_ptr<Main> standalone;
    Main *main = nullptr;
    if (insideDialog) {
        main = new Main(&dialog);
        layout->addWidget(main);
        QVERIFY(showExposed(dialog));
    } else {
        standalone = std::make_unique<Main>();
        main = standalone.get();
        QVERIFY(showExposed(*main));
    }
    QSignalSpy startPressed(main->cmdStart, &QPushButton::clicked);
    QSignalSpy exitPressed(main->cmdExit, &QPushButton::clicked);
    main->txtLetter->setFocus();

    QTest::keyClick(main->txtLetter, Qt::Key(key));

    QCOMPARE(startPressed.count(), 0);
    QCOMPARE(exitPressed.count(), 0);
    QVERIFY(m_norlix.letterWrites().isEmpty());
}

void TestWindowLayout::focusedButtonIsPressedByKey_data()
{
    QTest::addColumn<bool>("onExit");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");

    for (const bool onExit : { false, true }) {
        const char *button = onExit ? "Exit" : "Start";
        QTest::addRow("Space on %s", button)
            << onExit << int(Qt::Key_Space) << Qt::KeyboardModifiers();
        QTest::addRow("Return on %s", button)
            << onExit << int(Qt::Key_Return) << Qt::KeyboardModifiers();
        QTest::addRow("keypad Enter on %s", button)
            << onExit << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier);
    }
}

// Start has the focus when the window opens; Tab takes it to Exit.
void TestWindowLayout::focusedButtonIsPressedByKey()
{
    QFETCH(bool, onExit);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);

    Main main;
    QSignalSpy ended(&main, &Main::ended);
    QVERIFY(showActive(main));
    QCOMPARE(QApplication::focusWidget(), main.cmdStart);
    if (onExit) {
        QTest::keyClick(main.cmdStart, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), main.cmdExit);
    }

    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);

    if (onExit) {
        QCOMPARE(statuses(ended), QList<int>({ 0 }));
        QVERIFY(!main.isVisible());
    } else {
        // The check of the letter in the entry ran: it made A current.
        QCOMPARE(m_norlix.letterWrites(), QStringList({ "CompanyLetter=A" }));
        QVERIFY(ended.isEmpty());
    }
}

void TestWindowLayout::labelShowsCaptionAsPlainText_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shown");

    QTest::newRow("markup") << QStringLiteral("<b>Acme</b> <i>Ltd</i>") << "<b>Acme</b> <i>Ltd</i>";
    QTest::newRow("ampersand") << QStringLiteral("Smith & &Sons") << "Smith & &Sons";
    QTest::newRow("entity") << QStringLiteral("R&amp;D &lt;") << QStringLiteral("R&amp;D &lt;");
    QTest::newRow("report lines") << QStringLiteral("Checking\r\nFinished\r\n")
                                  << "Checking\nFinished\n";
    QTest::newRow("lone CR and LF") << QStringLiteral("a\rb\nc") << "a\nb\nc";
}

void TestWindowLayout::labelShowsCaptionAsPlainText()
{
    QFETCH(QString, caption);
    QFETCH(QString, shown);

    Main main;
    for (PlainLabel *label : { main.lblCoName, main.lblResults }) {
        label->setCaption(caption);
        QCOMPARE(label->caption(), caption);
        QCOMPARE(label->text(), shown);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
        QVERIFY(label->wordWrap());
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
    }
}

void TestWindowLayout::lineEndsLeaveNoStrayCharacter()
{
    Main main;
    main.lblResults->setCaption(QStringLiteral("Finished"));
    const QImage plain = main.lblResults->grab().toImage();
    main.lblResults->setCaption(QStringLiteral("Finished\r\n"));
    const QImage withLineEnd = main.lblResults->grab().toImage();

    QVERIFY(!inkedRows(plain).isEmpty());
    QCOMPARE(withLineEnd, plain);
}

void TestWindowLayout::longLineBreaksBetweenWords()
{
    Main main;
    const QString longLine
        = QStringLiteral("Database location: ") + QStringLiteral("word ").repeated(40).trimmed();
    main.lblResults->setCaption(longLine);
    const QList<int> rows = inkedRows(main.lblResults->grab().toImage());
    const int lineHeight = QFontMetrics(main.lblResults->font()).lineSpacing();

    QVERIFY(!rows.isEmpty());
    QVERIFY2(rows.last() > rows.first() + lineHeight,
        "the line that is wider than the box was not continued on the next line");
}

void TestWindowLayout::labelsKeepTheirSize()
{
    Main main;
    QVERIFY(showExposed(main));
    const QRect results = main.lblResults->geometry();
    const QRect name = main.lblCoName->geometry();

    main.lblResults->setCaption(QStringLiteral("A report line that goes on\r\n").repeated(200));
    main.lblCoName->setCaption(QStringLiteral("Very Long Company Name Holdings ").repeated(8));
    QApplication::processEvents();

    QCOMPARE(main.lblResults->geometry(), results);
    QCOMPARE(main.lblCoName->geometry(), name);
    QCOMPARE(main.size(), QSize(731, 502));
    // What does not fit is cut off at the box's edge: nothing is painted outside the label.
    QCOMPARE(main.lblResults->grab().size(), results.size());
}

void TestWindowLayout::screenReaderNames()
{
    Main main;
    QVERIFY(showExposed(main));
    main.lblResults->setCaption(QStringLiteral("Checking database of Company B\r\nFinished\r\n"));

    QAccessibleInterface *entry = QAccessible::queryAccessibleInterface(main.txtLetter);
    QVERIFY(entry);
    QCOMPARE(entry->text(QAccessible::Name), QStringLiteral("Company Letter"));
    QCOMPARE(entry->text(QAccessible::Value), QStringLiteral("A"));
    QCOMPARE(main.Label1->buddy(), main.txtLetter);
    bool labelledByCaption = false;
    for (const auto &relation : entry->relations(QAccessible::Label))
        labelledByCaption |= relation.first->object() == main.Label1;
    QVERIFY(labelledByCaption);

    QAccessibleInterface *report = QAccessible::queryAccessibleInterface(main.lblResults);
    QVERIFY(report);
    QVERIFY(report->text(QAccessible::Name).contains("Checking database of Company B"));
    QVERIFY(report->text(QAccessible::Name).contains(QStringLiteral("Finished")));
    QAccessibleInterface *instructions = QAccessible::queryAccessibleInterface(main.lblInstr);
    QVERIFY(instructions->text(QAccessible::Name)
                .startsWith(QStringLiteral("Program to check Norlix Database version.")));
}

void TestWindowLayout::screenReaderReadsTheReportLineByLine()
{
    Main main;
    QVERIFY(showExposed(main));
    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(&main);
    QCOMPARE(window->role(), QAccessible::Window);
    QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Check Norlix DB"));

    QAccessibleInterface *report = QAccessible::queryAccessibleInterface(main.lblResults);
    QAccessibleInterface *heading = QAccessible::queryAccessibleInterface(main.Label3);
    const auto related = [](QAccessibleInterface *from, QAccessible::Relation relation) {
        QList<QObject *> objects;
        for (const auto &found : from->relations(relation))
            objects << found.first->object();
        return objects;
    };
    QCOMPARE(related(report, QAccessible::Label), QList<QObject *>({ main.Label3 }));
    QCOMPARE(related(heading, QAccessible::Labelled), QList<QObject *>({ main.lblResults }));
    QCOMPARE(report->role(), QAccessible::StaticText);

    // The location is wider than the box and goes on in a second line, as the label shows it.
    const QString location = QStringLiteral("Database location: ")
        + QStringLiteral("/srv/norlix/shared companies/").repeated(5);
    main.lblResults->setCaption(QStringLiteral("Checking database of Company A\r\n") + location
        + QStringLiteral("\r\nFinished\r\n"));
    QAccessibleTextInterface *text = report->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), int(main.lblResults->text().size()));
    QStringList lines;
    int start = 0;
    int end = 0;
    for (QString line = text->textAtOffset(0, QAccessible::LineBoundary, &start, &end);
         start >= 0 && end > start && lines.size() < 10;
         line = text->textAfterOffset(start, QAccessible::LineBoundary, &start, &end))
        lines << line;
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.first(), QStringLiteral("Checking database of Company A\n"));
    QVERIFY(lines[1].startsWith(QStringLiteral("Database location: ")));
    QVERIFY(!lines[1].contains(u'\n'));
    QCOMPARE(lines[1] + lines[2], location + u'\n');
    QCOMPARE(lines.last(), QStringLiteral("Finished\n"));
    const int lastLine = text->characterCount() - int(lines.last().size());
    QCOMPARE(text->textBeforeOffset(lastLine, QAccessible::LineBoundary, &start, &end), lines[2]);
    QCOMPARE(end, lastLine);
    // The end of a text counts to its last line.
    QAccessibleTextInterface *instructions
        = QAccessible::queryAccessibleInterface(main.lblInstr)->textInterface();
    QCOMPARE(instructions->textAtOffset(
                 instructions->characterCount(), QAccessible::LineBoundary, &start, &end),
        QStringLiteral("First select which company letter you wish to check."));

    // Where a character is drawn, and back.
    const QRect letter = text->characterRect(3);
    QVERIFY(QRect(main.lblResults->mapToGlobal(QPoint(0, 0)), main.lblResults->size())
                .contains(letter));
    QCOMPARE(text->offsetAtPoint(letter.center()), 3);
}

void TestWindowLayout::applicationIconHasBothSizes()
{
    const QIcon icon = applicationIcon();
    QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    for (const int side : { 16, 32 }) {
        const QImage image = icon.pixmap(side, side).toImage();
        QCOMPARE(image.size(), QSize(side, side));
        QVERIFY(image.hasAlphaChannel());
        // Not blank: the centre of the picture is opaque.
        QCOMPARE(qAlpha(image.pixel(side / 2, side / 2)), 255);
    }
}

PRISMOR_WINDOW_TEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"
