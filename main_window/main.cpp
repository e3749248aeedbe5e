// The window Main: its controls (layout), its start-up and exit, and the company letter entry.

#include "main.h"

#include "accessibility.h"
#include "command_button.h"
#include "letter_filter.h"
#include "message_box.h"
#include "one_line.h"
#include "plain_label.h"
#include "surrounding_spaces.h"
#include "window_units.h"

#include <company_letter.h>
#include <component_error.h>
#include <fresh_objects.h>
#include <user_settings.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

// The window whose saved company an exit() of the process puts back (see restoreAtExitToo).
Main *windowRestoredAtExit = nullptr;

const QString crlf = QStringLiteral("\r\n");

// Where a control sits in the client area, in twips.
struct Twips
{
    int left;
    int top;
    int width;
    int height;
};

constexpr int clientWidth = 10965;
constexpr int clientHeight = 7530;

// Background colours of txtLetter for the outcomes of a selection.
constexpr quint32 letterNeutral = 0x00FFFFFF;
constexpr quint32 letterNotValid = 0x00B0D0FF;
constexpr quint32 letterNoDatabase = 0x00D0D0FF;
constexpr quint32 letterFound = 0x00E0FFE0;

constexpr quint32 companyNameText = 0x00FF0000;
constexpr quint32 headingText = 0x00808080;
constexpr quint32 resultsBackground = 0x00FFFFFF;
constexpr quint32 instructionsBackground = 0x00C0FFFF;

// The caption of Label1, without its colon and blank: what a screen reader calls the entry.
const QString letterEntryName = QStringLiteral("Company Letter");

// Places controls by twips through the logical resolution of the screen the window opens on.
class TwipsPlacer
{
public:
    explicit TwipsPlacer(const QScreen *screen)
        : m_dpiX(screen ? screen->logicalDotsPerInchX() : 96.0)
        , m_dpiY(screen ? screen->logicalDotsPerInchY() : 96.0)
    {
    }

    [[nodiscard]] QSize size(int width, int height) const
    {
        return { pixelsFromTwips(width, m_dpiX), pixelsFromTwips(height, m_dpiY) };
    }

    void place(QWidget *control, const Twips &twips) const
    {
        control->move(pixelsFromTwips(twips.left, m_dpiX), pixelsFromTwips(twips.top, m_dpiY));
        control->setFixedSize(size(twips.width, twips.height));
    }

private:
    qreal m_dpiX;
    qreal m_dpiY;
};

QFont arial(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

// Qt's own light palette, which the fixed white, yellow and green boxes and the blue and grey
// texts are chosen against. A desktop theme's text colours would be light grey on those boxes
// under a dark theme, and the blue name would sit on a dark face. Every colour is set, so that
// none falls back to the theme, even when the theme changes while the window is open.
QPalette windowPalette()
{
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    if (!fusion)
        return {}; // nothing set: the theme's colours
    const QPalette light = fusion->standardPalette();
    QPalette palette;
    for (int group = 0; group < QPalette::NColorGroups; ++group)
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto colourGroup = QPalette::ColorGroup(group);
            const auto colourRole = QPalette::ColorRole(role);
            palette.setBrush(colourGroup, colourRole, light.brush(colourGroup, colourRole));
        }
    return palette;
}

void setColour(QWidget *control, QPalette::ColorRole role, quint32 value)
{
    QPalette palette = control->palette();
    palette.setColor(role, colourFromValue(value));
    control->setPalette(palette);
}

void setUp(QWidget *control, const QString &name, const TwipsPlacer &placer, const Twips &twips,
    qreal points)
{
    control->setObjectName(name);
    placer.place(control, twips);
    control->setFont(arial(points));
}

// Runs one step of a sequence whose errors are ignored, one statement at a time.
template<typename Step> void ignoringErrors(Step step)
{
    try {
        step();
    } catch (...) {
    }
}

} // namespace

