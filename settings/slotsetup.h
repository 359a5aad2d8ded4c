#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

#include "counts.h"
#include "metersini.h"
#include "meterslot.h"
#include "modelsini.h"
#include "safefile.h"

namespace kelmar {

// The six meter slots as the operator set them up, with the meter table
// (meter.txt) they choose their models from and meters.ini beside setup.ini
// that keeps them between starts. No window: the meter setup window shows
// it and hands the operator's choices to it, and a program without windows
// loads and saves the same files through it.
class SlotSetup : public QObject
{
    Q_OBJECT
public:
    // Reads meter.txt from programDir (a missing one is created empty) and
    // models.ini when there is one; the slots start off and empty until
    // restore().
    explicit SlotSetup(const QString &programDir, QObject *parent = nullptr);

    // The whole content of a file as text from code page 950. A missing file
    // is created empty; anything but a regular file of a sane size gives the
    // empty text.
    static QString FileContent(const QString &path);

    // The meter table split into lines; entry i is model i.
    const QStringList &meterLines() const { return m_meterLines; }
    // The models offered: meter.txt's, then those of models.ini that
    // meter.txt does not name. Model i's name (for meter.txt columns 1 to 10
    // of line i, trailing blanks kept; for models.ini its section name).
    QStringList modelNames() const;
    int modelCount() const { return int(m_meterLines.size() + m_typedModels.size()); }
    // What model i's values are (register, type, unit), one line each.
    QString modelDescription(int index) const;

    // Slot k (1 to SlotCount) as it is in force.
    MeterSlot slot(int k) const;
    std::array<MeterSlot, SlotCount> meterSlots() const;
    // The meter table line slot k's model comes from, -1 for none.
    int modelIndex(int k) const { return m_modelIndex[k - 1]; }

    // The operator's changes. Each announces slotChanged(k) when it changes
    // the slot and is ignored otherwise.
    void setEnabled(int k, bool on);
    void setTitle(int k, const QString &title);
    void setSlaveId(int k, std::optional<int> id);
    void setDecimals(int k, std::optional<int> decimals);
    // Model `index` of the meter table; an index out of range is ignored.
    // A model gone from meter.txt is then forgotten for the slot.
    void chooseModel(int k, int index);

    // A refused input for the problem line (the last one only), empty to
    // clear it.
    void setRefusal(const QString &text);

    // Loads meters.ini from the program folder and restores it.
    void restore();
    // Sets the six slots from a loaded meters.ini and announces each one,
    // changed or not. A model that meter.txt no longer has leaves its slot
    // off, with a notice, and is written back as it was until a model is
    // chosen for the slot.
    void restore(const MetersIni &ini);

    // The six slots as meters.ini keeps them (the model by its name).
    std::array<SavedSlot, SlotCount> savedSlots() const;
    // Writes meters.ini whole. A restored file that could not be read is
    // left as it is until a slot is changed; then it is first renamed to
    // meters.ini.unreadable (or .unreadable-2, -3 ... when that name is
    // taken: an older kept file is never replaced). A failure stays on the
    // problem line until a later save succeeds.
    FileResult save();

    QString metersIniPath() const { return m_metersIni; }

    // The problem line: meter.txt lines not offered, models no longer in
    // meter.txt, meters.ini not read, kept or not written, the last refused
    // input. Bilingual, one report per line; empty when all is well.
    QString noticeText() const;

signals:
    void slotChanged(int k);
    void noticeChanged(const QString &text);

private:
    void applyModel(int k, int index);
    QString modelName(int index) const;
    void changed(int k);
    void updateNotice();
    FileResult keepUnreadable();

    QString m_metersIni;
    QStringList m_meterLines;
    QStringList m_tableNotices; // meter.txt and models.ini lines not offered as models
    QList<TypedModel> m_typedModels; // models.ini's, after meter.txt's in the model list
    std::array<MeterSlot, SlotCount> m_slots;
    std::array<int, SlotCount> m_modelIndex;
    // A slot whose model meter.txt no longer has: the name and enable box
    // as meters.ini held them, written back until a model is chosen.
    std::array<QString, SlotCount> m_modelGone;
    std::array<bool, SlotCount> m_goneEnabled{};
    // The restored meters.ini could not be read and is still in its place.
    bool m_unreadable = false;
    // A slot was changed since the last restore.
    bool m_changed = false;
    QString m_fileNotice; // meters.ini not read or not written
    QString m_keptNotice; // an unreadable meters.ini kept under another name
    QString m_refusal;
    QString m_shownNotice; // the text last announced
};

} // namespace kelmar
