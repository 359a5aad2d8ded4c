#include "samplestore.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelmar {

namespace {

constexpr double Gap = std::numeric_limits<double>::quiet_NaN();
constexpr qint32 Missing = std::numeric_limits<qint32>::min();
constexpr int MaxDecimals = 4;
constexpr double Tens[MaxDecimals + 1] = {1, 10, 100, 1000, 10000};

// The fewest decimals (up to four) that give v back exactly, or -1.
int decimalsOf(double v)
{
    for (int d = 0; d <= MaxDecimals; ++d) {
        const double x = v * Tens[d];
        if (!(std::abs(x) < 9.0e15))
            return -1;
        // Rounded through an integer: inline, unlike the library's rounding.
        // From 2^52 on every double is whole (and adding 0.5 could round up).
        const double m = std::abs(x) >= 4503599627370496.0
                             ? x
                             : double(qint64(x + (x < 0 ? -0.5 : 0.5)));
        if (m / Tens[d] == v)
            return d;
    }
    return -1;
}

// With fewer samples in view than this many per pixel, every sample is drawn.
constexpr int RawPerPixel = 4;

} // namespace

// --- SampleColumn ---------------------------------------------------------

SampleColumn SampleColumn::from(const QVector<double> &values, int first, int count)
{
    SampleColumn c;
    int decimals = 0;
    bool any = false, wide = false;
    for (int i = first; i < first + count; ++i) {
        const double v = values[i];
        if (std::isnan(v))
            continue;
        any = true;
        const int d = decimalsOf(v);
        if (d < 0) {
            wide = true;
            break;
        }
        decimals = std::max(decimals, d);
    }
    if (!any)
        return c; // a value never polled costs nothing
    if (!wide) {
        c.m_decimals = decimals;
        c.m_divisor = Tens[decimals];
        c.m_scaled.resize(count);
        for (int i = 0; i < count; ++i) {
            const double v = values[first + i];
            if (std::isnan(v)) {
                c.m_scaled[i] = Missing;
                continue;
            }
            const double m = std::nearbyint(v * c.m_divisor);
            if (m <= double(Missing) || m > double(std::numeric_limits<qint32>::max()) ||
                m / c.m_divisor != v) {
                wide = true;
                break;
            }
            c.m_scaled[i] = qint32(m);
        }
    }
    if (wide) {
        c.m_scaled.clear();
        c.m_decimals = 0;
        c.m_divisor = 1;
        c.m_wide = values.mid(first, count);
    }
    return c;
}

SampleColumn SampleColumn::joined(const SampleColumn &a, int aSize, const SampleColumn &b,
                                  int bSize)
{
    QVector<double> all;
    all.reserve(aSize + bSize);
    for (int i = 0; i < aSize; ++i)
        all.append(a.at(i));
    for (int i = 0; i < bSize; ++i)
        all.append(b.at(i));
    return from(all, 0, int(all.size()));
}

double SampleColumn::at(int i) const
{
    if (!m_scaled.isEmpty()) {
        const qint32 m = m_scaled[i];
        return m == Missing ? Gap : m / m_divisor;
    }
    return m_wide.isEmpty() ? Gap : m_wide[i];
}

bool SampleColumn::range(int from, int to, double &lo, double &hi) const
{
    // On the stored integers: no division per line.
    if (!m_scaled.isEmpty()) {
        qint32 a = std::numeric_limits<qint32>::max(), b = Missing;
        const qint32 *p = m_scaled.constData();
        for (int i = from; i < to; ++i) {
            const qint32 m = p[i];
            if (m == Missing)
                continue;
            a = std::min(a, m);
            b = std::max(b, m);
        }
        if (b == Missing)
            return false;
        lo = a / m_divisor;
        hi = b / m_divisor;
        return true;
    }
    bool found = false;
    for (int i = from; i < to && !m_wide.isEmpty(); ++i) {
        const double v = m_wide[i];
        if (std::isnan(v))
            continue;
        lo = found ? std::min(lo, v) : v;
        hi = found ? std::max(hi, v) : v;
        found = true;
    }
    return found;
}

// --- SampleBlock ----------------------------------------------------------

