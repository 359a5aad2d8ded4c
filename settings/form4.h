#pragma once

#include <QStringList>
#include <QWidget>
#include <array>

#include "counts.h"
#include "meterslot.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kelmar {

// The meter setup window: six slots, each with an enable box, slave ID,
// decimal places, model and title. Nothing here is saved; every start of
// the program begins with all slots off and empty.
class Form4 : public QWidget
{
    Q_OBJECT
public:
    // Reads meter.txt from programDir and fills the lists.
    explicit Form4(const QString &programDir, QWidget *parent = nullptr);

    // Slot k (1 to SlotCount) as the operator set it up. The slave ID,
    // decimals and model are the last ones chosen from the lists; text typed
    // into a list's field does not count.
    MeterSlot slot(int k) const;

    // The meter table split into lines; entry i is model list line i.
    const QStringList &meterLines() const { return m_meterLines; }

    // The whole content of a file as text from code page 950. A missing file
    // is created empty; anything but a regular file of a sane size gives the
    // empty text.
    static QString FileContent(const QString &path);

    // The operator's choices, as the lists report them.
    void chooseModel(int k, int index);
    void chooseId(int k, int index);
    void chooseDecimals(int k, int index);

signals:
    // Slot k changed: box ticked, a choice made, the title edited.
    void slotChanged(int k);

private:
    QGroupBox *m_frame[SlotCount];
    QCheckBox *m_msck[SlotCount];   // MSCKk
    QComboBox *m_id[SlotCount];     // IDk
    QComboBox *m_i[SlotCount];      // Ik
    QComboBox *m_combo[SlotCount];  // Combok: model
    QLineEdit *m_text[SlotCount];   // Textk: title
    QPushButton *Command1;          // "離開"
    // What the lists' last choices gave, per slot (MSk).
    std::array<MeterSlot, SlotCount> m_chosen;
    QStringList m_meterLines;
};

} // namespace kelmar
