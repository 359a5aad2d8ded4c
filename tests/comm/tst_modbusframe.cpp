#include "modbusframe.h"
#include "replycheck.h"

#include <QLocale>
#include <QTest>
#include <limits>

using namespace kelmar;

Q_DECLARE_METATYPE(kelmar::ReplyStatus)
Q_DECLARE_METATYPE(kelmar::FrameFind)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A frame with its CRC appended.
QByteArray framed(const char *text)
{
    return withCrc(hex(text));
}

} // namespace

// Also registered to run under a decimal-comma locale: nothing here may
// depend on the number format of the machine.
class TstModbusFrame : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qInfo("locale %s, decimal point '%s'", qPrintable(QLocale().name()),
              qPrintable(QLocale().decimalPoint()));
    }

    void crc_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("crcOnWire");
        // Expected values from a table-driven CRC-16/MODBUS in Python
        // (a different method from the bitwise one under test); the
        // "123456789" row is the published check value 0x4B37 of the CRC
        // catalogue (RevEng, CRC-16/MODBUS).
        QTest::newRow("01 03 00 00 00 02") << hex("010300000002") << hex("C40B");
        QTest::newRow("01 03 00 00 00 01") << hex("010300000001") << hex("840A");
        QTest::newRow("01 03 00 0A 00 01") << hex("0103000A0001") << hex("A408");
        QTest::newRow("11 03 00 00 00 01") << hex("110300000001") << hex("869A");
        QTest::newRow("F7 03 00 10 00 02") << hex("F70300100002") << hex("D158");
        QTest::newRow("00 03 00 00 00 01") << hex("000300000001") << hex("85DB");
        QTest::newRow("01 04 00 00 00 01") << hex("010400000001") << hex("31CA");
        QTest::newRow("FF 03 FF FF FF FF") << hex("FF03FFFFFFFF") << hex("5180");
        QTest::newRow("00 00 00 00 00") << hex("0000000000") << hex("2400");
        QTest::newRow("01") << hex("01") << hex("7E80");
        QTest::newRow("empty") << QByteArray() << hex("FFFF");
        QTest::newRow("31 32 33 34 35 36 37 38 39") << QByteArray("123456789") << hex("374B");
        QTest::newRow("01 03 02 00 04") << hex("0103020004") << hex("B987");
        QTest::newRow("01 03 04 00 00 04 D2") << hex("010304000004D2") << hex("78AE");
        QTest::newRow("01 03 02 FF FE") << hex("010302FFFE") << hex("7834");
        QTest::newRow("01 03 02 80 00") << hex("0103028000") << hex("D984");
        QTest::newRow("01 03 02 7F FF") << hex("0103027FFF") << hex("D834");
        QTest::newRow("01 03 04 01 00 00 01") << hex("01030401000001") << hex("3A0F");
        QTest::newRow("01 83 02") << hex("018302") << hex("C0F1");
    }
    void crc()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, crcOnWire);
        const quint16 value = crc16(frame);
        QByteArray low(1, char(value & 0xFF));
        QCOMPARE(low + char(value >> 8), crcOnWire);
        QCOMPARE(withCrc(frame), frame + crcOnWire);
    }

    void request_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("frame");
        auto row = [](const char *name, QStringList texts, const char *frame) {
            QTest::newRow(name) << texts << withCrc(hex(frame));
        };
        QTest::newRow("1 3 00 00 00 02")
            << QStringList{"1", "3", "00", "00", "00", "02"} << hex("010300000002C40B");
        row("slave 300 sends address 0", {"300", "3", "00", "00", "00", "01"}, "000300000001");
        row("slave 255", {"255", "3", "00", "00", "00", "01"}, "FF0300000001");
        row("slave 256 is 0", {"256", "3", "00", "00", "00", "01"}, "000300000001");
        row("slave -1 is 0", {"-1", "3", "00", "00", "00", "01"}, "000300000001");
        row("empty slave is 0", {"", "3", "00", "00", "00", "01"}, "000300000001");
        row("letters are 0", {"abc", "3", "00", "00", "00", "01"}, "000300000001");
        row("blanks around the id", {" 7 ", "3", "00", "00", "00", "01"}, "070300000001");
        row("2.5 rounds to even 2", {"2.5", "3", "00", "00", "00", "01"}, "020300000001");
        row("3.5 rounds to even 4", {"3.5", "3", "00", "00", "00", "01"}, "040300000001");
        row("decimal comma is not a number", {"2,5", "3", "00", "00", "00", "01"}, "000300000001");
        row("hex in either case", {"1", "3", "0a", "FF", "00", "01"}, "01030AFF0001");
        row("1G is 16", {"1", "3", "1G", "00", "00", "01"}, "010310000001");
        row("hex above 255 is 0", {"1", "3", "100", "00", "00", "01"}, "010300000001");
        row("hex overflow is 0", {"1", "3", "80000000", "00", "00", "01"}, "010300000001");
        row("function 4", {"1", "4", "00", "00", "00", "01"}, "010400000001");
    }
    void request()
    {
        QFETCH(QStringList, texts);
        QFETCH(QByteArray, frame);
        const QByteArray built =
            buildRequest(texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]);
        QCOMPARE(built.toHex(' '), frame.toHex(' '));
    }

    void check_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<ReplyStatus>("status");
        QTest::addColumn<int>("exceptionCode");
        const QByteArray one = framed("010300000001");
        const QByteArray two = framed("010300000002");
        QTest::newRow("01 03 02 04 D2: ok") << one << framed("01030204D2") << ReplyStatus::Ok << 0;
        QTest::newRow("nothing: no reply") << one << QByteArray() << ReplyStatus::NoReply << 0;
        QTest::newRow("01 03 02 12: short") << one << hex("01030212") << ReplyStatus::Short << 0;
        QTest::newRow("01 03: short") << one << hex("0103") << ReplyStatus::Short << 0;
        QTest::newRow("01 03 04 ... for 2 registers, 1 byte missing")
            << two << framed("010304000004D2").left(8) << ReplyStatus::Short << 0;
        QTest::newRow("a second reply behind: too long")
            << one << framed("01030204D2") + framed("0103020005") << ReplyStatus::TooLong << 0;
        QTest::newRow("01 03 02 04 D2 with a bad CRC")
            << one << hex("01030204D20000") << ReplyStatus::BadCrc << 0;
        QTest::newRow("02 03 02 04 D2: wrong slave")
            << one << framed("02030204D2") << ReplyStatus::WrongSlave << 0;
        QTest::newRow("garbage before the frame")
            << one << hex("FF0055") + framed("01030204D2") << ReplyStatus::Short << 0;
        QTest::newRow("01 04 02 04 D2: wrong function")
            << one << framed("01040204D2") << ReplyStatus::WrongFunction << 0;
        QTest::newRow("01 84 02: another function's exception")
            << one << framed("018402") << ReplyStatus::WrongFunction << 0;
        QTest::newRow("01 03 04 ... for 1 register: bad byte count")
            << one << framed("010304000004D2") << ReplyStatus::BadByteCount << 0;
        QTest::newRow("01 83 02: exception 2")
            << one << framed("018302") << ReplyStatus::Exception << 2;
        QTest::newRow("01 83 04: exception 4")
            << one << framed("018304") << ReplyStatus::Exception << 4;
        QTest::newRow("01 83 02 with a bad CRC")
            << one << hex("0183020000") << ReplyStatus::BadCrc << 0;
    }
    void check()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(ReplyStatus, status);
        QFETCH(int, exceptionCode);
        const ReplyCheck result = checkReply(request, reply);
        QCOMPARE(result.status, status);
        QCOMPARE(int(result.exceptionCode), exceptionCode);
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qint64>("value");
        QTest::newRow("04 D2") << hex("04D2") << qint64(1234);
        QTest::newRow("00 00 04 D2") << hex("000004D2") << qint64(1234);
        QTest::newRow("FF FE") << hex("FFFE") << qint64(-2);
        QTest::newRow("80 00") << hex("8000") << qint64(-32768);
        QTest::newRow("7F FF") << hex("7FFF") << qint64(32767);
        QTest::newRow("00 00") << hex("0000") << qint64(0);
        QTest::newRow("FF FF") << hex("FFFF") << qint64(-1);
        QTest::newRow("01 00 00 01: 2^24 + 1 exactly") << hex("01000001") << qint64(16777217);
        QTest::newRow("FF FF FF FF") << hex("FFFFFFFF") << qint64(-1);
        QTest::newRow("80 00 00 00") << hex("80000000") << Q_INT64_C(-2147483648);
        QTest::newRow("01 23 45 67 89 AB CD EF: every digit")
            << hex("0123456789ABCDEF") << Q_INT64_C(81985529216486895);
        QTest::newRow("7F FF FF FF FF FF FF FF")
            << hex("7FFFFFFFFFFFFFFF") << std::numeric_limits<qint64>::max();
        QTest::newRow("80 00 00 00 00 00 00 00")
            << hex("8000000000000000") << std::numeric_limits<qint64>::min();
        QTest::newRow("00 03 8D 7E A4 C6 80 00: 10^15, no exponent")
            << hex("00038D7EA4C68000") << Q_INT64_C(1000000000000000);
        QTest::newRow("FF FF 80 00 00 00: three registers")
            << hex("FFFF80000000") << Q_INT64_C(-2147483648);
        QTest::newRow("five registers: the first four count")
            << hex("00000000000000FF1234") << qint64(255);
        QTest::newRow("no registers") << QByteArray() << qint64(0);
    }
    void decode()
    {
        QFETCH(QByteArray, data);
        QFETCH(qint64, value);
        QCOMPARE(decodeRegisters(data), value);
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        const QByteArray one = framed("010300000001");
        const QByteArray two = framed("010300000002");
        QTest::newRow("01 03 04 00 00 04 D2") << two << framed("010304000004D2") << "1234";
        QTest::newRow("01 03 02 FF FE") << one << framed("010302FFFE") << "-2";
        QTest::newRow("01 03 04 01 00 00 01") << two << framed("01030401000001") << "16777217";
        QTest::newRow("short 01 03 02 12 is not 4626") << one << hex("01030212") << "";
        QTest::newRow("exception") << one << framed("018302") << "";
        QTest::newRow("nothing") << one << QByteArray() << "";
        QTest::newRow("01 03 00 for count 0") << framed("010300000000") << framed("010300") << "0";
    }
    void reading()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        QCOMPARE(replyReading(request, reply), text);
    }

    // The reply to "01 03 00 00 00 01" (or to 2 registers) among what
    // arrived: where it is, or what to skip first and why.
    void search_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<FrameFind>("find");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("length");
        QTest::addColumn<ReplyStatus>("status");
        const QByteArray one = framed("010300000001");
        const QByteArray two = framed("010300000002");
        const QByteArray reply = framed("01030204D2");
        auto row = [](const QByteArray &request, const QByteArray &bytes, FrameFind find,
                      int offset, int length, ReplyStatus status) {
            QTest::newRow(bytes.toHex(' ').constData())
                << request << bytes << find << offset << length << status;
        };
        const FrameFind Whole = FrameFind::Whole, More = FrameFind::NeedMore,
                        Skip = FrameFind::Skip;
        row(one, reply, Whole, 0, 7, ReplyStatus::Ok);
        row(one, reply + framed("0103020005"), Whole, 0, 7, ReplyStatus::Ok);
        row(one, framed("018302"), Whole, 0, 5, ReplyStatus::Exception);
        row(one, QByteArray(), More, 0, 0, ReplyStatus::NoReply);
        row(one, hex("01"), More, 0, 0, ReplyStatus::Short);
        row(one, reply.left(6), More, 0, 0, ReplyStatus::Short);
        row(one, hex("0183"), More, 0, 0, ReplyStatus::Short);
        // Noise and other requests' frames before the reply cost nothing.
        row(one, hex("FF0055") + reply, Whole, 3, 7, ReplyStatus::Ok);
        row(one, framed("03030400000001") + reply, Whole, 9, 7, ReplyStatus::Ok);
        row(one, framed("010304000004D2") + reply, Whole, 9, 7, ReplyStatus::Ok);
        row(two, framed("0103020005") + framed("010304000004D2"), Whole, 7, 9, ReplyStatus::Ok);
        row(one, hex("0103") + reply, Whole, 2, 7, ReplyStatus::Ok);
        // Without the reply behind them, what lies in front is skipped.
        row(one, hex("FF0055"), Skip, 0, 1, ReplyStatus::Noise);
        row(one, hex("00"), Skip, 0, 1, ReplyStatus::Noise);
        row(one, hex("0107"), Skip, 0, 1, ReplyStatus::Noise);
        row(one, framed("02030204D2"), Skip, 0, 7, ReplyStatus::WrongSlave);
        row(one, framed("028302") + reply.left(2), Skip, 0, 5, ReplyStatus::WrongSlave);
        row(one, framed("010304000004D2"), Skip, 0, 9, ReplyStatus::BadByteCount);
        row(one, framed("01040204D2"), Skip, 0, 7, ReplyStatus::WrongFunction);
        row(one, framed("018402"), Skip, 0, 5, ReplyStatus::WrongFunction);
        row(one, hex("01030204D20000"), Skip, 0, 7, ReplyStatus::BadCrc);
        row(one, hex("0183020000"), Skip, 0, 5, ReplyStatus::BadCrc);
        row(one, hex("02030204D20000"), Skip, 0, 1, ReplyStatus::Noise);
        // A request whose function has the top bit set gets no exception reply.
        row(framed("9090FF90FF90"), framed("90909C"), Skip, 0, 5, ReplyStatus::WrongFunction);
        // Another slave's frame still arriving: wait for it.
        row(one, framed("03030400000001").left(5), More, 0, 0, ReplyStatus::Short);
        // 200 registers do not fit in one reply; the exception still ends the wait.
        row(framed("0103000000C8"), framed("018303"), Whole, 0, 5, ReplyStatus::Exception);
    }
    void search()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, bytes);
        QFETCH(FrameFind, find);
        QFETCH(int, offset);
        QFETCH(int, length);
        QFETCH(ReplyStatus, status);
        const FrameSearch found = findReply(request, bytes);
        QCOMPARE(found.find, find);
        QCOMPARE(found.check.status, status);
        QCOMPARE(int(found.offset), offset);
        QCOMPARE(int(found.length), length);
        if (find == FrameFind::Whole)
            QCOMPARE(checkReply(request, bytes.mid(offset, length)), found.check);
    }

    void moreTellingOrder()
    {
        // From least to most telling; each beats all before it, either way round.
        const QList<ReplyStatus> order = {ReplyStatus::NoReply,      ReplyStatus::Noise,
                                          ReplyStatus::Short,        ReplyStatus::WrongSlave,
                                          ReplyStatus::BadByteCount, ReplyStatus::BadCrc,
                                          ReplyStatus::Exception};
        for (int i = 0; i < order.size(); ++i)
            for (int j = 0; j < i; ++j) {
                QCOMPARE(moreTelling({order[j]}, {order[i]}).status, order[i]);
                QCOMPARE(moreTelling({order[i]}, {order[j]}).status, order[i]);
            }
    }
};

QTEST_GUILESS_MAIN(TstModbusFrame)
#include "tst_modbusframe.moc"
