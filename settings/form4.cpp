#include "form4.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace kelmar {

Form4::Form4(const QString &programDir, QWidget *parent) : QWidget(parent)
{
    Q_UNUSED(programDir);
    for (int k = 0; k < 6; ++k) {
        m_msck[k] = new QCheckBox(this);
        m_id[k] = new QComboBox(this);
        m_i[k] = new QComboBox(this);
        m_combo[k] = new QComboBox(this);
        m_text[k] = new QLineEdit(this);
        for (auto &item : m_ms[k])
            item = new QLineEdit(this);
        connect(m_text[k], &QLineEdit::textChanged, this, [this, k](const QString &t) {
            if (m_msck[k]->isChecked())
                emit titleEdited(k + 1, t);
        });
    }
    Command1 = new QPushButton(QStringLiteral("離開"), this);
    connect(Command1, &QPushButton::clicked, this, &QWidget::hide);
}

} // namespace kelmar
