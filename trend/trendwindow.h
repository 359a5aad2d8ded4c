#pragma once

#include "trendsource.h"

#include <QColor>
#include <QFutureWatcher>
#include <QImage>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

class QCheckBox;
class QCPAxis;
class QCPItemStraightLine;
class QCustomPlot;
class QDateEdit;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMouseEvent;
class QPushButton;
class QSpinBox;

namespace kelmar {

class Clock;

// One curve's bars drawn on a worker, and the ranges and colour they were
// drawn for.
struct CurveBars
{
    int curve = -1;
    QImage image;
    double keyFrom = 0, keyTo = 0, valueFrom = 0, valueTo = 0;
    QColor colour;
    int generation = 0; // of the curves' data
};

// The trend window: the recorded values as curves over local time. A view
// over TrendSource; its controls are private.
//
// Every curve has its own value axis, fitted to the curve's values in view,
// so an energy counter at 16.8 million and a frequency at 50 both fill the
// plot; the axis of the curve chosen in the list is the one shown, in the
// curve's colour, and the read-out under the cursor gives every curve's
// real value. One axis per curve side by side would not fit 800 pixels,
// and stacked panels would leave each of twelve curves a strip.
class TrendWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TrendWindow(Clock &clock, QWidget *parent = nullptr);

    // Where the record files are: the record folder text already resolved
    // against the program folder (a path prefix), and the extension. The
    // first one opens on the newest records.
    void setRecordSource(const QString &prefix, const QString &extension);
    // The file being written now (empty when recording is off): followed live.
    void setCurrentFile(const QString &path);
    // The six slot titles, for the curve names ("<title> 1", "<title> 2";
    // an empty title gives "儀表k").
    void setSlotTitles(const QStringList &titles);

    // Reads the record files of `hours` hours from the hour of `from`.
    void showHours(const QDateTime &from, int hours);
    // The shown span and the shown curves, as a picture or a table. The
    // table is written on a worker: source().exportFinished() tells the end.
    FileResult exportPng(const QString &path);
    void exportCsv(const QString &path);

    const TrendSource &source() const { return m_source; }
    // The bars of dense curves are drawn on a worker (the default) or, to
    // compare, on the UI thread.
    void setBarsOnWorker(bool on);
    // The curves drawn from images made on a worker for what is in view now.
    int curvesDrawnAhead() const;
    // The curve whose value axis is shown.
    int axisCurve() const { return m_axisCurve; }
    QCPAxis *valueAxis(int curve) const { return m_axes[size_t(curve)]; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildCurves();
    void updateCurveNames();
    void dataChanged();
    void requestView();
    void viewReady();
    // Draws on a worker the bars of the dense curves whose images are not
    // those of the curve's data, ranges, colour and plot size now; false
    // when there are none.
    bool drawAhead();
    void aheadReady();
    void chooseAxis(int curve);
    void noticesChanged();
    void curveToggled(QListWidgetItem *item);
    // The loaded span and any newer line; drawNow: draw the values fitted
    // anew at once, not only when the span's view comes.
    void fitAll(bool drawNow = true);
    void fitValues();
    void showCursor(QMouseEvent *event);
    void loadClicked();
    void exportPngClicked();
    void exportCsvClicked();
    void askExportPath(const QString &title, const QString &extension,
                       const std::function<void(const QString &)> &done);
    void showExportResult(const FileResult &result);
    void setDefaultHour(const QDateTime &t);
    QList<int> shownCurves() const;
    QString suggestedExportName(const QString &extension) const;

    Clock &m_clock;
    TrendSource m_source;
    QStringList m_titles;
    QString m_prefix;
    QString m_extension;
    bool m_opened = false;
    bool m_stale = false;         // data came while the window was hidden
    bool m_valuesByHand = false;  // value zoom of the user, kept until Home
    bool m_spanPending = false;   // a load runs: its span is shown whole when it ends
    QTimer m_followPause;         // new lines were just shown while following
    bool m_followDue = false;     // lines came during the pause
    int m_axisCurve = 0;
    QString m_exportNotice;
    QFutureWatcher<QList<CurveBars>> m_ahead;
    bool m_aheadDue = false; // asked for while the worker was drawing
    bool m_barsOnWorker = true;
    QTimer m_aheadLater;  // once for the changes of one turn of the event loop
    int m_generation = 0; // of the curves' data

    QDateEdit *m_date = nullptr;
    QSpinBox *m_hour = nullptr;
    QSpinBox *m_hours = nullptr;
    QPushButton *m_load = nullptr;
    QCheckBox *m_follow = nullptr;
    QPushButton *m_fit = nullptr;
    QPushButton *m_png = nullptr;
    QPushButton *m_csv = nullptr;
    QCustomPlot *m_plot = nullptr;
    std::array<QCPAxis *, RecordValueCount> m_axes{};
    QCPItemStraightLine *m_cursorLine = nullptr;
    QListWidget *m_curves = nullptr;
    QLabel *m_cursor = nullptr;
    QLabel *m_notice = nullptr;
};

} // namespace kelmar
