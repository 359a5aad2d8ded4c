#include "posixfaults.h"

#include <QFile>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelmar::test {

bool makeFifo(const QString &path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false;
#else
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
#endif
}

bool runningAsRoot()
{
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

FileSizeLimit::FileSizeLimit(long long bytes)
{
#ifdef Q_OS_WIN
    Q_UNUSED(bytes);
#else
    // The write must fail with an error, not end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0)
        return;
    m_savedCurrent = static_cast<long long>(limit.rlim_cur);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
#endif
}

FileSizeLimit::~FileSizeLimit()
{
#ifndef Q_OS_WIN
    if (!m_active)
        return;
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(m_savedCurrent);
    setrlimit(RLIMIT_FSIZE, &limit);
#endif
}

} // namespace kelmar::test
