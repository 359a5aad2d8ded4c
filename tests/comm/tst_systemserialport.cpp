#include "socatpair.h"
#include "systemserialport.h"
#include "testfolder.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

using namespace kelmar;
using namespace kelmar::test;

namespace {

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

} // namespace

class TstSystemSerialPort : public QObject
{
    Q_OBJECT
private:
    TestFolder *m_folder = nullptr;
    SocatPair *m_pair = nullptr;

private slots:
    void init()
    {
        m_folder = new TestFolder;
        m_pair = new SocatPair(m_folder->path());
        QVERIFY(m_pair->start());
        QVERIFY(m_folder->mapComPort(1, m_pair->endB()));
    }
    void cleanup()
    {
        delete m_pair;
        delete m_folder;
        m_pair = nullptr;
        m_folder = nullptr;
    }

    void bytesPassUnchanged()
    {
        SystemSerialPort port(m_folder->path());
        QVERIFY(port.setCommPort(1));
        QVERIFY(port.setSettings(QStringLiteral("9600,N,8,1")));
        QVERIFY(port.setPortOpen(true));
        QVERIFY(port.PortOpen());
        QSerialPort meters(m_pair->endA());
        QVERIFY(meters.open(QIODevice::ReadWrite));

        // Out: every byte value, CR, LF and NUL among them, untouched.
        const QByteArray sent = everyByteValue();
        QVERIFY(port.Output(sent));
        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += meters.readAll()).size() >= sent.size(), 5000);
        QCOMPARE(received.toHex(), sent.toHex());

        // In: all of it counted, handed over oldest first, then gone.
        QCOMPARE(port.InBufferCount(), 0);
        meters.write(sent);
        QTRY_COMPARE_WITH_TIMEOUT(port.InBufferCount(), int(sent.size()), 5000);
        QCOMPARE(port.Input().toHex(), sent.toHex());
        QCOMPARE(port.InBufferCount(), 0);
        QCOMPARE(port.Input(), QByteArray());
    }

    void lostLineLeavesTheProcessIdle()
    {
        SystemSerialPort port(m_folder->path());
        port.setCommPort(1);
        QVERIFY(port.setPortOpen(true));
        QSignalSpy lost(&port, &SerialPort::portLost);

        m_pair->kill(); // the cable is pulled
        QVERIFY(lost.wait(5000));
        QVERIFY(!port.PortOpen());
        QCOMPARE(port.InBufferCount(), -1);
        QVERIFY(!port.Output(QByteArray("\x01\x03", 2)));

        // A dead descriptor left open would spin the event loop at full speed.
        const double cpuBefore = processCpuSeconds();
        QTest::qWait(2000);
        const double cpu = processCpuSeconds() - cpuBefore;
        QVERIFY2(cpu < 0.5, qPrintable(QStringLiteral("%1 s of CPU in 2 s").arg(cpu)));
    }
};

QTEST_GUILESS_MAIN(TstSystemSerialPort)
#include "tst_systemserialport.moc"
