#pragma once

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kelmar {

// The meter setup window: six slots, each with an enable box, slave ID,
// decimal places, model and title, and the hidden items that the polling
// cycle and the start button read. Nothing here is saved; every start of
// the program begins with all slots off and empty.
class Form4 : public QWidget
{
    Q_OBJECT
public:
    // Reads meter.txt from programDir and fills the lists.
    explicit Form4(const QString &programDir, QWidget *parent = nullptr);

    QCheckBox *MSCK(int k) const { return m_msck[k - 1]; }
    QComboBox *ID(int k) const { return m_id[k - 1]; }
    QComboBox *I(int k) const { return m_i[k - 1]; }
    QComboBox *Combo(int k) const { return m_combo[k - 1]; }
    QLineEdit *Text(int k) const { return m_text[k - 1]; }
    // Hidden item 0 to 6 of slot k: ID, decimals, register 1, count 1,
    // register 2, count 2, model flag.
    QLineEdit *MS(int k, int item) const { return m_ms[k - 1][item]; }
    QGroupBox *Frame(int k) const { return m_frame[k - 1]; }

    QPushButton *Command1;       // "離開"
    QPlainTextEdit *meter_setup; // the table text as read, below the visible area
    QStringList meter_lines;     // the table split at CR LF; entry i is model list line i

    // The whole content of a file as text from code page 950. A missing file
    // is created empty; a file that cannot be read gives the empty text.
    static QString FileContent(const QString &path);

    // The operator's choices, as the lists report them.
    void chooseModel(int k, int index);
    void chooseId(int k, int index);
    void chooseDecimals(int k, int index);

signals:
    // The title of slot k was edited while the slot is enabled.
    void titleEdited(int k, const QString &text);

private:
    QGroupBox *m_frame[6];
    QCheckBox *m_msck[6];
    QComboBox *m_id[6];
    QComboBox *m_i[6];
    QComboBox *m_combo[6];
    QLineEdit *m_text[6];
    QLineEdit *m_ms[6][7];
};

} // namespace kelmar
