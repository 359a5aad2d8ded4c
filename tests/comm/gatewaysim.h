#pragma once

// The meter simulator as an Ethernet gateway on 127.0.0.1, for the network
// transport tests and the benchmark. Header only; needs KELMAR_BINARY_DIR.
// Under Wine the Linux-built simulator (KELMAR_HOST_METERSIM) is started
// outside Wine (hostprocess.h).

#include "comportmap.h"
#include "hostprocess.h"

#include <QFileInfo>
#include <QTest>

namespace kelmar::test {

class GatewaySimulator
{
public:
    explicit GatewaySimulator(PortTarget::Kind kind,
                              const QString &host = QStringLiteral("127.0.0.1"))
        : m_kind(kind), m_host(host)
    {
    }
    ~GatewaySimulator() { stop(); }
    GatewaySimulator(const GatewaySimulator &) = delete;
    GatewaySimulator &operator=(const GatewaySimulator &) = delete;

    static QString simulatorPath()
    {
#ifdef Q_OS_WIN
        return qEnvironmentVariable("KELMAR_HOST_METERSIM");
#else
        const QString path = QStringLiteral(KELMAR_BINARY_DIR "/tools/metersim/kelmar_metersim");
        return QFileInfo(path).isExecutable() ? path : QString();
#endif
    }

    // Starts the simulator with `args` listening on `port` (0: a free port,
    // then kept for later starts) and waits for its ready line.
    bool start(const QStringList &args, QString *error = nullptr)
    {
        stop();
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        const QString mode =
            m_kind == PortTarget::Kind::ModbusTcp ? QStringLiteral("--tcp") : QStringLiteral("--rtu-tcp");
        m_process.start(simulatorPath(), QStringList{mode, QString::number(m_port), QStringLiteral("--listen"), m_host} + args);
        if (!QTest::qWaitFor([&] {
                return m_process.canReadLine() || m_process.state() == QProcess::NotRunning;
            }, 10000) || !m_process.canReadLine()) {
            if (error)
                *error = QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        const QByteArray ready = m_process.readLine().trimmed();
        m_port = quint16(ready.mid(ready.lastIndexOf(':') + 1).toUInt());
        return ready.startsWith("ready") && m_port != 0;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    quint16 port() const { return m_port; }
    PortTarget target() const
    {
        PortTarget t;
        t.kind = m_kind;
        t.host = m_host;
        t.port = m_port;
        return t;
    }

private:
    PortTarget::Kind m_kind;
    QString m_host;
    quint16 m_port = 0;
    HostProcess m_process;
};

} // namespace kelmar::test
