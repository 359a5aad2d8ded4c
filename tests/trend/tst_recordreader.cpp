#include "cp950.h"
#include "recordfixture.h"
#include "recordreader.h"
#include "trendcsv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>

using namespace kelmar;

namespace {

const QByteArray Tabs12(12, '\t');

QDateTime at(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QStringList timesOf(const RecordSeries &s)
{
    QStringList out;
    for (double t : s.times)
        out.append(QDateTime::fromSecsSinceEpoch(qint64(t)).toString(
            QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    return out;
}

// The twelve values as text, "" for a gap.
QStringList valuesOf(const ParsedLine &p)
{
    QStringList out;
    for (double v : p.values)
        out.append(std::isnan(v) ? QString() : QString::number(v, 'g', 15));
    return out;
}

QStringList twelve(const QStringList &first)
{
    QStringList out = first;
    while (out.size() < RecordValueCount)
        out.append(QString());
    return out;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

bool appendFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::Append) && f.write(bytes) == bytes.size();
}

} // namespace

class TestRecordReader : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void parseLine_data();
    void parseLine();
    void feed_data();
    void feed();
    void listFiles_data();
    void listFiles();
    void readFile_data();
    void readFile();
    void followGrowingFile();
    void timeBreaks_data();
    void timeBreaks();
    void csv();
    void curveNames_data();
    void curveNames();
};

void TestRecordReader::initTestCase()
{
    // Numbers must read and write with '.' under a decimal-comma locale too.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestRecordReader::parseLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("values");

    const int ok = int(LineStatus::Ok), bad = int(LineStatus::Malformed);
    QTest::newRow("full line") << QByteArray(
                                      "14:05:07\t123.45\t-5\t16841711\t0\t1\t2\t3\t4\t5\t6\t7\t8")
                               << ok << QStringList{"123.45", "-5", "16841711", "0", "1", "2",
                                                    "3",      "4",  "5",        "6", "7", "8"};
    QTest::newRow("empty fields are gaps, not zeros")
        << QByteArray("14:05:07\t123.45") + QByteArray(11, '\t') << ok << twelve({"123.45"});
    QTest::newRow("nothing measured") << QByteArray("14:05:07") + Tabs12 << ok << twelve({});
    QTest::newRow("other time separator")
        << QByteArray("14.05.07\t\t\t\t\t\t\t\t\t\t\t\t9") << ok
        << QStringList{"", "", "", "", "", "", "", "", "", "", "", "9"};
    QTest::newRow("empty line") << QByteArray() << int(LineStatus::Empty) << twelve({});
    QTest::newRow("cut line") << QByteArray("14:05:07\t123.45\t\t\t") << bad << QStringList();
    QTest::newRow("one field too many")
        << QByteArray("14:05:07\t") + Tabs12 << bad << QStringList();
    QTest::newRow("hour 25") << QByteArray("25:00:00") + Tabs12 << bad << QStringList();
    QTest::newRow("time cut short") << QByteArray("14:05:7") + Tabs12 << bad << QStringList();
    QTest::newRow("decimal comma")
        << QByteArray("14:05:07\t12,5") + QByteArray(11, '\t') << bad << QStringList();
    QTest::newRow("exponent") << QByteArray("14:05:07\t1e5") + QByteArray(11, '\t') << bad
                              << QStringList();
    QTest::newRow("blank before number")
        << QByteArray("14:05:07\t 12") + QByteArray(11, '\t') << bad << QStringList();
    QTest::newRow("lone minus") << QByteArray("14:05:07\t-") + QByteArray(11, '\t') << bad
                                << QStringList();
    QTest::newRow("Big5 title row")
        << encodeCp950(QStringLiteral("時間\t電壓\t電流")) + QByteArray(10, '\t') << bad
        << QStringList();
}

void TestRecordReader::parseLine()
{
    QFETCH(QByteArray, line);
    QFETCH(int, status);
    QFETCH(QStringList, values);
    const ParsedLine p = parseRecordLine(line);
    QCOMPARE(int(p.status), status);
    if (p.status == LineStatus::Ok) {
        QVERIFY(p.time.isValid());
        QCOMPARE(valuesOf(p), values);
    }
}

void TestRecordReader::feed_data()
{
    QTest::addColumn<QString>("stamp");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("chunk"); // bytes per feed; 0: all at once
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<int>("bad");
    QTest::addColumn<QString>("notice"); // part of the first notice

    const QByteArray a = "14:05:07\t1" + QByteArray(11, '\t');
    const QByteArray b = "14:05:08\t2" + QByteArray(11, '\t');
    const QByteArray c = "14:05:09\t3" + QByteArray(11, '\t');
    const QStringList abc{"2025-03-06 14:05:07", "2025-03-06 14:05:08", "2025-03-06 14:05:09"};
    const QString s = QStringLiteral("2025-03-06-1405");

    QTest::newRow("CR LF") << s << a + "\r\n" + b + "\r\n" + c + "\r\n"
                           << 0 << true << abc << 0 << QString();
    QTest::newRow("LF only") << s << a + "\n" + b + "\n" + c + "\n"
                             << 0 << true << abc << 0 << QString();
    QTest::newRow("CR only") << s << a + "\r" + b + "\r" + c + "\r" << 0 << true << abc << 0
                             << QString();
    QTest::newRow("CR LF split between reads") << s << a + "\r\n" + b + "\r\n" + c + "\r\n"
                                               << 1 << true << abc << 0 << QString();
    QTest::newRow("CR only, byte by byte")
        << s << a + "\r" + b + "\r" + c + "\r" << 1 << true << abc << 0 << QString();
    QTest::newRow("last line without line end, file complete")
        << s << a + "\r\n" + b + "\r\n" + c << 7 << true << abc << 0 << QString();
    QTest::newRow("last line without line end held while the file grows")
        << s << a + "\r\n" + b + "\r\n" + c << 0 << false << abc.mid(0, 2) << 0 << QString();
    QTest::newRow("cut last line skipped")
        << s << a + "\r\n" + b + "\r\n" + "14:05:09\t3\t\t" << 0 << true << abc.mid(0, 2) << 1
        << QStringLiteral("line 3 cut or malformed");
    QTest::newRow("empty lines before the first reading")
        << s << QByteArray("\r\n\r\n") + a + "\r\n"
        << 0 << true << abc.mid(0, 1) << 0 << QString();
    QTest::newRow("Big5 title row skipped and shown readable")
        << s << encodeCp950(QStringLiteral("時間\t電壓 1")) + "\r\n" + a + "\r\n"
        << 0 << true << abc.mid(0, 1) << 1 << QStringLiteral("時間 電壓 1");
    QTest::newRow("file that crosses midnight")
        << QStringLiteral("2025-03-06-2340")
        << QByteArray("23:40:00") + Tabs12 + "\r\n23:59:59" + Tabs12 + "\r\n00:00:00" + Tabs12 +
               "\r\n00:00:01" + Tabs12 + "\r\n"
        << 0 << true
        << QStringList{"2025-03-06 23:40:00", "2025-03-06 23:59:59", "2025-03-07 00:00:00",
                       "2025-03-07 00:00:01"}
        << 0 << QString();
    // Files written before each line went into the file of its own hour.
    const QByteArray at2359 = "23:59:59" + Tabs12 + "\r\n", at0000 = "00:00:00" + Tabs12 + "\r\n";
    QTest::newRow("the hour before's last second opens a file")
        << QStringLiteral("2025-03-06-1500")
        << QByteArray("14:59:59") + Tabs12 + "\r\n15:00:00" + Tabs12 + "\r\n"
        << 0 << true << QStringList{"2025-03-06 14:59:59", "2025-03-06 15:00:00"} << 0 << QString();
    QTest::newRow("the day before's last second opens the file of midnight")
        << QStringLiteral("2025-03-07-0000") << at2359 + at0000 << 0 << true
        << QStringList{"2025-03-06 23:59:59", "2025-03-07 00:00:00"} << 0 << QString();
    QTest::newRow("a file kept through the night (the machine slept)")
        << QStringLiteral("2025-03-06-1730")
        << QByteArray("17:45:00") + Tabs12 + "\r\n08:00:00" + Tabs12 + "\r\n18:00:00" + Tabs12 +
               "\r\n"
        << 0 << true
        << QStringList{"2025-03-06 17:45:00", "2025-03-07 08:00:00", "2025-03-07 18:00:00"} << 0
        << QString();
    QTest::newRow("the clock set back before the stamp")
        << s << a + "\r\n" + QByteArray("14:04:30") + Tabs12 + "\r\n"
        << 0 << true << QStringList{"2025-03-06 14:05:07", "2025-03-06 14:04:30"} << 0 << QString();
    QTest::newRow("binary run without line end")
        << s << a + "\r\n" + QByteArray(100000, 'x') << 4096 << false << abc.mid(0, 1) << 1
        << QStringLiteral("line 2");
}

void TestRecordReader::feed()
{
    QFETCH(QString, stamp);
    QFETCH(QByteArray, bytes);
    QFETCH(int, chunk);
    QFETCH(bool, complete);
    QFETCH(QStringList, times);
    QFETCH(int, bad);
    QFETCH(QString, notice);

    RecordParser parser(QStringLiteral("/r/") + stamp + QStringLiteral(".txt"),
                        parseRecordStamp(stamp));
    RecordSeries out;
    QList<RecordIssue> issues;
    const int step = chunk > 0 ? chunk : int(bytes.size());
    for (int i = 0; i < bytes.size(); i += step)
        parser.feed(QByteArrayView(bytes).sliced(i, std::min<qsizetype>(step, bytes.size() - i)),
                    out, issues);
    if (complete)
        parser.finish(out, issues);
    QCOMPARE(timesOf(out), times);
    QCOMPARE(parser.badLines(), bad);
    QCOMPARE(issues.size(), bad);
    if (!notice.isEmpty())
        QVERIFY2(issues.first().text.contains(notice), qPrintable(issues.first().text));
}

void TestRecordReader::listFiles_data()
{
    QTest::addColumn<QString>("prefix"); // below the temporary folder
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("issues");
    QTest::addColumn<bool>("missing");

    QTest::newRow("folder with trailing separator")
        << QStringLiteral("rec/")
        << QStringList{"2025-03-06-1405.txt", "2025-03-06-1432.txt", "2025-03-06-1500.txt",
                       "2025-03-07-0000.txt"}
        << 1 << false;
    QTest::newRow("name prefix") << QStringLiteral("rec/log")
                                 << QStringList{"log2025-03-06-1600.txt"} << 0 << false;
    QTest::newRow("folder without trailing separator: files beside it")
        << QStringLiteral("rec") << QStringList{"rec2025-03-06-1700.txt"} << 0 << false;
    QTest::newRow("missing folder") << QStringLiteral("nothere/") << QStringList() << 1 << true;
}

void TestRecordReader::listFiles()
{
    QFETCH(QString, prefix);
    QFETCH(QStringList, expected);
    QFETCH(int, issues);
    QFETCH(bool, missing);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QDir dir(tmp.path());
    QVERIFY(dir.mkpath(QStringLiteral("rec")));
    for (const char *name : {"2025-03-06-1500.txt", "2025-03-06-1405.txt", "2025-03-06-1432.txt",
                             "2025-03-07-0000.txt", "2025-03-06-1405.csv", "notes.txt",
                             "2025-13-06-1405.txt", "log2025-03-06-1600.txt"})
        QVERIFY(writeFile(dir.filePath(QStringLiteral("rec/") + QLatin1String(name)), "x"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("rec2025-03-06-1700.txt")), "x"));
    // A folder that looks like a record file is reported, never opened.
    QVERIFY(dir.mkpath(QStringLiteral("rec/2025-03-06-1800.txt")));

