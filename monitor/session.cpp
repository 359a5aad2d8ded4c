#include "session.h"

#include "clock.h"
#include "intervaltimer.h"
#include "numbertext.h"
#include "pollingcycle.h"
#include "recordformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace kelmar {

namespace {

constexpr int TimerMs = 1000;
// Ticks fall this long after the full second of the clock: the clock shows
// the second that has just begun, and a tick of six meters ends within it.
constexpr int AfterFullSecondMs = 5;
// A clock tick later than this into its second has drifted (a busy
// machine, the clock set): the timers are put back in step.
constexpr int MostLateMs = 300;
// The longest the end of the program waits for the record lines' results.
constexpr int FinishRecordingMs = 1000;

const QString NoticeRecord = QStringLiteral("record");
const QString NoticeInterval = QStringLiteral("interval");
const QString NoticePoll = QStringLiteral("poll");
const QString NoticeLine = QStringLiteral("line");
const QString NoticeMapping = QStringLiteral("mapping");
const QString NoticeStartup = QStringLiteral("startup");
const QString NoticeSave = QStringLiteral("save");
const QString NoticeStopped = QStringLiteral("stopped");

} // namespace

QString replyStatusText(const ReplyCheck &check)
{
    switch (check.status) {
    case ReplyStatus::Ok:
        return QString();
    case ReplyStatus::NoReply:
        return QCoreApplication::translate("kelmar::Session", "無回應");
    case ReplyStatus::Exception:
        return QCoreApplication::translate("kelmar::Session", "例外 %1")
            .arg(int(check.exceptionCode), 2, 10, QChar(u'0'));
    case ReplyStatus::InvalidValue:
        return QCoreApplication::translate("kelmar::Session", "數值無效");
    default:
        return QCoreApplication::translate("kelmar::Session", "通訊錯誤");
    }
}

namespace {
// A record line on the writer's thread: the folder may have gone since the
// file was started, so it is made again first.
FileResult appendToRecord(const QString &path, const QByteArray &bytes)
{
    const FileResult folder = ensureRecordFolder(QFileInfo(path).path());
    return folder.ok ? appendToFile(path, bytes, true) : folder;
}
} // namespace

Session::Session(const QString &programDir, Clock &clock, MeterLine &line, QObject *parent)
    : QObject(parent), m_programDir(programDir), m_clock(clock), m_line(line),
      m_recorder(clock, programDir), m_writer(nullptr, appendToRecord)
{
    connect(&m_writer, &RecordWriter::written, this,
            [this](quint64 sequence, const QString &, const FileResult &r) {
                const QString line = m_linesInFlight.take(sequence);
                // A failed line is reported and recording stays on: the next
                // interval's line is the retry, and the report goes with it.
                reportFile(r);
                if (r.ok)
                    emit lineRecorded(line);
            });
    m_slotCheck.fill(ReplyCheck{ReplyStatus::Ok});
    m_timer1 = new IntervalTimer(TimerMs, false, this);
    m_timer2 = new IntervalTimer(TimerMs, true, this);
    m_timer3 = new IntervalTimer(TimerMs, true, this);
    connect(m_timer1, &IntervalTimer::timeout, this, &Session::pollTick);
    connect(m_timer2, &IntervalTimer::timeout, this, &Session::clockTick);
    connect(m_timer3, &IntervalTimer::timeout, this, &Session::recordTick);

    connect(&m_line, &MeterLine::stateChanged, this, &Session::lineStateChange);
    m_master = new ModbusMaster(m_line.port(), this);
    PollingCycle::Hooks hooks;
    hooks.transact = [this](const QString &b1, const QString &b_1, const QString &b2_1,
                            const QString &b2_2, const QString &b3_1, const QString &b3_2,
                            PollingCycle::Done done) {
        // A line that is not open has nobody to answer: the tick does not
        // wait out a reply for each meter, so it ends within its interval.
        if (!m_line.isOpen())
            return false;
        return m_master->MODBUS(b1, b_1, b2_1, b2_2, b3_1, b3_2, std::move(done));
    };
    hooks.slot = [this](int k) { return m_tickSlots[k - 1]; };
    hooks.transactionDone = [this](int k, int item, const ModbusReading &r) {
        transactionDone(k, item, r);
    };
    m_cycle = new PollingCycle(std::move(hooks), m_clock, this);
    connect(m_cycle, &PollingCycle::finished, this, &Session::pollTickFinished);
    connect(m_cycle, &PollingCycle::slotRead, this, &Session::slotReadDone);
    alignTimers();
}

Session::~Session()
{
    // Everything that uses the line goes before the line is left alone.
    delete m_cycle;
    delete m_master;
    m_line.disconnect(this);
}

void Session::load()
{
    const QString path = QDir(m_programDir).filePath(SetupIniName);
    SetupFile file = m_setup;
    const SetupProblems found = loadSetupIni(path, file);
    setNotice(NoticeStartup, found.notices.join(u'\n'));
    if (found.screenSizeGiven)
        m_displayCode = screenCode(file.host.largeScreen);
    applySetup(file);
    m_line.restartTickCount();
    reportPollInterval(found.refusedPollInterval);
}

