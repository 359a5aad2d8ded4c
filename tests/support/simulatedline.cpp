#include "simulatedline.h"

#include <QFileInfo>
#include <QTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace kelmar::test {

SimulatedLine::SimulatedLine() = default;

SimulatedLine::~SimulatedLine()
{
    if (m_port)
        m_port->setPortOpen(false);
    if (m_simulator.state() != QProcess::NotRunning) {
        m_simulator.terminate();
        if (!m_simulator.waitForFinished(5000)) {
            m_simulator.kill();
            m_simulator.waitForFinished(5000);
        }
    }
    m_port.reset();
    m_pair.reset();
}

int SimulatedLine::portMadeOutside()
{
#ifdef Q_OS_WIN
    return qEnvironmentVariableIntValue("KELMAR_WINE_LINE");
#else
    return 0;
#endif
}

QString SimulatedLine::simulatorPath()
{
    if (portMadeOutside() > 0)
        return QStringLiteral("COM%1").arg(portMadeOutside());
    const QString path = QStringLiteral(KELMAR_BINARY_DIR "/tools/metersim/kelmar_metersim");
    return QFileInfo(path).isExecutable() ? path : QString();
}

bool SimulatedLine::start(const QStringList &simulatorArgs, QString *error, const QString &settings)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (simulatorPath().isEmpty())
        return fail(QStringLiteral("kelmar_metersim was not built (libmodbus missing?)"));
    if (!m_folder.isValid())
        return fail(QStringLiteral("no temporary folder"));
    if (const int number = portMadeOutside(); number > 0) {
        m_port = std::make_unique<SystemSerialPort>(m_folder.path());
        m_port->setCommPort(number);
        m_port->setSettings(settings);
        if (!m_port->setPortOpen(true) || !m_port->PortOpen())
            return fail(QStringLiteral("cannot open COM%1, the line made outside").arg(number));
        return true;
    }
    m_pair = std::make_unique<SocatPair>(m_folder.path(), QStringLiteral("meters"),
                                         QStringLiteral("host"));
    if (!m_pair->start())
        return fail(QStringLiteral("socat did not start"));

    m_simulator.setProcessChannelMode(QProcess::SeparateChannels);
    // The simulator must not outlive a test that dies.
#ifdef Q_OS_LINUX
    m_simulator.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    m_simulator.setReadChannel(QProcess::StandardOutput);
    QStringList args{QStringLiteral("--device"), m_pair->endA()};
    if (m_paced) {
        // The simulator paces with the host's baud rate and parity.
        const QStringList parts = settings.split(u',');
        args << QStringLiteral("--paced") << QStringLiteral("--baud") << parts.value(0);
        if (parts.size() > 1)
            args << QStringLiteral("--parity") << parts[1];
        if (m_turnaroundMs >= 0)
            args << QStringLiteral("--turnaround") << QString::number(m_turnaroundMs);
    }
    m_simulator.start(simulatorPath(), args + simulatorArgs);
    // The simulator says "ready" once its end of the line is open.
    for (int waited = 0; !m_simulator.canReadLine(); waited += 20) {
        if (m_simulator.state() == QProcess::NotRunning || waited > 10000)
            return fail(QStringLiteral("simulator did not get ready: ") +
                        QString::fromLocal8Bit(m_simulator.readAllStandardError()));
        QTest::qWait(20);
    }
    if (!m_simulator.readLine().startsWith("ready"))
        return fail(QStringLiteral("simulator said something else than ready"));

    if (!m_folder.mapComPort(1, m_pair->endB()))
        return fail(QStringLiteral("cannot map com1"));
    m_port = std::make_unique<SystemSerialPort>(m_folder.path());
    m_port->setCommPort(1);
    m_port->setSettings(settings);
    if (!m_port->setPortOpen(true) || !m_port->PortOpen())
        return fail(QStringLiteral("cannot open the port"));
    return true;
}

bool SimulatedLine::stopSimulator()
{
    if (portMadeOutside() > 0)
        return false;
    m_simulator.terminate();
    if (!m_simulator.waitForFinished(5000))
        return false;
    return m_simulator.exitStatus() == QProcess::NormalExit && m_simulator.exitCode() == 0;
}

} // namespace kelmar::test
