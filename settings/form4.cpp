#include "form4.h"

#include "choicelist.h"

#include "fonts.h"
#include "twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QComboBox>
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

Form4::Form4(SlotSetup &setup, QWidget *parent) : Form4(nullptr, &setup, parent)
{
}

Form4::Form4(const QString &programDir, QWidget *parent)
    : Form4(std::make_unique<SlotSetup>(programDir), nullptr, parent)
{
}

Form4::Form4(std::unique_ptr<SlotSetup> own, SlotSetup *setup, QWidget *parent)
    : QWidget(parent), m_ownSetup(std::move(own)), m_setup(setup ? *setup : *m_ownSetup)
{
    setWindowTitle(tr("儀表參數設定"));
    setFont(designFont(FontMing, WindowPoints));
    setFixedSize(px(ClientWidth), px(ClientHeight));

    const QStringList models = m_setup.modelNames();
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

        m_msck[k] = place(new QCheckBox(tr("儀表%1").arg(k + 1), frame), MSCKPlace);
        m_msck[k]->setObjectName(QStringLiteral("MSCK%1").arg(k + 1));
        place(new QLabel(tr("儀表ID"), frame), IDCaptionPlace);
        m_id[k] = choiceList(frame, IDPlace, ids);
        m_id[k]->setObjectName(QStringLiteral("ID%1").arg(k + 1));
        TwipsPlace iCaption = ICaptionPlace;
        if (k == 5)
            iCaption.left = ICaptionLeftSlot6;
        //: the number of decimal places a reading is shown with
        place(new QLabel(tr("小數點"), frame), iCaption);
        m_i[k] = choiceList(frame, IPlace, decimals);
        m_i[k]->setObjectName(QStringLiteral("I%1").arg(k + 1));
        place(new QLabel(tr("型號"), frame), ComboCaptionPlace);
        m_combo[k] = choiceList(frame, ComboPlace, models);
        m_combo[k]->setObjectName(QStringLiteral("Combo%1").arg(k + 1));
        // What each model reads, where the technician picks it.
        for (int i = 0; i < models.size(); ++i)
            m_combo[k]->setItemData(i, m_setup.modelDescription(i), Qt::ToolTipRole);
        //: the slot's title, shown with its readings on the display
        place(new QLabel(tr("資訊輸入"), frame), TextCaptionPlace);
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
        connect(m_msck[k], &QCheckBox::toggled, this,
                [this, slot](bool on) { m_setup.setEnabled(slot, on); });
        connect(m_text[k], &QLineEdit::textChanged, this,
                [this, slot](const QString &text) { m_setup.setTitle(slot, text); });
        showSlot(slot);
    }

    //: saves the slots and hides the window
    Command1 = place(new QPushButton(tr("離開"), this), Command1Place);
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
    m_problem->setText(m_setup.noticeText());

    // The fields follow the setup before the change is handed on, so that
    // whoever hears of it finds the window showing it.
    connect(&m_setup, &SlotSetup::slotChanged, this, [this](int k) {
        showSlot(k);
        emit slotChanged(k);
    });
    connect(&m_setup, &SlotSetup::noticeChanged, this, [this](const QString &text) {
        m_problem->setText(text);
        emit noticeChanged(text);
    });
}

Form4::~Form4()
{
    // The window is closed after this object is gone, and a field losing
    // its focus then must not reach the slots' handlers.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
    QObject::disconnect(&m_setup, nullptr, this, nullptr);
}

void Form4::closeEvent(QCloseEvent *event)
{
    // Closing through the frame leaves the window as 離開 does.
    saveSlots();
    QWidget::closeEvent(event);
}

// Slot k's fields as the setup holds it; a field already showing its value
// is left alone, so that the cursor of a title being typed stays put.
void Form4::showSlot(int k)
{
    const MeterSlot s = m_setup.slot(k);
    const QSignalBlocker box(m_msck[k - 1]);
    const QSignalBlocker title(m_text[k - 1]);
    m_msck[k - 1]->setChecked(s.enabled);
    if (m_text[k - 1]->text() != s.title)
        m_text[k - 1]->setText(s.title);
    const std::pair<QComboBox *, std::optional<int>> numbers[] = {{m_id[k - 1], s.slaveId},
                                                                  {m_i[k - 1], s.decimals}};
    for (const auto &[field, n] : numbers)
        if (field->currentText() != (n ? QString::number(*n) : QString()))
            showNumber(field, n);
    if (m_combo[k - 1]->currentIndex() != m_setup.modelIndex(k))
        m_combo[k - 1]->setCurrentIndex(m_setup.modelIndex(k));
    m_combo[k - 1]->setToolTip(m_setup.modelDescription(m_setup.modelIndex(k)));
}

FileResult Form4::saveSlots()
{
    // Leaving ends any typing still open in a field, as moving on does.
    for (int k = 1; k <= SlotCount; ++k) {
        takeTypedId(k);
        takeTypedDecimals(k);
        takeTypedModel(k);
    }
    return m_setup.save();
}

void Form4::chooseModel(int k, int index)
{
    if (index < 0 || index >= m_setup.modelCount())
        return;
    m_setup.setRefusal({});
    m_setup.chooseModel(k, index);
}

void Form4::chooseId(int k, int index)
{
    if (index < 0)
        return;
    m_setup.setRefusal({});
    m_setup.setSlaveId(k, m_id[k - 1]->itemText(index).toInt());
}

void Form4::chooseDecimals(int k, int index)
{
    if (index < 0)
        return;
    m_setup.setRefusal({});
    m_setup.setDecimals(k, m_i[k - 1]->itemText(index).toInt());
}

void Form4::takeTypedId(int k)
{
    takeTypedNumber(k, m_setup.slot(k).slaveId, m_id[k - 1], &slaveIdFromText,
                    &SlotSetup::setSlaveId);
}

void Form4::takeTypedDecimals(int k)
{
    takeTypedNumber(k, m_setup.slot(k).decimals, m_i[k - 1], &decimalsFromText,
                    &SlotSetup::setDecimals);
}

void Form4::takeTypedNumber(int k, const std::optional<int> &inForce, QComboBox *field,
                            SlotNumber (*fromText)(const QString &, int),
                            void (SlotSetup::*set)(int, std::optional<int>))
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
        m_setup.setRefusal(n.refusal);
        return;
    }
    showNumber(field, n.value);
    m_setup.setRefusal({});
    (m_setup.*set)(k, n.value);
}

void Form4::takeTypedModel(int k)
{
    QComboBox *field = m_combo[k - 1];
    const int shown = m_setup.modelIndex(k);
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
    field->setCurrentIndex(shown);
    m_setup.setRefusal(tr("儀表%1 的型號「%2」不在 meter.txt，請從清單選擇 "
                          "(slot %1: model \"%2\" is not in meter.txt, choose one "
                          "from the list)")
                           .arg(QString::number(k), typed));
}

} // namespace kelmar
