#include "clock.h"
#include "fakemeterport.h"
#include "form1.h"
#include "form2.h"
#include "form3.h"
#include "testfolder.h"
#include "intervaltimer.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace kelmar;
using kelmar::test::FakeMeterPort;
using kelmar::test::TestFolder;

namespace {

const QDate Day(2025, 3, 6);

// A connected main window whose timers are driven by hand, with the record
// folder in a temporary folder.
struct Rec
{
    TestFolder dir;
    ManualClock clock{QDateTime(Day, QTime(14, 5, 7))};
    FakeMeterPort port;
    Form1 form{dir.path(), clock, &port};
    QString folder;

    explicit Rec(double seconds = 1)
    {
        form.Form_Load();
        form.Timer1->setEnabled(false);
        form.Timer2->setEnabled(false);
        form.Timer3->setEnabled(false);
        folder = dir.file(QStringLiteral("log/"));
        form.form2()->Text1->setText(folder);
        form.Text2->setText(QStringLiteral("txt"));
        form.RecordSeconds = seconds;
        form.form2()->Command1_Click();
    }
    QCheckBox *check() { return form.form2()->Check1; }
    void at(const QTime &t, const QDate &d = Day) { clock.set(QDateTime(d, t)); }
    QByteArray file(const QString &stamp)
    {
        return dir.read(QStringLiteral("log/") + stamp + QStringLiteral(".txt"));
    }
    void second()
    {
        clock.advanceSeconds(1);
        form.Timer2_Timer();
        form.Timer3_Timer();
    }
};

} // namespace

class TstRecording : public QObject
{
    Q_OBJECT
private slots:
    void switchingOnStartsAFileAndTheIndicator()
    {
        Rec r;
        r.check()->setChecked(true);
        QVERIFY(QFileInfo(r.folder).isDir());
        QCOMPARE(r.form.Text1->text(), QStringLiteral("2025-03-06-1405"));
        QCOMPARE(r.form.form2()->Text2->text(), r.folder + QStringLiteral("2025-03-06-1405.txt"));
        QVERIFY(QFileInfo::exists(r.folder + QStringLiteral("2025-03-06-1405.txt")));
        QCOMPARE(r.form.form3()->Label14->text(), QStringLiteral("RECORD"));

        r.check()->setChecked(false);
        QCOMPARE(r.form.form3()->Label14->text(), QString());
        QCOMPARE(r.form.Text1->text(), QStringLiteral("2025-03-06-1405"));
        QCOMPARE(r.form.form2()->Text2->text(), r.folder + QStringLiteral(".txt"));
    }

    void relativeFolderLiesInTheProgramFolder()
    {
        Rec r;
        r.form.form2()->Text1->setText(QStringLiteral("rel/"));
        r.check()->setChecked(true);
        r.form.RecordLine = QStringLiteral("x");
        r.second();
        QCOMPARE(r.form.form2()->Text2->text(), QStringLiteral("rel/2025-03-06-1405.txt"));
        QCOMPARE(r.dir.read(QStringLiteral("rel/2025-03-06-1405.txt")), QByteArray("x\r\n"));
    }

