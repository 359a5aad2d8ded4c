#include "clock.h"
#include "findcontrol.h"
#include "form1.h"
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
        Form1 f(dir.path(), clock, test::lendPort(port));
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
        QCOMPARE(r.dir.read(QStringLiteral("rel/2025-03-06-1405.txt")), Rec::inFile(x));
    }

    void beforeTheFirstTickLinesAreEmpty()
    {
        Rec r(2);
        r.s.setRecording(true);
        for (int i = 0; i < 4; ++i)
            r.second();
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), QByteArray("\r\n\r\n"));
    }

    void sameLineAgainWhenNoTickEnded()
    {
        Rec r;
        r.s.setRecording(true);
        QCOMPARE(r.tickedLine(), QStringLiteral("14:05:07\t1") + QString(11, u'\t'));
        r.second();
        r.second();
        const QByteArray line = "14:05:07\t1" + QByteArray(11, '\t') + "\r\n";
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), line + line);
    }

    void offAndOnWithinAMinuteKeepsTheLines()
    {
        Rec r;
        r.s.setRecording(true);
        const QString a = r.tickedLine();
        r.second();
        r.s.setRecording(false);
        r.s.setRecording(true);
        r.second();
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), Rec::inFile(a) + Rec::inFile(a));
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
        r.second(); // the full hour: new file first, then this second's line
        QCOMPARE(r.s.recorder().stamp(), nextStamp);
        QCOMPARE(r.file(firstStamp), Rec::inFile(x));
        QCOMPARE(r.file(nextStamp), Rec::inFile(x));
        QCOMPARE(files.count(), 1);
        QVERIFY(r.s.recorder().isOn());
        // The interval counts from the new file's first second.
        QVERIFY(r.s.recordTimer().enabled());
        r.stopTimers();
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

    void folderThatCannotBeMadeIsReportedAndRetried()
    {
        Rec r;
        r.editSetup(
            [&](SetupFile &f) { f.host.recordFolder = r.dir.file(QStringLiteral("missing/log/")); });
        r.s.setRecording(true);
        QVERIFY(r.s.noticeText().contains(QStringLiteral("record folder")));
        QVERIFY(r.s.recorder().isOn());
        const QString x = r.tickedLine();
        r.second();
        QVERIFY(!r.s.noticeText().isEmpty());
        // The operator makes the parent: the next interval writes and the report goes.
        QVERIFY(QDir().mkdir(r.dir.file(QStringLiteral("missing"))));
        r.second();
        QVERIFY(r.s.noticeText().isEmpty());
        QCOMPARE(r.dir.read(QStringLiteral("missing/log/2025-03-06-1405.txt")),
                 Rec::inFile(x));
    }

    void fileThatCannotBeAppendedToIsReportedAndRetried()
    {
        Rec r;
        r.s.setRecording(true);
        const QString x = r.tickedLine();
        r.second();
        // Something takes the file's place (even root cannot append to a folder).
        const QString path = r.s.recorder().filePath();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
        r.second();
        QVERIFY(r.s.noticeText().contains(QStringLiteral("cannot write")));
        QVERIFY(QDir().rmdir(path));
        r.second();
        QVERIFY(r.s.noticeText().isEmpty());
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), Rec::inFile(x));
    }

    void fullDiskLosesNoPartLine()
    {
        Rec r;
        r.s.setRecording(true);
        QCOMPARE(r.tickedLine(), QStringLiteral("14:05:07\t1") + QString(11, u'\t'));
        r.second();
        {
            if (!kelmar::test::CanMakePosixFaults)
                QSKIP("Windows has no file size limit");
            kelmar::test::FileSizeLimit full(30);
            QVERIFY(full.active());
            r.second();
        }
        QVERIFY(!r.s.noticeText().isEmpty());
        QVERIFY(r.s.recorder().isOn());
        r.second();
        QVERIFY(r.s.noticeText().isEmpty());
        const QByteArray line = "14:05:07\t1" + QByteArray(11, '\t') + "\r\n";
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), line + line);
    }
};

QTEST_MAIN(TstRecording)
#include "tst_recording.moc"
