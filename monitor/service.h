#pragma once

#include "commandline.h"
#include "meterline.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <optional>

namespace kelmar {

class Station;

// The station run without a window: connects the line of setup.ini at
// once and keeps trying while it is not there, polls from the start,
// records when asked to, and writes every notice and line change to a log
// (standard error) as one line with the local time and a severity word.
class Service : public QObject
{
    Q_OBJECT
public:
    Service(Station &station, bool record, std::FILE *log, QObject *parent = nullptr);

    // Begins the run (after Station::load()).
    void start();
    // SIGTERM, SIGINT: polling stops, the running tick ends and its line is
    // written, publishing ends orderly; then finished(). Never takes longer
    // than StopLimitMs.
    void stop();
    // SIGHUP: meters.ini and publish.ini again, from the next tick.
    void reload();

    static constexpr int StopLimitMs = 1500;

signals:
    void finished();

private:
    void logLine(const char *severity, const QString &text);
    void lineStateChanged(MeterLine::State state);
    void retryConnect();
    void endRun();

    Station &m_station;
    bool m_record;
    std::FILE *m_log;
    QTimer m_retry;     // the line not there: tried again each second
    QTimer m_stopLimit; // the longest a stop waits for the running tick
    bool m_stopping = false;
    std::optional<MeterLine::State> m_logged; // the line state the log told last
};

// Turns SIGTERM and SIGINT (on Windows WM_CLOSE posted to the main thread,
// and the console's close and Ctrl-C) into stop() and SIGHUP into reload(),
// both called from the event loop in context's thread. Once per process,
// after the application object exists.
void routeSignals(QObject *context, std::function<void()> stop, std::function<void()> reload = {});

// The service mode from start to end, for Kelmar_T --service and the
// service program alike: the core application (no display), the station of
// the command line's folder, the signals. Returns the exit status.
int runService(int argc, char *argv[], const CommandLine &c);

// The service program, which runs the service mode without loading Qt Gui
// or the widgets.
inline const char ServiceProgramName[] = "kelmar-t-service";

// On Unix, replaces this process (the same process id, so that systemd and
// signals reach it) by the service program in the folder of the running
// program, with the same arguments. Returns only when there is none there or
// it cannot be started (and at once on other systems): the caller then runs
// the service itself. Call it before any application object exists.
void execServiceProgram(char *argv[]);

} // namespace kelmar
