// A record hour of 10^6 lines (a fault or a fast record interval) opened
// and followed by the trend window while recording goes on into the same
// file: the event loop that polls and records never stands still long, no
// record line is lost, memory stays bounded. The recorder writes here
// directly, apart from the session whose interface is being reworked.
#include "clock.h"
#include "recorder.h"
#include "recordformat.h"
#include "trendwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace kelmar;

namespace {

constexpr int Patience = 240000;
constexpr int Lines = 1000000;

long peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

} // namespace

class TestTrendLoad : public QObject
{
    Q_OBJECT
private slots:
    void millionLinesWhileRecording();
};

void TestTrendLoad::millionLinesWhileRecording()
{
    QTemporaryDir dir;
    ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(14, 0, 0)));
    Recorder recorder(clock, dir.path());
    QVERIFY(recorder.switchOn(QString(), QStringLiteral("txt")).ok);
    const QString path = recorder.filePath();
    {
        // 278 lines a second fill the hour with 10^6 lines.
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray chunk;
        const QStringList values{QStringLiteral("220.0"), QStringLiteral("16841711"),
                                 QString(), QStringLiteral("-0.0005")};
        for (int i = 0; i < Lines; ++i) {
            chunk += encodeRecordLine(buildRecordLine(
                recordTimeText(clock.now().addSecs(i / 278)), values));
            if (chunk.size() > (1 << 20)) {
                QVERIFY(f.write(chunk) == chunk.size());
                chunk.clear();
            }
        }
        QVERIFY(f.write(chunk) == chunk.size());
    }
    clock.set(QDateTime(QDate(2025, 3, 6), QTime(14, 59, 59)));

    TrendWindow window(clock);
    window.resize(790, 560);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // The display clock: a tick every 20 ms; the longest wait between two is the stall.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer display;
    display.setInterval(20);
    connect(&display, &QTimer::timeout, this, [&] {
        longestStall = std::max(longestStall, sinceTick.restart() - 20);
    });
    // Recording goes on into the same file, a line every 100 ms.
    int due = 0, written = 0;
    QTimer record;
    record.setInterval(100);
    connect(&record, &QTimer::timeout, this, [&] {
        ++due;
        if (recorder.append(buildRecordLine(recordTimeText(clock.now()), {QStringLiteral("1")}))
                .ok)
            ++written;
    });
    sinceTick.start();
    display.start();
    record.start();

    window.setRecordSource(dir.path() + u'/', QStringLiteral("txt"));
    window.setCurrentFile(path);
    QTRY_VERIFY_WITH_TIMEOUT(window.source().sampleCount() >= Lines, Patience);
    // Followed on for two seconds more.
    const int target = written + 20;
    QTRY_VERIFY_WITH_TIMEOUT(written >= target, Patience);
    record.stop();
    QTRY_COMPARE_WITH_TIMEOUT(window.source().sampleCount(), qint64(Lines + written), Patience);
    display.stop();

    qInfo("longest stall of the display clock: %lld ms; %d of %d record lines written; peak "
          "memory %ld MB",
          longestStall, written, due, peakKb() / 1024);
    QCOMPARE(written, due);
    // Generous for sanitizer builds on a shared machine; Release stays far below.
    QVERIFY2(longestStall < 1000, qPrintable(QString::number(longestStall)));
    QVERIFY(peakKb() < 1024 * 1024);
}

QTEST_MAIN(TestTrendLoad)
#include "tst_trendload.moc"
