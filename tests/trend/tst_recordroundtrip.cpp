// Lines written by the recorder are read back by the trend reader value for
// value: both sides take the record format from one place.
#include "clock.h"
#include "recorder.h"
#include "recordformat.h"
#include "recordreader.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace kelmar;

class TestRecordRoundTrip : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
};

void TestRecordRoundTrip::roundTrip_data()
{
    // Readings as the meters send them and the slot's divisor, turned into
    // the texts the recorder writes by the display's own formatting.
    QTest::addColumn<QStringList>("readings");
    QTest::addColumn<double>("divisor");
    QTest::addColumn<QTime>("start");
    QTest::newRow("every field empty (no meter answered)")
        << QStringList(RecordValueCount, QString()) << 1.0 << QTime(14, 5, 0);
    QTest::newRow("negative numbers") << QStringList{"-1", "-32768", "-5", "0", "-0", "-1", "-2",
                                                     "-3", "-4", "-5", "-6", "-7"}
                                      << 10.0 << QTime(14, 5, 0);
    QTest::newRow("four decimals") << QStringList{"1", "12345", "99999", "5", "10000", "123",
                                                  "-1", "2", "3", "4", "5", "6"}
                                   << 10000.0 << QTime(9, 0, 0);
    QTest::newRow("the widest values, 64-bit with four decimals")
        << QStringList(RecordValueCount, QStringLiteral("-9223372036854775808")) << 10000.0
        << QTime(0, 0, 0);
    QTest::newRow("one-value meters: every second field empty")
        << QStringList{"2200", "", "500", "", "16841711", "", "-5", "", "", "", "1", ""} << 10.0
        << QTime(23, 59, 58);
}

void TestRecordRoundTrip::roundTrip()
{
    QFETCH(QStringList, readings);
    QFETCH(double, divisor);
    QFETCH(QTime, start);
    QTemporaryDir dir;
    ManualClock clock(QDateTime(QDate(2025, 3, 6), start));
    Recorder recorder(clock, dir.path());
    QVERIFY(recorder.switchOn(QStringLiteral("rec/"), QStringLiteral("txt")).ok);

    QStringList captions;
    for (const QString &r : readings)
        captions.append(*formatReading(r, divisor));
    constexpr int Lines = 3;
    QList<QDateTime> times;
    for (int i = 0; i < Lines; ++i) {
        times.append(clock.now());
        QVERIFY(recorder.append(buildRecordLine(recordTimeText(clock.now()), captions)).ok);
        clock.advanceSeconds(1); // across midnight in the last row
    }

    const RecordFileData d =
        readRecordFile(recorder.filePath(), parseRecordStamp(recorder.stamp()));
    QVERIFY2(d.issues.isEmpty(), qPrintable(d.issues.value(0).text));
    QCOMPARE(d.series.size(), Lines);
    for (int i = 0; i < Lines; ++i) {
        QCOMPARE(qint64(d.series.times[i]), times[i].toSecsSinceEpoch());
        for (int k = 0; k < RecordValueCount; ++k) {
            const double read = d.series.values[size_t(k)][i];
            if (captions[k].isEmpty())
                QVERIFY2(std::isnan(read), qPrintable(QString::number(k)));
            else
                QCOMPARE(read, captions[k].toLatin1().toDouble());
        }
    }
}

QTEST_GUILESS_MAIN(TestRecordRoundTrip)
#include "tst_recordroundtrip.moc"
