#include "recordcache.h"
#include "recordfixture.h"
#include "samplestore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace kelmar;

namespace {

double epoch(const QDate &d, const QTime &t)
{
    return double(QDateTime(d, t).toSecsSinceEpoch());
}

int gaps(const QVector<double> &values)
{
    return int(std::count_if(values.cbegin(), values.cend(), [](double v) { return std::isnan(v); }));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Append) && f.write(bytes) == bytes.size();
}

} // namespace

class TestSampleStore : public QObject
{
    Q_OBJECT
private slots:
    void valuesKeptExactly_data();
    void valuesKeptExactly();
    void spikeVisibleInAMonth();
    void spans_data();
    void spans();
    void appendedLines_data();
    void appendedLines();
    void cacheParsesOnce();
};

void TestSampleStore::valuesKeptExactly_data()
{
    QTest::addColumn<QList<double>>("values");
    const double gap = std::nan("");
    QTest::newRow("one decimal") << QList<double>{220.0, 220.1, gap, -0.5};
    QTest::newRow("four decimals") << QList<double>{-0.0005, 1.2345, 214748.3647};
    QTest::newRow("counter above 2^24") << QList<double>{16841711, 16841712, 16777217};
    QTest::newRow("too wide for 32 bits") << QList<double>{9223372036854775.0, -1.5, 0.1};
    QTest::newRow("more decimals than a reading has") << QList<double>{1.0 / 3, 2.5};
    QTest::newRow("only gaps") << QList<double>{gap, gap};
}

void TestSampleStore::valuesKeptExactly()
{
    QFETCH(QList<double>, values);
    RecordSeries s;
    std::array<double, RecordValueCount> row;
    row.fill(std::nan(""));
    for (int i = 0; i < values.size(); ++i) {
        row[5] = values[i];
        s.append(1000 + i, row);
    }
    const Blocks b = makeBlocks(s);
    QCOMPARE(b.size(), 1);
    for (int i = 0; i < values.size(); ++i) {
        QCOMPARE(b[0]->time(i), 1000.0 + i);
        if (std::isnan(values[i]))
            QVERIFY(std::isnan(b[0]->value(5, i)));
        else
            QCOMPARE(b[0]->value(5, i), values[i]);
        QVERIFY(std::isnan(b[0]->value(0, i)));
    }
}

void TestSampleStore::spikeVisibleInAMonth()
{
    // 31 days at one line a second, one hour a block as the files give them:
    // a one-second spike up on value 1 and down on value 2.
    const QDate first(2025, 1, 1);
    const double t0 = epoch(first, QTime(0, 0));
    const int spikeAt = 17 * 86400 + 5 * 3600 + 1234;
    Blocks blocks;
    std::array<double, RecordValueCount> row;
    row.fill(std::nan(""));
    for (int h = 0; h < 31 * 24; ++h) {
        RecordSeries s;
        s.reserve(3600);
        for (int i = 0; i < 3600; ++i) {
            const int n = h * 3600 + i;
            row[0] = n == spikeAt ? 999.9 : 230.0 + (n % 7) * 0.1;
            row[1] = n == spikeAt ? -50 : 50;
            s.append(t0 + n, row);
        }
        blocks += makeBlocks(s);
    }
    constexpr int Pixels = 1000;
    const ReducedView v = reduce(blocks, t0, t0 + 31 * 86400.0, Pixels);
    QVERIFY(!v.raw);
    QVERIFY(v.keys[0].size() <= 2 * Pixels);
    QCOMPARE(*std::max_element(v.values[0].cbegin(), v.values[0].cend()), 999.9);
    QCOMPARE(*std::min_element(v.values[1].cbegin(), v.values[1].cend()), -50.0);
    QCOMPARE(gaps(v.values[0]), 0);
    QVERIFY(v.hasData[0] && v.hasData[1] && !v.hasData[2]);
    // The spike sits in its own pixel column.
    const int column = int(spikeAt / (31 * 86400.0 / Pixels));
    const qsizetype at = std::find(v.values[0].cbegin(), v.values[0].cend(), 999.9) -
                         v.values[0].cbegin();
    QCOMPARE(int((v.keys[0][at] - t0) / (31 * 86400.0 / Pixels)), column);
}

void TestSampleStore::spans_data()
{
    // Records 23:00 to 00:59:59 in one file (it crossed midnight), none from
    // 01:00 to 02:00, then 02:00 to 02:59:59.
    QTest::addColumn<QTime>("from");
    QTest::addColumn<int>("fromDay"); // 0: 2025-03-06, 1: the day after
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("raw");
    QTest::addColumn<int>("points"); // -1: not counted
    QTest::addColumn<int>("breaks"); // of value 1, which has no empty field
    QTest::newRow("four hours: one break for the missing hour")
        << QTime(23, 0) << 0 << 4 * 3600 << 600 << false << -1 << 1;
    QTest::newRow("across midnight, zoomed in: every second, no break")
        << QTime(23, 59, 50) << 0 << 20 << 600 << true << 21 + 2 << 0;
    QTest::newRow("across the missing hour, zoomed in: every second, one break")
        << QTime(0, 59, 0) << 1 << 3720 << 600 << true << 60 + 61 + 2 + 1 << 1;
    QTest::newRow("within the missing hour: no line bridges it")
        << QTime(1, 10) << 1 << 600 << 600 << true << 0 << 0;
}

