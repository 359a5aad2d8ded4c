#include "clock.h"
#include "findcontrol.h"
#include "form1.h"
#include "stationform.h"
#include "form2.h"
#include "form3.h"
#include "intervaltimer.h"
#include "sessiononfakeline.h"
#include "testmeters.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "posixfaults.h"

using namespace kelmar;
using kelmar::test::control;
using kelmar::test::FakeMeterPort;
using kelmar::test::TestFolder;

namespace {

const QDate Day(2025, 3, 6);

// A connected session in a monitoring run whose timers are driven by hand,
// with the record folder in a temporary folder.
struct Rec : kelmar::test::SessionOnFakeLine
{
    QString folder;

    explicit Rec(double seconds = 1, bool monitoring = true)
    {
        folder = dir.file(QStringLiteral("log/"));
        editSetup([&](SetupFile &f) {
            f.host.recordFolder = folder;
            f.extension = QStringLiteral("txt");
            f.recordSeconds = QString::number(seconds);
        });
        if (monitoring)
            startByHand();
    }
    void at(const QTime &t, const QDate &d = Day) { clock.set(QDateTime(d, t)); }
    QByteArray file(const QString &stamp)
    {
        return dir.read(QStringLiteral("log/") + stamp + QStringLiteral(".txt"));
    }
    // A tick that reads slot 1's meter: its record line, "14:05:07\t1" and
    // eleven empty fields at the clock's start.
    QString tickedLine()
    {
        port.registers[{1, 0}] = 1;
        s.setSlot(1, kelmar::test::meterAt(1, QStringLiteral("A")));
        tick();
        return s.recordLine();
    }
    static QByteArray inFile(const QString &line) { return (line + QStringLiteral("\r\n")).toUtf8(); }
    void second()
    {
        clock.advanceSeconds(1);
        s.clockTick();
        s.recordTick();
    }
};

} // namespace

class TstRecording : public QObject
{
    Q_OBJECT
private slots:
    // What the operator sees of the switch: the file and the display's
    // indicator.
    void switchingOnStartsAFileAndTheIndicator()
    {
        TestFolder dir;
        ManualClock clock{QDateTime(Day, QTime(14, 5, 7))};
        FakeMeterPort port;
        test::StationForm1 f(dir.path(), clock, test::lendPort(port));
        f.Form_Load();
        Form2 *f2 = f.form2();
        const QString folder = dir.file(QStringLiteral("log/"));
        control<QLineEdit>(f2, QStringLiteral("Text1"))->setText(folder);
        f2->Command1_Click();
        auto *box = control<QCheckBox>(f2, QStringLiteral("Check1"));
        const Recorder &r = f.session().recorder();
        const QLabel *indicator = control<QLabel>(f.form3(), QStringLiteral("Label14"));

        box->setChecked(true);
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(r.stamp(), QStringLiteral("2025-03-06-1405"));
        const QString name = folder + QStringLiteral("2025-03-06-1405.Text2");
        QCOMPARE(r.fileName(), name);
        QVERIFY(QFileInfo::exists(name));
        QCOMPARE(indicator->text(), QStringLiteral("RECORD"));

        box->setChecked(false);
        QCOMPARE(indicator->text(), QString());
        QCOMPARE(r.stamp(), QStringLiteral("2025-03-06-1405"));
        QVERIFY(r.fileName().isEmpty());
    }

    void relativeFolderLiesInTheProgramFolder()
    {
        Rec r;
        r.editSetup([](SetupFile &f) { f.host.recordFolder = QStringLiteral("rel/"); });
        r.s.setRecording(true);
        const QString x = r.tickedLine();
        r.second();
        QCOMPARE(r.s.recorder().fileName(), QStringLiteral("rel/2025-03-06-1405.txt"));
        QTRY_COMPARE(r.dir.read(QStringLiteral("rel/2025-03-06-1405.txt")), Rec::inFile(x));
    }

