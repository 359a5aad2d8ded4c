#include "service.h"

#include "language.h"

#include "clock.h"
#include "recordformat.h"
#include "intervaltimer.h"
#include "station.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QPointer>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>
#include <climits>
#include <csignal>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>
#else
#include <QAbstractNativeEventFilter>
#include <windows.h>
#endif

namespace kelmar {

namespace {
constexpr int RetryMs = 1000;

// What the log says of the line, %1 its description.
const char *lineWord(MeterLine::State s)
{
    switch (s) {
    case MeterLine::State::Open:
        return QT_TRANSLATE_NOOP("kelmar::Service", "%1 連線 (open)");
    case MeterLine::State::Opening:
        return QT_TRANSLATE_NOOP("kelmar::Service", "%1 連線中 (opening)");
    case MeterLine::State::Lost:
        return QT_TRANSLATE_NOOP("kelmar::Service", "%1 連線中斷 (lost)");
    default:
        return QT_TRANSLATE_NOOP("kelmar::Service", "%1 未連線 (closed)");
    }
}
} // namespace

Service::Service(Station &station, bool record, std::FILE *log, QObject *parent)
    : QObject(parent), m_station(station), m_record(record), m_log(log)
{
    Session &s = station.session();
    connect(&s, &Session::noticePosted, this,
            [this](const QString &, const QString &text, bool problem) {
                for (const QString &line : text.split(u'\n'))
                    logLine(problem ? "problem" : "info", line);
            });
    connect(&s, &Session::lineStateChanged, this, &Service::lineStateChanged);
    connect(&s, &Session::recordFileChanged, this, [this](const QString &path) {
        if (!path.isEmpty())
            logLine("info", tr("記錄檔 (record file) %1").arg(path));
    });
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &Service::retryConnect);
    m_stopLimit.setSingleShot(true);
    m_stopLimit.setInterval(StopLimitMs);
    connect(&m_stopLimit, &QTimer::timeout, this, &Service::endRun);
}

void Service::logLine(const char *severity, const QString &text)
{
    if (!m_log)
        return;
    const QByteArray line = (m_station.clock().now().toString(QStringLiteral(
                                 "yyyy-MM-dd HH:mm:ss ")) +
                             QLatin1String(severity) + QStringLiteral(": ") + text + u'\n')
                                .toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), m_log);
    std::fflush(m_log);
}

void Service::lineStateChanged(MeterLine::State state)
{
    // A gateway that refuses goes from opening to closed at every try: the
    // log says so once, not twice a second.
    if (state != MeterLine::State::Opening && (!m_logged || *m_logged != state)) {
        m_logged = state;
        logLine(state == MeterLine::State::Lost ? "problem" : "info",
                tr(lineWord(state)).arg(m_station.line().portDescription()));
    }
    // A line that is not there is tried again, as a lost one is at each tick.
    if (state == MeterLine::State::Closed && !m_stopping)
        m_retry.start();
    else
        m_retry.stop();
}

void Service::start()
{
    Session &s = m_station.session();
    logLine("info", tr("開始 (started) %1").arg(m_station.programDir()));
    // The record switch is the command line's for the whole run: a line
    // that is not there yet does not switch it off.
    m_station.setRecordingFollowsLine(false);
    if (m_station.connectLine() == MeterLine::State::Closed)
        lineStateChanged(MeterLine::State::Closed);
    if (m_record)
        s.setRecording(true);
    s.start();
}

void Service::retryConnect()
{
    if (m_station.line().state() == MeterLine::State::Closed)
        m_station.connectLine();
}

void Service::reload()
{
    logLine("info", tr("重新讀取設定 (reading meters.ini and publish.ini again)"));
    m_station.reload();
}

void Service::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_retry.stop();
    Session &s = m_station.session();
    // No new tick; the one running reads to its end, and its line is written.
    s.pollTimer().setEnabled(false);
    if (!s.pollTickRunning())
        return endRun();
    connect(&s, &Session::tickFinished, this, &Service::endRun);
    m_stopLimit.start();
}

