#pragma once

#include <QScrollArea>

class QLabel;

namespace kelmar {

// The main window's problem reports: in red, the newest first and the whole
// text scrolled inside its space when it is longer, so the newest problem
// is always in sight. Information (not a problem) stays out of it: it is
// under the reports in grey and in the tooltip.
class NoticePanel : public QScrollArea
{
    Q_OBJECT
public:
    explicit NoticePanel(QWidget *parent = nullptr);

    void setProblems(const QString &text);
    void setInformation(const QString &text);
    QString problems() const;

private:
    QLabel *m_problems;
    QLabel *m_information;
};

} // namespace kelmar
