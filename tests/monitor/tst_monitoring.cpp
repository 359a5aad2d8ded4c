#include "clock.h"
#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "lamp.h"
#include "serialport.h"
#include "socatpair.h"
#include "testfolder.h"
#include "intervaltimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

using namespace kelmar;
using kelmar::test::SocatPair;
using kelmar::test::TestFolder;

namespace {

const QString Simulator = QStringLiteral(KELMAR_BINARY_DIR "/tools/metersim/kelmar_metersim");

// Six meters on one line: a voltage, a two-value meter reading a negative
// value, a signed temperature, a 32-bit energy counter, a silent meter and a
// power meter.
const QStringList Meters = {"--slave", "1",           "--reg",   "0x0000=2205",
                            "--slave", "2",           "--reg",   "0x0000=-2",
                            "--reg",   "0x0002=1234", "--slave", "3",
                            "--reg",   "0x0008=-52",  "--reg",   "0x000A=655",
                            "--slave", "4",           "--reg",   "0x0010=16777217/2",
                            "--slave", "5",           "--reg",   "0x0002=77",
                            "--fault", "silent",      "--slave", "6",
                            "--reg",   "0x0004=1500", "--reg",   "0x0006=950"};

// slot: ID, decimals, model list position in the shipped meter.txt, title
struct SlotChoice
{
    int id, decimals, model;
    const char *title;
};
const SlotChoice Choices[6] = {{1, 1, 0, "電壓"}, {2, 2, 3, "一號機"}, {3, 1, 5, "冷凍庫"},
                               {4, 0, 2, "電能"}, {5, 2, 1, "備用"},   {6, 3, 4, "功率"}};
// What a tick shows for those choices: eleven values after the time.
const QStringList Expected = {"220.5",    "", "-0.02", "12.34", "-5.2",  "65.5",
                              "16777217", "", "",      "",      "1.500", "0.950"};

class Simulation
{
public:
    explicit Simulation(const TestFolder &dir) : m_pair(dir.path(), "meters", "host") {}
    ~Simulation() { stop(); }

