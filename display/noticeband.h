#pragma once

#include <QLabel>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace kelmar {

// The problem line of the display window: the reports (one per line of
// the notice) wrapped to the band's width, left-aligned. When they need
// more lines than the band holds, the band shows them a page at a time and
// turns the page every few seconds, so no report is ever cut.
class NoticeBand : public QLabel
{
public:
    explicit NoticeBand(QWidget *parent = nullptr);

    void setNotice(const QString &text);
    QString notice() const { return m_notice; }
    // The wrapped lines, page by page, as the band shows them in turn.
    QStringList pages() const { return m_pages; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void repage();
    void turnPage();

    QString m_notice;
    QStringList m_pages;
    int m_page = 0;
    QTimer m_turn;
};

} // namespace kelmar