void Session::applySetup(const SetupFile &file)
{
    m_setup = file;
    m_timer1->setInterval(file.pollIntervalMs);
    m_recorder.setInterval(leadingNumber(file.recordSeconds));
}

void Session::reportPollInterval(const std::optional<QString> &refused)
{
    QString text;
    if (refused)
        text = tr("setup.ini 第 6 行 \"%1\" 不是 0 到 65535 的毫秒數，輪詢間隔用 %2 ms "
                  "(line 6 is not a polling interval from 0 to 65535 ms: %2 ms is used)")
                   // One pass: a "%2" in the line is quoted, not filled in.
                   .arg(*refused, QString::number(m_timer1->interval()));
    else if (m_timer1->interval() == 0)
        text = tr("輪詢間隔為 0，不會讀取儀表 (the polling interval is 0: no meter "
                  "is read)");
    setNotice(NoticePoll, text);
}

bool Session::save()
{
    m_displayCode = screenCode(m_setup.host.largeScreen);
    QString notice;
    const bool ok = saveSetupIni(QDir(m_programDir).filePath(SetupIniName), m_setup, &notice);
    setNotice(NoticeSave, notice);
    return ok;
}

void Session::setHostSettings(const HostSettings &host)
{
    m_setup.host = host;
}

void Session::lineStateChange(MeterLine::State state)
{
    setNotice(NoticeLine, state == MeterLine::State::Lost
                              ? tr("%1 連線中斷，自動重新連線中 (line lost, reconnecting)")
                                    .arg(m_line.portDescription())
                              : QString());
    // A port mapping that was refused says why, for as long as it stands.
    setNotice(NoticeMapping, m_line.problem());
    emit lineStateChanged(state);
}

void Session::setRecording(bool on)
{
    const HostSettings &host = m_setup.host;
    if (on) {
        setNotice(NoticeStopped, QString());
        reportFile(m_recorder.switchOn(host.recordFolder, m_setup.extension));
        setNotice(NoticeInterval, m_recorder.intervalReachable()
                                      ? QString()
                                      : tr("記錄秒 \"%1\" 不是 1 以上的整數，不會寫入記錄 (the "
                                           "record interval is not a whole number of seconds "
                                           "from 1 up: nothing is recorded)")
                                            .arg(m_setup.recordSeconds));
    } else {
        m_recorder.switchOff();
        setNotice(NoticeRecord, QString());
        setNotice(NoticeInterval, QString());
    }
    emit recordingChanged(on);
    emit recordFileChanged(m_recorder.filePath());
}

void Session::recordingStoppedByDisconnect()
{
    setNotice(NoticeStopped, tr("記錄已停止 (recording stopped)"));
}

void Session::reportFile(const FileResult &r)
{
    // A failed line is reported and recording stays on: the next interval
    // tries again, and the report goes when a line is written.
    setNotice(NoticeRecord, r.error);
}

void Session::setSlot(int k, const MeterSlot &slot)
{
    MeterSlot &s = m_slots[k - 1];
    // A title typed while the slot is on goes to the display at once.
    const bool titleShown = slot.enabled && slot.title != s.title;
    s = slot;
    emit slotChanged(k);
    if (titleShown)
        emit titleChanged(k, slot.title);
}

void Session::start()
{
    // The last run's line would be recorded again, stamp and all, until
    // this run's first tick ends.
    m_recordLine.clear();
    m_lineUnwritten = false;
    m_recorder.resetCount();
    m_line.restartTickCount();
    m_health = {};
    for (int k = 1; k <= SlotCount; ++k) {
        emit healthChanged(k);
        showSlotStatus(k, ReplyCheck{ReplyStatus::Ok});
    }
    m_monitoring = true;
    // Every meter is asked again, silent ones too.
    m_cycle->forgetSilence();
    alignTimers();
    // The time shows at once, not with the first tick.
    emit clockChanged(clockText(m_clock.now()));
    emit monitoringChanged(true);
}

// The polling, clock and record timers tick together just after each full
// second of the clock, so that the clock shows the system's second and the
// record stamp, the clock drawn with the readings and the broker's time of
// one tick name the same second. At equal intervals they wake the program
// once.
void Session::alignTimers()
{
    const int first = TimerMs - m_clock.now().time().msec() + AfterFullSecondMs;
    m_timer2->startAfter(first);
    if (m_monitoring) {
        m_timer1->startAfter(first);
        m_timer3->startAfter(first);
    }
}

void Session::stop()
{
    m_monitoring = false;
    // A tick that outlives its run (Exit, or Exit and a new start, while it
    // reads) must not write into the display or the counters any more.
    m_cycle->abandon();
    m_recordDue = false;
    m_timer1->setEnabled(false);
    m_timer3->setEnabled(false);
    for (int k = 1; k <= SlotCount; ++k) {
        for (int item = 0; item < ItemsPerSlot; ++item)
            showReading(k, item, std::nullopt);
        showSlotStatus(k, ReplyCheck{ReplyStatus::Ok});
    }
    emit monitoringChanged(false);
}