std::shared_ptr<const SampleBlock> SampleBlock::make(const RecordSeries &s, int first, int count)
{
    auto b = std::make_shared<SampleBlock>();
    b->m_base = std::floor(s.times[first]);
    b->m_offsets.resize(count);
    for (int i = 0; i < count; ++i)
        b->m_offsets[i] = qint32(std::llround(s.times[first + i] - b->m_base));
    for (int k = 0; k < RecordValueCount; ++k)
        b->m_columns[size_t(k)] = SampleColumn::from(s.values[size_t(k)], first, count);
    const int groups = (count + GroupRows - 1) / GroupRows;
    for (int k = 0; k < RecordValueCount; ++k) {
        if (!b->m_columns[size_t(k)].hasValues())
            continue;
        auto &lo = b->m_groupLo[size_t(k)];
        auto &hi = b->m_groupHi[size_t(k)];
        lo.fill(Gap, groups);
        hi.fill(Gap, groups);
        for (int i = 0; i < count; ++i) {
            const double v = b->value(k, i);
            if (std::isnan(v))
                continue;
            const int g = i / GroupRows;
            if (std::isnan(lo[g]) || v < lo[g])
                lo[g] = v;
            if (std::isnan(hi[g]) || v > hi[g])
                hi[g] = v;
        }
    }
    return b;
}

std::shared_ptr<const SampleBlock> SampleBlock::joined(const SampleBlock &a, const SampleBlock &b)
{
    RecordSeries s;
    s.reserve(a.size() + b.size());
    std::array<double, RecordValueCount> row{};
    for (const SampleBlock *x : {&a, &b})
        for (int i = 0; i < x->size(); ++i) {
            for (int k = 0; k < RecordValueCount; ++k)
                row[size_t(k)] = x->value(k, i);
            s.append(x->time(i), row);
        }
    return make(s, 0, s.size());
}

int SampleBlock::lowerBound(double t) const
{
    const double rel = t - m_base;
    if (rel <= std::numeric_limits<qint32>::min())
        return 0;
    if (rel > std::numeric_limits<qint32>::max())
        return size();
    const qint32 key = qint32(std::ceil(rel));
    return int(std::lower_bound(m_offsets.cbegin(), m_offsets.cend(), key) - m_offsets.cbegin());
}

bool SampleBlock::range(int k, int from, int to, double &lo, double &hi) const
{
    if (!hasValues(k) || from >= to)
        return false;
    bool found = false;
    auto take = [&](double a, double b) {
        if (std::isnan(a))
            return;
        if (!found || a < lo)
            lo = a;
        if (!found || b > hi)
            hi = b;
        found = true;
    };
    const SampleColumn &column = m_columns[size_t(k)];
    double a = 0, b = 0;
    // Lines up to the first whole group one by one, whole groups from their summary.
    const int headEnd = std::min(to, (from + GroupRows - 1) / GroupRows * GroupRows);
    if (column.range(from, headEnd, a, b))
        take(a, b);
    int i = headEnd;
    const auto &glo = m_groupLo[size_t(k)];
    const auto &ghi = m_groupHi[size_t(k)];
    while (i + GroupRows <= to) {
        take(glo[i / GroupRows], ghi[i / GroupRows]);
        i += GroupRows;
    }
    if (column.range(i, to, a, b))
        take(a, b);
    return found;
}

qint64 SampleBlock::bytes() const
{
    qint64 n = sizeof(*this) + m_offsets.size() * 4;
    for (int k = 0; k < RecordValueCount; ++k)
        n += m_columns[size_t(k)].bytes() + (m_groupLo[size_t(k)].size() * 16);
    return n;
}

Blocks makeBlocks(const RecordSeries &s)
{
    Blocks out;
    for (int first = 0; first < s.size(); first += RowsPerBlock)
        out.append(SampleBlock::make(s, first, std::min(RowsPerBlock, s.size() - first)));
    return out;
}

// --- Reduction ------------------------------------------------------------

qint64 countIn(const Blocks &blocks, double from, double to)
{
    qint64 n = 0;
    for (const auto &b : blocks) {
        if (b->lastTime() < from || b->firstTime() > to)
            continue;
        n += b->lowerBound(std::nextafter(to, HUGE_VAL)) - b->lowerBound(from);
    }
    return n;
}

