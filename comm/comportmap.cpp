#include "comportmap.h"

#include <QFileInfo>

namespace kelmar {

QString comDevicePath(int number, const QString &programDir)
{
    if (number < FirstPortNumber || number > LastPortNumber)
        return {};
#ifdef Q_OS_WIN
    Q_UNUSED(programDir);
    return QStringLiteral("COM%1").arg(number);
#else
    const QString link = programDir + QStringLiteral("/com/com%1").arg(number);
    // A dangling link still names the mapping the operator chose: the open
    // fails then, instead of silently reaching another device.
    if (QFileInfo(link).isSymLink() || QFileInfo::exists(link))
        return link;
    return QStringLiteral("/dev/ttyUSB%1").arg(number - 1);
#endif
}

} // namespace kelmar
