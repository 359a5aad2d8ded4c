#include "trendwindow.h"

#include "clock.h"
#include "fonts.h"
#include "trendcsv.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>
#include <utility>

namespace kelmar {

namespace {

// The window's sizes. It must fit an 800 x 600 screen with its frame at all
// times: nothing in it may ask for more than the minimum below.
struct TrendGeometry
{
    QSize wished{1000, 660};     // on a larger screen
    QSize screenMargin{24, 48};  // left for the frame and the task bar
    int listWidth = 150;         // the curve list beside the plot
    QSize plotMinimum{300, 200};
    int controlGap = 12;
};
constexpr TrendGeometry Geometry;

// One colour per slot; the second value of a slot is dashed.
const QColor SlotColours[RecordSlotCount] = {QColor(0xd6, 0x27, 0x28), QColor(0x1f, 0x77, 0xb4),
                                             QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                                             QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b)};
// Notices shown at once; the rest are counted.
constexpr int ShownNotices = 3;
// Share of the span one key press pans, and the zoom step of + and -.
constexpr double PanStep = 0.1;
constexpr double ZoomStep = 1.25;
// Share of a curve's range left free above and below it.
constexpr double ValueMargin = 0.05;
// While following, the longest wait (seconds) before new lines are drawn.
constexpr double FollowPauseLongest = 5;
// The longest span: a month of records.
constexpr int MaxHours = 31 * 24;
// How much of their colour the curves whose axis is not shown keep, in %.
constexpr int OtherCurveShare = 25;

// The second value of a slot is drawn lighter. Thin solid lines without
// antialiasing: dashed or antialiased lines over thousands of points take
// the raster engine tens of milliseconds per curve and frame.
QPen curvePen(int k)
{
    QColor c = SlotColours[k / RecordValuesPerSlot];
    if (k % RecordValuesPerSlot == 1)
        c = c.lighter(150);
    return QPen(c, 0);
}

// A curve with more points than the plot has pixel columns (the per-pixel
// least and greatest values, or dense raw samples) is drawn as one vertical
// bar per pixel column, reaching to the bar before it so the curve stays
// joined. The plot's own line drawing strokes every jump between a column's
// least and greatest value pixel by pixel, and twelve curves of a month
// took it twice as long per frame as the bars, which are plain rectangle
// fills. Points in key order from `begin` to `end`; keyPixel and valuePixel
// map them into the clip rectangle.
template <typename Iterator, typename KeyPixel, typename ValuePixel>
void drawColumns(QPainter *painter, Iterator begin, Iterator end, KeyPixel keyPixel,
                 ValuePixel valuePixel, const QRect &clip, const QColor &colour)
{
    // Pixel rows as doubles clamped near the plot first: a far-off value
    // must not overflow an int.
    auto row = [&](double v) {
        return int(std::floor(std::clamp(valuePixel(v), clip.top() - 2.0, clip.bottom() + 2.0)));
    };
    bool joined = false; // a bar drawn in the previous column, no break since
    int x = 0, top = 0, bottom = 0, lastTop = 0, lastBottom = 0;
    bool open = false; // a bar being gathered for column x
    auto flush = [&] {
        if (!open)
            return;
        int t = top, b = bottom;
        if (joined) {
            t = std::min(t, lastBottom);
            b = std::max(b, lastTop);
        }
        painter->fillRect(QRect(x, t, 1, b - t + 1), colour);
        lastTop = top;
        lastBottom = bottom;
        joined = true;
        open = false;
    };
    for (auto it = begin; it != end; ++it) {
        if (std::isnan(it->value)) {
            flush();
            joined = false;
            continue;
        }
        const int px = int(std::floor(keyPixel(it->key)));
        const int py = row(it->value);
        if (open && px == x) {
            top = std::min(top, py);
            bottom = std::max(bottom, py);
            continue;
        }
        flush();
        x = px;
        top = bottom = py;
        open = true;
    }
    flush();
}

// Sparse points keep the plot's lines, which slope between samples. The
// bars of a month of twelve curves take a frame 15 ms and more: they are
// drawn ahead on a worker, into an image per curve, and the UI thread only
// lays the images down. A curve without an image of its colour (a curve
// chosen or switched on just now) is drawn here until it comes.
class ColumnGraph : public QCPGraph
{
public:
    // The most an image is stretched while its successor is on the way.
    static constexpr double MaxStretch = 4;

