// Whether the window and its dialogs can be read: the contrast of every text as it is drawn under
// light and dark desktop themes, and the fixed texts fitting their controls in the fonts they get.

#include "fake_norlix.h"
#include "message_box_recorder.h"
#include "window_test_support.h"

#include <dialog/choice_dialog_window.h>
#include <main.h>
#include <message_box.h>
#include <plain_label.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>

#include <cmath>
#include <functional>

namespace {

const QString report
    = QStringLiteral("Checking database of Company A\r\nWorkStation name: FRONT-DESK\r\n"
                     "Database location: /srv/norlix/A/\r\n    Last compacted in month 2025-10\r\n"
                     "    Database version 6.123\r\nAttempting to lock and unlock the accounts\r\n"
                     "Success -- accounts could be locked by this Workstation\r\nFinished\r\n");

struct Theme
{
    QString name;
    QPalette palette;
    bool changedWhileOpen = false;
};

QPalette darkPalette(const QColor &face, const QColor &view, const QColor &text)
{
    QPalette palette(face);
    for (const auto role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        palette.setColor(role, text);
    palette.setColor(QPalette::Window, face);
    palette.setColor(QPalette::Button, face);
    palette.setColor(QPalette::Base, view);
    return palette;
}

// The colours of KDE's Breeze Dark and of GNOME's Adwaita-dark.
QList<Theme> darkThemes()
{
    const QPalette breezeDark = darkPalette({ 49, 54, 59 }, { 35, 38, 41 }, { 239, 240, 241 });
    const QPalette adwaitaDark = darkPalette({ 53, 53, 53 }, { 45, 45, 45 }, { 238, 238, 236 });
    return { { QStringLiteral("Breeze Dark"), breezeDark },
        { QStringLiteral("Adwaita-dark"), adwaitaDark },
        { QStringLiteral("Breeze Dark, once open"), breezeDark, true } };
}

double luminance(QRgb pixel)
{
    const auto linear = [](int channel) {
        const double value = channel / 255.0;
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(pixel)) + 0.7152 * linear(qGreen(pixel))
        + 0.0722 * linear(qBlue(pixel));
}

double contrastRatio(QRgb a, QRgb b)
{
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

// Draws the window's part where the control lies with its text and again without: the pixels
// that differ are the text's, each measured against what the same pixel shows without it. Gives
// the contrast of the text's strongest pixel, or 0 when no text was drawn at all.
double contrastOf(QWidget *window, QWidget *control, const std::function<void()> &removeText)
{
    const QRect area(control->mapTo(window, QPoint(0, 0)), control->size());
    const QImage shown = window->grab(area).toImage();
    removeText();
    const QImage behind = window->grab(area).toImage();
    double contrast = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != behind.pixel(x, y))
                contrast = std::max(contrast, contrastRatio(shown.pixel(x, y), behind.pixel(x, y)));
    return contrast;
}

struct Figure
{
    QString text;
    double contrast;
};

} // namespace

class TestWindowReadability : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void textsKeepTheirContrastInEveryTheme();
    void fixedTextsFitTheirControls();

private:
    QList<Figure> measureTexts(const Theme &theme);

    QPalette m_lightPalette;
    FakeNorlix m_norlix;
};

void TestWindowReadability::initTestCase()
{
    m_lightPalette = QApplication::palette();
}

void TestWindowReadability::init()
{
    m_norlix = FakeNorlix {};
    m_norlix.currentLetter = QStringLiteral("C");
    m_norlix.addCompany("A", "CompanyA.sqlite", true, "Alder Joinery Ltd");
    m_norlix.addCompany("B", "CompanyB.sqlite", false, {});
    m_norlix.install();
}

