#include "clock.h"
#include "fonts.h"
#include "recordfixture.h"
#include "trendwindow.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <qcustomplot.h>

using namespace kelmar;

namespace {

constexpr int Patience = 20000;
const QDateTime Start(QDate(2025, 3, 6), QTime(14, 5, 0));

bool writeFile(const QString &path, const QByteArray &bytes,
               QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(bytes) == bytes.size();
}

// The curves the list beside the plot names: those with values in the span.
int listedCurves(QWidget *window)
{
    auto *list = window->findChild<QListWidget *>(QStringLiteral("curves"));
    int n = 0;
    for (int k = 0; k < list->count(); ++k)
        n += list->item(k)->isHidden() ? 0 : 1;
    return n;
}

int gapsIn(QCPGraph *g)
{
    int n = 0;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
        n += std::isnan(it->value) ? 1 : 0;
    return n;
}

} // namespace

class TestTrendWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void hourOfData();
    void curvesSwitch_data();
    void curvesSwitch();
    void keysZoomAndPan_data();
    void keysZoomAndPan();
    void valueUnderCursor();
    void barsOnWorker_data();
    void barsOnWorker();
    void exports();
    void liveFileWhileOpen();
    void missingFolderNotice();
    void opensOnNewest_data();
    void opensOnNewest();
    void fitsScreen_data();
    void fitsScreen();

private:
    QCustomPlot *plot() const { return m_window->findChild<QCustomPlot *>(QStringLiteral("plot")); }
    QString notice() const
    {
        return m_window->findChild<QLabel *>(QStringLiteral("notice"))->text();
    }
    void openHour();
    // The reduction for the span in view has arrived.
    bool viewSettled() const
    {
        const ReducedView &v = m_window->source().view();
        const QCPRange x = plot()->xAxis->range();
        return !m_window->source().isLoading() && v.from == x.lower && v.to == x.upper &&
               v.pixels == plot()->axisRect()->width();
    }
    FileResult exportCsv(const QString &path)
    {
        QSignalSpy done(&m_window->source(), &TrendSource::exportFinished);
        m_window->exportCsv(path);
        if (!done.wait(Patience))
            return {false, QStringLiteral("timeout")};
        const FileResult r = done.first().first().value<FileResult>();
        if (!r.ok)
            qWarning() << r.error;
        return r;
    }

    ManualClock m_clock{Start.addSecs(3600)};
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TrendWindow> m_window;
};

void TestTrendWindow::initTestCase()
{
    installFontSubstitutions();
}

void TestTrendWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // An hour at one line per second, slot 2 unmeasured for ten minutes from 14:25.
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("2025-03-06-1405.txt")),
                      test::recordLines(Start.time(), 3600, 1200)));
    m_window = std::make_unique<TrendWindow>(m_clock);
    m_window->setSlotTitles({QStringLiteral("電壓"), QStringLiteral("頻率"), QString(), QString(),
                             QString(), QString()});
}

void TestTrendWindow::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

