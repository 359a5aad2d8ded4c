#pragma once

#include "serialport.h"

#include <QStringList>
#include <functional>

namespace kelmar::test {

// A serial line in memory: the test puts bytes "on the wire" with arrive(),
// sees what was sent, and can break the port. Every call is logged by name so
// that the order of operations can be checked.
class FakeSerialPort : public SerialPort
{
    Q_OBJECT
public:
    using SerialPort::SerialPort;

    bool setPortOpen(bool open) override
    {
        calls << QStringLiteral("PortOpen=%1").arg(open);
        m_open = open;
        return true;
    }
    bool PortOpen() const override { return m_open; }
    bool setCommPort(int number) override
    {
        m_commPort = number;
        return !m_open;
    }
    int CommPort() const override { return m_commPort; }
    bool setSettings(const QString &settings) override
    {
        m_settings = settings;
        return true;
    }
    QString Settings() const override { return m_settings; }

    bool Output(const QByteArray &bytes) override
    {
        calls << QStringLiteral("Output");
        if (!m_open)
            return false;
        written << bytes;
        if (onOutput)
            onOutput(bytes);
        return true;
    }
    int InBufferCount() override
    {
        calls << QStringLiteral("InBufferCount");
        if (!m_open || brokenCount)
            return -1;
        return int(m_inbox.size());
    }
    QByteArray Input() override
    {
        calls << QStringLiteral("Input");
        if (!m_open)
            return {};
        const QByteArray bytes = m_inbox;
        m_inbox.clear();
        return bytes;
    }

    // Bytes that reach the receive buffer now.
    void arrive(const QByteArray &bytes) { m_inbox += bytes; }
    QByteArray waiting() const { return m_inbox; }

    QStringList calls;
    QList<QByteArray> written;
    std::function<void(const QByteArray &)> onOutput;
    bool brokenCount = false; // InBufferCount fails although the port is open

private:
    bool m_open = true;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    QByteArray m_inbox;
};

} // namespace kelmar::test
