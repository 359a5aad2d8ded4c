// Reading speed of record files: a full hour at one line per second (3,600
// lines) and a day's worth joined (86,400 lines, 24 files), as the trend
// window's worker reads them. Prints figures; not a CTest test.
#include "recordfixture.h"
#include "recordreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace kelmar;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    for (int h = 0; h < 24; ++h) {
        QFile f(dir.filePath(
            QStringLiteral("2025-03-06-%1.txt").arg(h * 100, 4, 10, QLatin1Char('0'))));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(test::recordLines(QTime(h, 0, 0), 3600, 1200));
    }
    const QString hour = dir.filePath(QStringLiteral("2025-03-06-1400.txt"));

    constexpr int Runs = 20;
    QList<qint64> us;
    int lines = 0;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer t;
        t.start();
        const RecordFileData d = readRecordFile(hour, recordFileStart(hour));
        us.append(t.nsecsElapsed() / 1000);
        lines = d.series.size();
    }
    std::sort(us.begin(), us.end());
    std::printf("one hour (%d lines, %lld bytes): median %.1f ms, worst %.1f ms over %d runs\n",
                lines, QFile(hour).size(), us[Runs / 2] / 1000.0, us.last() / 1000.0, Runs);

    QElapsedTimer t;
    t.start();
    const RecordListing listing = listRecordFiles(dir.path() + u'/', QStringLiteral("txt"));
    RecordSeries day;
    for (const RecordFileEntry &e : listing.files)
        day.append(readRecordFile(e.path, e.start).series);
    day.sortByTime();
    const RecordSeries shown = withTimeBreaks(day);
    std::printf("one day (%d files, %d lines) listed, read, joined: %.1f ms\n",
                int(listing.files.size()), day.size(), t.nsecsElapsed() / 1e6);
    return 0;
}
