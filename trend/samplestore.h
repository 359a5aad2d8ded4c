#pragma once

#include "recordreader.h"

#include <QVector>
#include <array>
#include <memory>

// Record values kept compact in memory, and their reduction to what a plot
// of a given width can show. No widgets: everything here runs on workers.
namespace kelmar {

// One value of every line of a block. Readings have at most four decimals,
// so most fit a 32-bit integer scaled by 10^decimals exactly (half the size
// of a double); a column that does not fit keeps doubles.
class SampleColumn
{
public:
    static SampleColumn from(const QVector<double> &values, int first, int count);
    static SampleColumn joined(const SampleColumn &a, int aSize, const SampleColumn &b, int bSize);

    double at(int i) const;
    // Least and greatest value of lines [from, to); false when all are gaps.
    bool range(int from, int to, double &lo, double &hi) const;
    bool hasValues() const { return !m_scaled.isEmpty() || !m_wide.isEmpty(); }
    qint64 bytes() const { return m_scaled.size() * 4 + m_wide.size() * 8; }

private:
    QVector<qint32> m_scaled; // value * 10^m_decimals, or Missing
    QVector<double> m_wide;   // used instead when a value does not fit
    int m_decimals = 0;
    double m_divisor = 1;
};

// Consecutive lines of one file, in time order, with the least and greatest
// value of every group of lines, so that a month is reduced without
// visiting each of its 2.7 million lines.
class SampleBlock
{
public:
    // Lines [first, first + count) of a series sorted by time.
    static std::shared_ptr<const SampleBlock> make(const RecordSeries &s, int first, int count);
    static std::shared_ptr<const SampleBlock> joined(const SampleBlock &a, const SampleBlock &b);

    static constexpr int GroupRows = 64;

    int size() const { return int(m_offsets.size()); }
    double time(int i) const { return m_base + m_offsets[i]; }
    double firstTime() const { return time(0); }
    double lastTime() const { return time(size() - 1); }
    double value(int k, int i) const { return m_columns[size_t(k)].at(i); }
    bool hasValues(int k) const { return m_columns[size_t(k)].hasValues(); }
    // First line at or after the time.
    int lowerBound(double t) const;
    // Least and greatest value of column k over lines [from, to); false when all are gaps.
    bool range(int k, int from, int to, double &lo, double &hi) const;
    qint64 bytes() const;

private:
    double m_base = 0;          // seconds since the epoch
    QVector<qint32> m_offsets;  // seconds after m_base (a file spans an hour)
    std::array<SampleColumn, RecordValueCount> m_columns;
    // Per group of GroupRows lines and column: least and greatest value, NaN for all gaps.
    std::array<QVector<double>, RecordValueCount> m_groupLo, m_groupHi;
};

using Blocks = QVector<std::shared_ptr<const SampleBlock>>;

// Cuts a series (sorted by time) into blocks of at most RowsPerBlock lines.
Blocks makeBlocks(const RecordSeries &s);
constexpr int RowsPerBlock = 4096;

// What the plot draws: per curve, times and values, NaN for a break.
struct ReducedView
{
    double from = 0, to = 0; // the span asked for
    int pixels = 0;
    bool raw = false; // every sample in view, not a reduction
    // Made anew from changed samples, yet equal to the view before it: nothing to redraw.
    bool unchanged = false;
    std::array<QVector<double>, RecordValueCount> keys, values;
    std::array<bool, RecordValueCount> hasData{};
};

// Reduces the samples in [from, to] of time-ordered blocks to at most two
// points (least and greatest) per pixel column and curve, so a one-second
// spike stays visible in a month; with few samples in view, every sample.
// Breaks (NaN) where recording paused or a field was empty.
ReducedView reduce(const Blocks &blocks, double from, double to, int pixels);

// The same for samples that changed only from `changedFrom` on (lines
// appended while following): when `previous` is a reduction of the same span
// and width, the pixel columns before that time are taken from it and only
// the rest is reduced again. Otherwise a whole reduction.
ReducedView reduceChanged(const Blocks &blocks, const ReducedView &previous, double from,
                          double to, int pixels, double changedFrom);

// Number of samples in [from, to].
qint64 countIn(const Blocks &blocks, double from, double to);

// The sample nearest to t: its block and line, or {-1, -1}.
struct SampleAt
{
    int block = -1;
    int line = -1;
};
SampleAt nearestSample(const Blocks &blocks, double t);

} // namespace kelmar
