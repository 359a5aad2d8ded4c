#pragma once

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kelmar {

// The meter setup window: six slots, each with an enable box, slave ID,
// decimal places, model and title, and the hidden items that the polling
// cycle and the start button read. (Placeholder until the window is built;
// the interface below is what the other windows use.)
class Form4 : public QWidget
{
    Q_OBJECT
public:
    explicit Form4(const QString &programDir, QWidget *parent = nullptr);

    QCheckBox *MSCK(int k) const { return m_msck[k - 1]; }
    QComboBox *ID(int k) const { return m_id[k - 1]; }
    QComboBox *I(int k) const { return m_i[k - 1]; }
    QComboBox *Combo(int k) const { return m_combo[k - 1]; }
    QLineEdit *Text(int k) const { return m_text[k - 1]; }
    // Hidden item 0 to 6 of slot k: ID, decimals, register 1, count 1,
    // register 2, count 2, model flag.
    QLineEdit *MS(int k, int item) const { return m_ms[k - 1][item]; }

    QPushButton *Command1; // "離開"

signals:
    // The title of slot k was edited while the slot is enabled.
    void titleEdited(int k, const QString &text);

private:
    QCheckBox *m_msck[6];
    QComboBox *m_id[6];
    QComboBox *m_i[6];
    QComboBox *m_combo[6];
    QLineEdit *m_text[6];
    QLineEdit *m_ms[6][7];
};

} // namespace kelmar