    void noLineBeforeTheFirstTickEnds()
    {
        Rec r(2);
        r.s.setRecording(true);
        for (int i = 0; i < 4; ++i)
            r.second();
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), QByteArray());
    }

    // A tick's values are recorded once: an interval in which no tick ended
    // gets no line rather than the last one again.
    void noLineRepeatsValuesAlreadyWritten()
    {
        Rec r;
        r.s.setRecording(true);
        QCOMPARE(r.tickedLine(), QStringLiteral("14:05:07\t1") + QString(11, u'\t'));
        r.second();
        r.second();
        const QByteArray line = "14:05:07\t1" + QByteArray(11, '\t') + "\r\n";
        QTRY_COMPARE(r.file(QStringLiteral("2025-03-06-1405")), line);
    }

    void offAndOnWithinAMinuteKeepsTheLines()
    {
        Rec r;
        r.s.setRecording(true);
        const QString a = r.tickedLine();
        r.second();
        r.s.setRecording(false);
        r.s.setRecording(true);
        const QString b = r.tickedLine();
        r.second();
        QTRY_COMPARE(r.file(QStringLiteral("2025-03-06-1405")), Rec::inFile(a) + Rec::inFile(b));
    }

    // Across the full hour every interval gets its line, and each line goes
    // into the file of its own stamp's hour, whichever timer comes first in
    // a second and however long the interval.
    void everyIntervalGetsOneLineInItsOwnHour_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("recordFirst"); // the record timer before the polling tick
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("lines");
        const QDateTime beforeEleven(Day, QTime(10, 59, 55));
        QTest::newRow("1 s, tick first") << 1 << false << beforeEleven << 10;
        QTest::newRow("1 s, record first") << 1 << true << beforeEleven << 10;
        QTest::newRow("3 s: the cut-short interval too") << 3 << false << beforeEleven << 4;
        QTest::newRow("1 s across midnight") << 1 << false << QDateTime(Day, QTime(23, 59, 55)) << 10;
    }
    void everyIntervalGetsOneLineInItsOwnHour()
    {
        QFETCH(int, interval);
        QFETCH(bool, recordFirst);
        QFETCH(QDateTime, start);
        QFETCH(int, lines);
        Rec r(interval);
        r.clock.set(start);
        r.s.setRecording(true);
        r.port.registers[{1, 0}] = 1;
        r.s.setSlot(1, kelmar::test::meterAt(1, QStringLiteral("A")));
        for (int i = 0; i < 10; ++i) {
            r.clock.advanceSeconds(1);
            r.s.clockTick();
            if (recordFirst)
                r.s.recordTick();
            r.tick();
            if (!recordFirst)
                r.s.recordTick();
        }
        QStringList stamps;
        QTRY_COMPARE_WITH_TIMEOUT(r.s.recordWriterWaiting(), 0, 10000);
        for (const QString &name : QDir(r.folder).entryList(QDir::Files, QDir::Name)) {
            const QString hour = name.mid(11, 2);
            for (const QByteArray &line : r.dir.read(QStringLiteral("log/") + name).split('\n'))
                if (!line.isEmpty()) {
                    QCOMPARE(line.left(2), hour.toLatin1()); // in its own hour's file
                    stamps << QString::fromLatin1(line.left(8));
                }
        }
        QCOMPARE(stamps.size(), lines);
        for (int i = 1; i < stamps.size(); ++i)
            QVERIFY2(stamps[i] != stamps[i - 1], qPrintable(stamps.join(u' ')));
    }

    void hourlyChange_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QString>("firstStamp");
        QTest::addColumn<QString>("nextStamp");
        QTest::newRow("10:59:59 to 11:00") << QDateTime(Day, QTime(10, 59, 59)) << "2025-03-06-1059"
                                           << "2025-03-06-1100";
        QTest::newRow("23:59:59 to midnight") << QDateTime(Day, QTime(23, 59, 59))
                                              << "2025-03-06-2359" << "2025-03-07-0000";
    }
    void hourlyChange()
    {
        QFETCH(QDateTime, start);
        QFETCH(QString, firstStamp);
        QFETCH(QString, nextStamp);
        Rec r;
        r.clock.set(start);
        r.s.setRecording(true);
        const QString x = r.tickedLine();
        QSignalSpy files(&r.s, &Session::recordFileChanged);
        r.s.recordTick();
        r.second(); // the full hour: a new file
        const QString y = r.tickedLine();
        QCOMPARE(r.s.recorder().stamp(), nextStamp);
        QTRY_COMPARE(r.file(firstStamp), Rec::inFile(x));
        QTRY_COMPARE(r.file(nextStamp), Rec::inFile(y));
        QCOMPARE(files.count(), 1);
        QVERIFY(r.s.recorder().isOn());
        // The interval counts from the new file's first second.
        QCOMPARE(r.s.recorder().count(), 0);
    }

    void fileChangesAfterSleepingThroughAnHour()
    {
        Rec r;
        r.at(QTime(10, 20));
        r.s.setRecording(true);
        r.at(QTime(13, 5)); // the machine slept
        r.s.clockTick();
        QCOMPARE(r.s.recorder().stamp(), QStringLiteral("2025-03-06-1305"));
    }

    // Switched off by the operator or by 解除COM (which unticks the switch:
    // tst_form2), recording stays off over the full hour.
    void hourlyChangeNeverSwitchesRecordingOn()
    {
        Rec r;
        r.at(QTime(10, 59, 59));
        r.s.setRecording(true);
        r.s.setRecording(false);
        r.second();
        QVERIFY(!r.s.recorder().isOn());
        QCOMPARE(r.s.recorder().stamp(), QStringLiteral("2025-03-06-1059"));
        QVERIFY(!QFileInfo::exists(r.folder + QStringLiteral("2025-03-06-1100.txt")));
    }

    // Lines are appended only from the start button to Exit; the hourly
    // change still starts the new file while recording is on.
    void linesOnlyWhileMonitoring_data()
    {
        QTest::addColumn<bool>("started");
        QTest::newRow("before the start button") << false;
        QTest::newRow("after Exit") << true;
    }
    void linesOnlyWhileMonitoring()
    {
        QFETCH(bool, started);
        Rec r(1, started);
        r.at(QTime(10, 59, 58));
        r.s.setRecording(true);
        r.tickedLine();
        if (started) {
            r.s.stop();
            QVERIFY(!r.s.recordTimer().enabled());
        }
        r.second();
        r.second();
        QCOMPARE(r.s.recorder().stamp(), QStringLiteral("2025-03-06-1100"));
        QVERIFY(QFileInfo::exists(r.folder + QStringLiteral("2025-03-06-1100.txt")));
        QVERIFY(r.file(QStringLiteral("2025-03-06-1059")).isEmpty());
        QVERIFY(r.file(QStringLiteral("2025-03-06-1100")).isEmpty());
        QVERIFY(!r.s.recordTimer().enabled());
    }

    void unreachableIntervalIsReported_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("reported");
        QTest::newRow("0") << 0.0 << true;
        QTest::newRow("2.5") << 2.5 << true;
        QTest::newRow("5") << 5.0 << false;
    }
    void unreachableIntervalIsReported()
    {
        QFETCH(double, seconds);
        QFETCH(bool, reported);
        Rec r(seconds);
        QSignalSpy notices(&r.s, &Session::noticeChanged);
        r.s.setRecording(true);
        QCOMPARE(!r.s.noticeText().isEmpty(), reported);
        QCOMPARE(notices.count(), reported ? 1 : 0);
        r.s.setRecording(false);
        QVERIFY(r.s.noticeText().isEmpty());
    }

    // A line that cannot be written is reported and recording stays on;
    // the next tick's line is the retry, and the report goes with it.
    void folderThatCannotBeMadeIsReportedAndRetried()
    {
        Rec r;
        r.editSetup(
            [&](SetupFile &f) { f.host.recordFolder = r.dir.file(QStringLiteral("missing/log/")); });
        r.s.setRecording(true);
        QVERIFY(r.s.noticeText().contains(QStringLiteral("record folder")));
        QVERIFY(r.s.recorder().isOn());
        r.tickedLine();
        r.second();
        QTRY_COMPARE(r.s.recordWriterWaiting(), 0);
        QVERIFY(!r.s.noticeText().isEmpty());
        // The operator makes the parent: the next line is written and the report goes.
        QVERIFY(QDir().mkdir(r.dir.file(QStringLiteral("missing"))));
        const QString y = r.tickedLine();
        r.second();
        QTRY_COMPARE(r.s.recordWriterWaiting(), 0);
        QVERIFY(r.s.noticeText().isEmpty());
        QCOMPARE(r.dir.read(QStringLiteral("missing/log/2025-03-06-1405.txt")),
                 Rec::inFile(y));
    }

    void fileThatCannotBeAppendedToIsReportedAndRetried()
    {
        Rec r;
        r.s.setRecording(true);
        r.tickedLine();
        r.second();
        QTRY_COMPARE(r.s.recordWriterWaiting(), 0);
        // Something takes the file's place (even root cannot append to a folder).
        const QString path = r.s.recorder().filePath();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
        r.tickedLine();
        r.second();
        QTRY_VERIFY(r.s.noticeText().contains(QStringLiteral("cannot write")));
        QVERIFY(QDir().rmdir(path));
        const QString z = r.tickedLine();
        r.second();
        QTRY_COMPARE(r.s.recordWriterWaiting(), 0);
        QVERIFY(r.s.noticeText().isEmpty());
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), Rec::inFile(z));
    }

    void fullDiskLosesNoPartLine()
    {
        Rec r;
        r.s.setRecording(true);
        const QString x = r.tickedLine();
        r.second();
        QTRY_COMPARE(r.s.recordWriterWaiting(), 0);
        {
            if (!kelmar::test::CanMakePosixFaults)
                QSKIP("Windows has no file size limit");
            kelmar::test::FileSizeLimit full(30);
            QVERIFY(full.active());
            r.tickedLine();
            r.second();
            QTRY_VERIFY(!r.s.noticeText().isEmpty());
        }
        QVERIFY(r.s.recorder().isOn());
        const QString z = r.tickedLine();
        r.second();
        QTRY_COMPARE(r.s.recordWriterWaiting(), 0);
        QVERIFY(r.s.noticeText().isEmpty());
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), Rec::inFile(x) + Rec::inFile(z));
    }
};

QTEST_MAIN(TstRecording)
#include "tst_recording.moc"