    const RecordListing r = listRecordFiles(dir.filePath(prefix), QStringLiteral("txt"));
    QStringList names;
    for (const RecordFileEntry &e : r.files)
        names.append(QFileInfo(e.path).fileName());
    QCOMPARE(names, expected);
    QCOMPARE(r.issues.size(), issues);
    QCOMPARE(r.folderMissing, missing);
    for (const RecordFileEntry &e : r.files)
        QCOMPARE(e.start, recordFileStart(e.path));
}

void TestRecordReader::readFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("samples");
    QTest::addColumn<QString>("notice"); // part of the only notice, or empty for none

    const QByteArray hour = test::recordLines(QTime(14, 5, 0), 3600, 1200);
    QTest::newRow("an hour at one line per second") << hour << 3600 << QString();
    QTest::newRow("an hour with a cut last line")
        << hour + "15:05:00\t230.1\t16" << 3600 << QStringLiteral("line 3601");
    QTest::newRow("not a record file") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << 0
                                       << QStringLiteral("not a record file");
    QTest::newRow("empty file") << QByteArray() << 0 << QString();
    QTest::newRow("the clock set back: read in time order")
        << hour.left(hour.indexOf("14:06:00")) + test::recordLines(QTime(14, 5, 30), 10) << 70
        << QString();
}

