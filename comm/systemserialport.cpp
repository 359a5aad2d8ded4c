#include "systemserialport.h"

#include "comportmap.h"

#ifndef Q_OS_WIN
#include <cerrno>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace kelmar {

namespace {

QSerialPort::Parity toQt(Parity p)
{
    switch (p) {
    case Parity::None:
        return QSerialPort::NoParity;
    case Parity::Odd:
        return QSerialPort::OddParity;
    case Parity::Even:
        return QSerialPort::EvenParity;
    case Parity::Mark:
        return QSerialPort::MarkParity;
    case Parity::Space:
        return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(StopBits s)
{
    switch (s) {
    case StopBits::One:
        return QSerialPort::OneStop;
    case StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
        return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

} // namespace

SystemSerialPort::SystemSerialPort(const QString &programDir, QObject *parent)
    : SerialPort(parent), m_programDir(programDir)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SystemSerialPort::onError);
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        if (PortOpen())
            emit readyRead();
    });
}

SystemSerialPort::~SystemSerialPort()
{
    m_port.close();
}

QString SystemSerialPort::devicePath() const
{
    return comDevicePath(m_commPort, m_programDir);
}

bool SystemSerialPort::setPortOpen(bool open)
{
    if (m_lost) {
        m_port.close();
        m_lost = false;
    }
    if (!open) {
        if (m_port.isOpen())
            m_port.close();
        return true;
    }
    if (m_port.isOpen())
        return true;
    if (!m_settings)
        return false;
    const QString path = devicePath();
    if (path.isEmpty())
        return false;
    m_port.setPortName(path);
    if (!m_port.open(QIODevice::ReadWrite))
        return false;
    if (!lockExclusive() || !applySettings() ||
        !m_port.setFlowControl(QSerialPort::NoFlowControl)) {
        m_port.close();
        return false;
    }
    m_port.clear();
    return true;
}

bool SystemSerialPort::lockExclusive()
{
#ifdef Q_OS_WIN
    return true; // Windows opens serial devices exclusively by itself
#else
    // Two programs must never share one line. The serial port's own lock file
    // is keyed by the name, and a device can have several names (links), so
    // the open device itself is locked as well.
    const int fd = int(m_port.handle());
    return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
#endif
}

bool SystemSerialPort::PortOpen() const
{
    return m_port.isOpen() && !m_lost;
}

bool SystemSerialPort::setCommPort(int number)
{
    if (PortOpen() || number < FirstPortNumber || number > LastPortNumber)
        return false;
    m_commPort = number;
    return true;
}

bool SystemSerialPort::setSettings(const QString &settings)
{
    m_settingsText = settings;
    m_settings = parseSerialSettings(settings);
    if (!m_settings)
        return false;
    return !PortOpen() || applySettings();
}

bool SystemSerialPort::applySettings()
{
    return m_port.setBaudRate(m_settings->baud) &&
           m_port.setDataBits(QSerialPort::DataBits(m_settings->dataBits)) &&
           m_port.setParity(toQt(m_settings->parity)) &&
           m_port.setStopBits(toQt(m_settings->stopBits));
}

bool SystemSerialPort::Output(const QByteArray &bytes)
{
    if (!PortOpen())
        return false;
    QByteArray rest = bytes;
#ifndef Q_OS_WIN
    // A request is a few bytes and fits the driver's buffer. Written straight
    // to the device it leaves at once, and the port's write watch is not
    // switched on and off again, which costs two extra passes of the event
    // loop per transaction. What the driver does not take now, and anything
    // behind bytes still queued, goes the buffered way.
    if (m_port.bytesToWrite() == 0) {
        const int fd = int(m_port.handle());
        while (!rest.isEmpty()) {
            const ssize_t n = ::write(fd, rest.constData(), size_t(rest.size()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            if (n < 0)
                return false;
            rest.remove(0, n);
        }
        if (rest.isEmpty())
            return true;
    }
#endif
    if (m_port.write(rest) != rest.size())
        return false;
    // Out now rather than at the next pass of the event loop: the request
    // leaves when the caller starts its reply wait.
    m_port.flush();
    return true;
}

int SystemSerialPort::InBufferCount()
{
    if (!PortOpen())
        return -1;
    return int(m_port.bytesAvailable());
}

QByteArray SystemSerialPort::Input()
{
    if (!PortOpen())
        return {};
    return m_port.readAll();
}

void SystemSerialPort::discardInput()
{
    if (!PortOpen())
        return;
    m_port.readAll();
    m_port.clear(QSerialPort::Input);
}

void SystemSerialPort::onError(QSerialPort::SerialPortError error)
{
    // A device that vanished under an open port (an unplugged adapter, a hung
    // up pseudo-terminal) reports a read or resource error; its descriptor then
    // stays readable with nothing to read, and leaving it open would spin the
    // event loop. It counts as closed at once, so that later operations fail
    // as on a closed port; the close itself waits for the next pass of the
    // event loop, because this runs inside the port's own read handling.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!m_port.isOpen() || m_lost)
        return;
    m_lost = true;
    QMetaObject::invokeMethod(this, &SystemSerialPort::closeLostPort, Qt::QueuedConnection);
}

void SystemSerialPort::closeLostPort()
{
    // An open or close in the meantime has dealt with the port already.
    if (!m_lost)
        return;
    m_port.close();
    m_lost = false;
    emit portLost();
}

} // namespace kelmar