namespace {

ReducedView rawView(const Blocks &blocks, double from, double to)
{
    ReducedView r;
    RecordSeries s;
    std::array<double, RecordValueCount> row{};
    auto add = [&](const SampleBlock &b, int i) {
        for (int k = 0; k < RecordValueCount; ++k)
            row[size_t(k)] = b.value(k, i);
        s.append(b.time(i), row);
    };
    // One sample either side of the span, so the curves reach its edges.
    SampleAt before, after;
    double beforeT = -HUGE_VAL, afterT = HUGE_VAL;
    for (int bi = 0; bi < blocks.size(); ++bi) {
        const SampleBlock &b = *blocks[bi];
        const int i0 = b.lowerBound(from);
        const int i1 = b.lowerBound(std::nextafter(to, HUGE_VAL));
        if (i0 > 0 && b.time(i0 - 1) > beforeT) {
            beforeT = b.time(i0 - 1);
            before = {bi, i0 - 1};
        }
        if (i1 < b.size() && b.time(i1) < afterT) {
            afterT = b.time(i1);
            after = {bi, i1};
        }
        for (int i = i0; i < i1; ++i) {
            add(b, i);
            for (int k = 0; k < RecordValueCount; ++k)
                r.hasData[size_t(k)] = r.hasData[size_t(k)] || !std::isnan(row[size_t(k)]);
        }
    }
    if (before.block >= 0)
        add(*blocks[before.block], before.line);
    if (after.block >= 0)
        add(*blocks[after.block], after.line);
    s.sortByTime();
    const RecordSeries shown = withTimeBreaks(s);
    for (int k = 0; k < RecordValueCount; ++k) {
        if (!r.hasData[size_t(k)])
            continue;
        r.keys[size_t(k)] = shown.times;
        r.values[size_t(k)] = shown.values[size_t(k)];
    }
    r.raw = true;
    return r;
}

} // namespace

namespace {

// Columns [firstColumn, pixels) of a per-pixel reduction, appended to the
// points of r kept for the columns before.
void reduceColumns(const Blocks &blocks, ReducedView &r, int firstColumn)
{
    const double from = r.from, to = r.to;
    const int pixels = r.pixels;
    // The lines of each pixel column, found once for all curves.
    struct Piece
    {
        int column, block, from, to;
    };
    QVector<Piece> pieces;
    const double width = (to - from) / pixels;
    const double start = from + firstColumn * width;
    for (int bi = 0; bi < blocks.size(); ++bi) {
        const SampleBlock &b = *blocks[bi];
        if (b.lastTime() < start || b.firstTime() > to)
            continue;
        const int c0 = std::clamp(int(std::floor((b.firstTime() - from) / width)), firstColumn,
                                  pixels - 1);
        const int c1 = std::clamp(int(std::floor((b.lastTime() - from) / width)), firstColumn,
                                  pixels - 1);
        int i0 = b.lowerBound(from + c0 * width);
        for (int c = c0; c <= c1; ++c) {
            const int i1 = c == pixels - 1 ? b.lowerBound(std::nextafter(to, HUGE_VAL))
                                           : b.lowerBound(from + (c + 1) * width);
            if (i1 > i0)
                pieces.append({c, bi, i0, i1});
            i0 = i1;
        }
    }
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const Piece &a, const Piece &b) { return a.column < b.column; });
    for (int k = 0; k < RecordValueCount; ++k) {
        auto &keys = r.keys[size_t(k)];
        auto &values = r.values[size_t(k)];
        // Empty columns after a value break the curve off, but only a value
        // after them draws the break: a span reaching past the newest line
        // ends in the line, not in a break.
        bool brokenOff = true;
        int gapColumn = -1;
        if (!keys.isEmpty() && !std::isnan(values.last())) {
            const int lastColumn = int(std::floor((keys.last() - from) / width));
            brokenOff = lastColumn < firstColumn - 1;
            gapColumn = brokenOff ? lastColumn + 1 : -1;
        }
        int p = 0;
        for (int c = firstColumn; c < pixels; ++c) {
            double lo = 0, hi = 0;
            bool found = false;
            for (; p < pieces.size() && pieces[p].column == c; ++p) {
                double a = 0, b = 0;
                if (blocks[pieces[p].block]->range(k, pieces[p].from, pieces[p].to, a, b)) {
                    lo = found ? std::min(lo, a) : a;
                    hi = found ? std::max(hi, b) : b;
                    found = true;
                }
            }
            const double key = from + (c + 0.5) * width;
            if (!found) {
                // A pixel column without a value: the curve breaks off.
                if (!brokenOff && !keys.isEmpty())
                    gapColumn = c;
                brokenOff = true;
                continue;
            }
            if (gapColumn >= 0) {
                keys.append(from + (gapColumn + 0.5) * width);
                values.append(Gap);
                gapColumn = -1;
            }
            keys.append(key);
            values.append(lo);
            if (hi != lo) {
                keys.append(key);
                values.append(hi);
            }
            brokenOff = false;
            r.hasData[size_t(k)] = true;
        }
    }
}

