#pragma once

#include "meterline.h"
#include "sample.h"
#include "session.h"
#include "slotsetup.h"

#ifdef KELMAR_HAVE_PUBLISH
#include "publisher.h"
#include "publishsink.h"
#endif

#include <QObject>
#include <QString>
#include <vector>

namespace kelmar {

class Clock;

// The program without its windows: made from a program folder, it owns the
// meter line, the run model, the slot setup and the publisher, and holds the
// rules that join them (the slots as the operator left them at start-up, a
// line that is disconnected stops recording, readings go to every sink).
// The windows and the service mode are views over one Station.
class Station : public QObject
{
    Q_OBJECT
public:
    // programDir holds setup.ini, meter.txt, meters.ini, publish.ini, logo/
    // and com/. The line's transports may be handed in (tests, other kinds
    // of line); otherwise the system's serial ports are used.
    Station(const QString &programDir, Clock &clock, MeterLine::TransportFactory transports = {},
            QObject *parent = nullptr);
    ~Station() override;

    // Start-up: setup.ini, then the six slots as they were left, then
    // publishing as publish.ini says. Run once, before the event loop.
    void load();
    // meters.ini and publish.ini read again; they count from the next tick.
    void reload();
    // The end of the program: the slot setup is kept in meters.ini, then
    // shutDown().
    void end();
    // Every accepted record line on disk, publishing ended orderly (the
    // line closed, the station offline).
    void shutDown();
    // Whether a line that closes (disconnect, a connect that failed) ends
    // recording, as in the windows; the service keeps its switch.
    void setRecordingFollowsLine(bool on) { m_recordingFollowsLine = on; }

    // Connects the line with the port and settings of setup.ini.
    MeterLine::State connectLine();
    // The operator's edits of the host settings.
    void setHostSettings(const HostSettings &host);
    // The gateway ("HOST:PORT") the chosen port number leads to; empty for a
    // serial port.
    QString networkTarget() const;

    // A consumer of every sample, tick end and line change (not owned).
    void addSink(SampleSink *sink);

    const QString &programDir() const { return m_programDir; }
    Clock &clock() const { return m_clock; }
    MeterLine &line() { return m_line; }
    Session &session() { return m_session; }
    const Session &session() const { return m_session; }
    SlotSetup &slotSetup() { return m_slots; }
#ifdef KELMAR_HAVE_PUBLISH
    Publisher &publisher() { return m_publisher; }
    QString publishIniPath() const;
#endif

private:
    void loadPublishing();
    void showPortKind();
    void lineStateChange(MeterLine::State state);

    QString m_programDir;
    Clock &m_clock;
    // In the order they are made; the run model talks on the line, so the
    // line goes last.
    MeterLine m_line;
    Session m_session;
    SlotSetup m_slots;
#ifdef KELMAR_HAVE_PUBLISH
    Publisher m_publisher;
    PublishSink m_publishSink;
#endif
    std::vector<SampleSink *> m_sinks;
    bool m_recordingFollowsLine = true;
};

} // namespace kelmar
