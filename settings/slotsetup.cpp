#include "slotsetup.h"

#include "cp950.h"
#include "fillin.h"
#include "metertable.h"
#include "smallfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kelmar {

namespace {

const QString MeterTableName = QStringLiteral("meter.txt");
const QString ModelsIniName = QStringLiteral("models.ini");

QString stripTrailingBlanks(QString s)
{
    while (s.endsWith(u' '))
        s.chop(1);
    return s;
}

// Names tried for an unreadable meters.ini kept aside; when all are taken
// the file stays where it is and is not written over.
constexpr int KeptNames = 99;

} // namespace

SlotSetup::SlotSetup(const QString &programDir, QObject *parent)
    : QObject(parent), m_metersIni(kelmar::metersIniPath(programDir))
{
    m_modelIndex.fill(-1);
    const QString table = FileContent(QDir(programDir).filePath(MeterTableName));
    // Lines that cannot be a model (registers that are no hexadecimal
    // number, control characters in the name) are not offered, and said.
    const OfferedMeterLines offered = offeredMeterLines(table, MeterTableName);
    m_meterLines = offered.lines;
    m_tableNotices = offered.notices;

    // models.ini is optional: unlike meter.txt a missing one is not made.
    const QString modelsPath = QDir(programDir).filePath(ModelsIniName);
    if (QFileInfo::exists(modelsPath) || QFileInfo(modelsPath).isSymLink()) {
        const std::optional<QByteArray> bytes = readSmallRegularFile(modelsPath);
        const ModelsIni ini =
            parseModelsIni(bytes ? QString::fromUtf8(*bytes) : QString(), ModelsIniName);
        m_tableNotices << ini.notices;
        if (!bytes)
            m_tableNotices << tr("%1 無法讀取 (%1 cannot be read)").arg(ModelsIniName);
        QStringList meterNames;
        for (const MeterEntry &e : meterEntries(m_meterLines))
            meterNames << e.name << stripTrailingBlanks(e.name);
        for (const TypedModel &m : ini.models) {
            if (meterNames.contains(m.name))
                m_tableNotices << tr("%1 的型號「%2」已在 %3，依 %3 (model \"%2\" of %1 "
                                     "is in %3 already; %3's is used)")
                                      .arg(ModelsIniName, m.name, MeterTableName);
            else
                m_typedModels << m;
        }
    }
    m_shownNotice = noticeText();
}

QString SlotSetup::FileContent(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        QFile created(path);
        created.open(QIODevice::WriteOnly); // a missing table is made empty; failure is ignored
        return {};
    }
    // Only a regular file of a sane size is read: a folder, a pipe or a
    // device in its place gives no models instead of a wait without end.
    const std::optional<QByteArray> bytes = readSmallRegularFile(path);
    return bytes ? decodeCp950(*bytes) : QString();
}

QStringList SlotSetup::modelNames() const
{
    QStringList names;
    for (const MeterEntry &e : meterEntries(m_meterLines))
        names << e.name;
    for (const TypedModel &m : m_typedModels)
        names << m.name;
    return names;
}

QString SlotSetup::modelDescription(int index) const
{
    QStringList lines;
    if (index >= 0 && index < m_meterLines.size()) {
        const MeterEntry e = meterEntry(m_meterLines.at(index));
        lines << QStringLiteral("1: 3:0x%1 ×%2 int").arg(e.register1, e.count1);
        if (e.flag == u"B")
            lines << QStringLiteral("2: 3:0x%1 ×%2 int").arg(e.register2, e.count2);
    } else if (index >= m_meterLines.size() && index < modelCount()) {
        const TypedModel &m = m_typedModels.at(index - m_meterLines.size());
        for (int i = 0; i < ItemsPerSlot; ++i)
            if (m.values[i])
                lines << QStringLiteral("%1: %2").arg(i + 1).arg(describeValue(*m.values[i]));
    }
    return lines.join(QLatin1Char('\n'));
}

MeterSlot SlotSetup::slot(int k) const
{
    return m_slots[k - 1];
}

std::array<MeterSlot, SlotCount> SlotSetup::meterSlots() const
{
    return m_slots;
}

