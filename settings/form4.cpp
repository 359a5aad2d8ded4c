#include "form4.h"

#include "choicelist.h"

#include "cp950.h"
#include "fonts.h"
#include "metertable.h"
#include "smallfile.h"
#include "twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kelmar {

namespace {

// Geometry in twips. Slot k's frame lies at FrameFirst + (k - 1) * FramePitch;
// the controls inside are placed relative to the frame.
constexpr int ClientWidth = 11325;
// Taller than the first layout by the problem line under the button.
constexpr int ClientHeight = 7050;
constexpr TwipsPlace FrameFirst{120, 120, 11055, 855};
constexpr int FramePitch = 960;
constexpr TwipsPlace MSCKPlace{120, 240, 1215, 495};
constexpr TwipsPlace IDCaptionPlace{1320, 120, 855, 240};
constexpr TwipsPlace IDPlace{1320, 360, 855, 360};
constexpr TwipsPlace ICaptionPlace{2280, 120, 855, 240};
constexpr int ICaptionLeftSlot6 = 2400;
constexpr TwipsPlace IPlace{2280, 360, 855, 360};
constexpr TwipsPlace ComboCaptionPlace{3240, 120, 2895, 240};
constexpr TwipsPlace ComboPlace{3240, 360, 2895, 360};
constexpr TwipsPlace TextCaptionPlace{6240, 120, 4695, 240};
constexpr TwipsPlace TextPlace{6240, 360, 4695, 375};
constexpr TwipsPlace Command1Place{120, 5880, 11055, 495};
constexpr TwipsPlace ProblemPlace{120, 6450, 11055, 480}; // two lines of text

constexpr int IdCount = 20; // offered in the list; typing reaches MaxSlaveId
const QColor ProblemColour(192, 0, 0);
constexpr double WindowPoints = 9;
constexpr double ButtonPoints = 12;

const QString MeterTableName = QStringLiteral("meter.txt");

// A drop-down list with an edit field. Typed text is never added to the
// list nor completed to an entry; the window decides what a typed value
// means when typing ends.
QComboBox *choiceList(QWidget *parent, const TwipsPlace &p, const QStringList &entries)
{
    QComboBox *c = makeChoiceList(parent, p, entries);
    c->setCurrentIndex(-1); // nothing chosen until the operator chooses
    return c;
}

// A number in force shown in its list: as the entry when the list has it
// (so the list opens there), as text otherwise (an ID above the list's 20).
void showNumber(QComboBox *c, const std::optional<int> &n)
{
    const QString text = n ? QString::number(*n) : QString();
    const int index = n ? c->findText(text) : -1;
    c->setCurrentIndex(index);
    if (index < 0)
        c->setEditText(text);
}

} // namespace

Form4::Form4(const QString &programDir, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("儀表參數設定"));
    setFont(designFont(FontMing, WindowPoints));
    setFixedSize(px(ClientWidth), px(ClientHeight));

    m_metersIni = metersIniPath(programDir);
    m_modelIndex.fill(-1);
    const QString table = FileContent(QDir(programDir).filePath(MeterTableName));
    // Lines that cannot be a model (registers that are no hexadecimal
    // number, control characters in the name) are not offered, and said.
    const OfferedMeterLines offered = offeredMeterLines(table, MeterTableName);
    m_meterLines = offered.lines;
    m_tableNotices = offered.notices;

    QStringList models;
    for (const MeterEntry &e : meterEntries(m_meterLines))
        models << e.name;
    QStringList ids;
    for (int n = 1; n <= IdCount; ++n)
        ids << QString::number(n);
    QStringList decimals;
    for (int n = 0; n <= MaxDecimals; ++n)
        decimals << QString::number(n);

    for (int k = 0; k < SlotCount; ++k) {
        TwipsPlace framePlace = FrameFirst;
        framePlace.top += FramePitch * k;
        QGroupBox *frame = place(new QGroupBox(this), framePlace);
        m_frame[k] = frame;

        m_msck[k] = place(new QCheckBox(QStringLiteral("儀表%1").arg(k + 1), frame), MSCKPlace);
        m_msck[k]->setObjectName(QStringLiteral("MSCK%1").arg(k + 1));
        place(new QLabel(QStringLiteral("儀表ID"), frame), IDCaptionPlace);
        m_id[k] = choiceList(frame, IDPlace, ids);
        m_id[k]->setObjectName(QStringLiteral("ID%1").arg(k + 1));
        TwipsPlace iCaption = ICaptionPlace;
        if (k == 5)
            iCaption.left = ICaptionLeftSlot6;
        place(new QLabel(QStringLiteral("小數點"), frame), iCaption);
        m_i[k] = choiceList(frame, IPlace, decimals);
        m_i[k]->setObjectName(QStringLiteral("I%1").arg(k + 1));
        place(new QLabel(QStringLiteral("型號"), frame), ComboCaptionPlace);
        m_combo[k] = choiceList(frame, ComboPlace, models);
        m_combo[k]->setObjectName(QStringLiteral("Combo%1").arg(k + 1));
        place(new QLabel(QStringLiteral("資訊輸入"), frame), TextCaptionPlace);
        m_text[k] = place(new QLineEdit(frame), TextPlace);
        m_text[k]->setObjectName(QStringLiteral("Text%1").arg(k + 1));

        const int slot = k + 1;
        connect(m_combo[k], &QComboBox::activated, this,
                [this, slot](int index) { chooseModel(slot, index); });
        connect(m_id[k], &QComboBox::activated, this,
                [this, slot](int index) { chooseId(slot, index); });
        connect(m_i[k], &QComboBox::activated, this,
                [this, slot](int index) { chooseDecimals(slot, index); });
        connect(m_id[k]->lineEdit(), &QLineEdit::editingFinished, this,
                [this, slot] { takeTypedId(slot); });
        connect(m_i[k]->lineEdit(), &QLineEdit::editingFinished, this,
                [this, slot] { takeTypedDecimals(slot); });
        connect(m_combo[k]->lineEdit(), &QLineEdit::editingFinished, this,
                [this, slot] { takeTypedModel(slot); });
        connect(m_msck[k], &QCheckBox::toggled, this, [this, slot] { emit slotChanged(slot); });
        connect(m_text[k], &QLineEdit::textChanged, this, [this, slot] { emit slotChanged(slot); });
    }

    Command1 = place(new QPushButton(QStringLiteral("離開"), this), Command1Place);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFont(designFont(FontMing, ButtonPoints));
    connect(Command1, &QPushButton::clicked, this, [this] {
        saveSlots();
        hide();
    });

    m_problem = place(new QLabel(this), ProblemPlace);
    m_problem->setObjectName(QStringLiteral("Problem"));
    m_problem->setWordWrap(true);
    m_problem->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = m_problem->palette();
    pal.setColor(QPalette::WindowText, ProblemColour);
    m_problem->setPalette(pal);
    m_problem->setText(noticeText());
}

