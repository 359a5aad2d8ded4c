#include "trendwindow.h"

#include "clock.h"
#include "fonts.h"
#include "trendcsv.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <qcustomplot.h>

namespace kelmar {

namespace {

// One colour per slot; the second value of a slot is dashed.
const QColor SlotColours[RecordSlotCount] = {QColor(0xd6, 0x27, 0x28), QColor(0x1f, 0x77, 0xb4),
                                             QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                                             QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b)};
// Notices shown at once; the rest are counted.
constexpr int ShownNotices = 4;
// Share of the span one key press pans, and the zoom step of + and -.
constexpr double PanStep = 0.1;
constexpr double ZoomStep = 1.25;

QPen curvePen(int k)
{
    QPen pen(SlotColours[k / RecordValuesPerSlot], 1.5);
    if (k % RecordValuesPerSlot == 1)
        pen.setStyle(Qt::DashLine);
    return pen;
}

bool hasValues(const RecordSeries &s, int k)
{
    for (double v : s.values[size_t(k)])
        if (!std::isnan(v))
            return true;
    return false;
}

QString valueText(double v)
{
    return std::isnan(v) ? QStringLiteral("—") : QString::number(v, 'g', 15);
}

} // namespace

TrendWindow::TrendWindow(Clock &clock, QWidget *parent) : QWidget(parent), m_clock(clock)
{
    // Its own window even when the main window is its parent.
    setWindowFlag(Qt::Window);
    setWindowTitle(QStringLiteral("趨勢圖 (trend)"));
    setFont(designFont(FontMing, 9));
    resize(1000, 620);

    m_date = new QDateEdit(this);
    m_date->setObjectName(QStringLiteral("date"));
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_date->setCalendarPopup(true);
    m_hour = new QSpinBox(this);
    m_hour->setObjectName(QStringLiteral("hour"));
    m_hour->setRange(0, 23);
    m_hours = new QSpinBox(this);
    m_hours->setObjectName(QStringLiteral("hours"));
    m_hours->setRange(1, 72);
    m_load = new QPushButton(QStringLiteral("讀取 (load)"), this);
    m_load->setObjectName(QStringLiteral("load"));
    m_follow = new QCheckBox(QStringLiteral("跟隨最新 (follow newest)"), this);
    m_follow->setObjectName(QStringLiteral("follow"));
    m_follow->setChecked(true);
    m_fit = new QPushButton(QStringLiteral("全部 (fit all)"), this);
    m_fit->setObjectName(QStringLiteral("fit"));
    m_png = new QPushButton(QStringLiteral("匯出 PNG (export PNG)"), this);
    m_png->setObjectName(QStringLiteral("exportPng"));
    m_csv = new QPushButton(QStringLiteral("匯出 CSV (export CSV)"), this);
    m_csv->setObjectName(QStringLiteral("exportCsv"));
    setDefaultHour(clock.now());

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("日期 (date)"), this));
    controls->addWidget(m_date);
    controls->addWidget(new QLabel(QStringLiteral("時 (hour)"), this));
    controls->addWidget(m_hour);
    controls->addWidget(new QLabel(QStringLiteral("小時數 (hours)"), this));
    controls->addWidget(m_hours);
    controls->addWidget(m_load);
    controls->addSpacing(12);
    controls->addWidget(m_follow);
    controls->addWidget(m_fit);
    controls->addStretch();
    controls->addWidget(m_png);
    controls->addWidget(m_csv);

    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("plot"));
    m_plot->setFocusPolicy(Qt::StrongFocus);
    m_plot->setMinimumSize(400, 250);
    m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    m_plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    m_plot->axisRect()->setRangeZoom(Qt::Horizontal);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeSpec(Qt::LocalTime);
    ticker->setDateTimeFormat(QStringLiteral("HH:mm:ss\nyyyy-MM-dd"));
    ticker->setTickCount(6);
    m_plot->xAxis->setTicker(ticker);
    m_plot->xAxis->setLabel(QStringLiteral("時間 (time)"));
    m_plot->yAxis->setLabel(QStringLiteral("數值 (value)"));
    // Readings as plain numbers (17500000, not 1.75·10^7), up to 64-bit counters.
    m_plot->yAxis->setNumberFormat(QStringLiteral("g"));
    m_plot->yAxis->setNumberPrecision(15);
    for (QCPAxis *axis : {m_plot->xAxis, m_plot->yAxis}) {
        axis->setTickLabelFont(designFont(FontArial, 9));
        axis->setLabelFont(designFont(FontMing, 10));
    }
    m_plot->legend->setVisible(true);
    m_plot->legend->setFont(designFont(FontMing, 9));
    m_plot->legend->setBrush(QColor(255, 255, 255, 220));
    m_cursorLine = new QCPItemStraightLine(m_plot);
    m_cursorLine->setPen(QPen(Qt::gray, 1, Qt::DotLine));
    m_cursorLine->setVisible(false);
    m_plot->installEventFilter(this);

    m_curves = new QListWidget(this);
    m_curves->setObjectName(QStringLiteral("curves"));
    m_curves->setFixedWidth(170);

    m_cursor = new QLabel(this);
    m_cursor->setObjectName(QStringLiteral("cursor"));
    m_cursor->setFont(designFont(FontMing, 10));
    m_cursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0)"));
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *middle = new QHBoxLayout;
    middle->addWidget(m_plot, 1);
    middle->addWidget(m_curves);
    auto *top = new QVBoxLayout(this);
    top->addLayout(controls);
    top->addLayout(middle, 1);
    top->addWidget(m_cursor);
    top->addWidget(m_notice);

    buildCurves();
    m_plot->xAxis->setRange(clock.now().toSecsSinceEpoch() - 3600, clock.now().toSecsSinceEpoch());
    m_plot->yAxis->setRange(0, 1);

    connect(&m_source, &TrendSource::dataChanged, this, &TrendWindow::dataChanged);
    connect(&m_source, &TrendSource::noticesChanged, this, &TrendWindow::noticesChanged);
    connect(&m_source, &TrendSource::loadingChanged, this, [this](bool loading) {
        m_load->setEnabled(!loading);
        m_load->setText(loading ? QStringLiteral("讀取中… (loading)")
                                : QStringLiteral("讀取 (load)"));
        if (!loading) {
            // Newly loaded hours are shown whole, even if live data came first.
            fitAll();
            m_fitted = !m_source.series().isEmpty();
        }
    });
    connect(m_curves, &QListWidget::itemChanged, this, &TrendWindow::curveToggled);
    connect(m_load, &QPushButton::clicked, this, &TrendWindow::loadClicked);
    connect(m_fit, &QPushButton::clicked, this, &TrendWindow::fitAll);
    connect(m_png, &QPushButton::clicked, this, &TrendWindow::exportPngClicked);
    connect(m_csv, &QPushButton::clicked, this, &TrendWindow::exportCsvClicked);
    connect(m_follow, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            dataChanged();
    });
    connect(m_plot, &QCustomPlot::mouseMove, this, &TrendWindow::showCursor);
}

