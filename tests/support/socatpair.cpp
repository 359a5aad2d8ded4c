#include "socatpair.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace kelmar::test {

SocatPair::SocatPair(const QString &dir, const QString &nameA, const QString &nameB)
    : m_endA(dir + u'/' + nameA), m_endB(dir + u'/' + nameB)
{
}

SocatPair::~SocatPair()
{
    kill();
}

bool SocatPair::start()
{
    QFile::remove(m_endA);
    QFile::remove(m_endB);
    // socat's messages would keep the test runner's output open if the test
    // died, and socat must die with the test in any case.
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    m_process.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + m_endA,
                                              QStringLiteral("pty,raw,echo=0,link=") + m_endB});
    if (!m_process.waitForStarted(10000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(m_endA) && QFileInfo::exists(m_endB))
            return true;
        QTest::qWait(20);
    }
    return false;
}

void SocatPair::kill()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

double processCpuSeconds()
{
#ifdef Q_OS_WIN
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    // FILETIME counts 100 ns units.
    auto seconds = [](const FILETIME &t) {
        return double((quint64(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(user) + seconds(kernel);
#else
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec) + u.ru_utime.tv_usec / 1e6 + double(u.ru_stime.tv_sec) +
           u.ru_stime.tv_usec / 1e6;
#endif
}

} // namespace kelmar::test
