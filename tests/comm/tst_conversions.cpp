#include "bitconversions.h"
#include "conversions.h"

#include <QTest>
#include <cmath>

using namespace kelmar;

class TstConversions : public QObject
{
    Q_OBJECT
private slots:
    void tenTo2_data()
    {
        QTest::addColumn<double>("n");
        QTest::addColumn<QString>("bits");
        QTest::newRow("0") << 0.0 << "0";
        QTest::newRow("1") << 1.0 << "1";
        QTest::newRow("2") << 2.0 << "10";
        QTest::newRow("5") << 5.0 << "101";
        QTest::newRow("8") << 8.0 << "1000";
        QTest::newRow("13") << 13.0 << "1101";
        QTest::newRow("15") << 15.0 << "1111";
        QTest::newRow("2.5 rounds to even 2") << 2.5 << "10";
        QTest::newRow("3.5 rounds to even 4") << 3.5 << "100";
        QTest::newRow("0.5 rounds to 0 below the top") << 0.5 << "00";
        QTest::newRow("largest 32-bit") << 2147483647.0 << QString(31, u'1');
        QTest::newRow("-1 keeps the remainder sign") << -1.0 << "0-1";
    }
    void tenTo2()
    {
        QFETCH(double, n);
        QFETCH(QString, bits);
        QCOMPARE(Ten_To_2(n), std::optional<QString>(bits));
    }

    void tenTo2Overflow_data()
    {
        QTest::addColumn<double>("n");
        QTest::newRow("2^31") << 2147483648.0;
        QTest::newRow("-2^31 - 1") << -2147483649.0;
        QTest::newRow("1e300") << 1e300;
        QTest::newRow("infinity") << double(INFINITY);
        QTest::newRow("NaN") << double(NAN);
    }
    void tenTo2Overflow()
    {
        QFETCH(double, n);
        QVERIFY(!Ten_To_2(n).has_value());
    }

    void bTo10_data()
    {
        QTest::addColumn<QString>("b");
        QTest::addColumn<quint64>("value");
        QTest::newRow("101") << "101" << quint64(5);
        QTest::newRow("fifteen zeros and a one") << QString(15, u'0') + u'1' << quint64(1);
        QTest::newRow("sixteen ones") << QString(16, u'1') << quint64(65535);
        QTest::newRow("empty") << "" << quint64(0);
        QTest::newRow("a 2 counts 2") << "2" << quint64(2);
        QTest::newRow("a letter counts 0") << "1x1" << quint64(5);
        QTest::newRow("2^24 + 1 exactly") << "1" + QString(23, u'0') + u'1' << quint64(16777217);
        QTest::newRow("64 ones") << QString(64, u'1') << quint64(0xFFFFFFFFFFFFFFFFull);
        QTest::newRow("leading zeros beyond 64") << QString(70, u'0') + u'1' << quint64(1);
    }
    void bTo10()
    {
        QFETCH(QString, b);
        QFETCH(quint64, value);
        QCOMPARE(B_to_10(b), std::optional<quint64>(value));
    }

    void bTo10Overflow_data()
    {
        QTest::addColumn<QString>("b");
        QTest::newRow("65 digits") << u'1' + QString(64, u'0');
        QTest::newRow("9 at the top of 64") << u'9' + QString(63, u'0');
        QTest::newRow("64 nines") << QString(64, u'9');
    }
    void bTo10Overflow()
    {
        QFETCH(QString, b);
        QVERIFY(!B_to_10(b).has_value());
    }

    void roundTrip()
    {
        // Every whole number up to 2^16, then a prime stride through to 2^24
        // and the neighbours of every power of two: each comes back exactly,
        // also above 2^24, where single precision would lose the low bits.
        // (The whole range takes minutes under the sanitizers.)
        QList<qint64> values;
        for (qint64 x = 0; x <= 65536; ++x)
            values << x;
        for (qint64 x = 65537; x <= 16777216; x += 251)
            values << x;
        for (int p = 1; p <= 31; ++p)
            values << (1LL << p) - 1 << (1LL << p) << (1LL << p) + 1;
        for (const qint64 x : values) {
            if (x > 2147483647)
                continue;
            const auto bits = Ten_To_2(double(x));
            if (!bits || B_to_10(*bits) != std::optional<quint64>(quint64(x)))
                QFAIL(qPrintable(QStringLiteral("round trip broke at %1").arg(x)));
        }
    }

    void hexToDec_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<int>("value");
        QTest::newRow("00") << "00" << 0;
        QTest::newRow("FF") << "FF" << 255;
        QTest::newRow("ff") << "ff" << 255;
        QTest::newRow("0a") << "0a" << 10;
        QTest::newRow("1234") << "1234" << 4660;
        QTest::newRow("1G: G keeps its place") << "1G" << 16;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("7FFFFFFF") << "7FFFFFFF" << 2147483647;
        QTest::newRow("zeros before the value") << "000000000001" << 1;
        QTest::newRow("blank keeps its place") << "1 " << 16;
    }
    void hexToDec()
    {
        QFETCH(QString, hex);
        QFETCH(int, value);
        QCOMPARE(HEX_to_DEC(hex), std::optional<qint32>(value));
    }

    void hexToDecOverflow_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::newRow("80000000") << "80000000";
        QTest::newRow("FFFFFFFF") << "FFFFFFFF";
        QTest::newRow("nine digits") << "100000000";
        QTest::newRow("a digit far to the left") << "1" + QString(300, u'0');
    }
    void hexToDecOverflow()
    {
        QFETCH(QString, hex);
        QVERIFY(!HEX_to_DEC(hex).has_value());
    }
};

QTEST_GUILESS_MAIN(TstConversions)
#include "tst_conversions.moc"
