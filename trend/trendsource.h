#pragma once

#include "recordcache.h"
#include "safefile.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cmath>
#include <limits>

namespace kelmar {

// The data behind the trend window, without widgets: the record files of a
// span, read on a worker thread through a cache, joined with the file being
// written, which a timer follows by reading only what was appended; the
// reduction of the samples in view to what the plot can show, and the CSV
// export, also on workers. Results are taken over on the thread of this
// object (the UI thread) and cost it only the joining of block lists, so
// monitoring in the same thread never waits for a file.
class TrendSource : public QObject
{
    Q_OBJECT
public:
    explicit TrendSource(QObject *parent = nullptr);
    ~TrendSource() override;

    void setRecordSource(const QString &prefix, const QString &extension);
    // The file being written now, or empty: followed every interval. Data
    // of the file it replaces (the hourly change) stays in view.
    void setCurrentFile(const QString &path);
    QString currentFile() const { return m_follower.path(); }
    void setFollowInterval(int ms) { m_timer.setInterval(ms); }

    // Reads every record file with lines in the hours [from, from + hours).
    void loadHours(const QDateTime &from, int hours);
    // Reads the `hours` hours up to `now` while a file is recorded (a
    // current file is set); otherwise the `hours` hours up to the newest
    // line of the record files.
    void loadNewest(const QDateTime &now, int hours);
    // The span of the last finished load, seconds since the epoch.
    double spanStart() const { return m_spanStart; }
    double spanEnd() const { return m_loadedEnd; }
    // The span reaches to now: lines of the followed file join it.
    bool spanIsNow() const { return std::isinf(m_spanEnd); }

    // The loaded files and the followed file joined, ordered by time.
    const Blocks &blocks() const { return m_joined; }
    qint64 sampleCount() const { return m_sampleCount; }
    double lastTime() const;
    // Bilingual notices about what was skipped, newest last.
    QStringList notices() const;
    bool isLoading() const { return m_loadWatcher.isRunning(); }
    bool isFollowing() const { return !m_follower.path().isEmpty(); }
    const RecordCache &cache() const { return m_cache; }

    // Reduces the samples in [from, to] to `pixels` columns on a worker;
    // viewReady() tells when view() has it. Requests made meanwhile are
    // folded into the newest.
    void requestView(double from, double to, int pixels);
    const ReducedView &view() const { return m_view; }

    // Writes the record lines in [from, to] (files read again, so every
    // second appears once and values keep their text) as CSV on a worker;
    // exportFinished() tells the result.
    void exportCsv(const QString &path, double from, double to, const QList<int> &columns,
                   const QStringList &names);
    bool isExporting() const { return m_exportWatcher.isRunning(); }

signals:
    void dataChanged();
    void noticesChanged();
    void loadingChanged(bool loading);
    void viewReady();
    void exportFinished(const kelmar::FileResult &result);

private:
    struct LoadRequest
    {
        QDateTime from;
        QDateTime to;
        bool newest = false;
    };
    struct LoadResult
    {
        QHash<QString, Blocks> files;
        QList<RecordIssue> issues;
        double from = 0, to = 0;
        bool current = false; // the span ends now: live data joins it
    };
    struct FollowResult
    {
        RecordFollower follower;
        RecordFollower::Step step;
        Blocks blocks;
        bool replacesLast = false; // blocks.first() is the last live block with lines added
    };

    void startLoad(const LoadRequest &request);
    void followTick();
    void loadFinished();
    void followFinished();
    void viewFinished();
    // whole: more than lines appended to the followed file changed.
    void rejoin(bool whole = true);
    bool liveInSpan() const;
    static LoadResult load(RecordCache *cache, QThreadPool *parsers, const QString &prefix,
                           const QString &extension, const LoadRequest &request,
                           const QString &skipPath);

    QString m_prefix;
    QString m_extension;
    RecordCache m_cache;
    // Files are parsed side by side, on a pool of their own so that the
    // loading worker's waiting cannot hold up the threads they need. It
    // ends with this object, while the application still runs, not at the
    // end of the process after the rest of the program is gone.
    QThreadPool m_parsers;
    QHash<QString, Blocks> m_files; // loaded, by path
    Blocks m_live;                  // the followed file
    Blocks m_joined;
    qint64 m_sampleCount = 0;
    // The earliest sample time changed since the last view was asked for:
    // -infinity for anything but appended lines, infinity for no change.
    double m_changedFrom = -std::numeric_limits<double>::infinity();
    double m_spanStart = 0;
    double m_loadedEnd = 0;
    // The end of the loaded span: a file being written that starts after
    // it is not joined to an earlier span. Infinite while the span is "now".
    double m_spanEnd = std::numeric_limits<double>::infinity();
    RecordFollower m_follower;
    QList<RecordIssue> m_loadIssues;
    QList<RecordIssue> m_liveIssues;
    QTimer m_timer;
    QFutureWatcher<LoadResult> m_loadWatcher;
    QFutureWatcher<FollowResult> m_followWatcher;
    QFutureWatcher<ReducedView> m_viewWatcher;
    QFutureWatcher<FileResult> m_exportWatcher;
    // Results of a request that was overtaken by a newer one are dropped.
    int m_followGeneration = 0;
    int m_runningFollow = 0;
    bool m_loadPending = false;
    LoadRequest m_pendingLoad;
    LoadRequest m_runningLoad;
    bool m_viewPending = false;
    double m_viewFrom = 0, m_viewTo = 0;
    int m_viewPixels = 0;
    ReducedView m_view;
};

} // namespace kelmar
