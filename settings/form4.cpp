#include "form4.h"

#include "choicelist.h"

#include "cp950.h"
#include "fonts.h"
#include "metertable.h"
#include "smallfile.h"
#include "twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace kelmar {

namespace {

// Geometry in twips. Slot k's frame lies at FrameFirst + (k - 1) * FramePitch;
// the controls inside are placed relative to the frame.
constexpr int ClientWidth = 11325;
constexpr int ClientHeight = 6570;
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

constexpr int IdCount = 20;
constexpr int MaxDecimals = 4;
constexpr double WindowPoints = 9;
constexpr double ButtonPoints = 12;

const QString MeterTableName = QStringLiteral("meter.txt");

// A drop-down list with an edit field. Only an entry chosen from the list
// counts: typed text is never added to the list nor completed to an entry.
QComboBox *choiceList(QWidget *parent, const TwipsPlace &p, const QStringList &entries)
{
    QComboBox *c = makeChoiceList(parent, p, entries);
    c->setCurrentIndex(-1); // nothing chosen until the operator chooses
    return c;
}

} // namespace

Form4::Form4(const QString &programDir, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("儀表參數設定"));
    setFont(designFont(FontMing, WindowPoints));
    setFixedSize(px(ClientWidth), px(ClientHeight));

    const QString table = FileContent(QDir(programDir).filePath(MeterTableName));
    m_meterLines = splitMeterLines(table);

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
        connect(m_msck[k], &QCheckBox::toggled, this, [this, slot] { emit slotChanged(slot); });
        connect(m_text[k], &QLineEdit::textChanged, this, [this, slot] { emit slotChanged(slot); });
    }

    Command1 = place(new QPushButton(QStringLiteral("離開"), this), Command1Place);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setFont(designFont(FontMing, ButtonPoints));
    connect(Command1, &QPushButton::clicked, this, &QWidget::hide);
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

void Form4::chooseModel(int k, int index)
{
    if (index < 0 || index >= m_meterLines.size())
        return;
    const MeterEntry e = meterEntry(m_meterLines.at(index));
    MeterSlot &s = m_chosen[k - 1];
    s.register1 = e.register1;
    s.count1 = e.count1;
    s.register2 = e.register2;
    s.count2 = e.count2;
    s.flag = e.flag;
    emit slotChanged(k);
}

void Form4::chooseId(int k, int index)
{
    if (index < 0)
        return;
    m_chosen[k - 1].slaveId = m_id[k - 1]->itemText(index).toInt();
    emit slotChanged(k);
}

void Form4::chooseDecimals(int k, int index)
{
    if (index < 0)
        return;
    m_chosen[k - 1].decimals = m_i[k - 1]->itemText(index).toInt();
    emit slotChanged(k);
}

} // namespace kelmar