    using QCPGraph::QCPGraph;

    void setAhead(const CurveBars &bars) { m_ahead = bars; }
    void clearAhead() { m_ahead = CurveBars(); }
    const CurveBars &ahead() const { return m_ahead; }
    // The image shows the curve as it is now: its ranges, colour and size.
    bool aheadExact(int generation) const
    {
        const CurveBars &a = m_ahead;
        return !a.image.isNull() && a.image.size() == clipRect().size() &&
               a.keyFrom == keyAxis()->range().lower && a.keyTo == keyAxis()->range().upper &&
               a.valueFrom == valueAxis()->range().lower &&
               a.valueTo == valueAxis()->range().upper && a.colour == pen().color() &&
               a.generation == generation;
    }
    // The points drawn as bars for the current key range, none when the
    // plot's own lines draw them.
    QVector<QCPGraphData> barPoints() const
    {
        const auto [begin, end] = shown();
        if (end - begin <= clipRect().width())
            return {};
        return QVector<QCPGraphData>(begin, end);
    }

protected:
    void draw(QCPPainter *painter) override
    {
        QCPAxis *keys = keyAxis();
        QCPAxis *values = valueAxis();
        if (!keys || !values || mDataContainer->isEmpty())
            return;
        const QRect clip = clipRect();
        const auto [begin, end] = shown();
        if (end - begin <= clip.width()) {
            QCPGraph::draw(painter);
            return;
        }
        const CurveBars &a = m_ahead;
        if (!a.image.isNull() && a.colour == pen().color()) {
            // Where the image's ranges lie now: in place, or moved and
            // stretched by a zoom, a pan or a new layout until the image for
            // them comes (lines just added show then too). The image holds
            // the rows the plot clips its curves to, one above its rectangle.
            const QRectF to(
                QPointF(keys->coordToPixel(a.keyFrom), values->coordToPixel(a.valueTo)),
                QPointF(keys->coordToPixel(a.keyTo), values->coordToPixel(a.valueFrom)));
            const QRect place = clip.translated(0, -1);
            if (to == QRectF(place) && a.image.size() == place.size()) {
                painter->drawImage(place.topLeft(), a.image);
                return;
            }
            // Blown up far, an image shows blocks, not a curve.
            if (to.width() < MaxStretch * place.width() &&
                to.height() < MaxStretch * place.height()) {
                painter->drawImage(to, a.image);
                return;
            }
        }
        drawColumns(
            painter, begin, end, [keys](double k) { return keys->coordToPixel(k); },
            [values](double v) { return values->coordToPixel(v); }, clip, pen().color());
    }

private:
    std::pair<QCPGraphDataContainer::const_iterator, QCPGraphDataContainer::const_iterator>
    shown() const
    {
        const QCPRange r = keyAxis()->range();
        return {mDataContainer->findBegin(r.lower), mDataContainer->findEnd(r.upper)};
    }

    CurveBars m_ahead;
};

// Draws the bars of each curve into an image of the plot's size, as
// ColumnGraph would draw them there.
QList<CurveBars> drawBarsAhead(QList<CurveBars> curves, QList<QVector<QCPGraphData>> points,
                               QSize size)
{
    // In the image the plot's rectangle begins one row down: the plot clips
    // curves to the rows from one above its rectangle (QCPLayer::draw).
    const QRect clip(QPoint(0, 1), size);
    for (int i = 0; i < curves.size(); ++i) {
        CurveBars &c = curves[i];
        c.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        c.image.fill(Qt::transparent);
        QPainter painter(&c.image);
        // As the plot's axes map coordinates (QCPAxis::coordToPixel).
        const double keySize = c.keyTo - c.keyFrom, valueSize = c.valueTo - c.valueFrom;
        drawColumns(
            &painter, points[i].cbegin(), points[i].cend(),
            [&](double k) { return (k - c.keyFrom) / keySize * size.width(); },
            [&](double v) { return clip.bottom() - (v - c.valueFrom) / valueSize * size.height(); },
            clip, c.colour);
    }
    return curves;
}

QString valueText(double v)
{
    return std::isnan(v) ? QStringLiteral("—") : QString::number(v, 'g', 15);
}

QSize startSize()
{
    QSize s = Geometry.wished;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        s = s.boundedTo(screen->availableGeometry().size() - Geometry.screenMargin);
    return s;
}

} // namespace