void SlotSetup::changed(int k)
{
    m_changed = true;
    emit slotChanged(k);
}

void SlotSetup::setEnabled(int k, bool on)
{
    if (m_slots[k - 1].enabled == on)
        return;
    m_slots[k - 1].enabled = on;
    changed(k);
}

void SlotSetup::setTitle(int k, const QString &title)
{
    if (m_slots[k - 1].title == title)
        return;
    m_slots[k - 1].title = title;
    changed(k);
}

void SlotSetup::setSlaveId(int k, std::optional<int> id)
{
    if (m_slots[k - 1].slaveId == id)
        return;
    m_slots[k - 1].slaveId = id;
    changed(k);
}

void SlotSetup::setDecimals(int k, std::optional<int> decimals)
{
    if (m_slots[k - 1].decimals == decimals)
        return;
    m_slots[k - 1].decimals = decimals;
    changed(k);
}

void SlotSetup::chooseModel(int k, int index)
{
    if (index < 0 || index >= modelCount())
        return;
    if (m_modelIndex[k - 1] == index && m_modelGone[k - 1].isEmpty())
        return;
    applyModel(k, index);
    m_modelGone[k - 1].clear();
    updateNotice();
    changed(k);
}

// Items 2 to 6 of slot k from model index (a meter table line, or a model
// of models.ini after them); -1 empties them.
void SlotSetup::applyModel(int k, int index)
{
    MeterSlot &s = m_slots[k - 1];
    s.values = {};
    if (index >= m_meterLines.size()) {
        // The registers of a typed model, in meter.txt's form, so that
        // every reader of the slot finds them where it always did.
        const TypedModel &m = m_typedModels.at(index - m_meterLines.size());
        s.values = m.values;
        QString *regs[][2] = {{&s.register1, &s.count1}, {&s.register2, &s.count2}};
        for (int i = 0; i < ItemsPerSlot; ++i) {
            *regs[i][0] = registerField(m.values[i] ? m.values[i]->address : 0);
            *regs[i][1] = registerField(m.values[i] ? m.values[i]->registerCount() : 0);
        }
        s.flag = m.panel;
    } else {
        const MeterEntry e = index >= 0 ? meterEntry(m_meterLines.at(index)) : MeterEntry();
        s.register1 = e.register1;
        s.count1 = e.count1;
        s.register2 = e.register2;
        s.count2 = e.count2;
        s.flag = e.flag;
    }
    m_modelIndex[k - 1] = index;
}

QString SlotSetup::modelName(int index) const
{
    return index < m_meterLines.size() ? meterEntry(m_meterLines.at(index)).name
                                       : m_typedModels.at(index - m_meterLines.size()).name;
}

void SlotSetup::setRefusal(const QString &text)
{
    m_refusal = text;
    updateNotice();
}

void SlotSetup::restore()
{
    restore(loadMetersIni(m_metersIni));
}

void SlotSetup::restore(const MetersIni &ini)
{
    for (int k = 0; k < SlotCount; ++k) {
        const SavedSlot &s = ini.meters[k];
        int model = -1;
        for (int i = 0; i < modelCount() && model < 0 && !s.model.isEmpty(); ++i)
            if (modelName(i) == s.model)
                model = i;
        const bool modelGone = !s.model.isEmpty() && model < 0;
        m_modelGone[k] = modelGone ? s.model : QString();
        m_goneEnabled[k] = modelGone && s.enabled;

        m_slots[k] = MeterSlot();
        m_slots[k].enabled = s.enabled && !modelGone;
        m_slots[k].slaveId = s.slaveId;
        m_slots[k].decimals = s.decimals;
        m_slots[k].title = s.title;
        applyModel(k + 1, model);
        // One announcement per slot, once the whole slot is in place.
        emit slotChanged(k + 1);
    }
    m_changed = false;
    m_unreadable = ini.unreadable;
    QStringList problems = ini.problems;
    if (m_unreadable)
        problems << tr("%1 保持原狀，變更儀表設定後才另存並重寫 "
                       "(%1 is left as it is until a slot is changed; it is then "
                       "kept under another name)")
                        .arg(QDir::toNativeSeparators(m_metersIni));
    m_fileNotice = problems.join(QLatin1Char('\n'));
    updateNotice();
}

