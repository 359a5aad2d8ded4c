#include "form2.h"

#include "choicelist.h"

#include "fonts.h"
#include "counts.h"
#include "lamp.h"
#include "serialsettings.h"
#include "twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kelmar {

namespace {

// Geometry in twips: left, top, width, height. Children of a frame are
// placed relative to the frame.
constexpr int ClientWidth = 9120;
constexpr int ClientHeight = 3900;
constexpr int ListHeight = 360; // the lists' height is the toolkit's own
constexpr int LabelHeight = 375;

constexpr TwipsPlace Frame1Place{120, 120, 3735, 2055};
constexpr TwipsPlace Label1Place{120, 480, 1575, 375};
constexpr TwipsPlace Combo1Place{1920, 480, 1455, ListHeight};
constexpr TwipsPlace Label2Place{120, 960, 1575, LabelHeight};
constexpr TwipsPlace Combo2Place{1920, 960, 1455, ListHeight};
constexpr TwipsPlace Label3Place{120, 1440, 1575, LabelHeight};
constexpr TwipsPlace Combo3Place{1920, 1440, 1455, ListHeight};
constexpr TwipsPlace Frame3Place{120, 2400, 3735, 1215};
constexpr TwipsPlace Option1Place{240, 480, 1575, 495};
constexpr TwipsPlace Option2Place{1800, 480, 1695, 495};
constexpr TwipsPlace Frame2Place{4080, 120, 4935, 1095};
constexpr TwipsPlace Text1Place{240, 360, 4455, 495};
constexpr TwipsPlace Check1Place{4200, 1440, 2055, 375};
constexpr TwipsPlace Command1Place{3960, 2880, 1335, 615};
constexpr TwipsPlace Command2Place{5400, 2880, 1335, 615};
constexpr TwipsPlace Shape1Place{6840, 2880, 615, 615};
constexpr TwipsPlace Command3Place{7680, 2880, 1215, 615};

constexpr double FontPoints = 12;

} // namespace

Form2::Form2(MeterLine &line, QWidget *parent) : QWidget(parent), m_line(line)
{
    setWindowTitle(tr("主機端設定"));
    setFont(designFont(FontMing, FontPoints));
    setFixedSize(px(ClientWidth), px(ClientHeight));

    Frame1 = place(new QGroupBox(tr("設定COM 埠"), this), Frame1Place);
    Label1 = place(new QLabel(tr("COM 埠"), Frame1), Label1Place);
    QStringList ports;
    for (int n = FirstPortNumber; n <= LastPortNumber; ++n)
        ports << QStringLiteral("COM%1").arg(n);
    Combo1 = makeChoiceList(Frame1, Combo1Place, ports);
    Label2 = place(new QLabel(tr("通訊鮑率"), Frame1), Label2Place);
    Combo2 = makeChoiceList(Frame1, Combo2Place, OfferedBaudRates);
    //: the line's parity, data bits and stop bits, such as N,8,1
    Label3 = place(new QLabel(tr("通訊協定"), Frame1), Label3Place);
    Combo3 = makeChoiceList(Frame1, Combo3Place, OfferedProtocols);

    Frame3 = place(new QGroupBox(tr("顯示條件"), this), Frame3Place);
    Option1 = place(new QRadioButton(QStringLiteral("800X600"), Frame3), Option1Place);
    Option2 = place(new QRadioButton(QStringLiteral("1024X768"), Frame3), Option2Place);
    Option1->setChecked(true);

    Frame2 = place(new QGroupBox(tr("設定記錄檔路徑"), this), Frame2Place);
    Text1 = place(new QLineEdit(Frame2), Text1Place);

    Check1 = place(new QCheckBox(tr("建立記錄檔"), this), Check1Place);
    Check1->setEnabled(false);

    Command1 = place(new QPushButton(tr("連線COM"), this), Command1Place);
    Command2 = place(new QPushButton(tr("解除COM"), this), Command2Place);
    Shape1 = place(new Lamp(this), Shape1Place);
    Shape1->setColor(LampOff);
    //: saves the settings and hides the window
    Command3 = place(new QPushButton(tr("離開"), this), Command3Place);

    // Tests and the operator's tools find the controls by these names.
    const std::pair<QObject *, const char *> names[] = {
        {Frame1, "Frame1"},   {Label1, "Label1"},     {Combo1, "Combo1"},
        {Label2, "Label2"},   {Combo2, "Combo2"},     {Label3, "Label3"},
        {Combo3, "Combo3"},   {Frame3, "Frame3"},     {Option1, "Option1"},
        {Option2, "Option2"}, {Frame2, "Frame2"},     {Text1, "Text1"},
        {Check1, "Check1"},   {Command1, "Command1"}, {Command2, "Command2"},
        {Shape1, "Shape1"},   {Command3, "Command3"}};
    for (const auto &[control, name] : names)
        control->setObjectName(QLatin1String(name));

    // Defaults, before start-up puts the saved settings in.
    Combo1->setCurrentIndex(0);
    Combo2->setCurrentIndex(1);
    Combo3->setCurrentIndex(0);

    auto edited = [this] { emit hostSettingsEdited(); };
    connect(Combo1, &QComboBox::currentIndexChanged, this, edited);
    connect(Combo2, &QComboBox::currentTextChanged, this, edited);
    connect(Combo3, &QComboBox::currentTextChanged, this, edited);
    connect(Option1, &QRadioButton::toggled, this, edited);
    connect(Text1, &QLineEdit::textChanged, this, edited);
    connect(Check1, &QCheckBox::toggled, this, &Form2::recordingSwitched);

    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
    connect(&m_line, &MeterLine::stateChanged, this, &Form2::showLineState);
}