void TestWindowReadability::cleanup()
{
    QApplication::setPalette(m_lightPalette);
    Norlix::resetComponents();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

// Every text that the window, its message boxes and the CAUTION dialog show, under the theme.
QList<Figure> TestWindowReadability::measureTexts(const Theme &theme)
{
    QList<Figure> figures;
    if (!theme.changedWhileOpen)
        QApplication::setPalette(theme.palette);
    Main main;
    if (!showActive(main))
        return figures;
    if (theme.changedWhileOpen) {
        QApplication::setPalette(theme.palette);
        QApplication::processEvents();
    }

    const auto measure = [&](const QString &text, QWidget *control, std::function<void()> remove) {
        figures.append({ text, contrastOf(&main, control, remove) });
    };
    const auto measureLabel = [&](const QString &text, PlainLabel *label) {
        measure(text, label, [label] { label->setCaption({}); });
    };
    main.lblResults->setCaption(report);
    measureLabel(QStringLiteral("report"), main.lblResults);
    measureLabel(QStringLiteral("instructions"), main.lblInstr);
    measureLabel(QStringLiteral("caption"), main.Label1);
    measureLabel(QStringLiteral("heading"), main.Label3);
    for (QPushButton *button : { main.cmdStart, main.cmdExit })
        measure(button->text(), button, [button] { button->setText({}); });

    // The letter on the entry's own background, then on each that a selection gives it.
    const QList<std::pair<QString, QString>> letters = { { QStringLiteral("letter"), QString() },
        { QStringLiteral("letter, not valid"), QStringLiteral("1") },
        { QStringLiteral("letter, no database"), QStringLiteral("B") },
        { QStringLiteral("letter, found"), QStringLiteral("A") } };
    for (const auto &[text, letter] : letters) {
        main.txtLetter->setText(letter.isEmpty() ? QStringLiteral("A") : letter);
        if (!letter.isEmpty()) {
            const MessageBoxRecorder messages;
            main.SelectCompany(letter);
        }
        measure(text, main.txtLetter, [&main] { main.txtLetter->setText({}); });
    }
    measureLabel(QStringLiteral("company name"), main.lblCoName);

    whileModal(
        [&main] { MessageBox::show(&main, QStringLiteral("Cannot find database for Company B")); },
        [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            auto *message = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            figures.append({ QStringLiteral("message box text"),
                contrastOf(box, message, [message] { message->setText({}); }) });
            QAbstractButton *ok = box->button(QMessageBox::Ok);
            figures.append({ QStringLiteral("message box OK"),
                contrastOf(box, ok, [ok] { ok->setText({}); }) });
            ok->click();
        });

    // The dialog opens over the active window, as it does during a check.
    if (!showActive(main))
        return figures;
    const auto dialog = Norlix::makeChoiceDialogWindow();
    whileModal(
        [&dialog] {
            dialog->ShowChoice(QStringLiteral("CAUTION"),
                QStringLiteral("Cannot lock the accounts. If another person is using Norlix, ask "
                               "them to Exit and then you can RETRY."),
                QStringLiteral("Retry  Exit  Unlock"), QStringLiteral("warning"), 0);
        },
        [&](QWidget *modal) {
            auto *message = modal->findChild<QLabel *>(QStringLiteral("choiceMessage"));
            figures.append({ QStringLiteral("CAUTION message"),
                contrastOf(modal, message, [message] { message->setText({}); }) });
            const QList<QPushButton *> buttons = modal->findChildren<QPushButton *>();
            for (QPushButton *button : buttons)
                figures.append({ QStringLiteral("CAUTION ") + button->text(),
                    contrastOf(modal, button, [button] { button->setText({}); }) });
            buttons.first()->click();
        });
    return figures;
}

void TestWindowReadability::textsKeepTheirContrastInEveryTheme()
{
    const QList<Figure> light = measureTexts({ QStringLiteral("light"), m_lightPalette });
    QCOMPARE(light.size(), 17);
    QList<QList<Figure>> dark;
    for (const Theme &theme : darkThemes()) {
        dark.append(measureTexts(theme));
        QApplication::setPalette(m_lightPalette);
        QCOMPARE(dark.last().size(), light.size());
    }

    QStringList unreadable;
    qInfo("contrast of each text: light / %s", qPrintable([] {
        QStringList names;
        for (const Theme &theme : darkThemes())
            names << theme.name;
        return names.join(QStringLiteral(" / "));
    }()));
    for (int i = 0; i < light.size(); ++i) {
        // The grey heading is large, muted text by design; everything else is body text.
        const double least = light[i].text == QLatin1String("heading") ? 3.0 : 4.5;
        QStringList shown = { QString::number(light[i].contrast, 'f', 2) };
        if (light[i].contrast < least)
            unreadable << QStringLiteral("%1 in the light theme").arg(light[i].text);
        for (int t = 0; t < dark.size(); ++t) {
            const double contrast = dark[t][i].contrast;
            shown << QString::number(contrast, 'f', 2);
            if (contrast < least || contrast < light[i].contrast)
                unreadable << QStringLiteral("%1 in %2").arg(light[i].text, darkThemes()[t].name);
        }
        qInfo("  %-20s %s (at least %.1f)", qPrintable(light[i].text),
            qPrintable(shown.join(QStringLiteral(" / "))), least);
    }
    QVERIFY2(unreadable.isEmpty(),
        qPrintable(QStringLiteral("less contrast than in the light theme, or too little: ")
            + unreadable.join(QStringLiteral(", "))));
}

// The layout is made for Arial's sizes; a font of other widths cuts the texts off or breaks the
// caption.
void TestWindowReadability::fixedTextsFitTheirControls()
{
    Main main;
    QVERIFY(showExposed(main));
    QStringList cutOff;
    const auto check = [&](QWidget *control, const QString &text, const QRect &room,
                           const QSize &needed) {
        const QFontInfo font(control->font());
        qInfo("%-10s %-24s %s %d px: needs %d x %d of %d x %d", qPrintable(control->objectName()),
            qPrintable(text.left(24)), qPrintable(font.family()), font.pixelSize(), needed.width(),
            needed.height(), room.width(), room.height());
        if (needed.width() > room.width() || needed.height() > room.height())
            cutOff << QStringLiteral("%1 \"%2\"")
                          .arg(control->objectName(), text.section(u'\n', 0, 0));
    };

    for (PlainLabel *label : { main.lblInstr, main.Label1, main.Label3 }) {
        const QRect room = label->contentsRect();
        const QRect needed = label->fontMetrics().boundingRect(
            QRect(room.topLeft(), QSize(room.width(), 100 * room.height())),
            int(label->alignment()) | Qt::TextWordWrap, label->text());
        check(label, label->text(), room, needed.size());
    }
    for (QPushButton *button : { main.cmdStart, main.cmdExit }) {
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect room
            = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        check(button, button->text(), room, button->fontMetrics().size(0, button->text()));
    }
    QStyleOptionFrame frame;
    frame.initFrom(main.txtLetter);
    frame.lineWidth = main.txtLetter->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    // Inside its frame the entry keeps a margin of 2 pixels at the sides and 1 at top and bottom.
    const QRect entry = main.txtLetter->style()
                            ->subElementRect(QStyle::SE_LineEditContents, &frame, main.txtLetter)
                            .adjusted(2, 1, -2, -1);
    const QFontMetrics letters = main.txtLetter->fontMetrics();
    QString widest;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const QString text(QLatin1Char { letter });
        if (widest.isEmpty() || letters.horizontalAdvance(text) > letters.horizontalAdvance(widest))
            widest = text;
    }
    check(main.txtLetter, widest, entry, letters.size(0, widest));

    QVERIFY2(cutOff.isEmpty(),
        qPrintable(QStringLiteral("does not fit: ") + cutOff.join(QStringLiteral(", "))));
}

PRISMOR_WINDOW_TEST_MAIN(TestWindowReadability)
#include "test_window_readability.moc"
