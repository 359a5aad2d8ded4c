#include "clock.h"
#include "findcontrol.h"
#include "form1.h"
#include "stationform.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "intervaltimer.h"
#include "session.h"
#include "simulatedline.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace kelmar;
using kelmar::test::control;
using kelmar::test::SimulatedLine;

namespace {

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

// Entry `index` of slot k's list `name` ("ID", "I", "Combo"), chosen as the
// operator does.
void choose(Form4 *f4, const char *name, int k, int index)
{
    auto *list = control<QComboBox>(f4, QLatin1String(name) + QString::number(k));
    list->setCurrentIndex(index);
    emit list->activated(index);
}

QPushButton *button(const QWidget *w, const char *name)
{
    return control<QPushButton>(w, QLatin1String(name));
}

// Starts the line; the program's own port, not the line's, is to open it.
bool startLine(SimulatedLine &line, QString *error)
{
    if (!line.start(Meters, error))
        return false;
    line.port().setPortOpen(false);
    return line.folder().copyDist();
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
        if (SimulatedLine::simulatorPath().isEmpty())
            QSKIP("kelmar_metersim was not built");
    }

    void operatorRunEndToEnd()
    {
        SimulatedLine line;
        QString error;
        QVERIFY2(startLine(line, &error), qPrintable(error));
        const auto &dir = line.folder();
        ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(10, 59, 30)));
        test::StationForm1 f(dir.path(), clock);
        f.Form_Load();
        f.show();
        Session &s = f.session();

        // Host settings: port 1, record folder, connect.
        QTest::mouseClick(button(&f, "Command1"), Qt::LeftButton);
        Form2 *f2 = f.form2();
        const QString folder = dir.file(QStringLiteral("log/"));
        control<QLineEdit>(f2, QStringLiteral("Text1"))->setText(folder);
        QTest::mouseClick(button(f2, "Command1"), Qt::LeftButton);
        QCOMPARE(f2->lampColor(), Form2::LampOn);
        QTest::mouseClick(button(f2, "Command3"), Qt::LeftButton);

        // Meter setup.
        QTest::mouseClick(button(&f, "Command2"), Qt::LeftButton);
        Form4 *f4 = f.form4();
        for (int k = 1; k <= 6; ++k) {
            const SlotChoice &c = Choices[k - 1];
            control<QCheckBox>(f4, QStringLiteral("MSCK%1").arg(k))->setChecked(true);
            choose(f4, "ID", k, c.id - 1);
            choose(f4, "I", k, c.decimals);
            choose(f4, "Combo", k, c.model);
            control<QLineEdit>(f4, QStringLiteral("Text%1").arg(k))
                ->setText(QString::fromUtf8(c.title));
        }
        QCOMPARE(f.form3()->title(3), QStringLiteral("冷凍庫"));

        // Start, then recording on.
        QTest::mouseClick(button(&f, "Command3"), Qt::LeftButton);
        QVERIFY(f.form3()->isVisible());
        auto *recordBox = control<QCheckBox>(f2, QStringLiteral("Check1"));
        QTest::mouseClick(recordBox, Qt::LeftButton);
        QVERIFY(recordBox->isChecked());
        QCOMPARE(s.recorder().fileName(), folder + QStringLiteral("2025-03-06-1059.txt"));

        QTRY_COMPARE_WITH_TIMEOUT(valuesOf(s.recordLine()), Expected, 30000);
        for (int k = 1; k <= 6; ++k)
            for (int item = 0; item < 2; ++item)
                QCOMPARE(f.form3()->reading(k, item), Expected[2 * (k - 1) + item]);
        QCOMPARE(f.form3()->slotStatus(5), QStringLiteral("無回應"));

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

        // Exit between two ticks: no more lines. Start again: the readings
        // stay empty until the first tick of the new start.
        QTRY_VERIFY_WITH_TIMEOUT(!s.pollTickRunning(), 10000);
        QTest::mouseClick(button(f.form3(), "Command1"), Qt::LeftButton);
        QVERIFY(!f.form3()->isVisible());
        QVERIFY(!s.pollTimer().enabled() && !s.recordTimer().enabled());
        const QByteArray atExit = dir.read(name);
        for (int i = 0; i < 3; ++i)
            s.recordTick();
        QCOMPARE(dir.read(name), atExit);
        QTest::mouseClick(button(&f, "Command3"), Qt::LeftButton);
        for (int k = 1; k <= 6; ++k)
            QCOMPARE(f.form3()->reading(k, 0), QString());
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->reading(6, 1), QStringLiteral("0.950"), 30000);

        // The full hour: a new file, and the following lines go to it.
        clock.set(QDateTime(QDate(2025, 3, 6), QTime(11, 0, 0)));
        s.clockTick();
        QCOMPARE(s.recorder().stamp(), QStringLiteral("2025-03-06-1100"));
        QTRY_VERIFY_WITH_TIMEOUT(
            dir.read(QStringLiteral("log/2025-03-06-1100.txt")).count("\r\n") >= 1, 30000);
    }

    void unpluggedLineComesBack()
    {
        if (SimulatedLine::portMadeOutside() > 0)
            QSKIP("the line is made outside the test and cannot be unplugged from here");
        SimulatedLine line;
        QString error;
        QVERIFY2(startLine(line, &error), qPrintable(error));
        ManualClock clock;
        test::StationForm1 f(line.folder().path(), clock);
        f.Form_Load();
        f.form2()->Command1_Click();
        QVERIFY(f.port().PortOpen());
        Form4 *f4 = f.form4();
        control<QCheckBox>(f4, QStringLiteral("MSCK1"))->setChecked(true);
        choose(f4, "ID", 1, 0);
        choose(f4, "I", 1, 1);
        choose(f4, "Combo", 1, 0);
        f.Command3_Click();
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->reading(1, 0), QStringLiteral("220.5"), 30000);

        // Pulled: everything on the far side goes at once; the readings go
        // empty, the lamp turns red and the process stays idle.
        line.pair().kill();
        line.stopSimulator(); // it may have ended with its line already
        QTRY_VERIFY_WITH_TIMEOUT(!f.port().PortOpen(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->reading(1, 0), QString(), 30000);
        QCOMPARE(f.form2()->lampColor(), Form2::LampOff);
        const double cpuBefore = kelmar::test::processCpuSeconds();
        QTest::qWait(2000); // measuring idleness needs a stretch of time
        QVERIFY2(kelmar::test::processCpuSeconds() - cpuBefore < 0.5, "spinning while unplugged");

        // Plugged in again under the same port: readings come back unasked.
        SimulatedLine again;
        QVERIFY2(startLine(again, &error), qPrintable(error));
        QVERIFY(line.folder().mapComPort(1, again.pair().endB()));
        QTRY_COMPARE_WITH_TIMEOUT(f.form3()->reading(1, 0), QStringLiteral("220.5"), 30000);
        QVERIFY(f.port().PortOpen());
        QCOMPARE(f.form2()->lampColor(), Form2::LampOn);
    }
};

QTEST_MAIN(TstMonitoring)
#include "tst_monitoring.moc"