TrendWindow::TrendWindow(Clock &clock, QWidget *parent) : QWidget(parent), m_clock(clock)
{
    // Its own window even when the main window is its parent.
    setWindowFlag(Qt::Window);
    // Bars are drawn anew for a zoom or drag of values, another chosen curve
    // or a curve switched on: once for all such changes of one event.
    m_aheadLater.setSingleShot(true);
    m_aheadLater.setInterval(0);
    connect(&m_aheadLater, &QTimer::timeout, this, [this] { drawAhead(); });
    setWindowTitle(tr("趨勢圖 (trend)"));
    setFont(designFont(FontMing, 9));

    m_date = new QDateEdit(this);
    m_date->setObjectName(QStringLiteral("date"));
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setCalendarPopup(true);
    m_hour = new QSpinBox(this);
    m_hour->setObjectName(QStringLiteral("hour"));
    m_hour->setRange(0, 23);
    m_hours = new QSpinBox(this);
    m_hours->setObjectName(QStringLiteral("hours"));
    m_hours->setRange(1, MaxHours);
    m_load = new QPushButton(tr("讀取 (load)"), this);
    m_load->setObjectName(QStringLiteral("load"));
    m_follow = new QCheckBox(tr("跟隨最新 (follow newest)"), this);
    m_follow->setObjectName(QStringLiteral("follow"));
    m_follow->setChecked(true);
    m_fit = new QPushButton(tr("全部 (fit all)"), this);
    m_fit->setObjectName(QStringLiteral("fit"));
    m_png = new QPushButton(tr("匯出 PNG (export PNG)"), this);
    m_png->setObjectName(QStringLiteral("exportPng"));
    m_csv = new QPushButton(tr("匯出 CSV (export CSV)"), this);
    m_csv->setObjectName(QStringLiteral("exportCsv"));
    setDefaultHour(clock.now());

    // Two rows, so that the controls fit 800 pixels.
    auto *span = new QHBoxLayout;
    span->addWidget(new QLabel(tr("日期 (date)"), this));
    span->addWidget(m_date);
    span->addWidget(new QLabel(tr("時 (hour)"), this));
    span->addWidget(m_hour);
    span->addWidget(new QLabel(tr("小時數 (hours)"), this));
    span->addWidget(m_hours);
    span->addWidget(m_load);
    span->addStretch();
    auto *actions = new QHBoxLayout;
    actions->addWidget(m_follow);
    actions->addWidget(m_fit);
    actions->addSpacing(Geometry.controlGap);
    actions->addStretch();
    actions->addWidget(m_png);
    actions->addWidget(m_csv);

    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("plot"));
    m_plot->setFocusPolicy(Qt::StrongFocus);
    m_plot->setMinimumSize(Geometry.plotMinimum);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->setNotAntialiasedElements(QCP::aePlottables);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeSpec(Qt::LocalTime);
    ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss\nyyyy-MM-dd"));
    ticker->setTickCount(5);
    m_plot->xAxis->setTicker(ticker);
    m_plot->xAxis->setLabel(tr("時間 (time)"));
    m_plot->xAxis->setTickLabelFont(designFont(FontArial, 9));
    m_plot->xAxis->setLabelFont(designFont(FontMing, 10));
    m_plot->legend->setVisible(false); // the list beside the plot names the curves
    m_plot->legend->setFont(designFont(FontMing, 9));
    for (int k = 0; k < RecordValueCount; ++k) {
        QCPAxis *axis = k == 0 ? m_plot->yAxis : m_plot->axisRect()->addAxis(QCPAxis::atLeft);
        // Readings as plain numbers (17500000, not 1.75·10^7), up to 64-bit counters.
        axis->setNumberFormat(QStringLiteral("g"));
        axis->setNumberPrecision(15);
        axis->setTickLabelFont(designFont(FontArial, 9));
        axis->setLabelFont(designFont(FontMing, 10));
        axis->setRange(0, 1);
        const QColor c = SlotColours[k / RecordValuesPerSlot];
        axis->setBasePen(QPen(c));
        axis->setTickPen(QPen(c));
        axis->setSubTickPen(QPen(c));
        axis->setTickLabelColor(c);
        axis->setLabelColor(c);
        m_axes[size_t(k)] = axis;
    }
    m_cursorLine = new QCPItemStraightLine(m_plot);
    m_cursorLine->setPen(QPen(Qt::gray, 1, Qt::DotLine));
    m_cursorLine->setVisible(false);
    m_plot->installEventFilter(this);

    m_curves = new QListWidget(this);
    m_curves->setObjectName(QStringLiteral("curves"));
    m_curves->setFixedWidth(Geometry.listWidth);
    m_curves->setToolTip(tr("勾選顯示；點選曲線顯示其刻度 (tick to show; choose a "
                            "curve to see its scale)"));

    // Read-outs wrap instead of widening the window.
    m_cursor = new QLabel(this);
    m_cursor->setObjectName(QStringLiteral("cursor"));
    m_cursor->setFont(designFont(FontMing, 10));
    m_cursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_cursor->setWordWrap(true);
    m_cursor->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setWordWrap(true);
    m_notice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_notice->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0)"));
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *middle = new QHBoxLayout;
    middle->addWidget(m_plot, 1);
    middle->addWidget(m_curves);
    auto *top = new QVBoxLayout(this);
    top->addLayout(span);
    top->addLayout(actions);
    top->addLayout(middle, 1);
    top->addWidget(m_cursor);
    top->addWidget(m_notice);
    resize(startSize());

    buildCurves();
    chooseAxis(0);
    m_plot->xAxis->setRange(clock.now().toSecsSinceEpoch() - 3600, clock.now().toSecsSinceEpoch());

    m_followPause.setSingleShot(true);
    connect(&m_followPause, &QTimer::timeout, this, [this] {
        if (std::exchange(m_followDue, false))
            dataChanged();
    });
    connect(&m_source, &TrendSource::dataChanged, this, &TrendWindow::dataChanged);
    connect(&m_source, &TrendSource::noticesChanged, this, &TrendWindow::noticesChanged);
    connect(&m_source, &TrendSource::viewReady, this, &TrendWindow::viewReady);
    connect(&m_ahead, &QFutureWatcher<QList<CurveBars>>::finished, this, &TrendWindow::aheadReady);
    connect(&m_source, &TrendSource::exportFinished, this, &TrendWindow::showExportResult);
    connect(&m_source, &TrendSource::loadingChanged, this, [this](bool loading) {
        m_load->setEnabled(!loading);
        m_load->setText(loading ? tr("讀取中… (loading)") : tr("讀取 (load)"));
        m_spanPending = loading;
        if (!loading) {
            // Newly loaded hours are shown whole, even if live data came first.
            // Their view is made anew and drawn when it comes.
            m_valuesByHand = false;
            fitAll(false);
        }
    });
    connect(m_plot->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            &TrendWindow::requestView);
    // A new width of the plot needs a new reduction: one point pair per pixel column.
    connect(m_plot, &QCustomPlot::afterLayout, this, [this] {
        if (m_source.view().pixels != m_plot->axisRect()->width())
            requestView();
        m_aheadLater.start(); // a new height, or a new width's view, wants new bars
    });
    for (QCPAxis *axis : m_axes)
        connect(axis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), &m_aheadLater,
                qOverload<>(&QTimer::start));
    connect(m_curves, &QListWidget::itemChanged, this, &TrendWindow::curveToggled);
    connect(m_curves, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            chooseAxis(row);
    });
    connect(m_load, &QPushButton::clicked, this, &TrendWindow::loadClicked);
    connect(m_fit, &QPushButton::clicked, this, [this] {
        m_valuesByHand = false;
        fitAll();
    });
    connect(m_png, &QPushButton::clicked, this, &TrendWindow::exportPngClicked);
    connect(m_csv, &QPushButton::clicked, this, &TrendWindow::exportCsvClicked);
    connect(m_follow, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            loadClicked(); // back to the newest records
    });
    connect(m_plot, &QCustomPlot::mouseMove, this, &TrendWindow::showCursor);
}