void TrendWindow::buildCurves()
{
    const QSignalBlocker block(m_curves);
    for (int k = 0; k < RecordValueCount; ++k) {
        QCPGraph *g = m_plot->addGraph();
        g->setPen(curvePen(k));
        g->setLineStyle(QCPGraph::lsLine);
        g->removeFromLegend();
        auto *item = new QListWidgetItem(m_curves);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        QPixmap swatch(16, 4);
        swatch.fill(SlotColours[k / RecordValuesPerSlot]);
        item->setIcon(QIcon(swatch));
    }
    updateCurveNames();
}

void TrendWindow::updateCurveNames()
{
    const QSignalBlocker block(m_curves);
    for (int k = 0; k < RecordValueCount; ++k) {
        const QString name = curveName(m_titles, k);
        m_plot->graph(k)->setName(name);
        m_curves->item(k)->setText(name);
    }
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
    loadClicked();
}

void TrendWindow::setDefaultHour(const QDateTime &t)
{
    m_date->setDate(t.date());
    m_hour->setValue(t.time().hour());
}

void TrendWindow::loadClicked()
{
    m_fitted = false; // the new span is shown whole
    m_source.loadHours(QDateTime(m_date->date(), QTime(m_hour->value(), 0)), m_hours->value());
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
    redraw();
}