void TestRecordReader::readFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, samples);
    QFETCH(QString, notice);

    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("2025-03-06-1405.txt"));
    QVERIFY(writeFile(path, bytes));
    const RecordFileData d = readRecordFile(path, recordFileStart(path));
    QCOMPARE(d.series.size(), samples);
    QVERIFY(std::is_sorted(d.series.times.cbegin(), d.series.times.cend()));
    QCOMPARE(d.issues.size(), notice.isEmpty() ? 0 : 1);
    if (!notice.isEmpty())
        QVERIFY2(d.issues.first().text.contains(notice), qPrintable(d.issues.first().text));
    if (samples == 3600) {
        QCOMPARE(timesOf(d.series).first(), QStringLiteral("2025-03-06 14:05:00"));
        QCOMPARE(timesOf(d.series).last(), QStringLiteral("2025-03-06 15:04:59"));
        QCOMPARE(d.series.values[0][0], 230.0);
        QVERIFY(std::isnan(d.series.values[2][1200]));  // slot 2 not measured
        QVERIFY(!std::isnan(d.series.values[2][1800])); // measured again
        QVERIFY(std::isnan(d.series.values[3][0]));     // never measured
        QCOMPARE(d.series.values[4][0], -5.0);
    }
}

void TestRecordReader::followGrowingFile()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("rec2025-03-06-1405.txt"));
    RecordFollower f(path);

    RecordFollower::Step s = f.readMore();
    QCOMPARE(s.issues.size(), 1); // not made yet: said once
    QVERIFY(f.readMore().issues.isEmpty());

    const QByteArray lines = test::recordLines(QTime(14, 5, 0), 3);
    QVERIFY(writeFile(path, lines.left(lines.size() - 20)));
    s = f.readMore();
    QCOMPARE(s.samples.size(), 2); // the third line is still being written
    QVERIFY(s.issues.isEmpty());
    QVERIFY(appendFile(path, lines.right(20)));
    s = f.readMore();
    QCOMPARE(s.samples.size(), 1);
    QCOMPARE(timesOf(s.samples), QStringList{"2025-03-06 14:05:02"});
    QCOMPARE(f.offset(), qint64(lines.size()));
    QCOMPARE(f.readMore().samples.size(), 0);

    // Recording switched off and on within the minute empties the file.
    QVERIFY(writeFile(path, test::recordLines(QTime(14, 5, 30), 1)));
    s = f.readMore();
    QVERIFY(s.restarted);
    QCOMPARE(timesOf(s.samples), QStringList{"2025-03-06 14:05:30"});
}

