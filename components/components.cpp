#include "components.h"

// On Windows the components are the Norlix that is registered, reached through COM; elsewhere the
// stand-in, linked in.
#ifdef Q_OS_WIN
#include <com/com_components.h>

#include <QCoreApplication>
#else
#include <dialog/choice_dialog_window.h>
#include <standin/standin_components.h>
#endif

namespace Norlix {
namespace {

struct References
{
    ComponentFactories factories;
    std::unique_ptr<CompanyDatabaseComponent> systemGlobal;
    std::unique_ptr<NumberConverterComponent> numberConverter;
    std::unique_ptr<ChoiceDialogComponent> choiceDialog;
};

#ifdef Q_OS_WIN
std::unique_ptr<CompanyDatabaseComponent> installedSystemGlobal()
{
    return makeComSystemGlobal();
}
std::unique_ptr<NumberConverterComponent> installedNumberConverter()
{
    return makeComNumberConverter();
}
std::unique_ptr<ChoiceDialogComponent> installedChoiceDialog()
{
    return makeComChoiceDialog();
}
#else
constexpr auto installedSystemGlobal = makeStandInSystemGlobal;
constexpr auto installedNumberConverter = makeStandInNumberConverter;
constexpr auto installedChoiceDialog = makeChoiceDialogWindow;
#endif

References &references()
{
    static References refs;
    return refs;
}

template<typename Component, typename Factory, typename Installed>
Component &created(
    std::unique_ptr<Component> &reference, const Factory &factory, Installed installed)
{
#ifdef Q_OS_WIN
    // COM references must go before the application object ends, and with it the apartment that
    // Qt's platform plugin keeps; a static's destructor would come too late.
    static const bool releasedWithTheApplication = [] {
        qAddPostRoutine(resetComponents);
        return true;
    }();
    (void)releasedWithTheApplication;
#endif
    if (!reference)
        reference = factory ? factory() : installed();
    return *reference;
}

} // namespace

CompanyDatabaseComponent &SystemGlobal()
{
    auto &refs = references();
    return created(refs.systemGlobal, refs.factories.systemGlobal, installedSystemGlobal);
}

NumberConverterComponent &NumberConverter()
{
    auto &refs = references();
    return created(
        refs.numberConverter, refs.factories.numberConverter, installedNumberConverter);
}

ChoiceDialogComponent &ChoiceDialog()
{
    auto &refs = references();
    return created(refs.choiceDialog, refs.factories.choiceDialog, installedChoiceDialog);
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