Form4::~Form4()
{
    // The window is closed after this object is gone, and a field losing
    // its focus then must not reach the slots' handlers.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

void Form4::closeEvent(QCloseEvent *event)
{
    // Closing through the frame leaves the window as 離開 does.
    saveSlots();
    QWidget::closeEvent(event);
}

QString Form4::FileContent(const QString &path)
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

MeterSlot Form4::slot(int k) const
{
    MeterSlot s = m_chosen[k - 1];
    s.enabled = m_msck[k - 1]->isChecked();
    s.title = m_text[k - 1]->text();
    return s;
}

std::array<SavedSlot, SlotCount> Form4::savedSlots() const
{
    std::array<SavedSlot, SlotCount> out;
    for (int k = 0; k < SlotCount; ++k) {
        out[k].enabled = m_msck[k]->isChecked();
        out[k].slaveId = m_chosen[k].slaveId;
        out[k].decimals = m_chosen[k].decimals;
        if (m_modelIndex[k] >= 0)
            out[k].model = meterEntry(m_meterLines.at(m_modelIndex[k])).name;
        out[k].title = m_text[k]->text();
        if (!m_modelGone[k].isEmpty()) {
            // Kept as it was until a model is chosen here, so that a start
            // with a broken or missing meter.txt does not wipe the setup.
            out[k].model = m_modelGone[k];
            out[k].enabled = m_goneEnabled[k];
        }
    }
    return out;
}

void Form4::restoreSlots()
{
    restoreSlots(loadMetersIni(m_metersIni));
}

void Form4::restoreSlots(const MetersIni &ini)
{
    for (int k = 0; k < SlotCount; ++k) {
        const SavedSlot &s = ini.meters[k];
        int model = -1;
        for (int i = 0; i < m_meterLines.size() && model < 0 && !s.model.isEmpty(); ++i)
            if (meterEntry(m_meterLines.at(i)).name == s.model)
                model = i;
        const bool modelGone = !s.model.isEmpty() && model < 0;
        m_modelGone[k] = modelGone ? s.model : QString();
        m_goneEnabled[k] = modelGone && s.enabled;

        m_chosen[k] = MeterSlot();
        m_chosen[k].slaveId = s.slaveId;
        m_chosen[k].decimals = s.decimals;
        applyModel(k + 1, model);
        {
            // One announcement per slot, once the whole slot is in place.
            const QSignalBlocker box(m_msck[k]);
            const QSignalBlocker title(m_text[k]);
            m_msck[k]->setChecked(s.enabled && !modelGone);
            m_text[k]->setText(s.title);
        }
        showNumber(m_id[k], s.slaveId);
        showNumber(m_i[k], s.decimals);
        showModel(k + 1);
        emit slotChanged(k + 1);
    }
    m_fileNotice = ini.problems.join(QLatin1Char('\n'));
    updateNotice();
}

FileResult Form4::saveSlots()
{
    // Leaving ends any typing still open in a field, as moving on does.
    for (int k = 1; k <= SlotCount; ++k) {
        takeTypedId(k);
        takeTypedDecimals(k);
        takeTypedModel(k);
    }
    const FileResult r = saveMetersIni(m_metersIni, savedSlots());
    m_fileNotice = r.error;
    updateNotice();
    return r;
}

QString Form4::noticeText() const
{
    QStringList lines;
    // Models gone from meter.txt, all in one line, so the report fits.
    QStringList zh, en;
    for (int k = 0; k < SlotCount; ++k) {
        if (m_modelGone[k].isEmpty())
            continue;
        zh << QStringLiteral("儀表%1「%2」").arg(QString::number(k + 1), m_modelGone[k]);
        en << QStringLiteral("slot %1 \"%2\"").arg(QString::number(k + 1), m_modelGone[k]);
    }
    if (!zh.isEmpty())
        lines << QStringLiteral("型號已不在 meter.txt，已關閉：%1 (model no longer in meter.txt, "
                                "switched off: %2)")
                     .arg(zh.join(QStringLiteral("、")), en.join(QStringLiteral(", ")));
    lines << m_tableNotices;
    for (const QString &line : {m_fileNotice, m_refusal})
        if (!line.isEmpty())
            lines << line;
    return lines.join(QLatin1Char('\n'));
}

void Form4::updateNotice()
{
    const QString text = noticeText();
    if (text == m_problem->text())
        return;
    m_problem->setText(text);
    emit noticeChanged(text);
}

void Form4::setRefusal(const QString &text)
{
    m_refusal = text;
    updateNotice();
}

// Items 2 to 6 of slot k from meter table line index; -1 empties them.
void Form4::applyModel(int k, int index)
{
    const MeterEntry e = index >= 0 ? meterEntry(m_meterLines.at(index)) : MeterEntry();
    MeterSlot &s = m_chosen[k - 1];
    s.register1 = e.register1;
    s.count1 = e.count1;
    s.register2 = e.register2;
    s.count2 = e.count2;
    s.flag = e.flag;
    m_modelIndex[k - 1] = index;
}

void Form4::showModel(int k)
{
    m_combo[k - 1]->setCurrentIndex(m_modelIndex[k - 1]);
}

void Form4::chooseModel(int k, int index)
{
    if (index < 0 || index >= m_meterLines.size())
        return;
    applyModel(k, index);
    m_modelGone[k - 1].clear();
    m_refusal.clear();
    updateNotice();
    emit slotChanged(k);
}

void Form4::chooseId(int k, int index)
{
    if (index < 0)
        return;
    m_chosen[k - 1].slaveId = m_id[k - 1]->itemText(index).toInt();
    setRefusal({});
    emit slotChanged(k);
}

void Form4::chooseDecimals(int k, int index)
{
    if (index < 0)
        return;
    m_chosen[k - 1].decimals = m_i[k - 1]->itemText(index).toInt();
    setRefusal({});
    emit slotChanged(k);
}

void Form4::takeTypedId(int k)
{
    takeTypedNumber(k, m_chosen[k - 1].slaveId, m_id[k - 1], &slaveIdFromText);
}

void Form4::takeTypedDecimals(int k)
{
    takeTypedNumber(k, m_chosen[k - 1].decimals, m_i[k - 1], &decimalsFromText);
}

void Form4::takeTypedNumber(int k, std::optional<int> &inForce, QComboBox *field,
                            SlotNumber (*fromText)(const QString &, int))
{
    const QString typed = field->currentText();
    if (typed == (inForce ? QString::number(*inForce) : QString()))
        return; // nothing typed since the value was shown
    if (typed.trimmed().isEmpty() && !inForce) {
        showNumber(field, inForce);
        return;
    }
    const SlotNumber n = fromText(typed, k);
    if (!n.value) {
        showNumber(field, inForce);
        setRefusal(n.refusal);
        return;
    }
    showNumber(field, n.value);
    setRefusal({});
    if (n.value == inForce)
        return;
    inForce = n.value;
    emit slotChanged(k);
}

void Form4::takeTypedModel(int k)
{
    QComboBox *field = m_combo[k - 1];
    const int shown = m_modelIndex[k - 1];
    const QString typed = field->currentText();
    if (typed == (shown >= 0 ? field->itemText(shown) : QString()))
        return;
    // A model's whole name, trailing blanks included, chooses it; anything
    // else is refused, as the list offers every model there is.
    const int index = field->findText(typed, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0 && !typed.isEmpty()) {
        field->setCurrentIndex(index);
        chooseModel(k, index);
        return;
    }
    showModel(k);
    setRefusal(QStringLiteral("儀表%1 的型號「%2」不在 meter.txt，請從清單選擇 "
                              "(slot %1: model \"%2\" is not in meter.txt, choose one from the list)")
                   .arg(QString::number(k), typed));
}

} // namespace kelmar
