#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace kelmar::test {

// A temporary program folder, removed with the object.
class TestFolder
{
public:
    TestFolder();
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

    bool write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;
    // Links com/comN to a device, as the operator maps a port.
    bool mapComPort(int number, const QString &device) const;
    // Copies the shipped distribution files (setup.ini, meter.txt, logo/).
    bool copyDist() const;

private:
    QTemporaryDir m_dir;
};

} // namespace kelmar::test