void TestTrendWindow::openHour()
{
    m_window->setRecordSource(m_dir->path() + u'/', QStringLiteral("txt"));
    m_window->showHours(Start, 1);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTRY_COMPARE_WITH_TIMEOUT(m_window->source().sampleCount(), 3600, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(viewSettled(), Patience);
}

void TestTrendWindow::hourOfData()
{
    openHour();
    QCustomPlot *p = plot();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("趨勢圖 (trend)"));
    QCOMPARE(p->graphCount(), 12);
    // Curves with data only in the legend: slot 1 both, slot 2 first, slot 3 first.
    QCOMPARE(listedCurves(m_window.get()), 4);
    QCOMPARE(p->graph(0)->name(), QStringLiteral("電壓 1"));
    QCOMPARE(p->graph(3)->name(), QStringLiteral("頻率 2"));
    QCOMPARE(p->graph(4)->name(), QStringLiteral("儀表3 1"));
    // Drawn from at most two points per pixel column, not the 3600 lines.
    QVERIFY(p->graph(0)->data()->size() > 0);
    QVERIFY(p->graph(0)->data()->size() <= 2 * p->axisRect()->width());
    QCOMPARE(gapsIn(p->graph(0)), 0);
    QCOMPARE(gapsIn(p->graph(2)), 1); // ten minutes of empty fields are one gap
    // The whole hour is in view, in local time.
    QVERIFY(p->xAxis->range().contains(double(Start.toSecsSinceEpoch())));
    QVERIFY(p->xAxis->range().contains(double(Start.addSecs(3599).toSecsSinceEpoch())));
    // Each curve on its own scale: the counter does not flatten the voltage.
    QVERIFY(m_window->valueAxis(1)->range().contains(16841711 + 3599));
    QVERIFY(m_window->valueAxis(4)->range().contains(-6));
    QVERIFY(p->yAxis->range().size() < 20);
    QCOMPARE(m_window->valueAxis(0), p->yAxis);
    auto ticker = p->xAxis->ticker().dynamicCast<QCPAxisTickerDateTime>();
    QVERIFY(ticker);
    QCOMPARE(ticker->dateTimeSpec(), Qt::LocalTime);
    QCOMPARE(QFontInfo(p->xAxis->tickLabelFont()).family(), QStringLiteral("Liberation Sans"));
    QVERIFY(QFontInfo(p->legend->font()).family().startsWith(QStringLiteral("AR PL UMing")));
    QVERIFY(notice().isEmpty());

    const QString grabs = QStringLiteral(KELMAR_BINARY_DIR "/grabs");
    QDir().mkpath(grabs);
    // Without the counter, whose scale flattens the rest, the gap shows.
    m_window->findChild<QListWidget *>(QStringLiteral("curves"))
        ->item(1)
        ->setCheckState(Qt::Unchecked);
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QApplication::sendEvent(p, &home);
    QVERIFY(!p->yAxis->range().contains(16841711));
    p->replot(); // the window replots on its next event loop pass; grab what it shows then
    QVERIFY(m_window->grab().save(grabs + QStringLiteral("/tst_trendwindow.png")));
}

void TestTrendWindow::curvesSwitch_data()
{
    QTest::addColumn<QList<int>>("off");
    QTest::addColumn<int>("legend");
    QTest::addColumn<int>("csvColumns");
    // A curve switched off stays in the list, so it can be switched on again.
    QTest::newRow("all on") << QList<int>{} << 4 << 13;
    QTest::newRow("counter off") << QList<int>{1} << 4 << 12;
    QTest::newRow("unmeasured curves off") << QList<int>{3, 5, 6, 7, 8, 9, 10, 11} << 4 << 5;
}

void TestTrendWindow::curvesSwitch()
{
    QFETCH(QList<int>, off);
    QFETCH(int, legend);
    QFETCH(int, csvColumns);
    openHour();
    auto *list = m_window->findChild<QListWidget *>(QStringLiteral("curves"));
    for (int k : off)
        list->item(k)->setCheckState(Qt::Unchecked);
    for (int k = 0; k < 12; ++k)
        QCOMPARE(plot()->graph(k)->visible(), !off.contains(k));
    QCOMPARE(listedCurves(m_window.get()), legend);
    const QString csv = m_dir->filePath(QStringLiteral("out.csv"));
    QVERIFY(exportCsv(csv).ok);
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readLine().split(',').size(), csvColumns);
}

