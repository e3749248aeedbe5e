#pragma once

#include <QPushButton>

// A command button as the window's buttons behave: Enter (Return or the keypad's Enter) presses
// it while it has the focus, as Space does, as on the desktops where Norlix runs. It is never the
// window's default button, so Enter elsewhere presses no button.
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