HostSettings Form2::hostSettings() const
{
    HostSettings h;
    h.portNumber = portNumber();
    h.baud = Combo2->currentText();
    h.protocol = Combo3->currentText();
    h.recordFolder = Text1->text();
    h.largeScreen = Option2->isChecked();
    return h;
}

namespace {

// An offered entry is chosen from the list; any other text stands in the
// edit field as if typed.
void showChoice(QComboBox *list, const QString &text)
{
    const int i = list->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (i >= 0)
        list->setCurrentIndex(i);
    else
        list->setEditText(text);
}

} // namespace

void Form2::setHostSettings(const HostSettings &h)
{
    const int position = h.portNumber - FirstPortNumber;
    Combo1->setCurrentIndex(position >= -1 && position < Combo1->count() ? position : -1);
    showChoice(Combo2, h.baud);
    showChoice(Combo3, h.protocol);
    Text1->setText(h.recordFolder);
    (h.largeScreen ? Option2 : Option1)->setChecked(true);
}

bool Form2::isRecording() const
{
    return Check1->isChecked();
}

QColor Form2::lampColor() const
{
    return Shape1->color();
}

int Form2::portNumber() const
{
    return Combo1->currentIndex() + 1;
}

QString Form2::settingsText() const
{
    return Combo2->currentText() + u',' + Combo3->currentText();
}

void Form2::Command1_Click()
{
    m_awaitingOpen = false;
    const MeterLine::State reached = m_line.connectLine(portNumber(), settingsText());
    m_awaitingOpen = reached == MeterLine::State::Opening;
    if (m_awaitingOpen)
        Shape1->setColor(LampOpening);
    else
        setConnected(reached == MeterLine::State::Open);
}

void Form2::Command2_Click()
{
    m_awaitingOpen = false;
    m_line.disconnectLine();
    m_connected = false;
    Shape1->setColor(LampOff);
    const bool wasRecording = Check1->isChecked();
    Check1->setChecked(false); // runs the recording switch when it was on
    Check1->setEnabled(false);
    emit connectionChanged(false);
    if (wasRecording)
        emit recordingStoppedByDisconnect();
}

void Form2::showLineState(MeterLine::State state)
{
    switch (state) {
    case MeterLine::State::Open:
        if (m_awaitingOpen) {
            m_awaitingOpen = false;
            setConnected(true);
        } else if (m_connected) {
            Shape1->setColor(LampOn);
        }
        break;
    case MeterLine::State::Lost:
        if (m_connected)
            Shape1->setColor(LampOff);
        break;
    case MeterLine::State::Closed:
        if (m_awaitingOpen) {
            m_awaitingOpen = false;
            setConnected(false);
        }
        break;
    case MeterLine::State::Opening:
        break;
    }
}

void Form2::showNetworkTarget(const QString &target)
{
    const QString tip = target.isEmpty()
                            ? QString()
                            : tr("網路埠 %1：不使用鮑率與通訊協定 (a network port: baud rate and "
                                 "framing are not used)")
                                  .arg(target);
    for (QWidget *w : {static_cast<QWidget *>(Label2), static_cast<QWidget *>(Combo2),
                       static_cast<QWidget *>(Label3), static_cast<QWidget *>(Combo3)})
        w->setToolTip(tip);
}

void Form2::Command3_Click()
{
    emit leaveRequested();
    hide();
}

void Form2::setConnected(bool on)
{
    m_connected = on;
    Shape1->setColor(on ? LampOn : LampOff);
    Check1->setEnabled(on);
    emit connectionChanged(on);
}

} // namespace kelmar