void TrendWindow::buildCurves()
{
    const QSignalBlocker block(m_curves);
    for (int k = 0; k < RecordValueCount; ++k) {
        QCPGraph *g = new ColumnGraph(m_plot->xAxis, m_axes[size_t(k)]);
        g->setPen(curvePen(k));
        g->setLineStyle(QCPGraph::lsLine);
        g->setAdaptiveSampling(false); // the points are reduced already
        g->removeFromLegend();
        auto *item = new QListWidgetItem(m_curves);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setHidden(true); // until the curve has values in the span
        QPixmap swatch(16, 4);
        swatch.fill(curvePen(k).color());
        item->setIcon(QIcon(swatch));
    }
    updateCurveNames();
}

void TrendWindow::updateCurveNames()
{
    const QSignalBlocker block(m_curves);
    for (int k = 0; k < RecordValueCount; ++k) {
        const QString name = curveName(m_titles, k, CurveNameUse::Shown);
        m_plot->graph(k)->setName(name);
        m_curves->item(k)->setText(name);
    }
    m_axes[size_t(m_axisCurve)]->setLabel(m_plot->graph(m_axisCurve)->name());
}

void TrendWindow::chooseAxis(int curve)
{
    m_axisCurve = curve;
    for (int k = 0; k < RecordValueCount; ++k)
        m_axes[size_t(k)]->setVisible(k == curve);
    m_axes[size_t(curve)]->setLabel(m_plot->graph(curve)->name());
    // The curve of the shown axis is drawn over the others, which stay as
    // faint context: with an axis each, every curve fills the plot's height,
    // and in a month a curve that swings within the day is a band that
    // would hide those beneath it.
    if (!m_plot->layer(QStringLiteral("chosen")))
        m_plot->addLayer(QStringLiteral("chosen"), m_plot->layer(QStringLiteral("main")),
                         QCustomPlot::limAbove);
    for (int k = 0; k < RecordValueCount; ++k) {
        QCPGraph *g = m_plot->graph(k);
        QPen pen = curvePen(k);
        if (k != curve) {
            // Mixed with the white background rather than translucent:
            // blending a month of bars costs a frame tens of milliseconds.
            const QColor c = pen.color();
            auto faint = [](int v) { return 255 - (255 - v) * OtherCurveShare / 100; };
            pen.setColor(QColor(faint(c.red()), faint(c.green()), faint(c.blue())));
        }
        g->setPen(pen);
        g->setLayer(QLatin1String(k == curve ? "chosen" : "main"));
    }
    m_plot->axisRect()->setRangeDragAxes(m_plot->xAxis, m_axes[size_t(curve)]);
    m_plot->axisRect()->setRangeZoomAxes(m_plot->xAxis, m_axes[size_t(curve)]);
    m_plot->axisRect()->setRangeZoom(Qt::Horizontal);
    {
        const QSignalBlocker block(m_curves);
        m_curves->setCurrentRow(curve);
    }
    m_aheadLater.start();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::setRecordSource(const QString &prefix, const QString &extension)
{
    if (prefix == m_prefix && extension == m_extension)
        return;
    m_prefix = prefix;
    m_extension = extension;
    m_source.setRecordSource(prefix, extension);
    loadClicked();
}

void TrendWindow::setCurrentFile(const QString &path)
{
    const QDateTime start = recordFileStart(path);
    if (start.isValid() && m_source.currentFile().isEmpty())
        setDefaultHour(start);
    m_source.setCurrentFile(path);
}

void TrendWindow::setSlotTitles(const QStringList &titles)
{
    m_titles = titles;
    updateCurveNames();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::showHours(const QDateTime &from, int hours)
{
    setDefaultHour(from);
    m_hours->setValue(hours);
    m_source.loadHours(QDateTime(m_date->date(), QTime(m_hour->value(), 0)), m_hours->value());
}

void TrendWindow::setDefaultHour(const QDateTime &t)
{
    m_date->setDate(t.date());
    m_hour->setValue(t.time().hour());
}

void TrendWindow::loadClicked()
{
    // Following shows the hours up to now; otherwise the hours chosen.
    if (m_follow->isChecked())
        m_source.loadNewest(m_clock.now(), m_hours->value());
    else
        m_source.loadHours(QDateTime(m_date->date(), QTime(m_hour->value(), 0)),
                           m_hours->value());
}

void TrendWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale)
        dataChanged();
}

