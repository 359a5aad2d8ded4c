#pragma once

#include <QStringList>
#include <QWidget>
#include <array>
#include <memory>

#include "counts.h"
#include "metersini.h"
#include "meterslot.h"
#include "slotsetup.h"

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
// decimal places, model and title, shown from a SlotSetup and handed back to
// it as the operator edits them. The slots are kept in meters.ini beside
// setup.ini: written when the window is left, restored by restoreSlots().
class Form4 : public QWidget
{
    Q_OBJECT
public:
    // A view over `setup`, which outlives the window.
    explicit Form4(SlotSetup &setup, QWidget *parent = nullptr);
    // A view over a setup of its own, read from programDir.
    explicit Form4(const QString &programDir, QWidget *parent = nullptr);
    ~Form4() override;

    SlotSetup &setup() { return m_setup; }

    // Slot k (1 to SlotCount) as the operator set it up: the values the
    // lists show, picked or typed and taken.
    MeterSlot slot(int k) const { return m_setup.slot(k); }

    // The six slots as meters.ini keeps them (the model by its name).
    std::array<SavedSlot, SlotCount> savedSlots() const { return m_setup.savedSlots(); }
    // Sets the six slots from a loaded meters.ini and hands each one on
    // through slotChanged, as the operator's own choices are. A model that
    // meter.txt no longer has leaves its slot off, with a notice.
    void restoreSlots(const MetersIni &ini) { m_setup.restore(ini); }
    // Loads meters.ini from the program folder and restores it.
    void restoreSlots() { m_setup.restore(); }
    // Ends any typing still open in a field, then writes meters.ini whole;
    // a failure stays on the problem line until a later save succeeds.
    FileResult saveSlots();

    // The window's problem line: refused input, slots not restored, a
    // failed save. Bilingual, one report per line; empty when all is well.
    QString noticeText() const { return m_setup.noticeText(); }

    // The meter table split into lines; entry i is model list line i.
    const QStringList &meterLines() const { return m_setup.meterLines(); }

    static QString FileContent(const QString &path) { return SlotSetup::FileContent(path); }

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
    Form4(std::unique_ptr<SlotSetup> own, SlotSetup *setup, QWidget *parent);
    void takeTypedNumber(int k, const std::optional<int> &inForce, QComboBox *field,
                         SlotNumber (*fromText)(const QString &, int),
                         void (SlotSetup::*set)(int, std::optional<int>));
    void showSlot(int k);

    std::unique_ptr<SlotSetup> m_ownSetup;
    SlotSetup &m_setup;
    QGroupBox *m_frame[SlotCount];
    QCheckBox *m_msck[SlotCount];  // MSCKk
    QComboBox *m_id[SlotCount];    // IDk
    QComboBox *m_i[SlotCount];     // Ik
    QComboBox *m_combo[SlotCount]; // Combok: model
    QLineEdit *m_text[SlotCount];  // Textk: title
    QPushButton *Command1;         // "離開"
    QLabel *m_problem;
};

} // namespace kelmar
