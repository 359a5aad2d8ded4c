#include "recordformat.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <cstring>
#include <QTest>

using namespace kelmar;

class TstRecordFormat : public QObject
{
    Q_OBJECT
private slots:
    // Readings must not take the system's decimal comma.
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void formatReading_data()
    {
        QTest::addColumn<QString>("reading");
        QTest::addColumn<double>("divisor");
        QTest::addColumn<QString>("shown"); // "<unchanged>" when the label is not written
        QTest::newRow("-42 with divisor 1") << "-42" << 1.0 << "-42";
        QTest::newRow("5 with 10000") << "5" << 10000.0 << "0.0005";
        QTest::newRow("-5 with 10") << "-5" << 10.0 << "-0.5";
        QTest::newRow("12345 with 100") << "12345" << 100.0 << "123.45";
        QTest::newRow("0 with 1000") << "0" << 1000.0 << "0.000";
        QTest::newRow("exact 64-bit with 1000")
            << "9223372036854775807" << 1000.0 << "9223372036854775.807";
        QTest::newRow("most negative 64-bit with 1")
            << "-9223372036854775808" << 1.0 << "-9223372036854775808";
        QTest::newRow("2^24+1 with 10") << "16777217" << 10.0 << "1677721.7";
        QTest::newRow("no reply gives empty") << "" << 100.0 << "";
        QTest::newRow("no reply with divisor 1") << "" << 1.0 << "";
        QTest::newRow("divisor 2.5 leaves the label") << "10" << 2.5 << "<unchanged>";
        QTest::newRow("divisor -1 leaves the label") << "10" << -1.0 << "<unchanged>";
        QTest::newRow("no reply, odd divisor") << "" << 2.5 << "<unchanged>";
    }
    void formatReading()
    {
        QFETCH(QString, reading);
        QFETCH(double, divisor);
        QFETCH(QString, shown);
        QCOMPARE(kelmar::formatReading(reading, divisor).value_or(QStringLiteral("<unchanged>")),
                 shown);
    }

    void recordLine_data()
    {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QString>("line");
        QStringList empty;
        for (int i = 0; i < 12; ++i)
            empty << QString();
        QTest::newRow("cleared display: time and twelve TABs")
            << empty << "14:05:07" + QString(12, u'\t');
        QStringList one = empty;
        one[0] = QStringLiteral("123.45");
        QTest::newRow("slot 1 only") << one << "14:05:07\t123.45" + QString(11, u'\t');
    }
    void recordLine()
    {
        QFETCH(QStringList, captions);
        QFETCH(QString, line);
        QCOMPARE(buildRecordLine(QStringLiteral("14:05:07"), captions), line);
        QCOMPARE(line.split(u'\t').size(), 13);
    }

    void texts()
    {
        const QDateTime t(QDate(2025, 3, 6), QTime(4, 5, 7));
        QCOMPARE(recordTimeText(t), QStringLiteral("04:05:07"));
        QCOMPARE(clockText(t), QStringLiteral("2025-03-06  04:05:07"));
        QCOMPARE(recordStamp(t), QStringLiteral("2025-03-06-0405"));
        QCOMPARE(recordFileName(QStringLiteral("D:\\log\\"), recordStamp(t), QStringLiteral("txt")),
                 QStringLiteral("D:\\log\\2025-03-06-0405.txt"));
        // The folder text is used exactly as typed.
        QCOMPARE(recordFileName(QStringLiteral("/var/log"), QStringLiteral("2025-03-06-1405"),
                                QStringLiteral("txt")),
                 QStringLiteral("/var/log2025-03-06-1405.txt"));
        QCOMPARE(clockText(QDateTime(QDate(2025, 3, 6), QTime(23, 0, 0))),
                 QStringLiteral("2025-03-06  23:00:00"));
    }

    void newFileDue_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("due");
        const QDate d(2025, 3, 6);
        QTest::newRow("same hour") << "2025-03-06-1059" << QDateTime(d, QTime(10, 59, 59)) << false;
        QTest::newRow("full hour") << "2025-03-06-1059" << QDateTime(d, QTime(11, 0, 0)) << true;
        QTest::newRow("midnight") << "2025-03-06-2340" << QDateTime(d.addDays(1), QTime(0, 0, 0))
                                  << true;
        QTest::newRow("slept through hours")
            << "2025-03-06-1005" << QDateTime(d, QTime(13, 20, 0)) << true;
        QTest::newRow("same hour next day")
            << "2025-03-06-1005" << QDateTime(d.addDays(1), QTime(10, 20, 0)) << true;
        QTest::newRow("clock set back")
            << "2025-03-06-1005" << QDateTime(d, QTime(9, 59, 0)) << true;
        QTest::newRow("no stamp") << "" << QDateTime(d, QTime(11, 0, 0)) << false;
        QTest::newRow("unreadable hour") << "2025-03-06-2505" << QDateTime(d, QTime(11, 0, 0))
                                         << false;
        QTest::newRow("no date") << "2025-02-30-1005" << QDateTime(d, QTime(11, 0, 0)) << false;
    }
    void newFileDue()
    {
        QFETCH(QString, stamp);
        QFETCH(QDateTime, now);
        QFETCH(bool, due);
        QCOMPARE(kelmar::newFileDue(stamp, now), due);
    }

    void intervalReachable_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("reachable");
        QTest::newRow("1") << 1.0 << true;
        QTest::newRow("5") << 5.0 << true;
        QTest::newRow("0") << 0.0 << false;
        QTest::newRow("2.5") << 2.5 << false;
        QTest::newRow("-3") << -3.0 << false;
    }
    void intervalReachable()
    {
        QFETCH(double, seconds);
        QFETCH(bool, reachable);
        QCOMPARE(recordIntervalReachable(seconds), reachable);
    }

    // A value field reads as the nearest double, bit for bit as the C++
    // library's conversion gives it, or is refused.
    void parseValue_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<bool>("ok");
        QTest::newRow("empty: no reading") << QByteArray() << true;
        for (const char *good : {"0", "-0", "123.45", "-5", "-5.1234", "16841711", "0.1", "1.1",
                                 "230.3", "49.99", "999999999999999", "12345678901.2345",
                                 "-922337203685477.5808", "1234567890123456", "1.", ".5", "-.5"})
            QTest::newRow(good) << QByteArray(good) << true;
        for (const char *bad : {"-", ".", "-.", "1e5", "12,5", " 1", "1 ", "+1", "1.2.3", "--1",
                                "\xae\xc9\xb6\xa1"}) // Big5 "時間"
            QTest::newRow(bad) << QByteArray(bad) << false;
    }
    void parseValue()
    {
        QFETCH(QByteArray, field);
        QFETCH(bool, ok);
        double value = 0;
        QCOMPARE(parseRecordValue(field, value), ok);
        double expected = 0;
        if (ok && field.isEmpty()) {
            QVERIFY(std::isnan(value));
        } else if (ok) {
            std::from_chars(field.constBegin(), field.constEnd(), expected);
            QCOMPARE(std::memcmp(&value, &expected, sizeof value), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TstRecordFormat)
#include "tst_recordformat.moc"