void TrendWindow::redraw()
{
    m_stale = false;
    const RecordSeries &all = m_source.series();
    // Breaks where recording paused, so no line bridges the pause.
    const RecordSeries shown = withTimeBreaks(all);
    for (int k = 0; k < RecordValueCount; ++k) {
        QCPGraph *g = m_plot->graph(k);
        g->setData(shown.times, shown.values[size_t(k)], true);
        const bool inLegend = g->visible() && hasValues(all, k);
        if (inLegend)
            g->addToLegend();
        else
            g->removeFromLegend();
    }
    if (!all.isEmpty()) {
        if (!m_fitted) {
            fitAll();
            m_fitted = true;
        } else if (m_follow->isChecked()) {
            // Keep the span's width and bring the newest sample into view.
            const double width = m_plot->xAxis->range().size();
            const double end = all.times.last() + width * 0.02;
            m_plot->xAxis->setRange(end - width, end);
            fitValues();
        }
    }
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::fitAll()
{
    const RecordSeries &all = m_source.series();
    if (all.isEmpty())
        return;
    double lo = all.times.first(), hi = all.times.last();
    const double margin = std::max((hi - lo) * 0.02, 1.0);
    m_plot->xAxis->setRange(lo - margin, hi + margin);
    fitValues();
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void TrendWindow::fitValues()
{
    QCPRange range;
    bool any = false;
    for (int k = 0; k < RecordValueCount; ++k) {
        QCPGraph *g = m_plot->graph(k);
        if (!g->visible())
            continue;
        bool found = false;
        const QCPRange r = g->getValueRange(found, QCP::sdBoth, m_plot->xAxis->range());
        if (!found)
            continue;
        range = any ? QCPRange(std::min(range.lower, r.lower), std::max(range.upper, r.upper)) : r;
        any = true;
    }
    if (!any)
        return;
    const double margin =
        range.size() > 0 ? range.size() * 0.05 : std::max(std::abs(range.lower) * 0.05, 1.0);
    m_plot->yAxis->setRange(range.lower - margin, range.upper + margin);
}

void TrendWindow::curveToggled(QListWidgetItem *item)
{
    const int k = m_curves->row(item);
    if (k < 0 || k >= RecordValueCount)
        return;
    m_plot->graph(k)->setVisible(item->checkState() == Qt::Checked);
    dataChanged();
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
        shown.prepend(QStringLiteral("… 另有 %1 則 (%1 more)").arg(all.size() - ShownNotices));
    m_notice->setText(shown.join(u'\n'));
    m_notice->setToolTip(all.join(u'\n'));
}

void TrendWindow::showCursor(QMouseEvent *event)
{
    const RecordSeries &all = m_source.series();
    if (all.isEmpty() || !m_plot->axisRect()->rect().contains(event->pos())) {
        m_cursorLine->setVisible(false);
        m_cursor->clear();
        m_plot->replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    const double key = m_plot->xAxis->pixelToCoord(event->pos().x());
    int i = all.lowerBound(key);
    if (i >= all.size() || (i > 0 && key - all.times[i - 1] < all.times[i] - key))
        i = std::max(0, i - 1);
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(all.times[i] * 1000)));
    QStringList parts{t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))};
    for (int k : shownCurves())
        if (hasValues(all, k))
            parts.append(m_plot->graph(k)->name() + QStringLiteral(": ") +
                         valueText(all.values[size_t(k)][i]));
    m_cursor->setText(parts.join(QStringLiteral("   ")));
    m_cursorLine->point1->setCoords(all.times[i], 0);
    m_cursorLine->point2->setCoords(all.times[i], 1);
    m_cursorLine->setVisible(true);
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

bool TrendWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_plot)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::Wheel) {
        // Ctrl with the wheel zooms the values, the wheel alone the time.
        const auto *wheel = static_cast<QWheelEvent *>(event);
        m_plot->axisRect()->setRangeZoom(
            (wheel->modifiers() & Qt::ControlModifier) ? Qt::Vertical : Qt::Horizontal);
    } else if (event->type() == QEvent::MouseButtonPress) {
        m_follow->setChecked(false); // a drag looks at the past
    } else if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool values = key->modifiers() & Qt::ControlModifier;
        QCPAxis *axis = values ? m_plot->yAxis : m_plot->xAxis;
        const double span = axis->range().size();
        switch (key->key()) {
        case Qt::Key_Left:
            m_follow->setChecked(false);
            m_plot->xAxis->moveRange(-span * PanStep);
            break;
        case Qt::Key_Right:
            m_follow->setChecked(false);
            m_plot->xAxis->moveRange(span * PanStep);
            break;
        case Qt::Key_Up:
            m_plot->yAxis->moveRange(m_plot->yAxis->range().size() * PanStep);
            break;
        case Qt::Key_Down:
            m_plot->yAxis->moveRange(-m_plot->yAxis->range().size() * PanStep);
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            axis->scaleRange(1 / ZoomStep, axis->range().center());
            break;
        case Qt::Key_Minus:
            axis->scaleRange(ZoomStep, axis->range().center());
            break;
        case Qt::Key_Home:
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

bool TrendWindow::exportPng(const QString &path)
{
    if (m_stale)
        redraw();
    m_plot->replot();
    return m_plot->savePng(path);
}

bool TrendWindow::exportCsv(const QString &path) const
{
    const QList<int> curves = shownCurves();
    QStringList names;
    for (int k : curves)
        names.append(m_plot->graph(k)->name());
    const QCPRange span = m_plot->xAxis->range();
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(trendCsv(m_source.series(), span.lower, span.upper, curves, names));
    return f.commit();
}

void TrendWindow::exportPngClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, m_png->text(),
                                                      suggestedExportName(QStringLiteral("png")),
                                                      QStringLiteral("PNG (*.png)"));
    if (!path.isEmpty())
        showExportResult(exportPng(path), path);
}

void TrendWindow::exportCsvClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, m_csv->text(),
                                                      suggestedExportName(QStringLiteral("csv")),
                                                      QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty())
        showExportResult(exportCsv(path), path);
}

void TrendWindow::showExportResult(bool ok, const QString &path)
{
    m_exportNotice =
        ok ? QString()
           : QDir::toNativeSeparators(path) + QStringLiteral(": 無法寫入 (cannot write)");
    noticesChanged();
}

} // namespace kelmar
