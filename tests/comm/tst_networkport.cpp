#include "comportmap.h"
#include "meterline.h"
#include "gatewaysim.h"
#include "modbusmaster.h"
#include "networkport.h"
#include "testfolder.h"
#include "transport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif
#include <vector>

using namespace kelmar;
using kelmar::test::GatewaySimulator;
using Kind = PortTarget::Kind;

Q_DECLARE_METATYPE(kelmar::PortTarget::Kind)
Q_DECLARE_METATYPE(kelmar::ReplyStatus)

namespace {

// Six meters whose values tell them apart: a 16-bit reading at 0x0000 and a
// 32-bit one at 0x0002, negative ones among them.
const QStringList SixMeters = {
    "--slave", "1", "--reg", "0=101",    "--reg", "2=16777217/2",                          //
    "--slave", "2", "--reg", "0=-2",     "--reg", "2=-70000/2",                            //
    "--slave", "3", "--reg", "0=32767",  "--reg", "2=2147483647/2",                        //
    "--slave", "4", "--reg", "0=-32768", "--reg", "2=-2147483648/2",                       //
    "--slave", "5", "--reg", "0=0",      "--reg", "2=65536/2",                             //
    "--slave", "6", "--reg", "0=606",    "--reg", "2=606606/2"};
const QStringList SixExpected = {"101",    "16777217",    "-2", "-70000", "32767", "2147483647",
                                 "-32768", "-2147483648", "0",  "65536",  "606",   "606606"};

// One read transaction through the master; the text of the reading ("" for
// none) and its status.
ModbusReading transact(ModbusMaster &master, int slave, int address, int count)
{
    ModbusReading reading;
    reading.check = {ReplyStatus::TooLong}; // stands for "never finished"
    bool done = false;
    const auto hex2 = [](int v) { return QString::number(v, 16).rightJustified(2, u'0'); };
    if (!master.MODBUS(QString::number(slave), "3", hex2(address >> 8), hex2(address & 0xFF), "00",
                       hex2(count), [&](const ModbusReading &r) {
                           reading = r;
                           done = true;
                       }))
        return reading;
    (void)QTest::qWaitFor([&] { return done; }, 10000);
    return reading;
}

// Opens and waits for the outcome: true when opened.
bool connectPort(NetworkPort &port)
{
    QSignalSpy opened(&port, &SerialPort::opened);
    QSignalSpy lost(&port, &SerialPort::portLost);
    if (!port.setPortOpen(true) || port.PortOpen())
        return false; // must connect in the background, never at once
    (void)QTest::qWaitFor([&] { return opened.size() + lost.size() > 0; },
                          NetworkPort::ConnectTimeoutMs + 5000);
    return opened.size() == 1 && lost.isEmpty() && port.PortOpen();
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // nothing listens once probe is gone
}

// A listener that never accepts, its queue filled: connections to it hang.
#ifdef Q_OS_WIN
using Socket = SOCKET;
using PollFd = WSAPOLLFD;
using SockLen = int;
const Socket NoSocket = INVALID_SOCKET;
int closeSocket(Socket s) { return ::closesocket(s); }
int pollSocket(PollFd *p) { return ::WSAPoll(p, 1, 0); }
void makeNonBlocking(Socket s)
{
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}
#else
using Socket = int;
using PollFd = pollfd;
using SockLen = socklen_t;
const Socket NoSocket = -1;
int closeSocket(Socket s) { return ::close(s); }
int pollSocket(PollFd *p) { return ::poll(p, 1, 0); }
void makeNonBlocking(Socket s) { ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK); }
#endif
struct FullListener
{
    Socket fd = NoSocket;
    std::vector<Socket> fillers;
    quint16 port = 0;
    bool listen()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        SockLen size = sizeof a;
        if (fd == NoSocket || ::bind(fd, reinterpret_cast<sockaddr *>(&a), size) != 0 || ::listen(fd, 0) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size) != 0)
            return false;
        port = ntohs(a.sin_port);
        for (int i = 0; i < 4; ++i) {
            const Socket c = ::socket(AF_INET, SOCK_STREAM, 0);
            makeNonBlocking(c);
            ::connect(c, reinterpret_cast<sockaddr *>(&a), sizeof a);
            fillers.push_back(c);
        }
        // The queue holds the first filler once it is connected.
        return QTest::qWaitFor([&] {
            PollFd p{fillers.front(), POLLOUT, 0};
            return pollSocket(&p) == 1;
        }, 5000);
    }
    ~FullListener()
    {
        for (Socket c : fillers)
            closeSocket(c);
        if (fd != NoSocket)
            closeSocket(fd);
    }
};

