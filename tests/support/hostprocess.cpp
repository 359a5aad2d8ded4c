#include "hostprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace kelmar::test {

#ifndef Q_OS_WIN

QString hostPath(const QString &path)
{
    return path;
}

bool hostIsRoot()
{
    return ::geteuid() == 0;
}

HostProcess::HostProcess(QObject *parent) : QProcess(parent)
{
#ifdef Q_OS_LINUX
    setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
}

#else

namespace {

// "<port> <euid>" from the file tools/wine-host.py writes, named by
// KELMAR_WINE_HOST.
QList<QByteArray> hostServer()
{
    QFile f(qEnvironmentVariable("KELMAR_WINE_HOST"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll().simplified().split(' ');
}

} // namespace

QString hostPath(const QString &path)
{
    // Wine's own export; not there on Windows itself.
    using ToUnix = char *(__cdecl *)(const wchar_t *);
    const auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!toUnix)
        return path;
    const std::wstring dos = QDir::toNativeSeparators(QDir::cleanPath(path)).toStdWString();
    char *unix = toUnix(dos.c_str());
    if (!unix)
        return path;
    const QString out = QString::fromLocal8Bit(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

bool hostIsRoot()
{
    const QList<QByteArray> server = hostServer();
    return server.size() > 1 && server.at(1) == "0";
}

HostProcess::HostProcess(QObject *parent) : QObject(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &HostProcess::parse);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_state != QProcess::NotRunning) {
            m_state = QProcess::NotRunning;
            emit finished(m_exitCode);
        }
    });
}

HostProcess::~HostProcess()
{
    // The server kills the program when its connection ends.
    m_socket.abort();
}

void HostProcess::start(const QString &program, const QStringList &args)
{
    m_socket.abort();
    m_in.clear();
    m_out.clear();
    m_err.clear();
    m_exitCode = -1;
    const QList<QByteArray> server = hostServer();
    if (server.isEmpty()) {
        qWarning("No server for Linux programs (KELMAR_WINE_HOST): %s cannot start", qPrintable(program));
        return;
    }
    m_state = QProcess::Starting;
    QJsonObject request{{"program", program},
                        {"args", QJsonArray::fromStringList(args)},
                        {"cwd", m_dir.isEmpty() ? QString() : hostPath(m_dir)},
                        {"merged", m_merged}};
    m_socket.connectToHost(QHostAddress::LocalHost, quint16(server.first().toUInt()));
    m_socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
}

void HostProcess::send(const QByteArray &command)
{
    if (m_state != QProcess::NotRunning)
        m_socket.write(command);
}

QByteArray HostProcess::readLine()
{
    const int nl = m_out.indexOf('\n');
    const QByteArray line = nl < 0 ? std::exchange(m_out, {}) : m_out.left(nl + 1);
    m_out.remove(0, line.size());
    return line;
}

void HostProcess::parse()
{
    m_in += m_socket.readAll();
    for (;;) {
        const int nl = m_in.indexOf('\n');
        if (nl < 2)
            return;
        const char kind = m_in.at(0);
        const int size = m_in.mid(2, nl - 2).toInt();
        if (m_in.size() < nl + 1 + size)
            return;
        const QByteArray data = m_in.mid(nl + 1, size);
        m_in.remove(0, nl + 1 + size);
        switch (kind) {
        case 'S':
            m_state = QProcess::Running;
            break;
        case 'F':
            qWarning("Cannot start a Linux program: %s", data.constData());
            m_state = QProcess::NotRunning;
            break;
        case 'O':
            m_out += data;
            emit readyReadStandardOutput();
            emit readyRead();
            break;
        case 'E':
            m_err += data;
            break;
        case 'X':
            m_exitCode = data.toInt();
            m_state = QProcess::NotRunning;
            emit finished(m_exitCode);
            break;
        }
    }
}

bool HostProcess::waitFor(const std::function<bool()> &done, int msecs)
{
    QDeadlineTimer deadline(msecs);
    while (!done()) {
        if (m_socket.state() == QAbstractSocket::UnconnectedState || deadline.hasExpired())
            return done();
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            m_socket.waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 100)));
        else
            m_socket.waitForConnected(int(qMin<qint64>(deadline.remainingTime(), 100)));
    }
    return true;
}

bool HostProcess::waitForStarted(int msecs)
{
    return waitFor([this] { return m_state != QProcess::Starting; }, msecs) && m_state == QProcess::Running;
}

bool HostProcess::waitForFinished(int msecs)
{
    return waitFor([this] { return m_state == QProcess::NotRunning; }, msecs);
}

#endif

QString hostPythonWith(const QString &statement)
{
#ifdef Q_OS_WIN
    const QString python = QStringLiteral("/usr/bin/python3"); // outside Wine
#else
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
#endif
    if (python.isEmpty())
        return {};
    HostProcess probe;
    probe.start(python, {QStringLiteral("-c"), statement});
    if (!probe.waitForFinished(20000) || probe.exitCode() != 0)
        return {};
    return python;
}

} // namespace kelmar::test