Main::Main(QWidget *parent)
    : QWidget(parent)
    , txtLetter(new QLineEdit(this))
    , cmdExit(new CommandButton(this))
    , cmdStart(new CommandButton(this))
    , lblCoName(new PlainLabel(this))
    , Label1(new PlainLabel(this))
    , Label3(new PlainLabel(this))
    , lblResults(new PlainLabel(this))
    , lblInstr(new PlainLabel(this))
{
    installAccessibleInterfaces();
    setWindowTitle(QStringLiteral("Check Norlix DB"));
    setPalette(windowPalette());
    const TwipsPlacer placer(screen());
    setFixedSize(placer.size(clientWidth, clientHeight));

    setUp(txtLetter, QStringLiteral("txtLetter"), placer, { 9600, 360, 375, 375 }, 11.25);
    txtLetter->setText(QStringLiteral("A"));
    txtLetter->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    txtLetter->setAccessibleName(letterEntryName);

    setUp(cmdExit, QStringLiteral("cmdExit"), placer, { 9240, 6720, 1095, 495 }, 9.75);
    cmdExit->setText(QStringLiteral("Exit"));
    setUp(cmdStart, QStringLiteral("cmdStart"), placer, { 9600, 1200, 1095, 495 }, 9.75);
    cmdStart->setText(QStringLiteral("Start"));

    setUp(lblCoName, QStringLiteral("lblCoName"), placer, { 7680, 720, 3135, 375 }, 9.75);
    setColour(lblCoName, QPalette::WindowText, companyNameText);

    setUp(Label1, QStringLiteral("Label1"), placer, { 7920, 400, 1575, 255 }, 9.75);
    Label1->setCaption(QStringLiteral("Company Letter: "));
    Label1->setBuddy(txtLetter);

    setUp(Label3, QStringLiteral("Label3"), placer, { 360, 1680, 1575, 255 }, 9);
    Label3->setCaption(QStringLiteral("Results"));
    setColour(Label3, QPalette::WindowText, headingText);
    // Names the report for a screen reader; the caption has no access key, so it moves no focus.
    Label3->setBuddy(lblResults);

    setUp(lblResults, QStringLiteral("lblResults"), placer, { 360, 1920, 9135, 4575 }, 11.25);
    lblResults->setAutoFillBackground(true);
    setColour(lblResults, QPalette::Window, resultsBackground);

    setUp(lblInstr, QStringLiteral("lblInstr"), placer, { 360, 240, 7095, 1215 }, 11.25);
    lblInstr->setCaption(QStringLiteral(
        "Program to check Norlix database version. This is safe to use at any time. It does "
        "not affect any files, or change any data."));
    lblInstr->setAutoFillBackground(true);
    setColour(lblInstr, QPalette::Window, instructionsBackground);

    // Labels take no focus, so of the tab indexes only Start 1, Exit 2 and the entry 6 count.
    setTabOrder(cmdStart, cmdExit);
    setTabOrder(cmdExit, txtLetter);
    cmdStart->setFocus();

    connectHandlers();
}

Main::~Main()
{
    if (windowRestoredAtExit == this)
        windowRestoredAtExit = nullptr;
}