void TrendWindow::dataChanged()
{
    // A closed window keeps following its file but draws only when shown
    // again: the plot's work must not go on for weeks unseen.
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    m_stale = false;
    // A load that just ended is shown whole at once (fitAll), not first
    // moved and drawn here: one frame for a month of curves, not two.
    if (m_spanPending && !m_source.isLoading())
        return;
    if (m_follow->isChecked() && m_source.spanIsNow() && !m_source.isLoading() &&
        m_source.sampleCount() > 0) {
        // New lines are shown at most once per pixel column's time, and at
        // least every few seconds: over a day a pixel is two minutes, and
        // drawing every second's line would cost a frame per second.
        const QCPRange x = m_plot->xAxis->range();
        const double column = x.size() / std::max(1, m_plot->axisRect()->width());
        if (m_followPause.isActive()) {
            m_followDue = true;
            return;
        }
        m_followPause.start(int(std::clamp(column, 1.0, FollowPauseLongest) * 1000));
        // The span keeps its width and ends now, or at the newest line when
        // the records run ahead of the clock.
        // It moves by whole pixel columns: between moves only the newest
        // column takes new lines, and only it is reduced and drawn again.
        const double end = std::max(double(m_clock.now().toSecsSinceEpoch()),
                                    m_source.lastTime() + 1);
        if (end > x.upper) {
            const double step = std::ceil((end - x.upper) / column) * column;
            m_plot->xAxis->setRange(x.lower + step, x.upper + step); // asks for the view
            return;
        }
    }
    requestView();
}

