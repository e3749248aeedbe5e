#include "server_registration.h"

#include <component_error.h>

#ifdef Q_OS_WIN
#include <com/class_registration.h>
#include <standin_server/standin_classes.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#endif

namespace {

#ifdef Q_OS_WIN
QString serverPath()
{
    const QString path = QDir(QCoreApplication::applicationDirPath())
                             .filePath(QString::fromWCharArray(Norlix::standInServerFile));
    if (!QFileInfo(path).isFile())
        throw Norlix::ComponentError(
            QStringLiteral("%1 is missing: it belongs beside norlix.exe.").arg(QDir::toNativeSeparators(path)));
    return QDir::toNativeSeparators(path);
}

int reported(const AutomationServer::RegistrationReport &report, QTextStream &out)
{
    const QString message = QString::fromStdWString(report.message);
    if (!report.done)
        throw Norlix::ComponentError(message);
    out << message << "\n";
    return 0;
}
#endif

} // namespace

#ifdef Q_OS_WIN
int registerStandIn(QTextStream &out)
{
    return reported(
        AutomationServer::registerServer(Norlix::standInClasses, serverPath().toStdWString()), out);
}

int unregisterStandIn(QTextStream &out)
{
    return reported(AutomationServer::unregisterServer(Norlix::standInClasses), out);
}

void registerStandInIfNone(QTextStream &out)
{
    // A Norlix registered already, the stand-in or another, stays the one in use.
    if (!AutomationServer::registeredServer(Norlix::standInClasses[0].progId).empty())
        return;
    reported(AutomationServer::registerServer(Norlix::standInClasses, serverPath().toStdWString()), out);
}
#else
int registerStandIn(QTextStream &)
{
    throw Norlix::ComponentError(QStringLiteral(
        "norlix register is for Windows, where Norlix's components are found through COM; here the "
        "utility uses the installation directly."));
}

int unregisterStandIn(QTextStream &out)
{
    return registerStandIn(out);
}

void registerStandInIfNone(QTextStream &)
{
}
#endif
