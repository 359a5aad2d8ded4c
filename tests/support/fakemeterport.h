#pragma once

#include "lendport.h"
#include "modbusframe.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace kelmar::test {

// A meter line in memory. Every request written is answered at once from a
// register table (function 3, any count), so that the program's logic can be
// driven without socat; slaves in `silent` never answer. A test that sets
// onOutput answers by itself instead, putting bytes "on the wire" with
// arrive() when it likes. Arrived bytes are announced with readyRead() from
// the event loop, as a real port does. The port starts closed, can break its
// receive count, and can be unplugged and plugged in again. Every operation
// is logged by name in `calls`, opens and closes in `events`.
class FakeMeterPort : public SerialPort
{
public:
    using SerialPort::SerialPort;

    bool setPortOpen(bool open) override
    {
        calls << QStringLiteral("PortOpen=%1").arg(open);
        if (open) {
            if (opensInBackground && !m_open) {
                m_opening = true;
                return true;
            }
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
        m_opening = false;
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
        calls << QStringLiteral("Output");
        if (!m_open)
            return false;
        requests << request;
        if (onOutput) {
            onOutput(request);
            return true;
        }
        if (request.size() < 6)
            return true;
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
        arrive(withCrc(reply));
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
        QByteArray all;
        if (m_open)
            all.swap(m_inbox);
        return all;
    }

    // Bytes that reach the receive buffer now; readyRead() follows from the
    // event loop.
    void arrive(const QByteArray &bytes)
    {
        m_inbox += bytes;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_open && !m_inbox.isEmpty())
                    emit readyRead();
            },
            Qt::QueuedConnection);
    }
    QByteArray waiting() const { return m_inbox; }

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
    // A transport that connects in the background: an open asked for comes
    // through (opened()) or fails (portLost()) when the test says so.
    void finishOpening()
    {
        if (!m_opening)
            return;
        m_opening = false;
        if (m_plugged) {
            m_open = true;
            events << QStringLiteral("open");
            openedAt.restart();
            emit opened();
        } else {
            emit portLost();
        }
    }
    bool opening() const { return m_opening; }

    std::map<std::pair<int, int>, quint16> registers; // {slave, register} -> value
    std::set<int> silent;
    QList<QByteArray> requests; // every request written, in order
    QStringList events;
    QStringList calls;
    QElapsedTimer openedAt;
    QElapsedTimer closedAt;
    // Replaces the answer from the register table when set.
    std::function<void(const QByteArray &request)> onOutput;
    bool brokenCount = false; // InBufferCount fails although the port is open
    bool opensInBackground = false;

private:
    bool m_open = false;
    bool m_plugged = true;
    bool m_opening = false;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    QByteArray m_inbox;
};

} // namespace kelmar::test