void TestRecordReader::timeBreaks_data()
{
    QTest::addColumn<QList<double>>("times");
    QTest::addColumn<int>("breaks");

    QTest::newRow("steady seconds") << QList<double>{0, 1, 2, 3, 4, 5} << 0;
    QTest::newRow("one missed line is no break") << QList<double>{0, 1, 2, 4, 5, 6} << 0;
    QTest::newRow("recording off for ten minutes") << QList<double>{0, 1, 2, 3, 603, 604, 605} << 1;
    QTest::newRow("one-minute interval, two pauses")
        << QList<double>{0, 60, 120, 180, 1000, 1060, 1120, 5000, 5060} << 2;
}

void TestRecordReader::timeBreaks()
{
    QFETCH(QList<double>, times);
    QFETCH(int, breaks);
    RecordSeries s;
    std::array<double, RecordValueCount> row;
    row.fill(1.0);
    for (double t : times)
        s.append(t, row);
    const RecordSeries b = withTimeBreaks(s);
    QCOMPARE(b.size(), s.size() + breaks);
    int gaps = 0;
    for (int i = 0; i < b.size(); ++i)
        gaps += std::isnan(b.values[0][i]) ? 1 : 0;
    QCOMPARE(gaps, breaks);
    QVERIFY(std::is_sorted(b.times.cbegin(), b.times.cend()));
}

