#include "user_settings.h"

#include "component_error.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace Norlix {
namespace {

// The per-user settings store of Norlix programs, by application. On Windows it is where a
// program that keeps its settings by application, section and key keeps them, so that Prismor
// reads the same values as the rest of the installation:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\APPLICATION\SECTION. Elsewhere it is an
// INI file per application under the user's configuration folder.
std::unique_ptr<QSettings> settingsOf(const QString &application)
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
        QStringLiteral("VB and VBA Program Settings"), application);
#else
    return std::make_unique<QSettings>(
        QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Norlix"), application);
#endif
}

void requireSaved(QSettings &settings)
{
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw ComponentError(
            QStringLiteral("The settings file %1 could not be written.").arg(settings.fileName()));
}

} // namespace

QString readUserSetting(const QString &application, const QString &section, const QString &key)
{
    const std::unique_ptr<QSettings> store = settingsOf(application);
    QSettings &settings = *store;
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    // A hand-written value with commas in it reads back as a list; it was meant as one text. The
    // reader has dropped the blanks around each comma, so the parts are joined the usual way.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void writeUserSetting(
    const QString &application, const QString &section, const QString &key, const QString &value)
{
    const std::unique_ptr<QSettings> store = settingsOf(application);
    QSettings &settings = *store;
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    requireSaved(settings);
}

void removeUserSetting(const QString &application, const QString &section, const QString &key)
{
    const std::unique_ptr<QSettings> store = settingsOf(application);
    QSettings &settings = *store;
    settings.beginGroup(section);
    settings.remove(key);
    settings.endGroup();
    requireSaved(settings);
}

} // namespace Norlix
