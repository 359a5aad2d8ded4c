#include "recordwriter.h"

#include "recordformat.h"

#include <QDeadlineTimer>
#include <QThread>
#include <algorithm>

namespace kelmar {

namespace {

class WriterThread : public QThread
{
public:
    explicit WriterThread(std::function<void()> body) : m_body(std::move(body)) {}

protected:
    void run() override { m_body(); }

private:
    std::function<void()> m_body;
};

FileResult appendSynced(const QString &path, const QByteArray &bytes)
{
    return appendToFile(path, bytes, true);
}

} // namespace

RecordWriter::RecordWriter(QObject *parent, AppendFunction append, int capacity)
    : QObject(parent), m_append(append ? std::move(append) : AppendFunction(appendSynced)),
      m_capacity(std::max(1, capacity))
{
    m_thread = new WriterThread([this] { run(); });
    m_thread->setObjectName(QStringLiteral("record writer"));
    m_thread->start();
}

RecordWriter::~RecordWriter()
{
    m_closed = true;
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_work.wakeAll();
    }
    // The writer empties its queue before it ends.
    m_thread->wait();
    delete m_thread;
}

RecordWriter::Ticket RecordWriter::append(const QString &path, const QByteArray &bytes)
{
    if (m_closed)
        return {0, refusedFile(path, tr("記錄已結束 (recording has ended)"))};
    QMutexLocker lock(&m_mutex);
    const auto waiting = qsizetype(m_queue.size()) + (m_writing ? 1 : 0);
    if (waiting >= m_capacity)
        return {0, refusedFile(path, tr("磁碟未及寫入，已有 %1 行等待 (the disk is not "
                                        "keeping up: %1 lines are waiting)")
                                         .arg(waiting))};
    m_queue.push_back({++m_accepted, path, bytes, {}});
    // Woken after the unlock: the writer does not wake only to wait for the
    // mutex this thread still holds.
    lock.unlock();
    m_work.wakeOne();
    return {m_accepted, {}};
}

RecordWriter::Ticket RecordWriter::appendLine(const QString &path, const QString &line)
{
    return append(path, encodeRecordLine(line));
}

int RecordWriter::waiting() const
{
    return int(m_accepted - m_reported);
}

void RecordWriter::close()
{
    m_closed = true;
    // Nothing accepted, or everything reported already: no line will call
    // deliver() again.
    if (m_reported == m_accepted)
        QMetaObject::invokeMethod(this, &RecordWriter::deliver, Qt::QueuedConnection);
}

bool RecordWriter::finish(int timeoutMs)
{
    close();
    const QDeadlineTimer deadline(timeoutMs);
    bool written;
    {
        QMutexLocker lock(&m_mutex);
        while ((!m_queue.empty() || m_writing) && m_written.wait(&m_mutex, deadline)) {
        }
        written = m_queue.empty() && !m_writing;
        if (written) {
            m_stop = true;
            m_work.wakeAll();
        }
    }
    if (written)
        m_thread->wait();
    deliver();
    return written;
}

void RecordWriter::run()
{
    QMutexLocker lock(&m_mutex);
    for (;;) {
        while (m_queue.empty() && !m_stop)
            m_work.wait(&m_mutex);
        if (m_queue.empty())
            return;
        Line line = std::move(m_queue.front());
        m_queue.pop_front();
        m_writing = true;
        lock.unlock();
        line.result = m_append(line.path, line.bytes);
        line.bytes = QByteArray();
        lock.relock();
        m_writing = false;
        m_done.push_back(std::move(line));
        m_written.wakeAll();
        // One call reports every line done by then; posted without the
        // mutex, which deliver() takes at once.
        if (!m_deliveryPosted) {
            m_deliveryPosted = true;
            lock.unlock();
            QMetaObject::invokeMethod(this, &RecordWriter::deliver, Qt::QueuedConnection);
            lock.relock();
        }
    }
}

void RecordWriter::deliver()
{
    {
        QMutexLocker lock(&m_mutex);
        std::move(m_done.begin(), m_done.end(), std::back_inserter(m_reporting));
        m_done.clear();
        m_deliveryPosted = false;
    }
    // A receiver may call finish() and so come back here: the lines still go
    // out one by one from the front, in order.
    while (!m_reporting.empty()) {
        const Line line = std::move(m_reporting.front());
        m_reporting.pop_front();
        m_reported = line.sequence;
        emit written(line.sequence, line.path, line.result);
    }
    if (m_closed && m_reported == m_accepted && !m_drainedSent) {
        m_drainedSent = true;
        emit drained();
    }
}

} // namespace kelmar