void TestSampleStore::spans()
{
    QFETCH(QTime, from);
    QFETCH(int, fromDay);
    QFETCH(int, seconds);
    QFETCH(int, pixels);
    QFETCH(bool, raw);
    QFETCH(int, points);
    QFETCH(int, breaks);
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("2025-03-06-2300.txt"));
    const QString b = dir.filePath(QStringLiteral("2025-03-07-0200.txt"));
    QVERIFY(writeFile(a, test::recordLines(QTime(23, 0), 7200, 100)));
    QVERIFY(writeFile(b, test::recordLines(QTime(2, 0), 3600)));
    Blocks blocks = makeBlocks(readRecordFile(a, recordFileStart(a)).series);
    blocks += makeBlocks(readRecordFile(b, recordFileStart(b)).series);
    QCOMPARE(blocks.last()->lastTime(), epoch(QDate(2025, 3, 7), QTime(2, 59, 59)));

    const double t = epoch(QDate(2025, 3, 6).addDays(fromDay), from);
    const ReducedView v = reduce(blocks, t, t + seconds, pixels);
    QCOMPARE(v.raw, raw);
    if (points >= 0)
        QCOMPARE(int(v.keys[0].size()), points);
    QCOMPARE(gaps(v.values[0]), breaks);
    QVERIFY(std::is_sorted(v.keys[0].cbegin(), v.keys[0].cend()));
}

// Lines appended while following are reduced only from their pixel column
// on; the result must be the whole reduction's, point for point.
void TestSampleStore::appendedLines_data()
{
    QTest::addColumn<int>("before");   // lines already reduced
    QTest::addColumn<int>("appended"); // lines added after them
    QTest::addColumn<int>("pause");    // seconds without lines between
    QTest::addColumn<bool>("unchanged");
    QTest::newRow("a line into the newest column") << 20000 << 1 << 0 << false;
    QTest::newRow("a minute after a pause: a break, then the line") << 20000 << 60 << 3000 << false;
    QTest::newRow("nothing new") << 20000 << 0 << 0 << true;
    QTest::newRow("few lines: every sample") << 300 << 5 << 0 << false;
}

void TestSampleStore::appendedLines()
{
    QFETCH(int, before);
    QFETCH(int, appended);
    QFETCH(int, pause);
    QFETCH(bool, unchanged);
    const double t0 = epoch(QDate(2025, 3, 6), QTime(0, 0));
    RecordSeries old, added;
    std::array<double, RecordValueCount> row;
    for (int i = 0; i < before + appended; ++i) {
        row.fill(std::nan(""));
        row[0] = (i * 7919) % 1000 / 10.0; // noisy
        row[1] = i % 5000 < 4000 ? i : std::nan(""); // a rising line with gaps
        (i < before ? old : added).append(t0 + i + (i < before ? 0 : pause), row);
    }
    const Blocks first = makeBlocks(old);
    const Blocks all = first + makeBlocks(added);
    const double to = t0 + 30000 + pause;
    const ReducedView previous = reduce(first, t0, to, 500);
    const double changed = appended > 0 ? added.times.first() : HUGE_VAL;
    const ReducedView v = reduceChanged(all, previous, t0, to, 500, changed);
    const ReducedView whole = reduce(all, t0, to, 500);
    QCOMPARE(v.unchanged, unchanged);
    QCOMPARE(v.raw, whole.raw);
    for (int k : {0, 1, 2}) {
        QCOMPARE(v.hasData[size_t(k)], whole.hasData[size_t(k)]);
        QCOMPARE(v.keys[size_t(k)], whole.keys[size_t(k)]);
        QCOMPARE(gaps(v.values[size_t(k)]), gaps(whole.values[size_t(k)]));
        for (int i = 0; i < v.values[size_t(k)].size(); ++i)
            QVERIFY(v.values[size_t(k)][i] == whole.values[size_t(k)][i] ||
                    std::isnan(whole.values[size_t(k)][i]));
    }
}

void TestSampleStore::cacheParsesOnce()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("2025-03-06-1400.txt"));
    QVERIFY(writeFile(path, test::recordLines(QTime(14, 0), 100)));
    RecordCache cache;
    QCOMPARE(cache.get(path, recordFileStart(path)).lines, 100);
    QCOMPARE(cache.get(path, recordFileStart(path)).lines, 100);
    QCOMPARE(cache.parses(), 1);
    // A file that grew is read anew.
    QVERIFY(writeFile(path, test::recordLines(QTime(14, 1, 40), 10)));
    QCOMPARE(cache.get(path, recordFileStart(path)).lines, 110);
    QCOMPARE(cache.parses(), 2);
    QVERIFY(cache.bytes() > 0 && cache.bytes() < 110 * 64);
}

QTEST_GUILESS_MAIN(TestSampleStore)
#include "tst_samplestore.moc"
