#include "recordcache.h"

#include <QFileInfo>
#include <QMutexLocker>

namespace kelmar {

RecordCache::Entry RecordCache::get(const QString &path, const QDateTime &start)
{
    const QFileInfo fi(path);
    const qint64 size = fi.size();
    const QDateTime modified = fi.lastModified();
    {
        QMutexLocker lock(&m_mutex);
        auto it = m_items.find(path);
        if (it != m_items.end() && it->size == size && it->modified == modified) {
            it->used = ++m_useCount;
            return it->entry;
        }
    }
    // Parsed outside the lock: other workers go on meanwhile.
    RecordFileData d = readRecordFile(path, start);
    Entry e;
    e.lines = d.series.size();
    e.blocks = makeBlocks(d.series);
    e.issues = d.issues;
    d.series.clear();
    qint64 bytes = 0;
    for (const auto &b : e.blocks)
        bytes += b->bytes();

    QMutexLocker lock(&m_mutex);
    ++m_parses;
    if (!fi.isFile())
        return e; // nothing to keep for a missing file or a pipe
    auto old = m_items.find(path);
    if (old != m_items.end()) {
        m_bytes -= old->bytes;
        m_items.erase(old);
    }
    m_items.insert(path, Item{size, modified, e, bytes, ++m_useCount});
    m_bytes += bytes;
    while (m_bytes > m_maxBytes && m_items.size() > 1) {
        auto oldest = m_items.begin();
        for (auto i = m_items.begin(); i != m_items.end(); ++i)
            if (i->used < oldest->used)
                oldest = i;
        m_bytes -= oldest->bytes;
        m_items.erase(oldest);
    }
    return e;
}

qint64 RecordCache::bytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_bytes;
}

int RecordCache::files() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_items.size());
}

int RecordCache::parses() const
{
    QMutexLocker lock(&m_mutex);
    return m_parses;
}

} // namespace kelmar
