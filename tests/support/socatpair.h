#pragma once

#include <QProcess>
#include <QString>

namespace kelmar::test {

// A pair of linked pseudo-terminals made by socat, reachable through two
// links in a folder of the test's. The test starts it and it is stopped when
// the object goes, so no socat outlives its test.
class SocatPair
{
public:
    // Links endA and endB are made in dir.
    explicit SocatPair(const QString &dir, const QString &nameA = QStringLiteral("ptyA"),
                       const QString &nameB = QStringLiteral("ptyB"));
    ~SocatPair();
    SocatPair(const SocatPair &) = delete;
    SocatPair &operator=(const SocatPair &) = delete;

    // Starts socat and waits (up to 10 s) until both links exist.
    bool start();
    // Ends socat at once, as when a cable is pulled.
    void kill();
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    QString endA() const { return m_endA; }
    QString endB() const { return m_endB; }

private:
    QProcess m_process;
    QString m_endA;
    QString m_endB;
};

// CPU time (user + system) this process has used, in seconds.
double processCpuSeconds();

} // namespace kelmar::test