void TrendWindow::requestView()
{
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    const QCPRange x = m_plot->xAxis->range();
    m_source.requestView(x.lower, x.upper, std::max(1, m_plot->axisRect()->width()));
}

void TrendWindow::viewReady()
{
    const ReducedView &v = m_source.view();
    if (v.unchanged)
        return; // lines came in, yet every pixel column shows what it showed
    const QCPRange x = m_plot->xAxis->range();
    if (v.from != x.lower || v.to != x.upper)
        return; // the span moved on: its own view was asked for and is drawn instead
    ++m_generation;
    for (int k = 0; k < RecordValueCount; ++k) {
        m_plot->graph(k)->setData(v.keys[size_t(k)], v.values[size_t(k)], true);
        m_curves->item(k)->setHidden(!v.hasData[size_t(k)]);
    }
    if (!v.hasData[size_t(m_axisCurve)]) {
        for (int k = 0; k < RecordValueCount; ++k)
            if (v.hasData[size_t(k)]) {
                chooseAxis(k);
                break;
            }
    }
    if (!m_valuesByHand)
        fitValues();
    if (!drawAhead())
        m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::setBarsOnWorker(bool on)
{
    m_barsOnWorker = on;
    for (int k = 0; k < RecordValueCount; ++k)
        static_cast<ColumnGraph *>(m_plot->graph(k))->clearAhead();
    m_aheadLater.start();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

int TrendWindow::curvesDrawnAhead() const
{
    int n = 0;
    for (int k = 0; k < RecordValueCount; ++k)
        n += static_cast<ColumnGraph *>(m_plot->graph(k))->aheadExact(m_generation) ? 1 : 0;
    return n;
}

bool TrendWindow::drawAhead()
{
    if (!m_barsOnWorker)
        return false;
    if (m_ahead.isRunning()) {
        m_aheadDue = true; // drawn anew for what is in view when it ends
        return true;
    }
    m_aheadDue = false;
    const QCPRange x = m_plot->xAxis->range();
    const QSize size = m_plot->axisRect()->rect().size();
    QList<CurveBars> curves;
    QList<QVector<QCPGraphData>> points;
    for (int k = 0; k < RecordValueCount; ++k) {
        auto *g = static_cast<ColumnGraph *>(m_plot->graph(k));
        if (g->aheadExact(m_generation))
            continue;
        QVector<QCPGraphData> p = g->visible() ? g->barPoints() : QVector<QCPGraphData>();
        if (p.isEmpty()) {
            g->clearAhead();
            continue;
        }
        const QCPRange y = m_axes[size_t(k)]->range();
        curves.append(
            {k, QImage(), x.lower, x.upper, y.lower, y.upper, g->pen().color(), m_generation});
        points.append(std::move(p));
    }
    if (curves.isEmpty())
        return false;
    m_ahead.setFuture(QtConcurrent::run(&drawBarsAhead, curves, points, size));
    return true;
}

void TrendWindow::aheadReady()
{
    for (const CurveBars &c : m_ahead.result())
        static_cast<ColumnGraph *>(m_plot->graph(c.curve))->setAhead(c);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
    if (m_aheadDue)
        drawAhead(); // what changed meanwhile
}

void TrendWindow::fitAll(bool drawNow)
{
    // The loaded span, and any newer line that follows it.
    double lo = m_source.spanStart(), hi = m_source.spanEnd();
    if (m_source.sampleCount() > 0) {
        if (!(hi > lo)) // nothing loaded, only followed
            lo = m_source.blocks().first()->firstTime();
        hi = std::max(hi, m_source.lastTime() + 1);
    }
    const QCPRange x = m_plot->xAxis->range();
    if (hi > lo && (lo != x.lower || hi != x.upper)) {
        // Asks for the new span's view, which is drawn when it comes: the
        // curves of the old span are not drawn stretched over it first.
        m_plot->xAxis->setRange(lo, hi);
        return;
    }
    requestView();
    if (!drawNow)
        return;
    if (!m_valuesByHand)
        fitValues();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::fitValues()
{
    const ReducedView &v = m_source.view();
    for (int k = 0; k < RecordValueCount; ++k) {
        bool any = false;
        double lo = 0, hi = 0;
        for (double y : v.values[size_t(k)]) {
            if (std::isnan(y))
                continue;
            lo = any ? std::min(lo, y) : y;
            hi = any ? std::max(hi, y) : y;
            any = true;
        }
        if (!any)
            continue;
        const double margin = hi > lo ? (hi - lo) * ValueMargin
                                      : std::max(std::abs(lo) * ValueMargin, 1.0);
        m_axes[size_t(k)]->setRange(lo - margin, hi + margin);
    }
}

void TrendWindow::curveToggled(QListWidgetItem *item)
{
    const int k = m_curves->row(item);
    if (k < 0 || k >= RecordValueCount)
        return;
    m_plot->graph(k)->setVisible(item->checkState() == Qt::Checked);
    m_aheadLater.start();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

QList<int> TrendWindow::shownCurves() const
{
    QList<int> out;
    for (int k = 0; k < RecordValueCount; ++k)
        if (m_plot->graph(k)->visible())
            out.append(k);
    return out;
}

void TrendWindow::noticesChanged()
{
    const QStringList all =
        m_source.notices() +
        (m_exportNotice.isEmpty() ? QStringList() : QStringList{m_exportNotice});
    QStringList shown = all.mid(std::max<qsizetype>(0, all.size() - ShownNotices));
    if (all.size() > ShownNotices)
        shown.prepend(tr("… 另有 %1 則 (%1 more)").arg(all.size() - ShownNotices));
    m_notice->setText(shown.join(u'\n'));
    m_notice->setToolTip(all.join(u'\n'));
}

void TrendWindow::showCursor(QMouseEvent *event)
{
    const Blocks &blocks = m_source.blocks();
    const SampleAt at = blocks.isEmpty()
                            ? SampleAt()
                            : nearestSample(blocks, m_plot->xAxis->pixelToCoord(event->pos().x()));
    if (at.block < 0 || !m_plot->axisRect()->rect().contains(event->pos())) {
        m_cursorLine->setVisible(false);
        m_cursor->clear();
        m_plot->replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    const SampleBlock &b = *blocks[at.block];
    const double t = b.time(at.line);
    QStringList parts{QDateTime::fromSecsSinceEpoch(qint64(t))
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))};
    const ReducedView &v = m_source.view();
    for (int k : shownCurves())
        if (v.hasData[size_t(k)])
            parts.append(m_plot->graph(k)->name() + QStringLiteral(": ") +
                         valueText(b.value(k, at.line)));
    m_cursor->setText(parts.join(QStringLiteral("   ")));
    m_cursorLine->point1->setCoords(t, 0);
    m_cursorLine->point2->setCoords(t, 1);
    m_cursorLine->setVisible(true);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

bool TrendWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_plot)
        return QWidget::eventFilter(watched, event);
    QCPAxis *values = m_axes[size_t(m_axisCurve)];
    if (event->type() == QEvent::Wheel) {
        // Ctrl with the wheel zooms the values, the wheel alone the time.
        const bool ctrl = static_cast<QWheelEvent *>(event)->modifiers() & Qt::ControlModifier;
        m_plot->axisRect()->setRangeZoom(ctrl ? Qt::Vertical : Qt::Horizontal);
        m_valuesByHand = m_valuesByHand || ctrl;
        if (!ctrl)
            m_follow->setChecked(false);
    } else if (event->type() == QEvent::MouseButtonPress) {
        m_follow->setChecked(false); // a drag looks at the past
        m_valuesByHand = true;
    } else if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool onValues = key->modifiers() & Qt::ControlModifier;
        QCPAxis *axis = onValues ? values : m_plot->xAxis;
        switch (key->key()) {
        case Qt::Key_Left:
            m_follow->setChecked(false);
            m_plot->xAxis->moveRange(-m_plot->xAxis->range().size() * PanStep);
            break;
        case Qt::Key_Right:
            m_follow->setChecked(false);
            m_plot->xAxis->moveRange(m_plot->xAxis->range().size() * PanStep);
            break;
        case Qt::Key_Up:
            m_valuesByHand = true;
            values->moveRange(values->range().size() * PanStep);
            break;
        case Qt::Key_Down:
            m_valuesByHand = true;
            values->moveRange(-values->range().size() * PanStep);
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            m_valuesByHand = m_valuesByHand || onValues;
            axis->scaleRange(1 / ZoomStep, axis->range().center());
            break;
        case Qt::Key_Minus:
            m_valuesByHand = m_valuesByHand || onValues;
            axis->scaleRange(ZoomStep, axis->range().center());
            break;
        case Qt::Key_Home:
            m_valuesByHand = false;
            fitAll();
            break;
        default:
            return false;
        }
        m_plot->replot(QCustomPlot::rpQueuedReplot);
        return true;
    }
    return false;
}

QString TrendWindow::suggestedExportName(const QString &extension) const
{
    const QString folder =
        m_prefix.isEmpty() ? QDir::homePath() : QFileInfo(m_prefix + u'x').absolutePath();
    const QDateTime start = QDateTime::fromSecsSinceEpoch(qint64(m_plot->xAxis->range().lower));
    return QDir(folder).filePath(
        QStringLiteral("trend-%1.%2")
            .arg(start.toString(QStringLiteral("yyyy-MM-dd-HHmm")), extension));
}

FileResult TrendWindow::exportPng(const QString &path)
{
    // The picture shows what is in view now, not images on their way.
    for (int k = 0; k < RecordValueCount; ++k) {
        auto *g = static_cast<ColumnGraph *>(m_plot->graph(k));
        if (!g->aheadExact(m_generation))
            g->clearAhead();
    }
    m_aheadLater.start();
    m_plot->replot();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!m_plot->toPixmap().save(&buffer, "PNG"))
        return refusedFile(path, tr("無法產生圖片 (cannot make the picture)"));
    return replaceFile(path, bytes);
}