void TestTrendWindow::keysZoomAndPan_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<double>("timeSpan");  // factor on the span's width
    QTest::addColumn<double>("timeShift"); // shift of its centre, in widths
    QTest::addColumn<double>("valueSpan");
    QTest::newRow("+ zooms into time") << int(Qt::Key_Plus) << 0 << 0.8 << 0.0 << 1.0;
    QTest::newRow("- zooms out of time") << int(Qt::Key_Minus) << 0 << 1.25 << 0.0 << 1.0;
    QTest::newRow("Ctrl + zooms into values")
        << int(Qt::Key_Plus) << int(Qt::ControlModifier) << 1.0 << 0.0 << 0.8;
    QTest::newRow("left pans back") << int(Qt::Key_Left) << 0 << 1.0 << -0.1 << 1.0;
    QTest::newRow("right pans on") << int(Qt::Key_Right) << 0 << 1.0 << 0.1 << 1.0;
}

void TestTrendWindow::keysZoomAndPan()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(double, timeSpan);
    QFETCH(double, timeShift);
    QFETCH(double, valueSpan);
    openHour();
    const QCPRange x = plot()->xAxis->range(), y = plot()->yAxis->range();
    QTest::keyClick(plot(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    const QCPRange x2 = plot()->xAxis->range(), y2 = plot()->yAxis->range();
    QVERIFY(qAbs(x2.size() / x.size() - timeSpan) < 1e-6);
    QVERIFY(qAbs((x2.center() - x.center()) / x.size() - timeShift) < 1e-6);
    QVERIFY(qAbs(y2.size() / y.size() - valueSpan) < 1e-6);
    // Home shows everything again.
    QTest::keyClick(plot(), Qt::Key_Home);
    QVERIFY(qAbs(plot()->xAxis->range().size() - x.size()) < 1e-6);
}

void TestTrendWindow::valueUnderCursor()
{
    openHour();
    QCustomPlot *p = plot();
    // Just after 14:25:00, the first line where slot 2 was not measured.
    // Twenty seconds across the plot, so one pixel is well below a second.
    const double t = double(Start.addSecs(1200).toSecsSinceEpoch()) + 0.2;
    p->xAxis->setRange(t - 10, t + 10);
    p->replot(); // the pixel mapping of the laid-out plot
    const int x = int(std::lround(p->xAxis->coordToPixel(t)));
    const int y = p->axisRect()->rect().center().y();
    QTest::mouseMove(p, QPoint(x, y));
    auto *label = m_window->findChild<QLabel *>(QStringLiteral("cursor"));
    QTRY_VERIFY2_WITH_TIMEOUT(label->text().contains(QStringLiteral("2025-03-06 14:25:00")),
                              qPrintable(label->text()), Patience);
    QVERIFY2(label->text().contains(QStringLiteral("頻率 1: —")), qPrintable(label->text()));
    QVERIFY2(label->text().contains(QStringLiteral("電壓 2: 168429")), qPrintable(label->text()));
}

void TestTrendWindow::barsOnWorker_data()
{
    QTest::addColumn<int>("chosen");      // the curve whose axis is shown
    QTest::addColumn<int>("minutes");     // of the span from 14:05; 0: the hour
    QTest::addColumn<bool>("valuesZoom"); // the values zoomed by hand
    QTest::newRow("the hour") << 0 << 0 << false;
    QTest::newRow("another curve's axis chosen") << 2 << 0 << false;
    QTest::newRow("half an hour of raw samples") << 0 << 30 << false;
    QTest::newRow("values zoomed by hand") << 0 << 0 << true;
}

void TestTrendWindow::barsOnWorker()
{
    QFETCH(int, chosen);
    QFETCH(int, minutes);
    QFETCH(bool, valuesZoom);
    openHour();
    QCustomPlot *p = plot();
    m_window->findChild<QListWidget *>(QStringLiteral("curves"))->setCurrentRow(chosen);
    if (minutes > 0)
        p->xAxis->setRange(double(Start.toSecsSinceEpoch()),
                           double(Start.addSecs(minutes * 60).toSecsSinceEpoch()));
    if (valuesZoom)
        QTest::keyClick(p, Qt::Key_Plus, Qt::ControlModifier);
    // All four curves with values drawn from the worker's images, then on
    // the UI thread: the same picture.
    QTRY_VERIFY_WITH_TIMEOUT(viewSettled() && m_window->curvesDrawnAhead() == 4, Patience);
    const QImage ahead = p->toPixmap().toImage();
    m_window->setBarsOnWorker(false);
    QCOMPARE(m_window->curvesDrawnAhead(), 0);
    QVERIFY(p->toPixmap().toImage() == ahead);
}

void TestTrendWindow::exports()
{
    openHour();
    // Show 14:10:00 to 14:10:09 only.
    plot()->xAxis->setRange(double(Start.addSecs(300).toSecsSinceEpoch()),
                            double(Start.addSecs(309).toSecsSinceEpoch()));
    const QString csv = m_dir->filePath(QStringLiteral("span.csv"));
    QVERIFY(exportCsv(csv).ok);
    QFile f(csv);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 12); // header, ten rows, nothing after the last CR LF
    QVERIFY(lines[0].startsWith("\xEF\xBB\xBF"
                                "時間 (time),電壓 1,電壓 2,頻率 1,頻率 2,儀表3 1"));
    QVERIFY(lines[1].startsWith("2025-03-06 14:10:00,"));
    QVERIFY(lines[1].endsWith(",,,,,,,\r"));
    QVERIFY(lines[10].startsWith("2025-03-06 14:10:09,"));

    const QString png = m_dir->filePath(QStringLiteral("span.png"));
    QVERIFY(m_window->exportPng(png).ok);
    const QImage image(png);
    QCOMPARE(image.size(), plot()->size());
    QVERIFY(!exportCsv(m_dir->filePath(QStringLiteral("no/such/folder/x.csv"))).ok);
#ifndef Q_OS_WIN // there QFile::link makes a shell shortcut, not a link
    // Never through a link planted in the export's place.
    const QString target = m_dir->filePath(QStringLiteral("elsewhere.png"));
    QVERIFY(QFile::link(target, m_dir->filePath(QStringLiteral("link.png"))));
    QVERIFY(!m_window->exportPng(m_dir->filePath(QStringLiteral("link.png"))).ok);
    QVERIFY(!QFileInfo::exists(target));
#endif
}

