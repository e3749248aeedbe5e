#include "application_icon.h"

QIcon applicationIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/prismor-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/prismor-32.png"), QSize(32, 32));
    return icon;
}
