#pragma once

// The installed Norlix components, reached through COM by late binding. Each factory creates its
// component's object at once (ComponentError when that fails, a class that is not registered
// named as not installed) and keeps it until the component is destroyed: destroy every component
// (resetComponents()) before the thread uninitialises COM.

#include "choice_dialog.h"
#include "company_database.h"
#include "dispatch_call.h"
#include "number_converter.h"

#include <memory>

namespace Norlix {

struct ComClasses
{
    ComClass systemGlobal;
    ComClass numberConverter;
    ComClass choiceDialog;
};

inline const ComClasses norlixComClasses {
    { QStringLiteral("Norlix.SystemGlobal"),
        QStringLiteral("The Norlix company database component") },
    { QStringLiteral("Norlix.NumberConverter"),
        QStringLiteral("The Norlix number converter component") },
    { QStringLiteral("Norlix.ChoiceDialog"), QStringLiteral("The Norlix choice dialog component") },
};

std::unique_ptr<CompanyDatabaseComponent> makeComSystemGlobal(
    const ComClass &component = norlixComClasses.systemGlobal);
std::unique_ptr<NumberConverterComponent> makeComNumberConverter(
    const ComClass &component = norlixComClasses.numberConverter);
std::unique_ptr<ChoiceDialogComponent> makeComChoiceDialog(
    const ComClass &component = norlixComClasses.choiceDialog);

} // namespace Norlix
