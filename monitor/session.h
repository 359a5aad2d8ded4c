#pragma once

#include "counts.h"
#include "meterline.h"
#include "meterslot.h"
#include "modbusmaster.h"
#include "recorder.h"
#include "recordwriter.h"
#include "sample.h"
#include "setupini.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>

namespace kelmar {

class Clock;
class IntervalTimer;
class PollingCycle;

// How one slot's meter has answered since the start button: for the
// technician who commissions the line.
struct SlotHealth
{
    int transactions = 0;
    int good = 0;
    int noReply = 0;
    int badReply = 0; // bad CRC, wrong slave, cut short, malformed
    // Bytes thrown away besides (noise, late or broken frames, a flood),
    // shown with the bad replies; they count no transaction of their own.
    qint64 strayBytes = 0;
    int exceptions = 0;
    QString lastFailure; // as the display shows it: "無回應", "通訊錯誤", "例外 02"
    QDateTime lastFailureAt;
};

// What the display shows for a reply: nothing for a good one.
QString replyStatusText(const ReplyCheck &check);

// The run model: the working state of the program and the operations that
// change it, with no window in sight: start-up and save of setup.ini, the
// host settings and meter slots as the operator set them, the start and end
// of a monitoring run, the polling, clock and record timers, the record file
// and the line's health. All state is private; the windows are views that
// hand the operator's changes in through the operations and show what the
// signals report, each signal one kind of change.
class Session : public QObject
{
    Q_OBJECT
public:
    // programDir holds setup.ini, meter.txt and logo/; relative record
    // folders lie in it. The line is connected by the host settings window.
    Session(const QString &programDir, Clock &clock, MeterLine &line, QObject *parent = nullptr);
    ~Session() override;

    // --- Start-up and settings ---------------------------------------------

    // Start-up: reads setup.ini. Run once, before the event loop.
    void load();
    // The settings as a whole, as start-up takes them from setup.ini: the
    // polling interval and the record interval follow lines 6 and 10.
    void applySetup(const SetupFile &file);
    const SetupFile &setup() const { return m_setup; }
    // Leave of the host settings window: the display code follows the size
    // option and setup.ini is written. Returns whether the new file is in place.
    bool save();
    // The screen size the start button lays out for, "1" or "2": set by
    // start-up and by the host settings window's leave, not by every click
    // of the size options. Empty when neither ever said.
    QString displayCode() const { return m_displayCode; }
    void setDisplayCode(const QString &code) { m_displayCode = code; }

    // The operator's edits in the host settings window.
    void setHostSettings(const HostSettings &host);
    // The recording switch of the host settings window.
    void setRecording(bool on);
    // Disconnect switched recording off: the operator is told until
    // recording is switched on again.
    void recordingStoppedByDisconnect();

    // The meter setup window changed slot k (1 to SlotCount). It takes effect
    // from the next polling tick: model, ID, decimal places, on or off.
    void setSlot(int k, const MeterSlot &slot);
    const MeterSlot &meterSlot(int k) const { return m_slots[k - 1]; }
    const std::array<MeterSlot, SlotCount> &meterSlots() const { return m_slots; }

    // --- A monitoring run ---------------------------------------------------

    // The start button, after the display window was laid out: counting
    // starts from 0 and the polling and record timers run.
    void start();
    // Exit of the display window: polling and recording stop; the readings
    // are emptied.
    void stop();
    bool isMonitoring() const { return m_monitoring; }
    // The end of the program: every record line accepted so far is on disk
    // when this returns (or the disk did not take it within a limit).
    void finishRecording();

    // The timers' ticks, public so tests can drive them.
    void pollTick();   // Timer1
    void clockTick();  // Timer2
    void recordTick(); // Timer3
    IntervalTimer &pollTimer() { return *m_timer1; }
    IntervalTimer &clockTimer() { return *m_timer2; }
    IntervalTimer &recordTimer() { return *m_timer3; }
    // True from a polling tick's start to its end, and during the periodic
    // reopen of the line; ticks falling due meanwhile are skipped.
    bool pollTickRunning() const;

    // --- What the views show -------------------------------------------------

    // The value on display for slot k, item 0 or 1: as a number, and as the
    // display shows it ("" for none).
    const std::optional<ExactDecimal> &value(int k, int item) const
    {
        return m_values[k - 1][item];
    }
    QString reading(int k, int item) const
    {
        const std::optional<ExactDecimal> &v = m_values[k - 1][item];
        return v ? v->text() : QString();
    }
    // What slot k's last transactions brought (Ok when they were good), and
    // the words the display shows for it.
    ReplyCheck slotCheck(int k) const { return m_slotCheck[k - 1]; }
    QString slotStatus(int k) const { return replyStatusText(m_slotCheck[k - 1]); }
    // Slot k's answers since the start button.
    const SlotHealth &health(int k) const { return m_health[k - 1]; }
    // The last record line (the main window's Text3); empty until a tick ends.
    QString recordLine() const { return m_recordLine; }
    // The record state: the switch, the current file's stamp and name, the
    // seconds counted towards the record interval.
    const Recorder &recorder() const { return m_recorder; }
    // Record lines handed to the disk whose result has not come yet.
    int recordWriterWaiting() const { return m_writer.waiting(); }
    // The record interval in seconds as line 10 gives it.
    double recordSeconds() const { return m_recorder.interval(); }