void Session::showReading(int k, int item, const std::optional<ExactDecimal> &value)
{
    std::optional<ExactDecimal> &shown = m_values[k - 1][item];
    if (shown == value)
        return;
    shown = value;
    emit readingChanged(k, item, value ? value->text() : QString());
}

void Session::slotReadDone(const SlotSample &sample)
{
    for (int item = 0; item < ItemsPerSlot; ++item)
        showReading(sample.slot, item, sample.values[item]);
    emit slotSampled(sample);
}

void Session::transactionDone(int k, int item, const ModbusReading &r)
{
    SlotHealth &h = m_health[k - 1];
    ++h.transactions;
    h.strayBytes += r.discardedBytes;
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
    ReplyCheck &shown = m_slotCheck[k - 1];
    if (shown == check)
        return;
    shown = check;
    emit slotStatusChanged(k, check, replyStatusText(check));
}

void Session::finishRecording()
{
    // The last lines' results are reported while the program still listens;
    // a disk that hangs longer is waited for when the writer goes.
    m_writer.finish(FinishRecordingMs);
}

bool Session::pollTickRunning() const
{
    return m_cycle->running() || m_line.reopening();
}

void Session::pollTick()
{
    // A tick that falls due while one is still running is skipped, not
    // queued: two ticks must never share the line.
    if (pollTickRunning() || !m_line.tick())
        return;
    m_tickSlots = m_slots;
    m_cycle->tick();
}

void Session::pollTickFinished(const TickSample &tick)
{
    // A value not read in this tick (a slot switched off, the second value
    // of a one-value model) must not stand as if measured.
    RecordValues values;
    for (int k = 1; k <= SlotCount; ++k)
        for (int item = 0; item < ItemsPerSlot; ++item) {
            showReading(k, item, tick.values[k - 1][item]);
            values[(k - 1) * ItemsPerSlot + item] = tick.values[k - 1][item];
        }
    m_recordLine = buildRecordLine(tick.time, values);
    m_recordLineTime = tick.time;
    m_lineUnwritten = true;
    emit tickFinished(m_recordLine);
    emit tickEnded(tick);
    if (m_recordDue)
        writeRecordLine();
    m_line.tickEnded();
}

void Session::clockTick()
{
    const QDateTime now = m_clock.now();
    emit clockChanged(clockText(now));
    if (m_timer2->isTicking() && now.time().msec() > MostLateMs)
        alignTimers();
    // The hourly change of the record file. It goes on after Exit, so the
    // file stays in step with the hour, but lines are appended only while
    // monitoring runs.
    if (const auto r = m_recorder.changeFileIfDue(m_setup.host.recordFolder, m_setup.extension)) {
        reportFile(*r);
        emit recordFileChanged(m_recorder.filePath());
        if (m_monitoring) {
            // The record interval counts from the new file's first second;
            // the interval the change cut short still gets its line.
            m_recorder.resetCount();
            if (m_lineUnwritten && !m_cycle->running())
                writeRecordLine();
            else
                m_recordDue = true;
        }
    }
}

void Session::recordTick()
{
    if (!m_monitoring || !m_recorder.countSecond())
        return;
    if (m_lineUnwritten && !m_cycle->running())
        writeRecordLine();
    else
        m_recordDue = true;
}

void Session::writeRecordLine()
{
    m_recordDue = false;
    if (!m_monitoring || !m_recorder.isOn() || !m_lineUnwritten)
        return;
    m_lineUnwritten = false;
    const Recorder::Target target = m_recorder.targetFor(m_recordLineTime);
    if (target.started) {
        reportFile(*target.started);
        emit recordFileChanged(m_recorder.filePath());
    }
    const RecordWriter::Ticket t = m_writer.appendLine(target.path, m_recordLine);
    if (t.sequence)
        m_linesInFlight.insert(t.sequence, m_recordLine);
    else
        reportFile(t.result);
}

namespace {

// Sets one source's text in a list of reports, the newest first; true when
// the list changed.
bool setReport(QList<QPair<QString, QString>> &reports, const QString &source,
               const QString &text)
{
    bool had = false;
    for (int i = 0; i < reports.size(); ++i) {
        if (reports[i].first != source)
            continue;
        if (reports[i].second == text)
            return false;
        reports.removeAt(i);
        had = true;
        break;
    }
    if (!text.isEmpty())
        reports.prepend({source, text});
    return had || !text.isEmpty();
}

QString joined(const QList<QPair<QString, QString>> &reports)
{
    QStringList lines;
    for (const auto &n : reports)
        lines << n.second;
    return lines.join(u'\n');
}

} // namespace

void Session::setNotice(const QString &source, const QString &text)
{
    if (!setReport(m_notices, source, text))
        return;
    if (!text.isEmpty())
        emit noticePosted(source, text, true);
    emit noticeChanged(noticeText());
}

QString Session::noticeText() const
{
    return joined(m_notices);
}

void Session::setInformation(const QString &source, const QString &text)
{
    if (!setReport(m_information, source, text))
        return;
    if (!text.isEmpty())
        emit noticePosted(source, text, false);
    emit informationChanged(informationText());
}

QString Session::informationText() const
{
    return joined(m_information);
}

} // namespace kelmar
