#include "trendsource.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

#include "trendcsv.h"

namespace kelmar {

namespace {

// Notices kept per kind; a damaged folder must not grow them without end.
constexpr int MaxKeptIssues = 50;

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

double seconds(const QDateTime &t)
{
    return double(t.toSecsSinceEpoch());
}

// The end of the hour a file's stamp lies in: the file has no line after
// it but a second or so (see LineTimes), not worth reading the next hour's
// files for; the export reads them.
double fileEnd(const RecordFileEntry &e)
{
    return seconds(QDateTime(e.start.date(), QTime(e.start.time().hour(), 0))) + RecordFileSeconds;
}

double lastOf(const Blocks &blocks)
{
    double t = -HUGE_VAL;
    for (const auto &b : blocks)
        t = std::max(t, b->lastTime());
    return t;
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
    connect(&m_viewWatcher, &QFutureWatcher<ReducedView>::finished, this,
            &TrendSource::viewFinished);
    connect(&m_exportWatcher, &QFutureWatcher<FileResult>::finished, this,
            [this] { emit exportFinished(m_exportWatcher.result()); });
}

TrendSource::~TrendSource()
{
    // The workers use the cache of this object: they end before it goes.
    m_loadWatcher.disconnect(this);
    m_followWatcher.disconnect(this);
    m_viewWatcher.disconnect(this);
    m_exportWatcher.disconnect(this);
    m_loadWatcher.waitForFinished();
    m_followWatcher.waitForFinished();
    m_viewWatcher.waitForFinished();
    m_exportWatcher.waitForFinished();
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
    if (liveInSpan()) {
        // The file of the last hour stays in view beside the new one, under
        // its own name, so a later load replaces it instead of doubling it.
        if (!m_live.isEmpty())
            m_files.insert(samePath(m_follower.path()), m_live);
        m_spanEnd = std::numeric_limits<double>::infinity();
    }
    // Over weeks of following only the span the window shows is kept, so
    // memory stays bounded.
    const double kept = std::max(m_loadedEnd - m_spanStart, double(RecordFileSeconds));
    const double newest = lastOf(m_live);
    for (auto it = m_files.begin(); it != m_files.end();)
        it = lastOf(*it) < newest - kept - RecordFileSeconds ? m_files.erase(it) : std::next(it);
    m_live.clear();
    m_liveIssues.clear();
    // A file loaded before it became the followed one is read by the follower alone.
    m_files.remove(samePath(path));
    m_follower = RecordFollower(path);
    // A load of the newest hours under way was begun for what was recorded
    // before: it is made again for the file recorded now.
    if (m_loadWatcher.isRunning() && !m_loadPending && m_runningLoad.newest)
        startLoad(m_runningLoad);
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
    startLoad({from, from.addSecs(qint64(hours) * 3600), false});
}

void TrendSource::loadNewest(const QDateTime &now, int hours)
{
    startLoad({now.addSecs(-qint64(hours) * 3600), now, true});
}

void TrendSource::startLoad(const LoadRequest &request)
{
    m_pendingLoad = request;
    if (m_loadWatcher.isRunning()) {
        m_loadPending = true; // started when the running one ends
        return;
    }
    m_loadPending = false;
    m_runningLoad = request;
    m_loadWatcher.setFuture(QtConcurrent::run(&TrendSource::load, &m_cache, &m_parsers, m_prefix,
                                              m_extension, request, samePath(m_follower.path())));
    emit loadingChanged(true);
}

TrendSource::LoadResult TrendSource::load(RecordCache *cache, QThreadPool *parsers,
                                          const QString &prefix, const QString &extension,
                                          const LoadRequest &request, const QString &skipPath)
{
    LoadResult r;
    r.from = seconds(request.from);
    r.to = seconds(request.to);
    r.current = request.newest;
    const RecordListing listing = listRecordFiles(prefix, extension);
    r.issues = listing.issues;
    if (listing.folderMissing)
        return r;
    if (request.newest && skipPath.isEmpty()) {
        // Nothing is being recorded now: the span ends at the newest line
        // found, so the last recorded hours are in full view, not the empty
        // hours since they were written.
        for (auto it = listing.files.crbegin(); it != listing.files.crend(); ++it) {
            const RecordCache::Entry e = cache->get(it->path, it->start);
            if (e.blocks.isEmpty())
                continue;
            const double end = lastOf(e.blocks) + 1;
            r.from = end - (r.to - r.from);
            r.to = end;
            r.current = false;
            break;
        }
    }
    int files = 0;
    QList<RecordFileEntry> toRead;
    for (const RecordFileEntry &e : listing.files) {
        if (fileEnd(e) <= r.from || seconds(e.start) >= r.to)
            continue;
        ++files;
        // The file being written is followed live, not read twice.
        if (samePath(e.path) != skipPath)
            toRead.append(e);
    }
    const QList<RecordCache::Entry> read = QtConcurrent::blockingMapped(
        parsers, toRead, [cache](const RecordFileEntry &e) { return cache->get(e.path, e.start); });
    for (int i = 0; i < toRead.size(); ++i) {
        r.files.insert(samePath(toRead[i].path), read[i].blocks);
        r.issues += read[i].issues;
    }
    if (files == 0) {
        const QDateTime from = QDateTime::fromSecsSinceEpoch(qint64(r.from));
        r.issues.append({prefix, 0,
                         tr("%1 起 %2 小時內沒有記錄檔 (no record files in the %2 "
                            "hours from %1)")
                             .arg(from.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                             .arg(qRound((r.to - r.from) / 3600))});
    }
    return r;
}

void TrendSource::loadFinished()
{
    if (m_loadPending) {
        // Overtaken by a newer request: its result is dropped.
        startLoad(m_pendingLoad);
        return;
    }
    LoadResult r = m_loadWatcher.result();
    m_files = std::move(r.files);
    m_spanStart = r.from;
    m_loadedEnd = r.to;
    m_spanEnd = r.current ? std::numeric_limits<double>::infinity() : r.to;
    m_loadIssues.clear();
    keep(m_loadIssues, r.issues);
    rejoin();
    emit noticesChanged();
    emit loadingChanged(false);
}

void TrendSource::followTick()
{
    if (m_follower.path().isEmpty() || m_followWatcher.isRunning())
        return;
    m_runningFollow = m_followGeneration;
    // The last live block goes along: small pieces are joined to it on the
    // worker, so that a day of seconds stays a few blocks and the UI thread
    // only swaps the result in.
    const std::shared_ptr<const SampleBlock> last = m_live.isEmpty() ? nullptr : m_live.last();
    m_followWatcher.setFuture(QtConcurrent::run([f = m_follower, last]() mutable {
        RecordFollower::Step step = f.readMore();
        step.samples.sortByTime();
        Blocks blocks = makeBlocks(step.samples);
        step.samples.clear();
        FollowResult r{std::move(f), std::move(step), {}, false};
        for (const auto &b : std::as_const(blocks)) {
            const auto &tail = r.blocks.isEmpty() ? last : r.blocks.last();
            if (!r.step.restarted && tail && tail->size() + b->size() <= RowsPerBlock &&
                b->firstTime() >= tail->lastTime()) {
                if (r.blocks.isEmpty()) {
                    r.blocks.append(SampleBlock::joined(*tail, *b));
                    r.replacesLast = true;
                } else {
                    r.blocks.last() = SampleBlock::joined(*tail, *b);
                }
            } else {
                r.blocks.append(b);
            }
        }
        return r;
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
        m_changedFrom = -HUGE_VAL;
        changed = true;
    }
    if (!r.blocks.isEmpty()) {
        // Following appends only the new lines.
        if (r.replacesLast && !m_live.isEmpty())
            m_live.removeLast();
        m_changedFrom = std::min(m_changedFrom, r.blocks.first()->firstTime());
        m_live += r.blocks;
        changed = true;
    }
    if (changed)
        rejoin(false);
    if (!r.step.issues.isEmpty()) {
        keep(m_liveIssues, r.step.issues);
        emit noticesChanged();
    }
    if (r.step.more)
        followTick(); // a large file is caught up with piece by piece
}

bool TrendSource::liveInSpan() const
{
    return m_live.isEmpty() || m_live.first()->firstTime() < m_spanEnd;
}

void TrendSource::rejoin(bool whole)
{
    if (whole)
        m_changedFrom = -HUGE_VAL;
    m_joined.clear();
    const QString live = samePath(m_follower.path());
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
        if (it.key() != live)
            m_joined += it.value();
    if (liveInSpan())
        m_joined += m_live;
    std::stable_sort(m_joined.begin(), m_joined.end(), [](const auto &a, const auto &b) {
        return a->firstTime() < b->firstTime();
    });
    m_sampleCount = 0;
    for (const auto &b : std::as_const(m_joined))
        m_sampleCount += b->size();
    emit dataChanged();
}

double TrendSource::lastTime() const
{
    return lastOf(m_joined);
}

void TrendSource::requestView(double from, double to, int pixels)
{
    m_viewFrom = from;
    m_viewTo = to;
    m_viewPixels = pixels;
    if (m_viewWatcher.isRunning()) {
        m_viewPending = true;
        return;
    }
    m_viewPending = false;
    // Only the pixel columns from the first changed sample on are reduced
    // again; with nothing changed and the same span, none.
    m_viewWatcher.setFuture(
        QtConcurrent::run(&reduceChanged, m_joined, m_view, from, to, pixels, m_changedFrom));
    m_changedFrom = HUGE_VAL;
}

void TrendSource::viewFinished()
{
    m_view = m_viewWatcher.result();
    emit viewReady();
    if (m_viewPending)
        requestView(m_viewFrom, m_viewTo, m_viewPixels);
}

void TrendSource::exportCsv(const QString &path, double from, double to,
                            const QList<int> &columns, const QStringList &names)
{
    if (m_exportWatcher.isRunning()) {
        emit exportFinished(refusedFile(path, tr("匯出進行中 (an export is running)")));
        return;
    }
    m_exportWatcher.setFuture(QtConcurrent::run(
        [prefix = m_prefix, extension = m_extension, path, from, to, columns, names] {
            const RecordListing listing = listRecordFiles(prefix, extension);
            return replaceFile(path, trendCsv(listing.files, from, to, columns, names));
        }));
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