    MeterLine &line() { return m_line; }
    const MeterLine &line() const { return m_line; }
    MeterLine::State lineState() const { return m_line.state(); }
    ModbusMaster &modbus() { return *m_master; }

    // A problem the operator should see, by source; an empty text withdraws
    // that source's report. All reports, one per line, the newest first, so
    // that the newest problem is in sight without scrolling.
    void setNotice(const QString &source, const QString &text);
    QString noticeText() const;
    // Information, not a problem (a port that is a network gateway): shown
    // apart, never in the problem area.
    void setInformation(const QString &source, const QString &text);
    QString informationText() const;

signals:
    // Slot k's readings of a polling tick are over: for the sinks.
    void slotSampled(const kelmar::SlotSample &sample);
    // A polling tick ended: every slot's values, for the sinks.
    void tickEnded(const kelmar::TickSample &tick);
    // What the display shows for slot k, item 0 or 1, changed.
    void readingChanged(int k, int item, const QString &text);
    void slotStatusChanged(int k, const kelmar::ReplyCheck &check, const QString &text);
    // A slot's counters changed.
    void healthChanged(int k);
    // The meter setup of slot k changed; the title also on its own signal.
    void slotChanged(int k);
    void titleChanged(int k, const QString &title);
    void clockChanged(const QString &text);
    // The record indicator: on from the switch on to the switch off.
    void recordingChanged(bool on);
    void recordFileChanged(const QString &path);
    void noticeChanged(const QString &text);
    void informationChanged(const QString &text);
    // One source's report was set or changed (for a log): the problem or
    // information text, never an empty one.
    void noticePosted(const QString &source, const QString &text, bool problem);
    void lineStateChanged(kelmar::MeterLine::State state);
    void tickFinished(const QString &recordLine);
    // A record line went into the record file.
    void lineRecorded(const QString &line);
    void monitoringChanged(bool on);

private:
    void showReading(int k, int item, const std::optional<ExactDecimal> &value);
    void slotReadDone(const SlotSample &sample);
    void alignTimers();
    void transactionDone(int k, int item, const ModbusReading &r);
    void showSlotStatus(int k, const ReplyCheck &check);
    void pollTickFinished(const TickSample &tick);
    void lineStateChange(MeterLine::State state);
    void reportFile(const FileResult &r);
    void writeRecordLine();
    void reportPollInterval(const std::optional<QString> &refused);

    QString m_programDir;
    Clock &m_clock;
    MeterLine &m_line;
    Recorder m_recorder;
    ModbusMaster *m_master = nullptr;
    PollingCycle *m_cycle = nullptr;
    IntervalTimer *m_timer1 = nullptr; // polling
    IntervalTimer *m_timer2 = nullptr; // clock
    IntervalTimer *m_timer3 = nullptr; // record

    SetupFile m_setup;
    QString m_displayCode;
    std::array<MeterSlot, SlotCount> m_slots;
    // The slots as the running tick reads them: a change waits for the next tick.
    std::array<MeterSlot, SlotCount> m_tickSlots;
    std::array<std::array<std::optional<ExactDecimal>, ItemsPerSlot>, SlotCount> m_values;
    std::array<ReplyCheck, SlotCount> m_slotCheck;
    std::array<SlotHealth, SlotCount> m_health;
    QString m_recordLine;
    QDateTime m_recordLineTime;
    bool m_monitoring = false;
    QList<QPair<QString, QString>> m_notices; // newest first
    QList<QPair<QString, QString>> m_information;

    // Record lines go to the disk on a thread of their own: a slow or
    // hanging disk never holds up polling, the clock or drawing. The lines
    // handed over and not yet reported, by number.
    RecordWriter m_writer;
    QHash<quint64, QString> m_linesInFlight;
    // The hand-off of a record line between the record timer and the
    // polling tick. When the record interval ends while a tick reads, the
    // line waits (due) for that tick's fresh values; otherwise the last
    // tick's line goes, unless it went already. So each tick's line is
    // written at most once, no values are recorded twice, and an interval
    // in which no tick ended has no line. Exit drops a waiting line.
    bool m_recordDue = false;
    bool m_lineUnwritten = false; // the last tick's line has not gone yet
};

} // namespace kelmar
