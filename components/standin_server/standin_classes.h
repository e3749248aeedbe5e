#pragma once

// The classes the stand-in's automation server offers, under Norlix's own ProgIDs, and the file
// it is served from, beside norlix.exe.

#include <com/automation_server.h>

#include <array>

namespace Norlix {

inline constexpr std::array<AutomationServer::ServedClass, 3> standInClasses { {
    { L"Norlix.SystemGlobal", L"{074E926B-BD44-476E-A83A-2CD9EC2E6628}",
        L"Norlix company database (stand-in)" },
    { L"Norlix.NumberConverter", L"{89A3932D-6FCF-4DA9-9579-833EB1CED075}",
        L"Norlix number converter (stand-in)" },
    { L"Norlix.ChoiceDialog", L"{DC97A40A-67D5-4B9A-B1CF-6AF7E46AA842}",
        L"Norlix choice dialog (stand-in)" },
} };

inline constexpr const wchar_t *standInServerFile = L"NorlixStandIn.dll";

} // namespace Norlix