std::array<SavedSlot, SlotCount> SlotSetup::savedSlots() const
{
    std::array<SavedSlot, SlotCount> out;
    for (int k = 0; k < SlotCount; ++k) {
        out[k].enabled = m_slots[k].enabled;
        out[k].slaveId = m_slots[k].slaveId;
        out[k].decimals = m_slots[k].decimals;
        if (m_modelIndex[k] >= 0)
            out[k].model = modelName(m_modelIndex[k]);
        out[k].title = m_slots[k].title;
        if (!m_modelGone[k].isEmpty()) {
            // Kept as it was until a model is chosen here, so that a start
            // with a broken or missing meter.txt does not wipe the setup.
            out[k].model = m_modelGone[k];
            out[k].enabled = m_goneEnabled[k];
        }
    }
    return out;
}

FileResult SlotSetup::save()
{
    // An unreadable file holds the operator's setup in some form; six empty
    // slots are no reason to replace it.
    if (m_unreadable && !m_changed)
        return {};
    FileResult r = m_unreadable ? keepUnreadable() : FileResult();
    if (r.ok)
        r = saveMetersIni(m_metersIni, savedSlots());
    m_fileNotice = r.error;
    updateNotice();
    return r;
}

// Moves the unreadable meters.ini aside under a name no file has yet.
FileResult SlotSetup::keepUnreadable()
{
    const QFileInfo info(m_metersIni);
    if (!info.isFile() || info.isSymLink()) {
        // Gone or replaced since it was read: nothing of it left to keep,
        // and saving refuses anything but a regular file.
        m_unreadable = false;
        return {};
    }
    for (int n = 1; n <= KeptNames; ++n) {
        const QString kept = m_metersIni + QStringLiteral(".unreadable") +
                             (n > 1 ? QStringLiteral("-%1").arg(n) : QString());
        if (QFileInfo::exists(kept) || QFileInfo(kept).isSymLink())
            continue;
        // A rename never replaces an existing file.
        if (!QFile::rename(m_metersIni, kept))
            break;
        m_unreadable = false;
        m_keptNotice =
            tr("無法讀取的 %1 已保留為 %2 "
               "(the unreadable %1 is kept as %2)")
                .arg(QDir::toNativeSeparators(m_metersIni), QDir::toNativeSeparators(kept));
        return {};
    }
    return refusedFile(m_metersIni,
                       tr("無法讀取的舊檔無法另存為 %1，未覆寫 (the unreadable old file "
                          "could not be kept as %1, not written over)")
                           .arg(QFileInfo(m_metersIni).fileName() + QStringLiteral(".unreadable")));
}

QString SlotSetup::noticeText() const
{
    QStringList lines;
    // Models gone from meter.txt, all in one line, so the report fits; the
    // list as the Chinese half writes it and as the English does.
    QStringList zh, en;
    for (int k = 0; k < SlotCount; ++k) {
        if (m_modelGone[k].isEmpty())
            continue;
        zh << QStringLiteral("儀表%1「%2」").arg(QString::number(k + 1), m_modelGone[k]);
        en << QStringLiteral("slot %1 \"%2\"").arg(QString::number(k + 1), m_modelGone[k]);
    }
    if (!zh.isEmpty())
        lines << fillIn(tr("型號已不在 meter.txt，已關閉：%1 (model no longer in meter.txt, "
                           "switched off: %2)"),
                        {zh.join(QStringLiteral("、")), en.join(QStringLiteral(", "))});
    lines << m_tableNotices;
    for (const QString &line : {m_keptNotice, m_fileNotice, m_refusal})
        if (!line.isEmpty())
            lines << line;
    return lines.join(QLatin1Char('\n'));
}

void SlotSetup::updateNotice()
{
    const QString text = noticeText();
    if (text == m_shownNotice)
        return;
    m_shownNotice = text;
    emit noticeChanged(text);
}

} // namespace kelmar
