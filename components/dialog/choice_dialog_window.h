#pragma once

#include "../choice_dialog.h"

#include <memory>

namespace Norlix {

// The Norlix choice dialog as a modal Qt dialog over the active window.
std::unique_ptr<ChoiceDialogComponent> makeChoiceDialogWindow();

} // namespace Norlix
