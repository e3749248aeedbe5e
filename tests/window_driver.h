#pragma once

// Drives the window Main as a user does. Kept apart from window_test_support.h, which tests
// without Main include too.

#include <main.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

// Opens the window as the utility does (its load event reads the workstation name).
[[nodiscard]] inline std::unique_ptr<Main> openWindow()
{
    auto window = std::make_unique<Main>();
    window->show();
    return window;
}

// Types the letter into the entry and presses Start.
inline void runCheck(Main &window, const QString &letter)
{
    window.txtLetter->setText(letter);
    QTest::mouseClick(window.cmdStart, Qt::LeftButton);
}