ReducedView emptyView(double from, double to, int pixels)
{
    ReducedView r;
    r.from = from;
    r.to = to;
    r.pixels = pixels;
    return r;
}

bool sameValues(const QVector<double> &a, const QVector<double> &b)
{
    return a.size() == b.size() &&
           std::equal(a.cbegin(), a.cend(), b.cbegin(), [](double x, double y) {
               return x == y || (std::isnan(x) && std::isnan(y));
           });
}

} // namespace

ReducedView reduce(const Blocks &blocks, double from, double to, int pixels)
{
    pixels = std::max(pixels, 1);
    if (!(to > from))
        to = from + 1;
    if (countIn(blocks, from, to) <= qint64(RawPerPixel) * pixels) {
        ReducedView r = rawView(blocks, from, to);
        r.from = from;
        r.to = to;
        r.pixels = pixels;
        return r;
    }
    ReducedView r = emptyView(from, to, pixels);
    reduceColumns(blocks, r, 0);
    return r;
}

ReducedView reduceChanged(const Blocks &blocks, const ReducedView &previous, double from,
                          double to, int pixels, double changedFrom)
{
    const int clampedPixels = std::max(pixels, 1);
    const bool sameSpan = previous.from == from && previous.to == to &&
                          previous.pixels == clampedPixels && to > from;
    if (!sameSpan || previous.raw ||
        countIn(blocks, from, to) <= qint64(RawPerPixel) * clampedPixels)
        return reduce(blocks, from, to, pixels);
    const double width = (to - from) / clampedPixels;
    const int firstColumn =
        changedFrom < from
            ? 0
            : int(std::min<double>(std::floor((changedFrom - from) / width), clampedPixels));
    ReducedView r = emptyView(from, to, clampedPixels);
    if (firstColumn == 0) {
        reduceColumns(blocks, r, 0);
        return r;
    }
    // The points of the columns before the change are kept as they were.
    const double keep = from + firstColumn * width;
    for (int k = 0; k < RecordValueCount; ++k) {
        const auto &keys = previous.keys[size_t(k)];
        const int n = int(std::lower_bound(keys.cbegin(), keys.cend(), keep) - keys.cbegin());
        r.keys[size_t(k)] = keys.first(n);
        r.values[size_t(k)] = previous.values[size_t(k)].first(n);
        const auto &kept = r.values[size_t(k)];
        r.hasData[size_t(k)] = previous.hasData[size_t(k)] &&
                               std::any_of(kept.cbegin(), kept.cend(),
                                           [](double v) { return !std::isnan(v); });
    }
    reduceColumns(blocks, r, firstColumn);
    r.unchanged = true;
    for (int k = 0; k < RecordValueCount && r.unchanged; ++k)
        r.unchanged = r.hasData[size_t(k)] == previous.hasData[size_t(k)] &&
                      sameValues(r.values[size_t(k)], previous.values[size_t(k)]) &&
                      r.keys[size_t(k)] == previous.keys[size_t(k)];
    return r;
}

SampleAt nearestSample(const Blocks &blocks, double t)
{
    SampleAt best;
    double bestDistance = HUGE_VAL;
    for (int bi = 0; bi < blocks.size(); ++bi) {
        const SampleBlock &b = *blocks[bi];
        const int i = b.lowerBound(t);
        for (int j : {i - 1, i}) {
            if (j < 0 || j >= b.size())
                continue;
            const double d = std::abs(b.time(j) - t);
            if (d < bestDistance) {
                bestDistance = d;
                best = {bi, j};
            }
        }
    }
    return best;
}

} // namespace kelmar
