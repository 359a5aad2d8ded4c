#include "socatpair.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

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
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
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
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec) + u.ru_utime.tv_usec / 1e6 + double(u.ru_stime.tv_sec) +
           u.ru_stime.tv_usec / 1e6;
}

} // namespace kelmar::test
