#include "modbusmaster.h"
#include "networkport.h"
#include "valuedecode.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "hostprocess.h"

using namespace kelmar;

namespace {

// Each value as pymodbus packs it (tests/comm/typedpeer.py: the peer's own
// float and word-order code, not ours), read back through the master and
// decoded as a models.ini value would be.
struct Row
{
    const char *name;
    int function;
    ValueType type;
    WordOrder order;
    const char *written; // the value the peer packs
    int places;
    const char *shown; // "" for an invalid value
};
using T = ValueType;
using O = WordOrder;
const Row Rows[] = {
    {"int16 ABCD negative", 3, T::Int16, O::ABCD, "-12345", 0, "-12345"},
    {"int16 BADC, 2 places", 3, T::Int16, O::BADC, "-2", 2, "-0.02"},
    {"uint16 40000 is no negative number", 3, T::UInt16, O::ABCD, "40000", 1, "4000.0"},
    {"int32 CDAB", 3, T::Int32, O::CDAB, "-2000000001", 0, "-2000000001"},
    {"uint32 3000000000 counter", 3, T::UInt32, O::ABCD, "3000000000", 0, "3000000000"},
    {"uint32 DCBA", 3, T::UInt32, O::DCBA, "4294967295", 3, "4294967.295"},
    {"int64 BADC most negative", 3, T::Int64, O::BADC, "-9223372036854775808", 0,
     "-9223372036854775808"},
    {"uint64 CDAB largest", 3, T::UInt64, O::CDAB, "18446744073709551615", 0,
     "18446744073709551615"},
    {"float32 CDAB 230.5", 3, T::Float32, O::CDAB, "230.5", 1, "230.5"},
    {"float32 230.45 shows 230.5, not its binary 230.449997", 3, T::Float32, O::ABCD, "230.45", 1,
     "230.5"},
    {"float32 0.125 rounds half away from zero", 3, T::Float32, O::BADC, "0.125", 2, "0.13"},
    {"float32 DCBA -1.5 to whole", 3, T::Float32, O::DCBA, "-1.5", 0, "-2"},
    {"float32 1e-7 with 2 places is 0", 3, T::Float32, O::ABCD, "1e-7", 2, "0.00"},
    {"float32 NaN is invalid", 3, T::Float32, O::CDAB, "nan", 1, ""},
    {"float32 too large for 64 bits is invalid", 3, T::Float32, O::ABCD, "1e30", 0, ""},
    {"float64 BADC 12345.6789 to 3", 3, T::Float64, O::BADC, "12345.6789", 3, "12345.679"},
    {"float64 DCBA infinity is invalid", 3, T::Float64, O::DCBA, "-inf", 2, ""},
    {"input register float32 CDAB", 4, T::Float32, O::CDAB, "49.98", 2, "49.98"},
    {"input register uint16", 4, T::UInt16, O::ABCD, "65535", 0, "65535"},
};

ModbusReading transact(ModbusMaster &master, const ValueFormat &format)
{
    ModbusReading reading;
    bool done = false;
    const auto hex2 = [](int v) { return QString::number(v, 16).rightJustified(2, u'0'); };
    if (master.MODBUS("1", QString::number(format.function), hex2(format.address >> 8),
                      hex2(format.address & 0xFF), "00", hex2(format.registerCount()),
                      [&](const ModbusReading &r) {
                          reading = r;
                          done = true;
                      }))
        (void)QTest::qWaitFor([&] { return done; }, 10000);
    return reading;
}

} // namespace

class TstValueDecode : public QObject
{
    Q_OBJECT
    kelmar::test::HostProcess m_peer;
    std::unique_ptr<NetworkPort> m_port;
    std::unique_ptr<ModbusMaster> m_master;

private slots:
    void initTestCase()
    {
        const QString python =
            kelmar::test::hostPythonWith(QStringLiteral("from pymodbus.payload import BinaryPayloadBuilder"));
        if (python.isEmpty())
            QSKIP("python3-pymodbus is not installed");
        QTcpServer free;
        free.listen(QHostAddress::LocalHost, 0);
        PortTarget t;
        t.kind = PortTarget::Kind::ModbusTcp;
        t.host = "127.0.0.1";
        t.port = free.serverPort();
        free.close();
        QStringList args{KELMAR_SOURCE_DIR "/tests/comm/typedpeer.py", QString::number(t.port)};
        for (const Row &r : Rows)
            args << QStringLiteral("%1:%2:%3:%4")
                        .arg(r.function)
                        .arg(valueTypeName(r.type), wordOrderName(r.order), r.written);
        m_peer.start(python, args);
        // The server says nothing when it listens: try until it does.
        QVERIFY(QTest::qWaitFor(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, t.port);
                return probe.waitForConnected(1000);
            },
            20000));
        m_port = std::make_unique<NetworkPort>(t);
        QVERIFY(m_port->setPortOpen(true));
        QTRY_VERIFY_WITH_TIMEOUT(m_port->PortOpen(), 10000);
        m_master = std::make_unique<ModbusMaster>(*m_port);
    }

    void cleanupTestCase()
    {
        m_master.reset();
        m_port.reset();
        m_peer.terminate();
        if (!m_peer.waitForFinished(5000)) {
            m_peer.kill();
            m_peer.waitForFinished(5000);
        }
    }

    void decode_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(Rows)); ++i)
            QTest::newRow(Rows[i].name) << i;
    }

    void decode()
    {
        QFETCH(int, index);
        const Row &row = Rows[index];
        const ValueFormat format{row.function, quint16(4 * index), row.type, row.order, {}, {}};
        const ModbusReading r = transact(*m_master, format);
        QCOMPARE(r.check.status, ReplyStatus::Ok);
        const DecodedValue v = decodeValue(format, r.registers, row.places);
        QCOMPARE(v.value ? v.value->text() : QString(), QString::fromLatin1(row.shown));
    }
};

QTEST_GUILESS_MAIN(TstValueDecode)
#include "tst_valuedecode.moc"
