#pragma once

#include <QString>

namespace Norlix {

// The per-user settings store that Norlix programs share, addressed by application name,
// section and key. On Windows it is the registry key
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>; on Linux the
// file $XDG_CONFIG_HOME/Norlix/<application>.ini (~/.config/Norlix/<application>.ini when
// XDG_CONFIG_HOME is not set).

// An absent value reads as empty text.
[[nodiscard]] QString readUserSetting(const QString &application, const QString &section,
                                      const QString &key);
void writeUserSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value);
void removeUserSetting(const QString &application, const QString &section, const QString &key);

} // namespace Norlix
