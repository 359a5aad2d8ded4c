#pragma once

#include "meterline.h"
#include "meterslot.h"
#include "modbusmaster.h"
#include "recorder.h"
#include "setupini.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace kelmar {

class Clock;
class IntervalTimer;
class PollingCycle;
class SerialPort;

// How one slot's meter has answered since the start button: for the
// technician who commissions the line.
struct SlotHealth
{
    int transactions = 0;
    int good = 0;
    int noReply = 0;
    int badReply = 0; // bad CRC, wrong slave, cut short, malformed
    int exceptions = 0;
    QString lastFailure; // as the display shows it: "無回應", "通訊錯誤", "例外 02"
    QDateTime lastFailureAt;
};

// What the display shows for a reply: nothing for a good one.
QString replyStatusText(const ReplyCheck &check);

// The working state of the program and the routines that change it, with
// no window in sight: start-up and save of setup.ini, the host settings and
// meter slots as the operator set them, the start and end of a monitoring
// run, the polling, clock and record timers, the record file and the line's
// health. The windows are views: they hand the operator's changes in through
// the setters and show what the signals report.
class Session : public QObject
{
    Q_OBJECT
public:
    // programDir holds setup.ini, meter.txt and logo/; relative record
    // folders lie in it. The port is the line's, opened by the host settings
    // window's connect.
    Session(const QString &programDir, Clock &clock, SerialPort &port, QObject *parent = nullptr);
    ~Session() override;

    // --- Every working value of a monitoring run -------------------------

    // setup.ini as start-up read it, with the host settings window's edits.
    SetupFile setup;
    // The screen size the start button lays out for, "1" or "2" (OP_D): set
    // by start-up and by the host settings window's leave, not by every click
    // of the size options. Empty when neither ever said.
    QString displayCode;
    // The six meter slots as the meter setup window holds them (MSCKk, MSk).
    std::array<MeterSlot, SlotCount> meterSlots;
    // The values on display (Labelk items 0 and 1); "" for none.
    std::array<std::array<QString, ItemsPerSlot>, SlotCount> readings;
    // What the readings are divided by, per slot, set by the start button.
    std::array<double, SlotCount> MeterDivisor{1, 1, 1, 1, 1, 1};
    // The last record line (the main window's Text3); empty until a tick ends.
    QString RecordLine;
    // Polling ticks since the start or the last reopen of the port.
    int PollTickCount = 0;
    // Each slot's answers since the start button, and what its last
    // transactions brought ("" when they were good).
    std::array<SlotHealth, SlotCount> health;
    std::array<QString, SlotCount> slotStatus;
    std::array<ReplyCheck, SlotCount> slotCheck; // the check behind slotStatus
    // True from the start button to the display window's Exit.
    bool monitoring = false;
    // The port was lost under a connection (unplugged, hung up) and is being
    // opened again by every polling tick.
    bool lineLost = false;

    // The record state: the switch, the current file's stamp (the main
    // window's Text1) and name (the host settings window's Text2), the
    // record interval (RecordSeconds) and the seconds counted towards it
    // (RecordTickCount).
    Recorder &recorder() { return m_recorder; }
    const Recorder &recorder() const { return m_recorder; }
    // The record interval in seconds as start-up took it from line 10.
    double RecordSeconds() const { return m_recorder.interval(); }

    // --- Routines ---------------------------------------------------------

    // Start-up: reads setup.ini. Run once, before the event loop.
    void load();
    // Leave of the host settings window: the display code follows the size
    // option, the port takes the chosen number (refused while open) and
    // setup.ini is written. Returns whether the new file is in place.
    bool save();

    // The operator's edits in the host settings window.
    void setHostSettings(const HostSettings &host);
    // Connect or disconnect in the host settings window changed the lamp.
    void connectionChanged(bool connected);
    // The recording switch of the host settings window.
    void setRecording(bool on);

    // The meter setup window changed slot k (1 to SlotCount).
    void setSlot(int k, const MeterSlot &slot);

    // The start button, after the display window was laid out with these
    // divisors: counting starts from 0 and the polling and record timers run.
    void start(const std::array<double, SlotCount> &divisors);
    // Exit of the display window: polling and recording stop; the readings
    // are emptied.
    void stop();

    // The timers' ticks, public so tests can drive them.
    void pollTick();   // Timer1
    void clockTick();  // Timer2
    void recordTick(); // Timer3
    IntervalTimer &pollTimer() { return *m_timer1; }
    IntervalTimer &clockTimer() { return *m_timer2; }
    IntervalTimer &recordTimer() { return *m_timer3; }
    // True from a polling tick's start to its end (including the periodic
    // reopen of the port); ticks falling due meanwhile are skipped.
    bool pollTickRunning() const { return m_tickRunning; }
    ModbusMaster &modbus() { return *m_master; }

    // A problem the operator should see, by source; an empty text withdraws
    // that source's report. All reports, one per line.
    void setNotice(const QString &source, const QString &text);
    QString noticeText() const;

    // Waits the given seconds on a timer, then calls done; the event loop
    // runs meanwhile.
    void Delay(double seconds, std::function<void()> done);

signals:
    void readingChanged(int k, int item, const QString &text);
    void slotStatusChanged(int k, const QString &text);
    void healthChanged(int k);
    void titleChanged(int k, const QString &title);
    void clockChanged(const QString &text);
    // The record indicator: on from the switch on to the switch off.
    void recordingChanged(bool on);
    void recordFileChanged(const QString &path);
    void noticeChanged(const QString &text);
    // The lamp: the line was lost (true) or opened again (false).
    void lineLostChanged(bool lost);
    void tickFinished(const QString &recordLine);
    // A record line went into the record file.
    void lineRecorded(const QString &line);
    void monitoringChanged(bool on);

private:
    void showReading(int k, int item, const QString &text);
    void transactionDone(int k, int item, const ModbusReading &r);
    void showSlotStatus(int k, const ReplyCheck &check);
    void pollTickFinished(const QString &line);
    void endPollTick();
    void reopenLostPort();
    void portLost();
    void reportFile(const FileResult &r);
    void writeRecordLine();
    void reportPollInterval(const std::optional<QString> &refused);

    QString m_programDir;
    Clock &m_clock;
    SerialPort &m_port;
    Recorder m_recorder;
    ModbusMaster *m_master = nullptr;
    PollingCycle *m_cycle = nullptr;
    IntervalTimer *m_timer1 = nullptr; // polling
    IntervalTimer *m_timer2 = nullptr; // clock
    IntervalTimer *m_timer3 = nullptr; // record
    QList<QPair<QString, QString>> m_notices;
    bool m_tickRunning = false;
    // Each start and Exit begins a new run; a tick belongs to the run it
    // started in.
    int m_run = 0;
    int m_tickRun = 0;
    // The record interval completed while a polling tick was reading: the
    // line is written when the tick ends, with its fresh values.
    bool m_recordDue = false;
    // The port as the last connect left it, for reopening.
    int m_lastConnectPort = 1;
    QString m_lastConnectSettings;
    int m_connectionCount = 0; // connects and disconnects so far
};

} // namespace kelmar
