#include "testfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace kelmar::test {

TestFolder::TestFolder() : m_dir(QDir::tempPath() + QStringLiteral("/kelmar-test-XXXXXX"))
{
}

bool TestFolder::write(const QString &name, const QByteArray &bytes) const
{
    QFile f(file(name));
    QDir().mkpath(QFileInfo(f).absolutePath());
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray TestFolder::read(const QString &name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool TestFolder::mapComPort(int number, const QString &device) const
{
    QDir().mkpath(file(QStringLiteral("com")));
    const QString link = file(QStringLiteral("com/com%1").arg(number));
    QFile::remove(link);
    return QFile::link(device, link);
}

bool TestFolder::copyDist() const
{
    const QString src = QStringLiteral(KELMAR_SOURCE_DIR "/dist");
    QDirIterator it(src, QDir::Files, QDirIterator::Subdirectories);
    bool ok = true;
    while (it.hasNext()) {
        const QString from = it.next();
        const QString rel = QDir(src).relativeFilePath(from);
        // Build files and the package's own files are not what ships beside
        // the program.
        if (rel.endsWith(QStringLiteral("CMakeLists.txt")) ||
            rel.startsWith(QStringLiteral("package/")))
            continue;
        QDir().mkpath(QFileInfo(file(rel)).absolutePath());
        QFile::remove(file(rel));
        ok = QFile::copy(from, file(rel)) && ok;
    }
    return ok;
}

} // namespace kelmar::test
