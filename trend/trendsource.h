#pragma once

#include "recordreader.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <limits>

namespace kelmar {

// The data behind the trend window, without widgets: the record files of
// chosen hours, read on a worker thread, joined with the file being written,
// which a timer follows by reading only what was appended. Results are taken
// over on the thread of this object (the UI thread); nothing here blocks it.
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
    // Reads every record file that starts in the hours [from, from + hours).
    void loadHours(const QDateTime &from, int hours);
    void setFollowInterval(int ms) { m_timer.setInterval(ms); }

    // The chosen hours and the current file joined, ordered by time.
    const RecordSeries &series() const { return m_joined; }
    // Bilingual notices about what was skipped, newest last.
    QStringList notices() const;
    bool isLoading() const { return m_loadWatcher.isRunning(); }
    bool isFollowing() const { return !m_follower.path().isEmpty(); }

signals:
    void dataChanged();
    void noticesChanged();
    void loadingChanged(bool loading);

private:
    struct LoadResult
    {
        RecordSeries series;
        QList<RecordIssue> issues;
        int files = 0;
    };
    struct FollowResult
    {
        RecordFollower follower;
        RecordFollower::Step step;
    };

    void followTick();
    void loadFinished();
    void followFinished();
    void rejoin();
    bool liveInSpan() const;
    static LoadResult load(const QString &prefix, const QString &extension, const QDateTime &from,
                           int hours, const QString &skipPath);

    QString m_prefix;
    QString m_extension;
    RecordSeries m_history;
    RecordSeries m_live;
    RecordSeries m_joined;
    // The end of the loaded span, in seconds since the epoch: a file being
    // written that starts after it is not joined to an earlier span, which
    // would squeeze the hours asked for into a corner of the axis.
    double m_spanEnd = std::numeric_limits<double>::infinity();
    QDateTime m_runningTo; // the end of the span being loaded
    RecordFollower m_follower;
    QList<RecordIssue> m_loadIssues;
    QList<RecordIssue> m_liveIssues;
    QTimer m_timer;
    QFutureWatcher<LoadResult> m_loadWatcher;
    QFutureWatcher<FollowResult> m_followWatcher;
    // Results of a request that was overtaken by a newer one are dropped.
    int m_loadGeneration = 0;
    int m_runningLoad = 0;
    int m_followGeneration = 0;
    int m_runningFollow = 0;
    bool m_loadPending = false;
    QDateTime m_pendingFrom;
    int m_pendingHours = 0;
};

} // namespace kelmar