void Service::endRun()
{
    Session &s = m_station.session();
    s.disconnect(this);
    m_stopLimit.stop();
    s.stop();
    m_station.shutDown();
    logLine("info", tr("結束 (ended)"));
    emit finished();
}

int runService(int argc, char *argv[], const CommandLine &c)
{
    // No window and no display: the core application alone, on Qt's own
    // event loop, which does less a wake-up than the GLib one (the service
    // wakes some thirty times a second and needs nothing of GLib).
    const bool glib = qEnvironmentVariableIsEmpty("QT_NO_GLIB");
    if (glib)
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    if (glib)
        qunsetenv("QT_NO_GLIB");
    installLanguage(languageFor(c.language));
    const QString dir = c.programDir.isEmpty() ? QCoreApplication::applicationDirPath()
                                               : QDir(c.programDir).absolutePath();
    Station station(dir, Clock::system());
    station.load();
    Service service(station, c.record, stderr);
    routeSignals(
        &service, [&service] { service.stop(); }, [&service] { service.reload(); });
    bool ended = false;
    QObject::connect(
        &service, &Service::finished, &app,
        [&ended] {
            ended = true;
            QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
    service.start();
    const int status = app.exec();
    if (ended)
        return status;
    // The loop ended without a stop: on Windows Qt quits by itself on a
    // WM_QUIT (a service wrapper's stop). The run ends as orderly then.
    service.stop();
    return app.exec();
}

#ifdef Q_OS_LINUX
void execServiceProgram(char *argv[])
{
    // The running program's file, links resolved: the folder Qt names as
    // the program's own.
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return;
    self[n] = '\0';
    std::string program(self);
    const std::string::size_type slash = program.rfind('/');
    if (slash == std::string::npos)
        return;
    program.replace(slash + 1, std::string::npos, ServiceProgramName);
    if (program == self || ::access(program.c_str(), X_OK) != 0)
        return;
    std::vector<char *> args{program.data()};
    for (int i = 1; argv[i]; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    ::execv(program.c_str(), args.data());
    // Not started: the service runs in this process instead.
}
#else
void execServiceProgram(char *[]) {}
#endif

#ifdef Q_OS_UNIX
namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char c = char(number);
    // Only what is safe in a signal handler: one write to the pipe.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}
} // namespace

void routeSignals(QObject *context, std::function<void()> stop, std::function<void()> reload)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [stop, reload] {
        char c = 0;
        if (::read(signalPipe[0], &c, 1) != 1)
            return;
        if (c != SIGHUP)
            stop();
        else if (reload)
            reload();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &sa, nullptr);
}
#else
namespace {
QPointer<QObject> signalContext;
std::function<void()> signalStop;

void queueStop()
{
    if (signalContext)
        QMetaObject::invokeMethod(signalContext, [] { signalStop(); }, Qt::QueuedConnection);
}

BOOL WINAPI onConsoleEvent(DWORD)
{
    // Runs on a thread of its own: the stop is handed to the event loop.
    queueStop();
    return TRUE;
}

// A program without a console or a window has no SIGTERM: WM_CLOSE posted
// to its main thread (what QProcess::terminate() and service wrappers send)
// is the request to end.
class CloseMessageFilter : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        const MSG *msg = static_cast<const MSG *>(message);
        if (type != "windows_generic_MSG" || msg->hwnd || msg->message != WM_CLOSE)
            return false;
        queueStop();
        return true;
    }
};
} // namespace

void routeSignals(QObject *context, std::function<void()> stop, std::function<void()>)
{
    signalContext = context;
    signalStop = std::move(stop);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    static CloseMessageFilter filter;
    QCoreApplication::instance()->installNativeEventFilter(&filter);
}
#endif

} // namespace kelmar
