#pragma once

#include "company_database.h"
#include "number_converter.h"

#include <memory>

// The working objects of the Norlix components, fetched afresh for a single operation each.
// An object the component fails to give raises ComponentError, like any other failure of it.
[[nodiscard]] std::unique_ptr<Norlix::CompanyDatabase> freshCompanyDatabase();
[[nodiscard]] std::unique_ptr<Norlix::ConverterObject> freshConverter();
