#pragma once

#include "choice_dialog.h"
#include "company_database.h"
#include "number_converter.h"

#include <functional>
#include <memory>

namespace Norlix {

// The process-wide references to the Norlix components. Each is empty until its first use, is
// created then, and is kept until the process ends. A component that cannot be created raises
// ComponentError and stays empty, so the next use tries again.
CompanyDatabaseComponent &SystemGlobal();
NumberConverterComponent &NumberConverter();
ChoiceDialogComponent &ChoiceDialog();

// The one place where the implementations are chosen. Tests put their own in place (before the
// first use, or after resetComponents()); every other caller only sees the interfaces above.
struct ComponentFactories
{
    std::function<std::unique_ptr<CompanyDatabaseComponent>()> systemGlobal;
    std::function<std::unique_ptr<NumberConverterComponent>()> numberConverter;
    std::function<std::unique_ptr<ChoiceDialogComponent>()> choiceDialog;
};

// Empties the references and makes later first uses create them through factories; a factory
// left empty keeps the installed Norlix implementation.
void useComponentFactories(ComponentFactories factories);
// Empties the references and goes back to the installed Norlix implementations.
void resetComponents();

} // namespace Norlix