    bool start()
    {
        if (!m_pair.start())
            return false;
        m_sim.setProgram(Simulator);
        m_sim.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_sim.setArguments(QStringList{"--device", m_pair.endA()} + Meters);
        m_sim.start();
        for (int waited = 0; !m_sim.canReadLine(); waited += 20) {
            if (m_sim.state() == QProcess::NotRunning || waited > 10000)
                return false;
            QTest::qWait(20);
        }
        return m_sim.readLine().startsWith("ready");
    }
    // As when the cable is pulled: everything on the far side goes at once.
    void stop()
    {
        m_sim.kill();
        m_sim.waitForFinished(5000);
        m_pair.kill();
    }
    QString hostEnd() const { return m_pair.endB(); }

private:
    SocatPair m_pair;
    QProcess m_sim;
};

void choose(QComboBox *list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

QStringList valuesOf(const QString &line)
{
    return line.split(u'\t').mid(1);
}

} // namespace

// A whole monitoring run as an operator drives it, against the simulator on
// a socat pair.
class TstMonitoring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QFileInfo(Simulator).isExecutable())
            QSKIP("kelmar_metersim was not built");
    }

    void operatorRunEndToEnd()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        Simulation line(dir);
        QVERIFY(line.start());
        QVERIFY(dir.mapComPort(1, line.hostEnd()));
        ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(10, 59, 30)));
        Form1 f(dir.path(), clock);
        f.Form_Load();
        f.show();

        // Host settings: port 1, record folder, connect.
        QTest::mouseClick(f.Command1, Qt::LeftButton);
        Form2 *f2 = f.form2();
        const QString folder = dir.file(QStringLiteral("log/"));
        f2->Text1->setText(folder);
        QTest::mouseClick(f2->Command1, Qt::LeftButton);
        QCOMPARE(f2->Shape1->color(), Form2::LampOn);
        QTest::mouseClick(f2->Command3, Qt::LeftButton);

        // Meter setup.
        QTest::mouseClick(f.Command2, Qt::LeftButton);
        Form4 *f4 = f.form4();
        for (int k = 1; k <= 6; ++k) {
            const SlotChoice &c = Choices[k - 1];
            f4->MSCK(k)->setChecked(true);
            choose(f4->ID(k), c.id - 1);
            choose(f4->I(k), c.decimals);
            choose(f4->Combo(k), c.model);
            f4->Text(k)->setText(QString::fromUtf8(c.title));
        }
        QCOMPARE(f.form3()->TitleLabel(3)->text(), QStringLiteral("冷凍庫"));

        // Start, then recording on.
        QTest::mouseClick(f.Command3, Qt::LeftButton);
        QVERIFY(f.form3()->isVisible());
        QTest::mouseClick(f2->Check1, Qt::LeftButton);
        QVERIFY(f2->Check1->isChecked());
        const QString file = folder + QStringLiteral("2025-03-06-1059.txt");
        QCOMPARE(f2->Text2->text(), file);

        QTRY_COMPARE_WITH_TIMEOUT(valuesOf(f.Text3->text()), Expected, 30000);
        for (int k = 1; k <= 6; ++k)
            for (int item = 0; item < 2; ++item)
                QCOMPARE(f.form3()->Label(k, item)->text(), Expected[2 * (k - 1) + item]);

        // Lines in the record file: 13 fields, TABs, CR LF, plain ASCII, and
        // soon one with every value of a finished tick.
        const QString name = QStringLiteral("log/2025-03-06-1059.txt");
        auto hasFullLine = [&] {
            const QByteArray bytes = dir.read(name);
            for (const QByteArray &l : bytes.split('\n'))
                if (valuesOf(QString::fromLatin1(l.chopped(l.endsWith('\r') ? 1 : 0))) == Expected)
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(hasFullLine(), 30000);
        const QByteArray bytes = dir.read(name);
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        QList<QByteArray> lines = bytes.split('\n');
        lines.removeLast();
        for (const QByteArray &crLine : lines) {
            const QByteArray l = crLine.chopped(1);
            if (l.isEmpty())
                continue; // recording ran before the first tick ended
            QCOMPARE(l.split('\t').size(), 13);
            QVERIFY(l.startsWith("10:59:30\t"));
            for (char c : l)
                QVERIFY(uchar(c) < 128);
        }

        // Exit between two ticks, and start again: the readings stay empty
        // until the first tick of the new start.
        QTRY_VERIFY_WITH_TIMEOUT(!f.pollTickRunning(), 10000);
        QTest::mouseClick(f.form3()->Command1, Qt::LeftButton);
        QVERIFY(!f.form3()->isVisible());
        QVERIFY(!f.Timer1->enabled() && !f.Timer3->enabled());
        QTest::mouseClick(f.Command3, Qt::LeftButton);
        for (int k = 1; k <= 6; ++k)
            QCOMPARE(f.form3()->Label(k, 0)->text(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->Label(6, 1)->text(), QStringLiteral("0.950"), 30000);

        // The full hour: a new file, and the following lines go to it.
        clock.set(QDateTime(QDate(2025, 3, 6), QTime(11, 0, 0)));
        f.Timer2_Timer();
        QCOMPARE(f.Text1->text(), QStringLiteral("2025-03-06-1100"));
        QTRY_VERIFY_WITH_TIMEOUT(
            dir.read(QStringLiteral("log/2025-03-06-1100.txt")).count("\r\n") >= 1, 30000);
    }

    void unpluggedLineComesBack()
    {
        TestFolder dir;
        QVERIFY(dir.copyDist());
        auto line = std::make_unique<Simulation>(dir);
        QVERIFY(line->start());
        QVERIFY(dir.mapComPort(1, line->hostEnd()));
        ManualClock clock;
        Form1 f(dir.path(), clock);
        f.Form_Load();
        f.form2()->Command1_Click();
        QVERIFY(f.MSComm1->PortOpen());
        Form4 *f4 = f.form4();
        f4->MSCK(1)->setChecked(true);
        choose(f4->ID(1), 0);
        choose(f4->I(1), 1);
        choose(f4->Combo(1), 0);
        f.Command3_Click();
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->Label(1, 0)->text(), QStringLiteral("220.5"), 30000);

        // Pulled: the readings go empty and the process stays idle.
        line.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!f.MSComm1->PortOpen(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->Label(1, 0)->text(), QString(), 30000);
        const double cpuBefore = kelmar::test::processCpuSeconds();
        QTest::qWait(2000);
        QVERIFY2(kelmar::test::processCpuSeconds() - cpuBefore < 0.5, "spinning while unplugged");

        // Plugged in again under the same name: readings come back unasked.
        line = std::make_unique<Simulation>(dir);
        QVERIFY(line->start());
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->Label(1, 0)->text(), QStringLiteral("220.5"), 30000);
        QVERIFY(f.MSComm1->PortOpen());
    }
};

QTEST_MAIN(TstMonitoring)
#include "tst_monitoring.moc"
