#pragma once

#include <QProcess>

#include <functional>
#include <utility>

#ifdef Q_OS_WIN
#include <QTcpSocket>
#endif

namespace kelmar::test {

// A path of this process's file system as the programs of the build
// machine see it: unchanged on Linux, the Unix path of a Windows path
// under Wine (C:\users\... becomes .../drive_c/users/...).
QString hostPath(const QString &path);

// True when the programs of the build machine run as root.
bool hostIsRoot();

// The build machine's python3 when it can run the Python statement
// (an import that proves a module is there), else an empty string.
QString hostPythonWith(const QString &statement);

#ifndef Q_OS_WIN
// A program of the build machine (the simulator, mosquitto, openssl,
// python3): a QProcess that ends with the test, even when the test crashes.
class HostProcess : public QProcess
{
public:
    explicit HostProcess(QObject *parent = nullptr);
};
#else
// Under Wine a Windows program cannot start Linux programs: the server of
// tools/wine-host.py, started by CTest outside Wine, starts each on one
// connection and passes its output back. The part of QProcess the tests use.
class HostProcess : public QObject
{
    Q_OBJECT
public:
    explicit HostProcess(QObject *parent = nullptr);
    ~HostProcess() override;

    void setProcessChannelMode(QProcess::ProcessChannelMode mode) { m_merged = mode == QProcess::MergedChannels; }
    void setWorkingDirectory(const QString &dir) { m_dir = dir; }
    void start(const QString &program, const QStringList &args);
    bool waitForStarted(int msecs = 30000);
    bool waitForFinished(int msecs = 30000);
    QProcess::ProcessState state() const { return m_state; }
    int exitCode() const { return m_exitCode; }
    void terminate() { send("T\n"); }
    void kill() { send("K\n"); }

    bool canReadLine() const { return m_out.contains('\n'); }
    QByteArray readLine();
    QByteArray readAll() { return readAllStandardOutput(); }
    QByteArray readAllStandardOutput() { return std::exchange(m_out, {}); }
    QByteArray readAllStandardError() { return std::exchange(m_err, {}); }

signals:
    void readyRead();
    void readyReadStandardOutput();
    void finished(int exitCode);

private:
    void send(const QByteArray &command);
    void parse();
    bool waitFor(const std::function<bool()> &done, int msecs);

    QTcpSocket m_socket;
    QByteArray m_in, m_out, m_err;
    QString m_dir;
    bool m_merged = false;
    QProcess::ProcessState m_state = QProcess::NotRunning;
    int m_exitCode = -1;
};
#endif

} // namespace kelmar::test
