#include "session.h"

#include "clock.h"
#include "intervaltimer.h"
#include "numbertext.h"
#include "pollingcycle.h"
#include "recordformat.h"
#include "serialport.h"

#include <QDir>
#include <QTimer>
#include <cmath>

namespace kelmar {

namespace {

constexpr int TimerMs = 1000;
// The port is closed and opened again every this many polling ticks, with a
// short pause between, so a line driver that hung recovers by itself.
constexpr int ReopenEveryTicks = 3600;
constexpr double ReopenPauseSeconds = 0.1;

const QString NoticeRecord = QStringLiteral("record");
const QString NoticeInterval = QStringLiteral("interval");
const QString NoticePoll = QStringLiteral("poll");
const QString NoticeLine = QStringLiteral("line");

} // namespace

QString replyStatusText(const ReplyCheck &check)
{
    switch (check.status) {
    case ReplyStatus::Ok:
        return QString();
    case ReplyStatus::NoReply:
        return QStringLiteral("無回應");
    case ReplyStatus::Exception:
        return QStringLiteral("例外 %1").arg(int(check.exceptionCode), 2, 10, QChar(u'0'));
    default:
        return QStringLiteral("通訊錯誤");
    }
}

Session::Session(const QString &programDir, Clock &clock, SerialPort &port, QObject *parent)
    : QObject(parent), m_programDir(programDir), m_clock(clock), m_port(port),
      m_recorder(clock, programDir)
{
    m_timer1 = new IntervalTimer(TimerMs, false, this);
    m_timer2 = new IntervalTimer(TimerMs, true, this);
    m_timer3 = new IntervalTimer(TimerMs, true, this);
    connect(m_timer1, &IntervalTimer::timeout, this, &Session::pollTick);
    connect(m_timer2, &IntervalTimer::timeout, this, &Session::clockTick);
    connect(m_timer3, &IntervalTimer::timeout, this, &Session::recordTick);

    connect(&m_port, &SerialPort::portLost, this, &Session::portLost);
    m_master = new ModbusMaster(m_port, this);
    PollingCycle::Hooks hooks;
    hooks.transact = [this](const QString &b1, const QString &b_1, const QString &b2_1,
                            const QString &b2_2, const QString &b3_1, const QString &b3_2,
                            PollingCycle::Done done) {
        return m_master->MODBUS(b1, b_1, b2_1, b2_2, b3_1, b3_2, std::move(done));
    };
    hooks.slot = [this](int k) { return meterSlots[k - 1]; };
    hooks.divisor = [this](int k) { return MeterDivisor[k - 1]; };
    // A tick that outlives its run (Exit, or Exit and a new start, while it
    // reads) must not write into the display or the counters any more.
    hooks.writeLabel = [this](int k, int item, const QString &text) {
        if (m_tickRun == m_run)
            showReading(k, item, text);
    };
    hooks.readLabel = [this](int k, int item) { return readings[k - 1][item]; };
    hooks.transactionDone = [this](int k, int item, const ModbusReading &r) {
        if (m_tickRun == m_run)
            transactionDone(k, item, r);
    };
    m_cycle = new PollingCycle(std::move(hooks), m_clock, this);
    connect(m_cycle, &PollingCycle::finished, this, &Session::pollTickFinished);
}

Session::~Session()
{
    // Everything that uses the port goes before the port is left alone.
    delete m_cycle;
    delete m_master;
    m_port.disconnect(this);
}

void Session::load()
{
    const QString path = QDir(m_programDir).filePath(SetupIniName);
    const SetupProblems found =
        applySetupLines(setup, [&path](int line) { return GetLine(path, line); });
    if (found.screenSizeGiven)
        displayCode = screenCode(setup.host.largeScreen);
    m_timer1->setInterval(setup.pollIntervalMs);
    m_recorder.setInterval(leadingNumber(setup.recordSeconds));
    PollTickCount = 0;
    reportPollInterval(found.refusedPollInterval);
}

void Session::reportPollInterval(const std::optional<QString> &refused)
{
    QString text;
    if (refused)
        text = QStringLiteral("setup.ini 第 6 行 \"%1\" 不是 0 到 65535 的毫秒數，輪詢間隔用 %2 ms "
                              "(line 6 is not a polling interval from 0 to 65535 ms: %2 ms is used)")
                   .arg(*refused)
                   .arg(m_timer1->interval());
    else if (m_timer1->interval() == 0)
        text = QStringLiteral("輪詢間隔為 0，不會讀取儀表 (the polling interval is 0: no meter "
                              "is read)");
    setNotice(NoticePoll, text);
}

bool Session::save()
{
    displayCode = screenCode(setup.host.largeScreen);
    m_port.setCommPort(setup.host.portNumber); // refused while the port is open
    return saveSetupIni(QDir(m_programDir).filePath(SetupIniName), setup);
}

void Session::setHostSettings(const HostSettings &host)
{
    setup.host = host;
}

void Session::connectionChanged(bool connected)
{
    ++m_connectionCount;
    if (connected) {
        m_lastConnectPort = m_port.CommPort();
        m_lastConnectSettings = m_port.Settings();
    }
    // The operator's own connect or disconnect ends any reopening: the lamp
    // and the report follow what the operator did.
    if (lineLost) {
        lineLost = false;
        setNotice(NoticeLine, QString());
        emit lineLostChanged(false);
    }
}

void Session::setRecording(bool on)
{
    const HostSettings &host = setup.host;
    if (on) {
        reportFile(m_recorder.switchOn(host.recordFolder, setup.extension));
        setNotice(NoticeInterval,
                  m_recorder.intervalReachable()
                      ? QString()
                      : QStringLiteral("記錄秒 \"%1\" 不是 1 以上的整數，不會寫入記錄 (the "
                                       "record interval is not a whole number of seconds "
                                       "from 1 up: nothing is recorded)")
                            .arg(setup.recordSeconds));
    } else {
        m_recorder.switchOff();
        setNotice(NoticeRecord, QString());
        setNotice(NoticeInterval, QString());
    }
    emit recordingChanged(on);
    emit recordFileChanged(m_recorder.filePath());
}

void Session::reportFile(const FileResult &r)
{
    // A failed line is reported and recording stays on: the next interval
    // tries again, and the report goes when a line is written.
    setNotice(NoticeRecord, r.error);
}

void Session::setSlot(int k, const MeterSlot &slot)
{
    MeterSlot &s = meterSlots[k - 1];
    // A title typed while the slot is on goes to the display at once.
    const bool titleShown = slot.enabled && slot.title != s.title;
    s = slot;
    if (titleShown)
        emit titleChanged(k, slot.title);
}

void Session::start(const std::array<double, SlotCount> &divisors)
{
    MeterDivisor = divisors;
    // The last run's line would be recorded again, stamp and all, until
    // this run's first tick ends.
    RecordLine.clear();
    m_recorder.resetCount();
    PollTickCount = 0;
    health = {};
    for (int k = 1; k <= SlotCount; ++k) {
        emit healthChanged(k);
        showSlotStatus(k, ReplyCheck{ReplyStatus::Ok});
    }
    monitoring = true;
    ++m_run;
    m_timer1->setEnabled(true);
    m_timer3->setEnabled(true);
    emit monitoringChanged(true);
}

void Session::stop()
{
    monitoring = false;
    ++m_run;
    m_recordDue = false;
    m_timer1->setEnabled(false);
    m_timer3->setEnabled(false);
    for (int k = 1; k <= SlotCount; ++k) {
        for (int item = 0; item < ItemsPerSlot; ++item)
            showReading(k, item, QString());
        showSlotStatus(k, ReplyCheck{ReplyStatus::Ok});
    }
    emit monitoringChanged(false);
}

void Session::showReading(int k, int item, const QString &text)
{
    QString &shown = readings[k - 1][item];
    if (shown == text)
        return;
    shown = text;
    emit readingChanged(k, item, text);
}

void Session::transactionDone(int k, int item, const ModbusReading &r)
{
    SlotHealth &h = health[k - 1];
    ++h.transactions;
    switch (r.check.status) {
    case ReplyStatus::Ok:
        ++h.good;
        break;
    case ReplyStatus::NoReply:
        ++h.noReply;
        break;
    case ReplyStatus::Exception:
        ++h.exceptions;
        break;
    default:
        ++h.badReply;
        break;
    }
    const QString status = replyStatusText(r.check);
    if (!status.isEmpty()) {
        h.lastFailure = status;
        h.lastFailureAt = m_clock.now();
    }
    emit healthChanged(k);
    // The first reading's outcome stands for the slot unless the second one
    // fails too; a good second reading does not hide a failed first one.
    if (item == 0 || !status.isEmpty())
        showSlotStatus(k, r.check);
}

void Session::showSlotStatus(int k, const ReplyCheck &check)
{
    const QString text = replyStatusText(check);
    slotCheck[k - 1] = check;
    if (slotStatus[k - 1] == text)
        return;
    slotStatus[k - 1] = text;
    emit slotStatusChanged(k, text);
}

void Session::pollTick()
{
    // A tick that falls due while one is still running is skipped, not
    // queued: two ticks must never share the serial line.
    if (m_tickRunning)
        return;
    m_tickRunning = true;
    m_tickRun = m_run;
    reopenLostPort();
    m_cycle->tick();
}

void Session::portLost()
{
    if (lineLost)
        return;
    lineLost = true;
    setNotice(NoticeLine, QStringLiteral("COM%1 連線中斷，自動重新連線中 (line lost, reconnecting)")
                              .arg(m_lastConnectPort));
    emit lineLostChanged(true);
}

void Session::reopenLostPort()
{
    if (!lineLost || m_port.PortOpen())
        return;
    m_port.setCommPort(m_lastConnectPort);
    m_port.setSettings(m_lastConnectSettings);
    if (m_port.setPortOpen(true)) {
        lineLost = false;
        setNotice(NoticeLine, QString());
        emit lineLostChanged(false);
    }
}

void Session::pollTickFinished(const QString &line)
{
    if (m_tickRun != m_run) {
        endPollTick();
        return;
    }
    RecordLine = line;
    emit tickFinished(line);
    if (m_recordDue)
        writeRecordLine();
    if (++PollTickCount != ReopenEveryTicks) {
        endPollTick();
        return;
    }
    // The port opens again as the last connect left it: not when it was
    // closed already, and not when the operator connected or disconnected
    // during the pause.
    const bool wasOpen = m_port.PortOpen();
    const int connection = m_connectionCount;
    m_port.setPortOpen(false);
    Delay(ReopenPauseSeconds, [this, wasOpen, connection] {
        if (wasOpen && connection == m_connectionCount) {
            m_port.setCommPort(m_lastConnectPort);
            m_port.setSettings(m_lastConnectSettings);
            // A port that does not open again is a lost line: the next
            // ticks keep trying, and the operator is told.
            if (!m_port.setPortOpen(true))
                portLost();
        }
        PollTickCount = 0;
        endPollTick();
    });
}

void Session::endPollTick()
{
    m_tickRunning = false;
    if (m_recordDue)
        writeRecordLine();
}

void Session::Delay(double seconds, std::function<void()> done)
{
    // One millisecond beyond the given time, so the pause is never shorter
    // than asked, whatever the timer's rounding.
    const int ms = int(std::ceil(seconds * 1000)) + 1;
    QTimer::singleShot(ms, this, std::move(done));
}

void Session::clockTick()
{
    emit clockChanged(clockText(m_clock.now()));
    // The hourly change of the record file. It goes on after Exit, so the
    // file stays in step with the hour, but lines are appended only while
    // monitoring runs.
    if (const auto r = m_recorder.changeFileIfDue(setup.host.recordFolder, setup.extension)) {
        reportFile(*r);
        emit recordFileChanged(m_recorder.filePath());
        if (monitoring) {
            // The record interval counts from the new file's first second.
            m_timer3->setEnabled(false);
            m_timer3->setEnabled(true);
        }
    }
}

void Session::recordTick()
{
    if (!monitoring || !m_recorder.countSecond())
        return;
    // Both timers run at the same pace, so the record interval often ends
    // just as a polling tick begins; the line waits for that tick's values
    // rather than repeating the last tick's, a second old.
    if (!m_tickRunning) {
        writeRecordLine();
        return;
    }
    // A tick longer than the interval (a dead line: every meter waits out
    // its reply) must not swallow a line: the one already due goes now.
    if (m_recordDue)
        writeRecordLine();
    m_recordDue = true;
}

void Session::writeRecordLine()
{
    m_recordDue = false;
    if (!monitoring || !m_recorder.isOn())
        return;
    const FileResult r = m_recorder.append(RecordLine);
    reportFile(r);
    if (r.ok)
        emit lineRecorded(RecordLine);
}

void Session::setNotice(const QString &source, const QString &text)
{
    for (int i = 0; i < m_notices.size(); ++i) {
        if (m_notices[i].first == source) {
            if (m_notices[i].second == text)
                return;
            if (text.isEmpty())
                m_notices.removeAt(i);
            else
                m_notices[i].second = text;
            emit noticeChanged(noticeText());
            return;
        }
    }
    if (text.isEmpty())
        return;
    m_notices.append({source, text});
    emit noticeChanged(noticeText());
}

QString Session::noticeText() const
{
    QStringList lines;
    for (const auto &n : m_notices)
        lines << n.second;
    return lines.join(u'\n');
}

} // namespace kelmar
