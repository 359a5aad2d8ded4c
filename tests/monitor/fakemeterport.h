#pragma once

#include "modbusframe.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QList>
#include <map>
#include <set>

namespace kelmar::test {

// A meter line without a line: every request written is answered at once
// from a register table, so the window logic can be driven without socat.
// It can be unplugged and plugged in again.
class FakeMeterPort : public SerialPort
{
public:
    bool setPortOpen(bool open) override
    {
        if (open) {
            if (!m_plugged || m_open)
                return m_open;
            m_open = true;
            events << QStringLiteral("open");
            openedAt.restart();
            return true;
        }
        if (m_open)
            events << QStringLiteral("close");
        m_open = false;
        closedAt.restart();
        return true;
    }
    bool PortOpen() const override { return m_open; }
    bool setCommPort(int n) override
    {
        if (m_open || n < 1 || n > 10)
            return false;
        m_commPort = n;
        return true;
    }
    int CommPort() const override { return m_commPort; }
    bool setSettings(const QString &s) override
    {
        m_settings = s;
        return true;
    }
    QString Settings() const override { return m_settings; }
    bool Output(const QByteArray &request) override
    {
        if (!m_open)
            return false;
        requests << request;
        const int slave = quint8(request[0]);
        if (silent.count(slave))
            return true;
        const int start = quint8(request[2]) * 256 + quint8(request[3]);
        const int count = quint8(request[4]) * 256 + quint8(request[5]);
        QByteArray reply;
        reply.append(char(slave)).append(char(3)).append(char(2 * count));
        for (int i = 0; i < count; ++i) {
            const quint16 v = registers[{slave, start + i}];
            reply.append(char(v >> 8)).append(char(v & 0xFF));
        }
        m_inbox += withCrc(reply);
        return true;
    }
    int InBufferCount() override { return m_open ? int(m_inbox.size()) : -1; }
    QByteArray Input() override
    {
        QByteArray all;
        if (m_open)
            all.swap(m_inbox);
        return all;
    }

    void unplug()
    {
        m_plugged = false;
        if (m_open) {
            m_open = false;
            events << QStringLiteral("lost");
            emit portLost();
        }
    }
    void plugIn() { m_plugged = true; }

    std::map<std::pair<int, int>, quint16> registers;
    std::set<int> silent;
    QList<QByteArray> requests;
    QStringList events;
    QElapsedTimer openedAt;
    QElapsedTimer closedAt;

private:
    bool m_open = false;
    bool m_plugged = true;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    QByteArray m_inbox;
};

} // namespace kelmar::test
