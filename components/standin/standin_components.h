#pragma once

#include <company_database.h>
#include <number_converter.h>

#include <memory>

namespace Norlix {

// The stand-in Norlix installation: companies in SQLite files under the installation folder
// (NORLIX_HOME, or the per-user default).
std::unique_ptr<CompanyDatabaseComponent> makeStandInSystemGlobal();
std::unique_ptr<NumberConverterComponent> makeStandInNumberConverter();

} // namespace Norlix
