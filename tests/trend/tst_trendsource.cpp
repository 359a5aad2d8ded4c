#include "recordfixture.h"
#include "trendsource.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace kelmar;

namespace {

// Generous: workers share the machine with sanitizers and other builds.
constexpr int Patience = 20000;

bool writeFile(const QString &path, const QByteArray &bytes,
               QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(bytes) == bytes.size();
}

QString firstTime(const Blocks &s)
{
    return s.isEmpty() ? QString()
                       : QDateTime::fromSecsSinceEpoch(qint64(s.first()->firstTime()))
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool inTimeOrder(const Blocks &s)
{
    double last = -HUGE_VAL;
    for (const auto &b : s)
        for (int i = 0; i < b->size(); ++i) {
            if (b->time(i) < last)
                return false;
            last = b->time(i);
        }
    return true;
}

} // namespace

class TestTrendSource : public QObject
{
    Q_OBJECT
private slots:
    void liveFileGrows();
    void hoursJoined_data();
    void hoursJoined();
    void hourlyChangeKeepsLastHour();
    void exportHoldsEachSecondOnce_data();
    void exportHoldsEachSecondOnce();
};

void TestTrendSource::liveFileGrows()
{
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("2025-03-06-1405.txt"));
    const QByteArray lines = test::recordLines(QTime(14, 5, 0), 10);
    const int lineBytes = int(lines.size() / 10);
    QVERIFY(writeFile(path, lines.left(3 * lineBytes)));

    TrendSource source;
    source.setFollowInterval(20);
    source.setCurrentFile(path);
    QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 3, Patience);

    // Half a line is not taken until its line end arrives.
    QVERIFY(writeFile(path, lines.mid(3 * lineBytes, lineBytes + 5), QIODevice::Append));
    QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 4, Patience);
    QVERIFY(writeFile(path, lines.mid(4 * lineBytes + 5), QIODevice::Append));
    QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 10, Patience);
    QVERIFY(source.notices().isEmpty());

    // A damaged line is skipped with a notice; following goes on.
    QVERIFY(writeFile(path, "14:05:10\tgarbage\r\n" + test::recordLines(QTime(14, 5, 11), 1),
                      QIODevice::Append));
    QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 11, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(source.notices().size(), 1, Patience);
    QVERIFY(source.notices().first().contains(QStringLiteral("line 11")));

    // Emptied and begun again (recording switched off and on in the minute).
    QVERIFY(writeFile(path, test::recordLines(QTime(14, 5, 40), 2)));
    QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 2, Patience);
    QCOMPARE(firstTime(source.blocks()), QStringLiteral("2025-03-06 14:05:40"));

    source.setCurrentFile(QString());
    QVERIFY(!source.isFollowing());
}

void TestTrendSource::hoursJoined_data()
{
    QTest::addColumn<QString>("prefix"); // below the temporary folder
    QTest::addColumn<int>("fromHour");
    QTest::addColumn<int>("hours");
    QTest::addColumn<QString>("follow"); // the file being written, if any
    QTest::addColumn<int>("samples");
    QTest::addColumn<QString>("notice");

    // Files: 14:05 (100 lines), 14:40 (50 lines, same hour), 15:00 (100), 16:00 (100),
    // and a file of the right name that is no record file.
    QTest::newRow("one hour with two files")
        << QStringLiteral("rec/") << 14 << 1 << QString() << 150 << QString();
    QTest::newRow("two hours joined")
        << QStringLiteral("rec/") << 14 << 2 << QString() << 250 << QString();
    QTest::newRow("the file being written is read once")
        << QStringLiteral("rec/") << 14 << 2 << QStringLiteral("2025-03-06-1405.txt") << 250 << QString();
    QTest::newRow("an earlier span leaves the file being written out")
        << QStringLiteral("rec/") << 14 << 1 << QStringLiteral("2025-03-06-1600.txt") << 150
        << QString();
    QTest::newRow("a file that is no record file")
        << QStringLiteral("rec/") << 17 << 1 << QString() << 0 << QStringLiteral("not a record file");
    QTest::newRow("hours without files")
        << QStringLiteral("rec/") << 3 << 2 << QString() << 0 << QStringLiteral("no record files");
    QTest::newRow("missing folder") << QStringLiteral("gone/") << 14 << 1 << QString() << 0
                                    << QStringLiteral("record folder missing");
}

