#pragma once

#include <QString>

namespace Norlix {

class ChoiceDialogComponent
{
public:
    virtual ~ChoiceDialogComponent() = default;
    // Shows a modal dialog with one button for each name in buttons (names separated by two
    // spaces) and gives back the name of the button chosen, exactly as written there.
    [[nodiscard]] virtual QString ShowChoice(const QString &title, const QString &message,
                                             const QString &buttons, const QString &style,
                                             int number) = 0;
};

} // namespace Norlix
