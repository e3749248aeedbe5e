#include "user_settings.h"

#include "component_error.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace Norlix {
namespace {

constexpr auto organization = "Norlix";

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
    QSettings settings(
        QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(organization), application);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    // A hand-written value with commas in it reads back as a list; it was meant as one text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void writeUserSetting(
    const QString &application, const QString &section, const QString &key, const QString &value)
{
    QSettings settings(
        QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(organization), application);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    requireSaved(settings);
}

void removeUserSetting(const QString &application, const QString &section, const QString &key)
{
    QSettings settings(
        QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(organization), application);
    settings.beginGroup(section);
    settings.remove(key);
    settings.endGroup();
    requireSaved(settings);
}

} // namespace Norlix
