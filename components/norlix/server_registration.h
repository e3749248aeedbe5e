#pragma once

#include <QTextStream>

// The stand-in's automation server, NorlixStandIn.dll beside norlix.exe, registered as the Norlix
// that this Windows finds. Elsewhere there is nothing to register: the utility links the stand-in.

// norlix register, norlix unregister: 0 done; ComponentError when refused.
int registerStandIn(QTextStream &out);
int unregisterStandIn(QTextStream &out);
// For norlix demo: registers the stand-in when no Norlix is registered, and says so; says
// nothing when one is.
void registerStandInIfNone(QTextStream &out);
