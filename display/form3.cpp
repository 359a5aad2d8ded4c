#include "form3.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kelmar {

Form3::Form3(QWidget *parent) : QWidget(parent, Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("Kelmar 資訊顯示"));
    resize(800, 600);
    for (int k = 0; k < 6; ++k) {
        m_images[k] = new QLabel(this);
        m_titles[k] = new QLabel(this);
        m_values[k][0] = new QLabel(this);
        m_values[k][1] = new QLabel(this);
    }
    Label13 = new QLabel(this);
    Label14 = new QLabel(this);
    m_notice = new QLabel(this);
    Command1 = new QPushButton(QStringLiteral("Exit"), this);
    Text1 = new QLineEdit(this);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
}

void Form3::setNotice(const QString &text)
{
    m_notice->setText(text);
}

QString Form3::notice() const
{
    return m_notice->text();
}

void Form3::Command1_Click()
{
    for (auto &slot : m_values)
        for (QLabel *l : slot)
            l->clear();
    hide();
    emit exited();
}

} // namespace kelmar
