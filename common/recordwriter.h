#pragma once

#include "safefile.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>
#include <deque>
#include <functional>

class QThread;

namespace kelmar {

// Appends record lines on a thread of its own, so that a slow or hanging
// disk (a USB stick, a network share) never holds up polling, the clock or
// drawing. Lines go to their files in the order they were handed in, each
// once, whole or not at all; each result comes back as written(), on the
// owner's thread and in the same order. A failed line is reported and not
// tried again: the caller's next line is the retry.
//
// At most `capacity` lines wait (the one being written counts): while the
// disk hangs, a line beyond that is refused at once by append() instead of
// piling up for hours. No line accepted is ever dropped: finish() and the
// destructor wait until all of them are written.
//
// Every member is called from the owner's thread.
class RecordWriter : public QObject
{
    Q_OBJECT
public:
    // How one line reaches its file; runs on the writer's thread, so it
    // must touch nothing the owner's thread uses. The default forces each
    // line to the disk: appendToFile(path, bytes, true).
    using AppendFunction = std::function<FileResult(const QString &path, const QByteArray &bytes)>;

    // An hour of lines at one a second, about 0.5 MB.
    static constexpr int DefaultCapacity = 3600;

    // What append() hands back: the line's number (1, 2, 3, ... in the order
    // accepted, none skipped), or 0 and the reason when it was refused
    // (writer full or finished); a refused line gets no written().
    struct Ticket
    {
        quint64 sequence = 0;
        FileResult result;
    };

    explicit RecordWriter(QObject *parent = nullptr, AppendFunction append = {},
                          int capacity = DefaultCapacity);
    // Waits, however long the disk takes, until every accepted line is
    // written; reports nothing (the receivers may be gone), so call
    // finish() first to have the last results.
    ~RecordWriter() override;

    // Hands the bytes to the writer and returns at once. No bytes just make
    // sure the file is there (as a new record file is created).
    Ticket append(const QString &path, const QByteArray &bytes);
    // The line in code page 950 with CR LF, as the record file holds it.
    Ticket appendLine(const QString &path, const QString &line);

    // Accepted lines whose written() has not come yet.
    int waiting() const;

    // Takes no more lines; drained() follows once every accepted line has
    // been reported. Returns at once.
    void close();
    // close(), then waits up to timeoutMs (-1: no limit) for the accepted
    // lines to be written and reports them (written(), drained()) before it
    // returns. True when all are written and the thread has ended; on false
    // the writing goes on and finish() may be called again.
    bool finish(int timeoutMs);

signals:
    void written(quint64 sequence, const QString &path, const kelmar::FileResult &result);
    // After close(), once the last accepted line has been reported.
    void drained();

private:
    struct Line
    {
        quint64 sequence;
        QString path;
        QByteArray bytes;
        FileResult result;
    };

    void run();
    void deliver();

    const AppendFunction m_append;
    const int m_capacity;
    QThread *m_thread = nullptr;
    // The owner's thread only.
    quint64 m_accepted = 0; // sequence of the last accepted line
    quint64 m_reported = 0; // sequence of the last line given to written()
    std::deque<Line> m_reporting;
    bool m_closed = false;
    bool m_drainedSent = false;

    // Shared with the writer's thread, under m_mutex.
    mutable QMutex m_mutex;
    QWaitCondition m_work;    // a line or the end for the writer
    QWaitCondition m_written; // a line done, for finish()
    std::deque<Line> m_queue; // accepted, not yet written
    std::deque<Line> m_done;  // written, not yet reported
    bool m_writing = false;   // the writer holds a line taken off m_queue
    bool m_stop = false;
    bool m_deliveryPosted = false;
};

} // namespace kelmar
