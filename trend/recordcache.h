#pragma once

#include "samplestore.h"

#include <QDateTime>
#include <QHash>
#include <QMutex>

namespace kelmar {

// Record files already parsed, kept compact, so that a span read again (a
// month opened twice, the hours beside a zoom) is not parsed again. A file
// whose size or modification time changed is read anew. Safe to use from
// several workers at once; the least recently used files go first when
// the cache outgrows its bound.
class RecordCache
{
public:
    struct Entry
    {
        Blocks blocks;
        QList<RecordIssue> issues;
        qint64 lines = 0;
    };

    explicit RecordCache(qint64 maxBytes = DefaultMaxBytes) : m_maxBytes(maxBytes) {}

    // The file's samples, parsed now or taken from the cache.
    Entry get(const QString &path, const QDateTime &start);

    qint64 bytes() const;
    int files() const;
    // A parse, not a cache hit: counted for tests and the benchmark.
    int parses() const;

    // Two months of one-second records fit.
    static constexpr qint64 DefaultMaxBytes = qint64(320) * 1024 * 1024;

private:
    struct Item
    {
        qint64 size = -1;
        QDateTime modified;
        Entry entry;
        qint64 bytes = 0;
        quint64 used = 0;
    };

    mutable QMutex m_mutex;
    QHash<QString, Item> m_items;
    qint64 m_maxBytes;
    qint64 m_bytes = 0;
    quint64 m_useCount = 0;
    int m_parses = 0;
};

} // namespace kelmar
