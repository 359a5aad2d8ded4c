#include "noticepanel.h"

#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

namespace kelmar {

namespace {
const QColor ProblemColour(192, 0, 0);
const QColor InformationColour(96, 96, 96);

QLabel *reportLabel(QWidget *parent, const QColor &colour, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    return l;
}
} // namespace

NoticePanel::NoticePanel(QWidget *parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("NoticeArea"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *inner = new QWidget;
    auto *column = new QVBoxLayout(inner);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    m_problems = reportLabel(inner, ProblemColour, "Notice");
    m_information = reportLabel(inner, InformationColour, "Information");
    column->addWidget(m_problems);
    column->addWidget(m_information);
    column->addStretch();
    setWidget(inner);
    m_information->hide();
}

void NoticePanel::setProblems(const QString &text)
{
    m_problems->setText(text);
    m_problems->setVisible(!text.isEmpty());
    // The newest report is the first line: scrolled back into sight.
    verticalScrollBar()->setValue(0);
}

void NoticePanel::setInformation(const QString &text)
{
    m_information->setText(text);
    m_information->setVisible(!text.isEmpty());
    setToolTip(text);
}

QString NoticePanel::problems() const
{
    return m_problems->text();
}

} // namespace kelmar
