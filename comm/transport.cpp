#include "transport.h"

#ifdef KELMAR_HAVE_NETWORK
#include "networkport.h"
#endif

#include <QCoreApplication>

namespace kelmar {

namespace {

// A port whose mapping is refused: it keeps the number and settings it is
// given and never opens, so the line stays closed and says why.
class RefusedPort : public SerialPort
{
public:
    RefusedPort(const QString &problem, QObject *parent) : SerialPort(parent), m_problem(problem) {}
    QString problem() const { return m_problem; }
    bool setPortOpen(bool open) override { return !open; }
    bool PortOpen() const override { return false; }
    bool setCommPort(int number) override
    {
        m_number = number;
        return true;
    }
    int CommPort() const override { return m_number; }
    bool setSettings(const QString &settings) override
    {
        m_settings = settings;
        return true;
    }
    QString Settings() const override { return m_settings; }
    bool Output(const QByteArray &) override { return false; }
    int InBufferCount() override { return -1; }
    QByteArray Input() override { return {}; }

private:
    QString m_problem;
    int m_number = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
};

} // namespace

std::unique_ptr<SerialPort> makeTransport(const PortTarget &target, QObject *parent)
{
    if (!target.problem.isEmpty())
        return std::make_unique<RefusedPort>(target.problem, parent);
    if (!target.isNetwork())
        return nullptr;
#ifdef KELMAR_HAVE_NETWORK
    return std::make_unique<NetworkPort>(target, parent);
#else
    // portTarget() gives network targets a problem in such a build.
    return std::make_unique<RefusedPort>(
        QCoreApplication::translate(
            "kelmar::Transport", "%1 網路埠不在此版本中 (%1: network ports are not in this build)")
            .arg(describeTarget(target)),
        parent);
#endif
}

QString transportTarget(const SerialPort &port)
{
#ifdef KELMAR_HAVE_NETWORK
    if (const auto *network = qobject_cast<const NetworkPort *>(&port))
        return describeTarget(network->target());
#else
    Q_UNUSED(port);
#endif
    return {};
}

QString transportProblem(const SerialPort &port)
{
    const auto *refused = dynamic_cast<const RefusedPort *>(&port);
    return refused ? refused->problem() : QString();
}

} // namespace kelmar