void TestTrendWindow::liveFileWhileOpen()
{
    const QString path = m_dir->filePath(QStringLiteral("2025-03-06-1530.txt"));
    const QDateTime liveStart(QDate(2025, 3, 6), QTime(15, 30, 0));
    QVERIFY(writeFile(path, test::recordLines(liveStart.time(), 5)));
    openHour();
    m_window->setCurrentFile(path);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->source().sampleCount(), 3605, Patience);
    QVERIFY(m_window->findChild<QCheckBox *>(QStringLiteral("follow"))->isChecked());
    QVERIFY(writeFile(path, test::recordLines(liveStart.time().addSecs(5), 20), QIODevice::Append));
    // Timer-driven: a second between reads, so wait generously.
    QTRY_COMPARE_WITH_TIMEOUT(m_window->source().sampleCount(), 3625, Patience);
    QTRY_VERIFY_WITH_TIMEOUT(
        plot()->xAxis->range().contains(double(liveStart.addSecs(24).toSecsSinceEpoch())),
        Patience);
    QTRY_VERIFY_WITH_TIMEOUT(viewSettled(), Patience);
    QCOMPARE(gapsIn(plot()->graph(0)), 1); // one break: 15:05 to 15:30 was not recorded
    QVERIFY(plot()->graph(0)->data()->size() <= 2 * plot()->axisRect()->width() + 1);
}

void TestTrendWindow::missingFolderNotice()
{
    m_window->setRecordSource(m_dir->filePath(QStringLiteral("gone/")), QStringLiteral("txt"));
    m_window->show();
    QTRY_VERIFY_WITH_TIMEOUT(notice().contains(QStringLiteral("record folder missing")), Patience);
    QCOMPARE(m_window->source().sampleCount(), 0);
}

