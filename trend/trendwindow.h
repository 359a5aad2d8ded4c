#pragma once

#include "trendsource.h"

#include <QStringList>
#include <QWidget>

class QCheckBox;
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

// The trend window: the recorded values as curves over local time. A view
// over TrendSource; its controls are private.
class TrendWindow : public QWidget
{
    Q_OBJECT
public:
    explicit TrendWindow(Clock &clock, QWidget *parent = nullptr);

    // Where the record files are: the record folder text already resolved
    // against the program folder (a path prefix), and the extension.
    void setRecordSource(const QString &prefix, const QString &extension);
    // The file being written now (empty when recording is off): followed live.
    void setCurrentFile(const QString &path);
    // The six slot titles, for the curve names ("<title> 1", "<title> 2";
    // an empty title gives "儀表k").
    void setSlotTitles(const QStringList &titles);

    // Reads the record files of `hours` hours from the hour of `from`.
    void showHours(const QDateTime &from, int hours);
    // The shown span and the shown curves, as a picture or a table.
    bool exportPng(const QString &path);
    bool exportCsv(const QString &path) const;

    const TrendSource &source() const { return m_source; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildCurves();
    void updateCurveNames();
    void dataChanged();
    void redraw();
    void noticesChanged();
    void curveToggled(QListWidgetItem *item);
    void fitAll();
    void fitValues();
    void showCursor(QMouseEvent *event);
    void loadClicked();
    void exportPngClicked();
    void exportCsvClicked();
    void showExportResult(bool ok, const QString &path);
    void setDefaultHour(const QDateTime &t);
    QList<int> shownCurves() const;
    QString suggestedExportName(const QString &extension) const;

    Clock &m_clock;
    TrendSource m_source;
    QStringList m_titles;
    QString m_prefix;
    QString m_extension;
    bool m_fitted = false;
    bool m_stale = false; // data came while the window was hidden
    QString m_exportNotice;

    QDateEdit *m_date = nullptr;
    QSpinBox *m_hour = nullptr;
    QSpinBox *m_hours = nullptr;
    QPushButton *m_load = nullptr;
    QCheckBox *m_follow = nullptr;
    QPushButton *m_fit = nullptr;
    QPushButton *m_png = nullptr;
    QPushButton *m_csv = nullptr;
    QCustomPlot *m_plot = nullptr;
    QCPItemStraightLine *m_cursorLine = nullptr;
    QListWidget *m_curves = nullptr;
    QLabel *m_cursor = nullptr;
    QLabel *m_notice = nullptr;
};

} // namespace kelmar
