#include "choice_dialog_window.h"

#include <component_error.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace Norlix {
namespace {

const QString nameSeparator = QStringLiteral("  ");
constexpr int iconSize = 32;
constexpr int messageWidth = 360;

QStringList buttonNames(const QString &buttons)
{
    QStringList names = buttons.split(nameSeparator, Qt::SkipEmptyParts);
    if (names.isEmpty())
        names.append(QStringLiteral("OK"));
    return names;
}

// The picture beside the message, with the name a screen reader gives it.
struct StyleIcon
{
    QIcon icon;
    QString name;
};

StyleIcon styleIcon(const QStyle &style, const QString &styleWord)
{
    static const struct
    {
        const char *word;
        QStyle::StandardPixmap pixmap;
        const char *name;
    } icons[] = {
        { "warning", QStyle::SP_MessageBoxWarning, "Warning" },
        { "information", QStyle::SP_MessageBoxInformation, "Information" },
        { "critical", QStyle::SP_MessageBoxCritical, "Error" },
        { "question", QStyle::SP_MessageBoxQuestion, "Question" },
    };
    const QString word = styleWord.toLower();
    for (const auto &icon : icons)
        if (word == QLatin1String(icon.word))
            return { style.standardIcon(icon.pixmap), QString::fromLatin1(icon.name) };
    return {};
}

// A "&" in a name is shown as itself, never as a shortcut marker.
QString buttonCaption(const QString &name)
{
    QString caption = name;
    return caption.replace(QLatin1Char('&'), QLatin1String("&&"));
}

// "[*]" in a title is Qt's modified-marker placeholder; doubled, it shows as written.
QString windowTitleText(const QString &title)
{
    QString text = title;
    return text.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
}

class ChoiceBox : public QDialog
{
public:
    ChoiceBox(QWidget *parent, const QString &title, const QString &message,
        const QStringList &names, const QString &styleWord)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    {
        setObjectName(QStringLiteral("choiceDialog"));
        setWindowTitle(windowTitleText(title));
        setWindowModality(Qt::ApplicationModal);
        // Over a window the dialog takes that window's colours, as its child widgets do.
        if (parent)
            setPalette(parent->palette());

        auto *messageRow = new QHBoxLayout;
        const StyleIcon icon = styleIcon(*style(), styleWord);
        if (!icon.icon.isNull()) {
            auto *iconLabel = new QLabel(this);
            iconLabel->setObjectName(QStringLiteral("choiceIcon"));
            iconLabel->setPixmap(icon.icon.pixmap(iconSize, iconSize));
            iconLabel->setAccessibleName(icon.name);
            iconLabel->setAlignment(Qt::AlignTop);
            messageRow->addWidget(iconLabel);
        }
        auto *messageLabel = new QLabel(this);
        messageLabel->setObjectName(QStringLiteral("choiceMessage"));
        messageLabel->setTextFormat(Qt::PlainText);
        messageLabel->setText(message);
        messageLabel->setWordWrap(true);
        messageLabel->setMinimumWidth(messageWidth);
        // Only the buttons take the focus: the message shows no text cursor, and a screen reader
        // still reads it as the dialog's text.
        messageLabel->setTextInteractionFlags(Qt::NoTextInteraction);
        messageRow->addWidget(messageLabel, 1);

        auto *buttonRow = new QHBoxLayout;
        buttonRow->addStretch();
        QPushButton *firstButton = nullptr;
        for (const QString &name : names) {
            auto *button = new QPushButton(buttonCaption(name), this);
            button->setAutoDefault(false);
            button->setDefault(false);
            connect(button, &QPushButton::clicked, this, [this, name] { choose(name); });
            buttonRow->addWidget(button);
            if (!firstButton)
                firstButton = button;
        }

        auto *layout = new QVBoxLayout(this);
        layout->addLayout(messageRow);
        layout->addLayout(buttonRow);

        firstButton->setFocus();
    }

    [[nodiscard]] const QString &chosen() const { return m_chosen; }
    [[nodiscard]] bool hasChosen() const { return m_hasChosen; }

    // Escape, the frame and the window manager cannot close the dialog: only a choice does.
    void reject() override { }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (!m_hasChosen)
            event->ignore();
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter) {
            if (auto *button = qobject_cast<QPushButton *>(focusWidget()))
                button->click();
            return;
        }
        QDialog::keyPressEvent(event);
    }

private:
    void choose(const QString &name)
    {
        m_chosen = name;
        m_hasChosen = true;
        done(QDialog::Accepted);
    }

    QString m_chosen;
    bool m_hasChosen = false;
};

class ChoiceDialogWindow : public ChoiceDialogComponent
{
public:
    QString ShowChoice(const QString &title, const QString &message, const QString &buttons,
        const QString &style, int /*number*/) override
    {
        ChoiceBox box(QApplication::activeWindow(), title, message, buttonNames(buttons), style);
        box.exec();
        // The dialog's loop also ends when the application is told to quit. Giving back no
        // name then would read as "try again" and ask again for ever.
        if (!box.hasChosen())
            throw ComponentError(QStringLiteral(
                "The dialog \"%1\" was closed without a choice because Norlix is closing.")
                                     .arg(title));
        return box.chosen();
    }
};

} // namespace

std::unique_ptr<ChoiceDialogComponent> makeChoiceDialogWindow()
{
    return std::make_unique<ChoiceDialogWindow>();
}

} // namespace Norlix