void TestTrendWindow::opensOnNewest_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("recorded"); // the file being written now, if any
    QTest::addColumn<QDateTime>("spanEnd");
    const QDate day(2025, 3, 6);
    // Records 18:00:00 to 18:59:59.
    QTest::newRow("59 minutes later, nothing recorded: the span ends at the last line")
        << QDateTime(day, QTime(19, 59)) << QString() << QDateTime(day, QTime(19, 0));
    QTest::newRow("two days later, nothing recorded: the span ends at the last line")
        << QDateTime(day.addDays(2), QTime(10, 0)) << QString() << QDateTime(day, QTime(19, 0));
    QTest::newRow("a file recorded now, no line in it yet: the span ends now")
        << QDateTime(day, QTime(19, 2)) << QStringLiteral("2025-03-06-1902.txt")
        << QDateTime(day, QTime(19, 2));
}

void TestTrendWindow::opensOnNewest()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, recorded);
    QFETCH(QDateTime, spanEnd);
    QVERIFY(writeFile(m_dir->filePath(QStringLiteral("2025-03-06-1800.txt")),
                      test::recordLines(QTime(18, 0), 3600)));
    if (!recorded.isEmpty()) // recording starts a file empty
        QVERIFY(writeFile(m_dir->filePath(recorded), QByteArray()));
    m_clock.set(now);
    m_window->show();
    // In the order the main window tells them.
    m_window->setRecordSource(m_dir->path() + u'/', QStringLiteral("txt"));
    if (!recorded.isEmpty())
        m_window->setCurrentFile(m_dir->filePath(recorded));
    QTRY_VERIFY_WITH_TIMEOUT(m_window->source().sampleCount() > 0 && viewSettled(), Patience);
    const QCPRange x = plot()->xAxis->range();
    QCOMPARE(x.upper, double(spanEnd.toSecsSinceEpoch()));
    QCOMPARE(x.size(), 3600.0);
    QVERIFY(plot()->graph(0)->data()->size() > 0);
    QVERIFY2(notice().isEmpty(), qPrintable(notice()));
}

void TestTrendWindow::fitsScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::newRow("800 x 600") << QSize(800, 600);
    QTest::newRow("1024 x 768") << QSize(1024, 768);
}

void TestTrendWindow::fitsScreen()
{
    QFETCH(QSize, screen);
    // Long curve names make the read-out under the cursor long.
    m_window->setSlotTitles(QStringList(6, QStringLiteral("三相電力多功能集合式電表")));
    openHour();
    // The frame of a window manager takes some 10 by 40 pixels.
    const QSize inside = screen - QSize(10, 40);
    QVERIFY2(m_window->minimumSizeHint().width() <= inside.width(),
             qPrintable(QString::number(m_window->minimumSizeHint().width())));
    QVERIFY(m_window->minimumSizeHint().height() <= inside.height());
    m_window->resize(inside);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->size(), inside, Patience);
    QCustomPlot *p = plot();
    QTest::mouseMove(p, p->axisRect()->rect().center());
    auto *label = m_window->findChild<QLabel *>(QStringLiteral("cursor"));
    QTRY_VERIFY_WITH_TIMEOUT(label->text().contains(QStringLiteral("2025-03-06")), Patience);
    QVERIFY(label->text().size() > 80);
    QCoreApplication::sendPostedEvents(); // the layout's pending requests
    QCOMPARE(m_window->width(), inside.width());
    QVERIFY(m_window->minimumSizeHint().width() <= inside.width());
    QVERIFY(m_window->minimumSizeHint().height() <= inside.height());
    for (QWidget *w : m_window->findChildren<QWidget *>()) {
        if (!w->isVisible() || w->parentWidget() != m_window.get())
            continue;
        QVERIFY2(m_window->rect().contains(w->geometry()), qPrintable(w->objectName()));
    }
}

QTEST_MAIN(TestTrendWindow)
#include "tst_trendwindow.moc"
