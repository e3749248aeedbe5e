#pragma once

// The Norlix choice dialog as a test finds and answers it: the component's own window, a Qt
// dialog where the stand-in is linked in, a plain Win32 dialog where it is reached through COM.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct ShownChoice
{
    QString title;
    // The buttons' names, in their order.
    QStringList buttons;
    // Presses the button of that name, as a click would.
    std::function<void(const QString &name)> choose;
};

// The choice dialog while it is shown, or nothing.
[[nodiscard]] std::optional<ShownChoice> shownChoice();