void Main::connectHandlers()
{
    connect(txtLetter, &QLineEdit::textChanged, this,
        [this] { guarded([this] { txtLetter_Change(); }); });
    connect(
        cmdStart, &QPushButton::clicked, this, [this] { guarded([this] { cmdStart_Click(); }); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { guarded([this] { cmdExit_Click(); }); });
    // A desktop session that ends the application without closing its window still gets the
    // saved company back.
    if (QCoreApplication *application = QCoreApplication::instance())
        connect(
            application, &QCoreApplication::aboutToQuit, this, [this] { restoreSavedCompany(); });
}

void Main::guarded(const std::function<void()> &handler)
{
    if (m_unloading)
        return;
    try {
        handler();
    } catch (const Norlix::ComponentError &error) {
        endAfterError(error.description());
    } catch (const std::bad_alloc &) {
        endAfterError(QStringLiteral("Prismor ran out of memory and has to end."));
    } catch (const std::exception &error) {
        endAfterError(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        endAfterError(QString());
    }
}

void Main::endAfterError(const QString &description)
{
    const QString shown = description.isEmpty()
        ? QStringLiteral("An unexpected error occurred; Prismor has to end.")
        : description;
    ignoringErrors([&] { MessageBox::show(this, shown); });
    restoreSavedCompany();
    unload(1);
}

void Main::showEvent(QShowEvent *event)
{
    if (!m_loaded) {
        m_loaded = true;
        m_loading = true;
        guarded([this] { Form_Load(); });
        m_loading = false;
    }
    QWidget::showEvent(event);
}

void Main::closeEvent(QCloseEvent *event)
{
    if (!m_unloading) {
        restoreSavedCompany();
        m_unloading = true;
        emit ended(0);
    }
    event->accept();
}

void Main::Form_Load()
{
    InitialiseForm();
}

void Main::InitialiseForm()
{
    lblInstr->setCaption(QStringLiteral("Program to check Norlix Database version.") + crlf);
    lblInstr->setCaption(lblInstr->caption()
        + QStringLiteral("This does not affect or change any data so it is safe "
                         "to use at any time.")
        + crlf + crlf);
    lblInstr->setCaption(lblInstr->caption()
        + QStringLiteral("First select which company letter you wish to check."));

    // From here on a failing step leaves its field empty and start-up carries on.
    m_companyNoted = true;
    ignoringErrors([this] { SavedCompanyLetter = freshCompanyDatabase()->CompanyLetter(); });
    restoreAtExitToo();
    ignoringErrors([this] {
        const QString name = Norlix::readUserSetting(
            QStringLiteral("Norlix6"), QStringLiteral("ThisPC"), QStringLiteral("WStnName"));
        WorkstationName = withoutSurroundingSpaces(name.toUpper());
    });
}

void Main::cmdExit_Click()
{
    restoreSavedCompany();
    unload(0);
}

void Main::restoreSavedCompany()
{
    if (!m_companyNoted || m_companyRestored)
        return;
    m_companyRestored = true;
    ignoringErrors([this] { freshCompanyDatabase()->CompanyLetter(SavedCompanyLetter); });
}

// Qt's X11 platform ends the process with exit(1) when its connection to the X server breaks (the
// X server, or the Wayland desktop that runs it, has gone), without closing any window; exit()
// still runs the handlers registered with atexit. This one is registered after the components'
// references came to exist, so it runs while they still do.
void Main::restoreAtExitToo()
{
    static const bool registered = std::atexit(&Main::restoreAtExit) == 0;
    if (registered)
        windowRestoredAtExit = this;
}

void Main::restoreAtExit()
{
    if (!windowRestoredAtExit)
        return;
    windowRestoredAtExit->restoreSavedCompany();
    // The window is still there, so the process is ending from under it, its display gone (Qt and
    // Xlib both end with status 1 then). Tearing Qt down from here would only risk a crash once
    // the company is back; the process ends at once instead.
    std::fflush(nullptr);
    std::_Exit(1);
}

void Main::unload(int status)
{
    if (m_unloading)
        return;
    m_unloading = true;
    emit ended(status);
    // Closing from inside the first show would leave the window half shown; close once it is.
    if (m_loading)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    else
        close();
}

void Main::txtLetter_Change()
{
    const QString text = txtLetter->text();
    const QString kept = filteredLetter(text);
    // Writing back only a changed text is what keeps this handler from raising itself again.
    if (kept != text)
        txtLetter->setText(kept);
}

bool Main::SelectCompany(const QString &letter)
{
    const auto setLetterBackground
        = [this](quint32 value) { setColour(txtLetter, QPalette::Base, value); };

    setLetterBackground(letterNeutral);
    if (!Norlix::isCompanyLetter(letter)) {
        setLetterBackground(letterNotValid);
        lblCoName->setCaption(QString());
        MessageBox::show(
            this, QStringLiteral("Company letter not valid. Must be A or B or C, etc"));
        return false;
    }

    freshCompanyDatabase()->CompanyLetter(letter);
    const QString location = freshCompanyDatabase()->DatabaseLocation();
    const QString fileName = freshCompanyDatabase()->DatabaseFileName();
    if (freshCompanyDatabase()->FileExists(location + fileName)) {
        // The name's label holds one line: a break stored in the name would hide the rest of it.
        lblCoName->setCaption(
            onOneLine(freshCompanyDatabase()->CompanySetting(QStringLiteral("Companyname"))));
        setLetterBackground(letterFound);
        return true;
    }

    setLetterBackground(letterNoDatabase);
    lblCoName->setCaption(QString());
    MessageBox::show(this, QStringLiteral("Cannot find database for Company ") + letter);
    return false;
}
