#include "brokerfixture.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace kelmar::test {

quint16 freeLoopbackPort()
{
    QTcpServer s;
    if (!s.listen(QHostAddress::LocalHost, 0))
        return 0;
    return s.serverPort();
}

namespace {

bool run(const QString &program, const QStringList &args, const QString &dir)
{
    HostProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning().noquote() << program << args.join(u' ') << p.readAll();
        return false;
    }
    return true;
}

} // namespace

Broker::Broker(const Options &options) : m_options(options)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &HostProcess::readyRead, [this] { m_output += m_process.readAll(); });
}

Broker::~Broker()
{
    stop();
}

bool Broker::makeCertificates()
{
    const QString d = dir();
    QFile ext(m_dir.filePath(QStringLiteral("san.ext")));
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    ext.close();
    const QString openssl = QStringLiteral("openssl");
    for (const char *ca : {"ca", "other-ca"}) {
        const QString name = QLatin1String(ca);
        if (!run(openssl,
                 {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                  QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                  QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=test ") + name,
                  QStringLiteral("-keyout"), name + QStringLiteral(".key"), QStringLiteral("-out"),
                  name + QStringLiteral(".pem")},
                 d))
            return false;
    }
    return run(openssl,
               {QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                QStringLiteral("-nodes"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                QStringLiteral("server.csr")},
               d)
        && run(openssl,
               {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-CAcreateserial"),
                QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
                QStringLiteral("san.ext"), QStringLiteral("-out"), QStringLiteral("server.pem")},
               d);
}

bool Broker::start()
{
    if (!m_dir.isValid())
        return false;
    if (m_port == 0) {
        m_port = freeLoopbackPort();
        QByteArray conf = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n"
            "log_dest stdout\nset_tcp_nodelay true\nmax_queued_messages 0\nmax_inflight_messages 0\n";
        // Started as root the broker would change to the user "mosquitto",
        // who cannot read the test's private folder.
        if (hostIsRoot())
            conf += "user root\n";
        if (m_options.passwordUser.isEmpty()) {
            conf += "allow_anonymous true\n";
        } else {
            const QString pw = hostPath(m_dir.filePath(QStringLiteral("passwords")));
            if (!run(QStringLiteral("mosquitto_passwd"),
                     {QStringLiteral("-c"), QStringLiteral("-b"), pw, m_options.passwordUser,
                      m_options.password},
                     dir()))
                return false;
            conf += "allow_anonymous false\npassword_file " + pw.toUtf8() + "\n";
        }
        if (m_options.tls) {
            if (!makeCertificates())
                return false;
            conf += "cafile " + hostPath(caFile()).toUtf8() + "\ncertfile "
                + hostPath(m_dir.filePath("server.pem")).toUtf8() + "\nkeyfile "
                + hostPath(m_dir.filePath("server.key")).toUtf8() + "\n";
        }
        if (m_options.persistence)
            conf += "persistence true\npersistence_location " + hostPath(dir()).toUtf8() + "/\n";
        QFile f(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!f.open(QIODevice::WriteOnly) || f.write(conf) != conf.size())
            return false;
    }
    m_output.clear();
    m_process.start(QStringLiteral("mosquitto"),
                    {QStringLiteral("-c"), hostPath(m_dir.filePath(QStringLiteral("mosquitto.conf")))});
    if (!m_process.waitForStarted(10000))
        return false;
    // The broker's own log reaches a pipe late (buffered): its listener is
    // asked instead.
    for (int i = 0; i < 200 && m_process.state() == QProcess::Running; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(1000))
            return true;
        QTest::qWait(50);
    }
    qWarning().noquote() << "broker did not start:" << m_output;
    return false;
}

void Broker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(15000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

Subscriber::Subscriber(const Broker &broker, const QStringList &topics, const QString &clientId,
                       const QString &caFile)
{
    // Line-buffered, so the acknowledgement of the subscription shows at once.
    m_args << QStringLiteral("-oL") << QStringLiteral("mosquitto_sub") << QStringLiteral("-h") << QStringLiteral("127.0.0.1") << QStringLiteral("-p")
           << QString::number(broker.port()) << QStringLiteral("-q") << QStringLiteral("1")
           << QStringLiteral("-v") << QStringLiteral("-d");
    for (const QString &t : topics)
        m_args << QStringLiteral("-t") << t;
    if (!clientId.isEmpty())
        m_args << QStringLiteral("-c") << QStringLiteral("-i") << clientId;
    if (!caFile.isEmpty())
        m_args << QStringLiteral("--cafile") << hostPath(caFile);
    QObject::connect(&m_process, &HostProcess::readyReadStandardOutput, [this] { collect(); });
}

Subscriber::~Subscriber()
{
    stop();
}

bool Subscriber::start()
{
    m_subscribed = false;
    m_process.start(QStringLiteral("stdbuf"), m_args);
    if (!m_process.waitForStarted(10000))
        return false;
    for (int i = 0; i < 200 && !m_subscribed; ++i)
        QTest::qWait(50);
    return m_subscribed;
}

void Subscriber::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    collect();
}

void Subscriber::collect()
{
    m_buffer += m_process.readAllStandardOutput();
    int nl;
    while ((nl = m_buffer.indexOf('\n')) >= 0) {
        const QByteArray line = m_buffer.left(nl);
        m_buffer.remove(0, nl + 1);
        // -d adds the client's own protocol trace, each line starting "Client ",
        // and the granted QoS as "Subscribed (mid: 1): 1".
        if (line.startsWith("Subscribed (mid:"))
            continue;
        if (line.startsWith("Client ")) {
            if (line.contains("received SUBACK"))
                m_subscribed = true;
            continue;
        }
        const int space = line.indexOf(' ');
        if (space > 0)
            m_messages.append({QString::fromUtf8(line.left(space)), line.mid(space + 1)});
    }
}

QList<QPair<QString, QByteArray>> Subscriber::messages()
{
    collect();
    return m_messages;
}

QList<QByteArray> Subscriber::payloads(const QString &topic)
{
    QList<QByteArray> out;
    for (const auto &[t, p] : messages())
        if (t == topic)
            out << p;
    return out;
}

} // namespace kelmar::test