void TestRecordReader::csv()
{
    // Values leave as the file holds them; a second in two files (the same
    // hour recorded twice) leaves once, in time order.
    QTemporaryDir tmp;
    const QString a = tmp.filePath(QStringLiteral("2025-03-06-1405.txt"));
    const QString b = tmp.filePath(QStringLiteral("x2025-03-06-1405.txt"));
    QVERIFY(writeFile(a, "14:05:00\t123.45\t\t\t16841711" + QByteArray(8, '\t') + "\r\n"
                         "14:05:01\t124.45\t\t\t16841712" + QByteArray(8, '\t') + "\r\n"
                         "14:05:02\t220.0\t\t\t" + QByteArray(8, '\t') + "\r\n"));
    QVERIFY(writeFile(b, "14:05:02\t999\t\t\t1" + QByteArray(8, '\t') + "\r\n"
                         "14:05:03\t-0.0005\t\t\t2" + QByteArray(8, '\t') + "\r\n"));
    const QDateTime start = at("2025-03-06 14:05:00");
    const double t0 = double(start.toSecsSinceEpoch());
    const QByteArray out = trendCsv({{a, start}, {b, start}}, t0 + 1, t0 + 3, {0, 3},
                                    {QStringLiteral("電壓 1"), QStringLiteral("A, \"B\" 2")});
    const QByteArray expected = "\xEF\xBB\xBF"
                                "時間 (time),電壓 1,\"A, \"\"B\"\" 2\"\r\n"
                                "2025-03-06 14:05:01,124.45,16841712\r\n"
                                "2025-03-06 14:05:02,220.0,\r\n"
                                "2025-03-06 14:05:03,-0.0005,2\r\n";
    QCOMPARE(out, expected);
    // The next hour's first second, held by the file before it, leaves too.
    QVERIFY(appendFile(a, "15:00:00\t7" + QByteArray(11, '\t') + "\r\n"));
    const double t1 = double(at("2025-03-06 15:00:00").toSecsSinceEpoch());
    QVERIFY(trendCsv({{a, start}}, t1, t1 + 60, {0}, {QString()})
                .endsWith("\r\n2025-03-06 15:00:00,7\r\n"));
}

void TestRecordReader::curveNames_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    const QStringList titles{QStringLiteral("電壓"), QString(), QStringLiteral("  ")};
    QTest::newRow("first value") << titles << 0 << QStringLiteral("電壓 1");
    QTest::newRow("second value") << titles << 1 << QStringLiteral("電壓 2");
    QTest::newRow("empty title") << titles << 3 << QStringLiteral("儀表2 2");
    QTest::newRow("blank title") << titles << 4 << QStringLiteral("儀表3 1");
    QTest::newRow("no title given") << titles << 11 << QStringLiteral("儀表6 2");
}

void TestRecordReader::curveNames()
{
    QFETCH(QStringList, titles);
    QFETCH(int, index);
    QFETCH(QString, name);
    QCOMPARE(curveName(titles, index), name);
}

QTEST_GUILESS_MAIN(TestRecordReader)
#include "tst_recordreader.moc"
