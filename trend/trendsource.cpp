#include "trendsource.h"

#include <QDir>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace kelmar {

namespace {

// Notices kept per kind; a damaged folder must not grow them without end.
constexpr int MaxKeptIssues = 50;
// The longest span the window loads; followed hours older than that behind
// the newest sample are let go.
constexpr int KeptHistoryHours = 72;

QString samePath(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

// Line notices name the file, whole-file notices the full path.
QString describe(const RecordIssue &issue)
{
    const QString where =
        issue.line > 0 ? QFileInfo(issue.file).fileName() : QDir::toNativeSeparators(issue.file);
    return where + QStringLiteral(": ") + issue.text;
}

void keep(QList<RecordIssue> &into, const QList<RecordIssue> &more)
{
    into += more;
    if (into.size() > MaxKeptIssues)
        into.erase(into.begin(), into.begin() + (into.size() - MaxKeptIssues));
}

} // namespace

TrendSource::TrendSource(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TrendSource::followTick);
    connect(&m_loadWatcher, &QFutureWatcher<LoadResult>::finished, this,
            &TrendSource::loadFinished);
    connect(&m_followWatcher, &QFutureWatcher<FollowResult>::finished, this,
            &TrendSource::followFinished);
}

TrendSource::~TrendSource()
{
    // The workers hold only copies, but their results must not arrive here.
    m_loadWatcher.disconnect(this);
    m_followWatcher.disconnect(this);
    m_loadWatcher.waitForFinished();
    m_followWatcher.waitForFinished();
}

void TrendSource::setRecordSource(const QString &prefix, const QString &extension)
{
    m_prefix = prefix;
    m_extension = extension;
}

void TrendSource::setCurrentFile(const QString &path)
{
    if (samePath(path) == samePath(m_follower.path()))
        return;
    ++m_followGeneration;
    // The file of the last hour stays in view beside the new one; over weeks
    // of monitoring only the hours the window can show at most are kept, so
    // memory and the redraw stay bounded.
    if (liveInSpan()) {
        m_history.append(m_live);
        // The view was following the present: it goes on with the new hour.
        m_spanEnd = std::numeric_limits<double>::infinity();
    }
    m_history.sortByTime();
    if (!m_history.isEmpty())
        m_history.dropBefore(m_history.times.last() - KeptHistoryHours * 3600.0);
    m_live.clear();
    m_liveIssues.clear();
    m_follower = RecordFollower(path);
    if (path.isEmpty()) {
        m_timer.stop();
    } else {
        m_timer.start();
        followTick();
    }
    rejoin();
    emit noticesChanged();
}

void TrendSource::loadHours(const QDateTime &from, int hours)
{
    m_pendingFrom = from;
    m_pendingHours = hours;
    m_loadPending = true;
    ++m_loadGeneration;
    if (m_loadWatcher.isRunning())
        return; // started when the running one ends
    m_loadPending = false;
    m_runningLoad = m_loadGeneration;
    m_runningTo = from.addSecs(qint64(hours) * 3600);
    m_loadWatcher.setFuture(QtConcurrent::run(&TrendSource::load, m_prefix, m_extension, from,
                                              hours, samePath(m_follower.path())));
    emit loadingChanged(true);
}

TrendSource::LoadResult TrendSource::load(const QString &prefix, const QString &extension,
                                          const QDateTime &from, int hours, const QString &skipPath)
{
    LoadResult r;
    const RecordListing listing = listRecordFiles(prefix, extension);
    r.issues = listing.issues;
    if (listing.folderMissing)
        return r;
    const QDateTime to = from.addSecs(qint64(hours) * 3600);
    for (const RecordFileEntry &e : listing.files) {
        if (e.start < from || e.start >= to)
            continue;
        ++r.files;
        // The file being written is followed live, not read twice.
        if (samePath(e.path) == skipPath)
            continue;
        RecordFileData d = readRecordFile(e.path, e.start);
        r.series.append(d.series);
        r.issues += d.issues;
    }
    r.series.sortByTime();
    if (r.files == 0)
        r.issues.append({prefix, 0,
                         QStringLiteral("%1 起 %2 小時內沒有記錄檔 (no record files in the %2 "
                                        "hours from %1)")
                             .arg(from.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                             .arg(hours)});
    return r;
}

void TrendSource::loadFinished()
{
    const bool current = m_runningLoad == m_loadGeneration;
    if (current) {
        LoadResult r = m_loadWatcher.result();
        m_history = std::move(r.series);
        m_spanEnd = double(m_runningTo.toSecsSinceEpoch());
        m_loadIssues.clear();
        keep(m_loadIssues, r.issues);
        rejoin();
        emit noticesChanged();
    }
    if (m_loadPending) {
        loadHours(m_pendingFrom, m_pendingHours);
        return;
    }
    emit loadingChanged(false);
}

void TrendSource::followTick()
{
    if (m_follower.path().isEmpty() || m_followWatcher.isRunning())
        return;
    m_runningFollow = m_followGeneration;
    m_followWatcher.setFuture(QtConcurrent::run([f = m_follower]() mutable {
        RecordFollower::Step step = f.readMore();
        return FollowResult{std::move(f), std::move(step)};
    }));
}

void TrendSource::followFinished()
{
    if (m_runningFollow != m_followGeneration)
        return; // the current file changed meanwhile
    FollowResult r = m_followWatcher.result();
    m_follower = std::move(r.follower);
    bool changed = false;
    if (r.step.restarted) {
        m_live.clear();
        changed = true;
    }
    if (!r.step.samples.isEmpty()) {
        m_live.append(r.step.samples);
        m_live.sortByTime();
        changed = true;
    }
    if (changed)
        rejoin();
    if (!r.step.issues.isEmpty()) {
        keep(m_liveIssues, r.step.issues);
        emit noticesChanged();
    }
}

bool TrendSource::liveInSpan() const
{
    return m_live.isEmpty() || m_live.times.first() < m_spanEnd;
}

void TrendSource::rejoin()
{
    m_joined = m_history;
    if (liveInSpan())
        m_joined.append(m_live);
    m_joined.sortByTime();
    emit dataChanged();
}

QStringList TrendSource::notices() const
{
    QStringList out;
    for (const RecordIssue &i : m_loadIssues)
        out.append(describe(i));
    for (const RecordIssue &i : m_liveIssues)
        out.append(describe(i));
    return out;
}

} // namespace kelmar
