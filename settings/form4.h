#pragma once

#include <QStringList>
#include <QWidget>
#include <array>

#include "counts.h"
#include "meterslot.h"
#include "metersini.h"

class QCheckBox;
class QCloseEvent;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kelmar {

// The meter setup window: six slots, each with an enable box, slave ID,
// decimal places, model and title. The slots are kept in meters.ini beside
// setup.ini: written when the window is left, restored by restoreSlots().
class Form4 : public QWidget
{
    Q_OBJECT
public:
    // Reads meter.txt from programDir and fills the lists.
    explicit Form4(const QString &programDir, QWidget *parent = nullptr);
    ~Form4() override;

    // Slot k (1 to SlotCount) as the operator set it up: the values the
    // lists show, picked or typed and taken.
    MeterSlot slot(int k) const;

    // The six slots as meters.ini keeps them (the model by its name).
    std::array<SavedSlot, SlotCount> savedSlots() const;
    // Sets the six slots from a loaded meters.ini and hands each one on
    // through slotChanged, as the operator's own choices are. A model that
    // meter.txt no longer has leaves its slot off, with a notice.
    void restoreSlots(const MetersIni &ini);
    // Loads meters.ini from the program folder and restores it.
    void restoreSlots();
    // Ends any typing still open in a field, then writes meters.ini whole;
    // a failure stays on the problem line until a later save succeeds.
    FileResult saveSlots();

    // The window's problem line: refused input, slots not restored, a
    // failed save. Bilingual, one report per line; empty when all is well.
    QString noticeText() const;

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
    // Typing ended (Enter or focus gone) in slot k's ID, decimals or model
    // field: a valid value is taken as if picked, anything else is refused
    // and the field shows the value in force again.
    void takeTypedId(int k);
    void takeTypedDecimals(int k);
    void takeTypedModel(int k);

signals:
    // Slot k changed: box ticked, a choice made, the title edited.
    void slotChanged(int k);
    void noticeChanged(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void takeTypedNumber(int k, std::optional<int> &inForce, QComboBox *field,
                         SlotNumber (*fromText)(const QString &, int));
    void applyModel(int k, int index);
    void showModel(int k);
    void setRefusal(const QString &text);
    void updateNotice();

    QGroupBox *m_frame[SlotCount];
    QCheckBox *m_msck[SlotCount];   // MSCKk
    QComboBox *m_id[SlotCount];     // IDk
    QComboBox *m_i[SlotCount];      // Ik
    QComboBox *m_combo[SlotCount];  // Combok: model
    QLineEdit *m_text[SlotCount];   // Textk: title
    QPushButton *Command1;          // "離開"
    QLabel *m_problem;
    // The values in force per slot (MSk): what was picked or typed and taken.
    std::array<MeterSlot, SlotCount> m_chosen;
    std::array<int, SlotCount> m_modelIndex; // meter table line, -1 for none
    QStringList m_meterLines;
    QString m_metersIni;
    // Reports on the problem line: the last refused input (gone with the
    // next value taken), per slot a model not restored (gone when a model
    // is chosen), and the file's own (gone with the next good save).
    QString m_refusal;
    // A slot whose model meter.txt no longer has: the name and enable box
    // as meters.ini held them, written back until a model is chosen.
    std::array<QString, SlotCount> m_modelGone;
    std::array<bool, SlotCount> m_goneEnabled{};
    QString m_fileNotice;
    QStringList m_tableNotices; // meter.txt lines not offered as models
};

} // namespace kelmar
