#pragma once

namespace Norlix {

class Installation;

// The workstation that holds company C's accounts in the demo.
inline constexpr auto demoLockHolder = "ACCOUNTS-PC";

// Creates the installation when it is missing and puts companies A to D into their demo state:
// A complete; B registered with its database missing; C's accounts locked by demoLockHolder; D
// without a recorded version. Other companies are left alone.
void createDemoInstallation(Installation &installation);

} // namespace Norlix
