#include "command_button.h"

#include <QKeyEvent>

CommandButton::CommandButton(QWidget *parent)
    : QPushButton(parent)
{
    // Inside a dialog Qt would make a focused button the default one, which Enter in the letter
    // entry would then press.
    setAutoDefault(false);
    setDefault(false);
}

void CommandButton::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter) {
        QPushButton::keyPressEvent(event);
        return;
    }
    // A held key presses once, as a held Space does.
    if (!event->isAutoRepeat())
        click();
    event->accept();
}
