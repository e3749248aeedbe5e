#include "components.h"

#include <dialog/choice_dialog_window.h>
#include <standin/standin_components.h>

namespace Norlix {
namespace {

struct References
{
    ComponentFactories factories;
    std::unique_ptr<CompanyDatabaseComponent> systemGlobal;
    std::unique_ptr<NumberConverterComponent> numberConverter;
    std::unique_ptr<ChoiceDialogComponent> choiceDialog;
};

References &references()
{
    static References refs;
    return refs;
}

template<typename Component, typename Factory, typename Installed>
Component &created(
    std::unique_ptr<Component> &reference, const Factory &factory, Installed installed)
{
    if (!reference)
        reference = factory ? factory() : installed();
    return *reference;
}

} // namespace

CompanyDatabaseComponent &SystemGlobal()
{
    auto &refs = references();
    return created(refs.systemGlobal, refs.factories.systemGlobal, makeStandInSystemGlobal);
}

NumberConverterComponent &NumberConverter()
{
    auto &refs = references();
    return created(
        refs.numberConverter, refs.factories.numberConverter, makeStandInNumberConverter);
}

ChoiceDialogComponent &ChoiceDialog()
{
    auto &refs = references();
    return created(refs.choiceDialog, refs.factories.choiceDialog, makeChoiceDialogWindow);
}

void useComponentFactories(ComponentFactories factories)
{
    resetComponents();
    references().factories = std::move(factories);
}

void resetComponents()
{
    auto &refs = references();
    refs = References {};
}

} // namespace Norlix