void TestTrendSource::hoursJoined()
{
    QFETCH(QString, prefix);
    QFETCH(int, fromHour);
    QFETCH(int, hours);
    QFETCH(QString, follow);
    QFETCH(int, samples);
    QFETCH(QString, notice);

    QTemporaryDir tmp;
    QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("rec")));
    const QString rec = tmp.filePath(QStringLiteral("rec/"));
    QVERIFY(writeFile(rec + "2025-03-06-1405.txt", test::recordLines(QTime(14, 5, 0), 100)));
    QVERIFY(writeFile(rec + "2025-03-06-1440.txt", test::recordLines(QTime(14, 40, 0), 50)));
    QVERIFY(writeFile(rec + "2025-03-06-1500.txt", test::recordLines(QTime(15, 0, 0), 100)));
    QVERIFY(writeFile(rec + "2025-03-06-1600.txt", test::recordLines(QTime(16, 0, 0), 100)));
    QVERIFY(writeFile(rec + "2025-03-06-1700.txt", QByteArray(3000, '\x01') + "\n\x02\n"));

    TrendSource source;
    source.setFollowInterval(20);
    source.setRecordSource(tmp.filePath(prefix), QStringLiteral("txt"));
    if (!follow.isEmpty())
        source.setCurrentFile(rec + follow);
    QSignalSpy loading(&source, &TrendSource::loadingChanged);
    source.loadHours(QDateTime(QDate(2025, 3, 6), QTime(fromHour, 0)), hours);
    QTRY_VERIFY_WITH_TIMEOUT(!source.isLoading() && loading.size() == 2, Patience);
    QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), samples, Patience);
    QVERIFY(inTimeOrder(source.blocks()));
    if (notice.isEmpty()) {
        QVERIFY2(source.notices().isEmpty(), qPrintable(source.notices().join(u'\n')));
    } else {
        QCOMPARE(source.notices().size(), 1);
        QVERIFY2(source.notices().first().contains(notice), qPrintable(source.notices().first()));
    }
}

void TestTrendSource::hourlyChangeKeepsLastHour()
{
    QTemporaryDir tmp;
    const QString a = tmp.filePath(QStringLiteral("2025-03-06-1405.txt"));
    const QString b = tmp.filePath(QStringLiteral("2025-03-06-1500.txt"));
    QVERIFY(writeFile(a, test::recordLines(QTime(14, 59, 50), 10)));
    QVERIFY(writeFile(b, test::recordLines(QTime(15, 0, 0), 5)));
    TrendSource source;
    source.setFollowInterval(20);
    source.setCurrentFile(a);
    QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 10, Patience);
    source.setCurrentFile(b);
    QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 15, Patience);
    QCOMPARE(firstTime(source.blocks()), QStringLiteral("2025-03-06 14:59:50"));
}

void TestTrendSource::exportHoldsEachSecondOnce_data()
{
    QTest::addColumn<bool>("loaded"); // the hour was loaded before it was followed
    QTest::addColumn<bool>("followed");
    QTest::newRow("loaded, then followed live") << true << true;
    QTest::newRow("followed live only") << false << true;
    QTest::newRow("loaded only") << true << false;
}

void TestTrendSource::exportHoldsEachSecondOnce()
{
    QFETCH(bool, loaded);
    QFETCH(bool, followed);
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("2025-03-06-1405.txt"));
    const QByteArray lines = test::recordLines(QTime(14, 5, 0), 84, 30);
    QVERIFY(writeFile(path, lines.left(lines.indexOf("14:06:10"))));
    TrendSource source;
    source.setFollowInterval(20);
    source.setRecordSource(tmp.path() + u'/', QStringLiteral("txt"));
    if (loaded) {
        source.loadHours(QDateTime(QDate(2025, 3, 6), QTime(14, 0)), 1);
        QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 70, Patience);
        QTRY_VERIFY_WITH_TIMEOUT(!source.isLoading(), Patience);
    }
    if (followed)
        source.setCurrentFile(path);
    QVERIFY(writeFile(path, lines.mid(lines.indexOf("14:06:10")), QIODevice::Append));
    if (followed)
        QTRY_COMPARE_WITH_TIMEOUT(source.sampleCount(), 84, Patience);

    const QString csv = tmp.filePath(QStringLiteral("out.csv"));
    QSignalSpy done(&source, &TrendSource::exportFinished);
    const double from = double(QDateTime(QDate(2025, 3, 6), QTime(14, 0)).toSecsSinceEpoch());
    source.exportCsv(csv, from, from + 3600, {0, 2}, {QStringLiteral("a"), QStringLiteral("b")});
    QVERIFY(done.wait(Patience));
    QVERIFY(done.first().first().value<FileResult>().ok);
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QList<QByteArray> rows = f.readAll().split('\n');
    QCOMPARE(rows.takeLast(), QByteArray()); // after the last CR LF
    rows.removeFirst();                       // the header
    QCOMPARE(rows.size(), 84);
    const QList<QByteArray> written = lines.split('\n');
    for (int i = 0; i < rows.size(); ++i) {
        // In time order, each second once, the fields as the file has them.
        const QList<QByteArray> cells = rows[i].chopped(1).split(',');
        const QList<QByteArray> fields = written[i].chopped(1).split('\t');
        QCOMPARE(cells[0], QDateTime(QDate(2025, 3, 6), QTime(14, 5).addSecs(i))
                               .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                               .toLatin1());
        QCOMPARE(cells[1], fields[1]);
        QCOMPARE(cells[2], fields[3]);
    }
}

QTEST_GUILESS_MAIN(TestTrendSource)
#include "tst_trendsource.moc"