// Windows reserves COM1 to COM9 as device names in every folder: no file,
// link or folder com\comN can be made there by the usual means, so the
// mapping by com\comN cannot be used on Windows as it stands.
#ifdef Q_OS_WIN
#define expectReservedName() \
    QEXPECT_FAIL("", "Windows reserves the name COMn: com\\comN cannot be made", Abort)
#else
#define expectReservedName() (void)0
#endif

void bothTransports()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("modbus tcp") << Kind::ModbusTcp;
    QTest::newRow("rtu over tcp") << Kind::RtuOverTcp;
}

} // namespace

class TstNetworkPort : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (GatewaySimulator::simulatorPath().isEmpty())
            QSKIP("kelmar_metersim was not built");
    }

    void parsePortMapping_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("modbus tcp, IPv4") << QByteArray("tcp://192.0.2.7:502\n") << true
                                          << Kind::ModbusTcp << "192.0.2.7" << 502;
        QTest::newRow("rtu over tcp, name, CR LF, comment below")
            << QByteArray("rtu+tcp://gw-3.plant.example:4001\r\nhall 3, panel B\r\n") << true
            << Kind::RtuOverTcp << "gw-3.plant.example" << 4001;
        QTest::newRow("bracketed IPv6, no newline") << QByteArray("tcp://[2001:db8::1]:65535")
                                                    << true << Kind::ModbusTcp << "2001:db8::1"
                                                    << 65535;
        QTest::newRow("byte order mark, spaces, capitals")
            << QByteArray("\xEF\xBB\xBF  TCP://Gw1:502  \n") << true << Kind::ModbusTcp << "Gw1"
            << 502;
        const auto refused = [](const char *name, const QByteArray &content) {
            QTest::newRow(name) << content << false << Kind::Serial << "" << 0;
        };
        refused("empty file", "");
        refused("empty first line", "\ntcp://gw:502\n");
        refused("no port", "tcp://gw\n");
        refused("port 0", "tcp://gw:0\n");
        refused("port above 65535", "tcp://gw:65536\n");
        refused("IPv6 without brackets", "tcp://2001:db8::1:502\n");
        refused("brackets around a name", "tcp://[gw]:502\n");
        refused("another scheme", "udp://gw:502\n");
        refused("a path after the port", "tcp://gw:502/x\n");
        refused("no host", "tcp://:502\n");
        refused("space in the host", "tcp://g w:502\n");
        refused("a device path", "/dev/ttyS0\n");
    }
    void parsePortMapping()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        const PortTarget t = kelmar::parsePortMapping("/opt/kelmar/com/com3", content);
        QVERIFY2(t.problem.isEmpty() == accepted, qPrintable(t.problem));
        if (!accepted) {
            // The notice names the file and the line, and the port never opens.
            QVERIFY2(t.problem.contains(QDir::toNativeSeparators("/opt/kelmar/com/com3")) &&
                         t.problem.contains("line 1"),
                     qPrintable(t.problem));
            const std::unique_ptr<SerialPort> refused = makeTransport(t);
            QVERIFY(refused && !refused->setPortOpen(true) && !refused->PortOpen());
            QCOMPARE(transportProblem(*refused), t.problem);
            NetworkPort port(t);
            QVERIFY(!port.setPortOpen(true));
            return;
        }
        QFETCH(Kind, kind);
        QFETCH(QString, host);
        QFETCH(int, port);
        QCOMPARE(t.kind, kind);
        QCOMPARE(t.host, host);
        QCOMPARE(int(t.port), port);
        const std::unique_ptr<SerialPort> transport = makeTransport(t);
        QVERIFY(qobject_cast<NetworkPort *>(transport.get()));
        QCOMPARE(transportTarget(*transport), describeTarget(t));
        QCOMPARE(transportProblem(*transport), QString());
    }

    // What the entry com/gateway2 or com/com2 in the program folder is
    // decides the target.
    void portTarget_data()
    {
        QTest::addColumn<QString>("entry"); // gateway, file, link, folder, none
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("described");
        QTest::addColumn<bool>("problem");
        QTest::newRow("gateway file, ahead of a com2 link where one can be made")
            << "gateway" << QByteArray("rtu+tcp://192.0.2.9:4001") << "192.0.2.9:4001" << false;
        QTest::newRow("mapping file") << "file" << QByteArray("tcp://[::1]:1502\n") << "[::1]:1502"
                                      << false;
        QTest::newRow("malformed mapping file") << "file" << QByteArray("tcp://gw:port\n") << ""
                                                << true;
        QTest::newRow("file too big to be a mapping")
            << "file" << QByteArray("tcp://gw:502\n") + QByteArray(8192, '#') << "" << true;
        QTest::newRow("link to a device keeps its meaning") << "link" << QByteArray() << "com/com2"
                                                            << false;
        QTest::newRow("a folder is no mapping") << "folder" << QByteArray() << "com/com2" << false;
#ifdef Q_OS_WIN
        QTest::newRow("no entry: the COM port") << "none" << QByteArray() << "COM2" << false;
#else
        QTest::newRow("no entry: the USB adapter") << "none" << QByteArray() << "/dev/ttyUSB1"
                                                   << false;
#endif
    }
    void portTarget()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, content);
        QFETCH(QString, described);
        QFETCH(bool, problem);
        kelmar::test::TestFolder folder;
        const QString path = folder.file("com/com2");
        if (entry == "gateway") {
            QVERIFY(folder.write("com/gateway2", content));
#ifndef Q_OS_WIN
            QVERIFY(folder.mapComPort(2, "/dev/null"));
#endif
        } else if (entry != "none") {
            expectReservedName();
        }
        if (entry == "file")
            QVERIFY(folder.write("com/com2", content));
        else if (entry == "link")
            QVERIFY(folder.mapComPort(2, "/dev/null"));
        else if (entry == "folder")
            QVERIFY(QDir().mkpath(path));
        const PortTarget t = kelmar::portTarget(2, folder.path());
        QCOMPARE(!t.problem.isEmpty(), problem);
        // A serial device stays the line's own serial port.
        QCOMPARE(makeTransport(t) == nullptr, !problem && !t.isNetwork());
        if (problem)
            QVERIFY2(t.problem.contains(path), qPrintable(t.problem));
        else
            QVERIFY2(describeTarget(t).endsWith(described), qPrintable(describeTarget(t)));
    }

    void sixSlotsReadExactly_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("host");
        QTest::newRow("modbus tcp") << Kind::ModbusTcp << "127.0.0.1";
        QTest::newRow("rtu over tcp") << Kind::RtuOverTcp << "127.0.0.1";
        QTest::newRow("modbus tcp, IPv6") << Kind::ModbusTcp << "::1";
    }
    void sixSlotsReadExactly()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, host);
        if (host.contains(u':') && !QTcpServer().listen(QHostAddress::LocalHostIPv6, 0))
            QSKIP("no IPv6 loopback here");
        GatewaySimulator sim(kind, host);
        QString error;
        QVERIFY2(sim.start(SixMeters, &error), qPrintable(error));
        // Through the program's own road: the mapping file, the line that
        // picks the transport by it, the master on the line's port.
        kelmar::test::TestFolder dir;
        const QString target = describeTarget(sim.target());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("com")));
        expectReservedName();
        QVERIFY(dir.write(QStringLiteral("com/com1"),
                          (kind == Kind::ModbusTcp ? "tcp://" : "rtu+tcp://") +
                              target.toLatin1() + "\n"));
        MeterLine line(MeterLine::systemPorts(dir.path()));
        QCOMPARE(line.connectLine(1, QStringLiteral("9600,N,8,1")), MeterLine::State::Opening);
        QTRY_COMPARE_WITH_TIMEOUT(line.state(), MeterLine::State::Open, 10000);
        QCOMPARE(line.portDescription(), QStringLiteral("COM1 (%1)").arg(target));
        ModbusMaster master(line.port());
        QStringList read;
        for (int slave = 1; slave <= 6; ++slave) {
            read << transact(master, slave, 0, 1).text();
            read << transact(master, slave, 2, 2).text();
        }
        QCOMPARE(read, SixExpected);
    }

    // Nothing listens (refused at once), or a listener whose queue is full
    // lets the connection hang until the connect time-out.
    void connectFails_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("hangs");
        QTest::newRow("refused, modbus tcp") << Kind::ModbusTcp << false;
        QTest::newRow("refused, rtu over tcp") << Kind::RtuOverTcp << false;
        QTest::newRow("no answer, time-out") << Kind::ModbusTcp << true;
    }
    void connectFails()
    {
        QFETCH(Kind, kind);
        QFETCH(bool, hangs);
        PortTarget t;
        t.kind = kind;
        t.host = "127.0.0.1";
        t.port = closedPort();
        FullListener full;
        if (hangs) {
            QVERIFY(full.listen());
            t.port = full.port;
        }
        NetworkPort port(t);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!connectPort(port));
        QVERIFY(!port.PortOpen());
        QCOMPARE(port.InBufferCount(), -1);
        if (hangs)
            QVERIFY2(clock.elapsed() >= NetworkPort::ConnectTimeoutMs - 50 &&
                         clock.elapsed() < NetworkPort::ConnectTimeoutMs + 2000,
                     qPrintable(QString::number(clock.elapsed())));
        else
            QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    // The gateway goes away mid-run: the port is lost, attempts while nothing
    // listens fail, and the next attempt after it listens again reads.
    void serverClosesMidRun_data() { bothTransports(); }
    void serverClosesMidRun()
    {
        QFETCH(Kind, kind);
        GatewaySimulator sim(kind);
        QString error;
        QVERIFY2(sim.start(SixMeters, &error), qPrintable(error));
        NetworkPort port(sim.target());
        QVERIFY(connectPort(port));
        ModbusMaster master(port);
        QCOMPARE(transact(master, 3, 0, 1).text(), "32767");

        QSignalSpy lost(&port, &SerialPort::portLost);
        sim.stop();
        QVERIFY(lost.wait(5000));
        QVERIFY(!port.PortOpen());
        QCOMPARE(transact(master, 3, 0, 1).check.status, ReplyStatus::NoReply);
        QVERIFY(!connectPort(port));

        QVERIFY2(sim.start(SixMeters, &error), qPrintable(error));
        QVERIFY(connectPort(port));
        QCOMPARE(transact(master, 3, 0, 1).text(), "32767");
    }

    // A gateway that takes the connection and never answers: no reply, and
    // the connection stays.
    void silentGateway_data() { bothTransports(); }
    void silentGateway()
    {
        QFETCH(Kind, kind);
        QTcpServer gateway;
        QVERIFY(gateway.listen(QHostAddress::LocalHost, 0));
        PortTarget t;
        t.kind = kind;
        t.host = "127.0.0.1";
        t.port = gateway.serverPort();
        NetworkPort port(t);
        QVERIFY(connectPort(port));
        ModbusMaster master(port);
        QCOMPARE(transact(master, 1, 0, 1).check.status, ReplyStatus::NoReply);
        QVERIFY(port.PortOpen());
    }

    // The simulator's faults through each transport: what the master makes
    // of them, and the next read of a sound meter is whole again.
    void faults_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("address");
        QTest::addColumn<ReplyStatus>("status");
        QTest::addColumn<int>("exceptionCode");
        QTest::addColumn<QString>("reading");
        const auto row = [](Kind kind, const char *name, const char *fault, ReplyStatus status,
                            int code = 0, const char *reading = "", int address = 0) {
            const char *prefix = kind == Kind::ModbusTcp ? "modbus tcp: " : "rtu over tcp: ";
            QTest::newRow(qPrintable(prefix + QString(name)))
                << kind << fault << address << status << code << reading;
        };
        for (Kind k : {Kind::ModbusTcp, Kind::RtuOverTcp}) {
            row(k, "exception", "exception", ReplyStatus::Exception, 4);
            row(k, "address beyond the map", "", ReplyStatus::Exception, 2, "", 0x100);
            row(k, "another slave", "otherslave", ReplyStatus::WrongSlave);
            row(k, "reply in two parts", "split=50", ReplyStatus::Ok, 0, "1234");
            row(k, "silent", "silent", ReplyStatus::NoReply);
        }
        // No CRC in Modbus TCP: a broken or cut frame is no reply at all.
        row(Kind::ModbusTcp, "broken header", "badcrc", ReplyStatus::NoReply);
        row(Kind::ModbusTcp, "cut short", "short", ReplyStatus::NoReply);
        row(Kind::ModbusTcp, "noise before the frame", "garbage", ReplyStatus::NoReply);
        row(Kind::RtuOverTcp, "bad CRC", "badcrc", ReplyStatus::BadCrc);
        row(Kind::RtuOverTcp, "cut short", "short", ReplyStatus::Short);
        row(Kind::RtuOverTcp, "noise before the frame", "garbage", ReplyStatus::Ok, 0, "1234");
    }
    void faults()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, fault);
        QFETCH(int, address);
        QFETCH(ReplyStatus, status);
        QFETCH(int, exceptionCode);
        QFETCH(QString, reading);
        GatewaySimulator sim(kind);
        QStringList args{"--slave", "9", "--reg", "0=4321", "--slave", "1", "--reg", "0=1234"};
        if (!fault.isEmpty())
            args << "--fault" << fault;
        QString error;
        QVERIFY2(sim.start(args, &error), qPrintable(error));
        NetworkPort port(sim.target());
        QVERIFY(connectPort(port));
        ModbusMaster master(port);
        const ModbusReading r = transact(master, 1, address, 1);
        QCOMPARE(r.check.status, status);
        QCOMPARE(int(r.check.exceptionCode), exceptionCode);
        QCOMPARE(r.text(), reading);
        QCOMPARE(transact(master, 9, 0, 1).text(), "4321");
    }

    // The reply to a request that got none comes after the next request is
    // out; it matches that request in everything but the transaction.
    void lateReplyNeverShown_data()
    {
        QTest::addColumn<int>("lateMs");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("dropped");
        QTest::newRow("slow reply within the wait") << 100 << "1111" << "2222" << 0;
        QTest::newRow("late reply during the next request") << 500 << "" << "" << 1;
    }
    void lateReplyNeverShown()
    {
        QFETCH(int, lateMs);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, dropped);
        GatewaySimulator sim(Kind::ModbusTcp);
        QString error;
        QVERIFY2(sim.start({"--slave", "1", "--reg", "0=1111", "--reg", "2=2222", "--fault",
                            QString("late=%1").arg(lateMs)},
                           &error),
                 qPrintable(error));
        NetworkPort port(sim.target());
        QVERIFY(connectPort(port));
        ModbusMaster master(port);
        QCOMPARE(transact(master, 1, 0, 1).text(), first);
        QCOMPARE(transact(master, 1, 2, 1).text(), second);
        // The master asks an untrusted slave with a fresh register count
        // first, so the stale frames may come after the second read is over.
        if (dropped)
            QTRY_VERIFY_WITH_TIMEOUT(port.lateReplies() >= dropped, 3000);
        else
            QCOMPARE(port.lateReplies(), 0);
    }

    // An independent Modbus TCP server: six units, registers u*1000 + address.
    void independentPeer()
    {
        const QString python =
            kelmar::test::hostPythonWith(QStringLiteral("from pymodbus.server import StartTcpServer"));
        if (python.isEmpty())
            QSKIP("python3-pymodbus is not installed");
        PortTarget t;
        t.kind = Kind::ModbusTcp;
        t.host = "127.0.0.1";
        t.port = closedPort();
        kelmar::test::HostProcess peer;
        peer.start(python, {KELMAR_SOURCE_DIR "/tests/comm/pymodbuspeer.py", QString::number(t.port)});
        NetworkPort port(t);
        // The server says nothing when it listens: try until it does.
        QVERIFY(QTest::qWaitFor([&] { return port.PortOpen() || connectPort(port); }, 20000));
        ModbusMaster master(port);
        QStringList read, expected;
        for (int unit = 1; unit <= 6; ++unit) {
            read << transact(master, unit, 0, 1).text() << transact(master, unit, 2, 2).text();
            expected << QString::number(unit * 1000)
                     << QString::number((qint64(unit * 1000 + 2) << 16) + unit * 1000 + 3);
        }
        peer.terminate();
        if (!peer.waitForFinished(5000)) {
            peer.kill();
            peer.waitForFinished(5000);
        }
        QCOMPARE(read, expected);
    }
};

QTEST_GUILESS_MAIN(TstNetworkPort)
#include "tst_networkport.moc"