    void beforeTheFirstTickLinesAreEmpty()
    {
        Rec r(2);
        r.check()->setChecked(true);
        for (int i = 0; i < 4; ++i)
            r.second();
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), QByteArray("\r\n\r\n"));
    }

    void sameLineAgainWhenNoTickEnded()
    {
        Rec r;
        r.check()->setChecked(true);
        r.form.RecordLine = QStringLiteral("14:05:07\t1") + QString(11, u'\t');
        r.second();
        r.second();
        const QByteArray line = "14:05:07\t1" + QByteArray(11, '\t') + "\r\n";
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), line + line);
    }

    void offAndOnWithinAMinuteKeepsTheLines()
    {
        Rec r;
        r.check()->setChecked(true);
        r.form.RecordLine = QStringLiteral("a");
        r.second();
        r.check()->setChecked(false);
        r.check()->setChecked(true);
        r.second();
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), QByteArray("a\r\na\r\n"));
    }

    void hourlyChange_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QString>("firstStamp");
        QTest::addColumn<QString>("nextStamp");
        QTest::newRow("10:59:59 to 11:00") << QDateTime(Day, QTime(10, 59, 59)) << "2025-03-06-1059"
                                           << "2025-03-06-1100";
        QTest::newRow("23:40 to midnight") << QDateTime(Day, QTime(23, 59, 59)) << "2025-03-06-2359"
                                           << "2025-03-07-0000";
    }
    void hourlyChange()
    {
        QFETCH(QDateTime, start);
        QFETCH(QString, firstStamp);
        QFETCH(QString, nextStamp);
        Rec r;
        r.clock.set(start);
        r.check()->setChecked(true);
        r.form.RecordLine = QStringLiteral("x");
        r.form.Timer3_Timer();
        r.second(); // the full hour: new file first, then this second's line
        QCOMPARE(r.form.Text1->text(), nextStamp);
        QCOMPARE(r.file(firstStamp), QByteArray("x\r\n"));
        QCOMPARE(r.file(nextStamp), QByteArray("x\r\n"));
        QVERIFY(r.check()->isChecked());
        QVERIFY(r.form.Timer3->enabled());
    }

    void fileChangesAfterSleepingThroughAnHour()
    {
        Rec r;
        r.at(QTime(10, 20));
        r.check()->setChecked(true);
        r.at(QTime(13, 5)); // the machine slept
        r.form.Timer2_Timer();
        QCOMPARE(r.form.Text1->text(), QStringLiteral("2025-03-06-1305"));
    }

    void hourlyChangeNeverSwitchesRecordingOn_data()
    {
        QTest::addColumn<bool>("disconnect");
        QTest::newRow("switched off by the operator") << false;
        QTest::newRow("after 解除COM") << true;
    }
    void hourlyChangeNeverSwitchesRecordingOn()
    {
        QFETCH(bool, disconnect);
        Rec r;
        r.at(QTime(10, 59, 59));
        r.check()->setChecked(true);
        if (disconnect)
            r.form.form2()->Command2_Click();
        else
            r.check()->setChecked(false);
        r.second();
        QVERIFY(!r.check()->isChecked());
        QCOMPARE(r.form.Text1->text(), QStringLiteral("2025-03-06-1059"));
        QVERIFY(!QFileInfo::exists(r.folder + QStringLiteral("2025-03-06-1100.txt")));
    }

    void exitStopsRecordTimerUntilHourlyChange()
    {
        Rec r;
        r.at(QTime(10, 59, 59));
        r.check()->setChecked(true);
        r.form.Command3_Click();
        QVERIFY(r.form.Timer3->enabled());
        r.form.form3()->Command1_Click();
        QVERIFY(!r.form.Timer3->enabled());
        r.clock.advanceSeconds(1);
        r.form.Timer2_Timer();
        QVERIFY(r.form.Timer3->enabled());
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
        r.check()->setChecked(true);
        QCOMPARE(!r.form.LabelNotice->text().isEmpty(), reported);
        QCOMPARE(r.form.form3()->notice(), r.form.LabelNotice->text());
        r.check()->setChecked(false);
        QVERIFY(r.form.LabelNotice->text().isEmpty());
    }

    void folderThatCannotBeMadeIsReportedAndRetried()
    {
        Rec r;
        const QString folder = r.dir.file(QStringLiteral("missing/log/"));
        r.form.form2()->Text1->setText(folder);
        r.check()->setChecked(true);
        QVERIFY(r.form.LabelNotice->text().contains(QStringLiteral("record folder")));
        QVERIFY(r.check()->isChecked());
        r.form.RecordLine = QStringLiteral("x");
        r.second();
        QVERIFY(!r.form.LabelNotice->text().isEmpty());
        // The operator makes the parent: the next interval writes and the report goes.
        QVERIFY(QDir().mkdir(r.dir.file(QStringLiteral("missing"))));
        r.second();
        QVERIFY(r.form.LabelNotice->text().isEmpty());
        QCOMPARE(r.dir.read(QStringLiteral("missing/log/2025-03-06-1405.txt")),
                 QByteArray("x\r\n"));
    }

    void fileThatCannotBeAppendedToIsReportedAndRetried()
    {
        Rec r;
        r.check()->setChecked(true);
        r.form.RecordLine = QStringLiteral("x");
        r.second();
        // Something takes the file's place (even root cannot append to a folder).
        const QString path = r.form.form2()->Text2->text();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
        r.second();
        QVERIFY(r.form.LabelNotice->text().contains(QStringLiteral("cannot write")));
        QVERIFY(r.form.form3()->notice().contains(QStringLiteral("cannot write")));
        QVERIFY(QDir().rmdir(path));
        r.second();
        QVERIFY(r.form.LabelNotice->text().isEmpty());
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), QByteArray("x\r\n"));
    }

    void fullDiskLosesNoPartLine()
    {
        Rec r;
        r.check()->setChecked(true);
        r.form.RecordLine = QStringLiteral("14:05:07\t1") + QString(11, u'\t');
        r.second();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit full = saved;
        full.rlim_cur = 30;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
        r.second();
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(!r.form.LabelNotice->text().isEmpty());
        QVERIFY(r.check()->isChecked());
        r.second();
        QVERIFY(r.form.LabelNotice->text().isEmpty());
        const QByteArray line = "14:05:07\t1" + QByteArray(11, '\t') + "\r\n";
        QCOMPARE(r.file(QStringLiteral("2025-03-06-1405")), line + line);
    }
};

QTEST_MAIN(TstRecording)
#include "tst_recording.moc"