void TrendWindow::exportCsv(const QString &path)
{
    const QList<int> curves = shownCurves();
    QStringList names;
    for (int k : curves)
        names.append(curveName(m_titles, k)); // the table's, not the operator's language
    const QCPRange span = m_plot->xAxis->range();
    m_source.exportCsv(path, span.lower, span.upper, curves, names);
}

// The file dialogs open without a loop of their own: monitoring goes on
// while the operator chooses a name.
void TrendWindow::askExportPath(const QString &title, const QString &extension,
                                const std::function<void(const QString &)> &done)
{
    auto *dialog = new QFileDialog(this, title, suggestedExportName(extension),
                                   extension.toUpper() + QStringLiteral(" (*.") + extension + u')');
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(extension);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, done);
    dialog->open();
}

void TrendWindow::exportPngClicked()
{
    askExportPath(m_png->text(), QStringLiteral("png"),
                  [this](const QString &path) { showExportResult(exportPng(path)); });
}

void TrendWindow::exportCsvClicked()
{
    askExportPath(m_csv->text(), QStringLiteral("csv"),
                  [this](const QString &path) { exportCsv(path); });
}

void TrendWindow::showExportResult(const FileResult &result)
{
    m_exportNotice = result.ok ? QString() : result.error;
    noticesChanged();
}

} // namespace kelmar
