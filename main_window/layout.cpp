// The window Main as it is built: its controls, laid out from one table.

#include "main.h"

#include "accessibility.h"
#include "command_button.h"
#include "plain_label.h"
#include "window_units.h"

#include <QAbstractButton>
#include <QFont>
#include <QLineEdit>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>

#include <memory>
#include <optional>

namespace {

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

// A colour that the window fixes for one control: its text, or its box (the label's background).
struct FixedColour
{
    QPalette::ColorRole role;
    quint32 value; // red in the low byte
};

constexpr FixedColour blueText { QPalette::WindowText, 0x00FF0000 }; // the company name
constexpr FixedColour greyText { QPalette::WindowText, 0x00808080 }; // the "Results" heading
constexpr FixedColour whiteBox { QPalette::Window, 0x00FFFFFF }; // the report
constexpr FixedColour yellowBox { QPalette::Window, 0x00C0FFFF }; // the instructions

// One control as the window shows it when it opens. Without a colour it keeps the window's.
struct ControlLayout
{
    QWidget *control;
    const char *name;
    Twips twips;
    qreal points; // of Arial
    const char *text; // empty: none
    std::optional<FixedColour> colour = {};
};

// What lblInstr says until start-up writes the instructions.
constexpr const char *instructions
    = "Program to check Norlix database version. This is safe to use at any time. It does not "
      "affect any files, or change any data.";

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

void setText(QWidget *control, const QString &text)
{
    if (auto *label = qobject_cast<PlainLabel *>(control))
        label->setCaption(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(control))
        button->setText(text);
    else if (auto *entry = qobject_cast<QLineEdit *>(control))
        entry->setText(text);
}

void setUp(const ControlLayout &layout, const TwipsPlacer &placer)
{
    QWidget *const control = layout.control;
    control->setObjectName(QString::fromLatin1(layout.name));
    placer.place(control, layout.twips);
    control->setFont(arial(layout.points));
    if (*layout.text)
        setText(control, QString::fromLatin1(layout.text));
    if (layout.colour) {
        if (layout.colour->role == QPalette::Window)
            control->setAutoFillBackground(true);
        setColour(control, layout.colour->role, layout.colour->value);
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

    // clang-format off
    const ControlLayout controls[] = {
        // control   objectName     left   top width height  points text         colour
        { txtLetter,  "txtLetter",  { 9600,  360,  375,  375 }, 11.25, "A" },
        { cmdExit,    "cmdExit",    { 9240, 6720, 1095,  495 },  9.75, "Exit" },
        { cmdStart,   "cmdStart",   { 9600, 1200, 1095,  495 },  9.75, "Start" },
        { lblCoName,  "lblCoName",  { 7680,  720, 3135,  375 },  9.75, "",           blueText },
        { Label1,     "Label1",     { 7920,  400, 1575,  255 },  9.75, "Company Letter: " },
        { Label3,     "Label3",     {  360, 1680, 1575,  255 },  9,    "Results",    greyText },
        { lblResults, "lblResults", {  360, 1920, 9135, 4575 }, 11.25, "",           whiteBox },
        { lblInstr,   "lblInstr",   {  360,  240, 7095, 1215 }, 11.25, instructions, yellowBox },
    };
    // clang-format on
    for (const ControlLayout &control : controls)
        setUp(control, placer);

    txtLetter->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    txtLetter->setAccessibleName(letterEntryName);
    Label1->setBuddy(txtLetter);
    // Names the report for a screen reader; the caption has no access key, so it moves no focus.
    Label3->setBuddy(lblResults);

    // Labels take no focus, so of the tab indexes only Start 1, Exit 2 and the entry 6 count.
    setTabOrder(cmdStart, cmdExit);
    setTabOrder(cmdExit, txtLetter);
    cmdStart->setFocus();

    connectHandlers();
}
