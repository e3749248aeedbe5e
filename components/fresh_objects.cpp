#include "fresh_objects.h"

#include "component_error.h"
#include "components.h"

#include <QString>

std::unique_ptr<Norlix::CompanyDatabase> freshCompanyDatabase()
{
    auto database = Norlix::SystemGlobal().Instance();
    if (!database)
        throw Norlix::ComponentError(
            QStringLiteral("The Norlix company database component gave no object to work on."));
    return database;
}

std::unique_ptr<Norlix::ConverterObject> freshConverter()
{
    auto converter = Norlix::NumberConverter().Converter();
    if (!converter)
        throw Norlix::ComponentError(
            QStringLiteral("The Norlix number converter component gave no object to work on."));
    return converter;
}
