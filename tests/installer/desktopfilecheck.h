#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

namespace kelmar::test {

// What desktop-file-validate (desktop-file-utils), the format's reference
// checker, says about a launcher file: empty when it has nothing to say,
// hints included.
inline QString desktopFileProblems(const QString &file)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty())
        return QStringLiteral("desktop-file-validate is missing: install desktop-file-utils");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(tool, {file});
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("desktop-file-validate did not end");
    }
    const QString out = QString::fromUtf8(p.readAll()).trimmed();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return out.isEmpty() ? QStringLiteral("desktop-file-validate rejected %1").arg(file) : out;
    return out;
}

} // namespace kelmar::test
