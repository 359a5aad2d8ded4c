#include "form1.h"

#include "clock.h"
#include "fonts.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "modbusmaster.h"
#include "pollingcycle.h"
#include "recordfile.h"
#include "recordformat.h"
#include "setupini.h"
#include "startdisplay.h"
#include "systemserialport.h"
#include "twips.h"
#include "intervaltimer.h"
#include "numbertext.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cmath>

namespace kelmar {

namespace {

// Main window geometry in twips. Everything from Text1 down lies below the
// client area and only stores values for the other routines.
constexpr int ClientWidth = 5280;
constexpr int ClientHeight = 3330;
constexpr TwipsPlace Command1Place{240, 480, 1935, 735};
constexpr TwipsPlace Command3Place{3120, 480, 1935, 735};
constexpr TwipsPlace Command2Place{240, 1440, 1935, 735};
constexpr TwipsPlace Command5Place{240, 2400, 1935, 735};
constexpr TwipsPlace Label3Place{240, 0, 4215, 495};
constexpr TwipsPlace Text1Place{2880, 3960, 1455, 495};
constexpr TwipsPlace Text2Place{4680, 4080, 1335, 495};
constexpr TwipsPlace Text3Place{240, 4920, 5895, 375};
constexpr TwipsPlace Text4Place{960, 5520, 735, 375};
constexpr TwipsPlace OP_DPlace{840, 4080, 615, 375};
constexpr TwipsPlace Label1Place{120, 4080, 735, 375};
constexpr TwipsPlace Label2Place{1560, 4080, 1215, 375};
constexpr TwipsPlace Label4Place{120, 5520, 1575, 375};
// The free space under the start button shows problem reports.
constexpr TwipsPlace NoticePlace{3120, 1440, 1935, 1695};

constexpr double ButtonPoints = 12;
constexpr double ClockPoints = 14.25;
constexpr int TimerMs = 1000;
// The port is closed and opened again every this many polling ticks, with a
// short pause between.
constexpr int ReopenEveryTicks = 3600;
constexpr double ReopenPauseSeconds = 0.1;
const QString RecordIndicator = QStringLiteral("RECORD");
const QString NoticePictures = QStringLiteral("pictures");
const QString NoticeRecord = QStringLiteral("record");
const QString NoticeInterval = QStringLiteral("interval");

QPushButton *button(QWidget *parent, const QString &caption, const TwipsPlace &p)
{
    auto *b = place(new QPushButton(caption, parent), p);
    b->setFont(designFont(FontMing, ButtonPoints));
    return b;
}

} // namespace

Form1::Form1(const QString &programDir, Clock &clock, SerialPort *port, QWidget *parent)
    : QWidget(parent), m_programDir(programDir), m_clock(clock)
{
    setWindowTitle(QStringLiteral("Kelmar"));
    setFixedSize(px(ClientWidth), px(ClientHeight));

    Command1 = button(this, QStringLiteral("主機端設定"), Command1Place);
    Command3 = button(this, QStringLiteral("啟動/顯示"), Command3Place);
    Command3->setEnabled(false);
    Command2 = button(this, QStringLiteral("儀表參數設定"), Command2Place);
    Command5 = button(this, QStringLiteral("離開"), Command5Place);
    Label3 = place(new QLabel(this), Label3Place);
    Label3->setFont(designFont(FontArial, ClockPoints, true));
    Text1 = place(new QLineEdit(this), Text1Place);
    Text2 = place(new QLineEdit(QStringLiteral("Text2"), this), Text2Place);
    Text3 = place(new QLineEdit(QStringLiteral("Text3"), this), Text3Place);
    Text4 = place(new QLineEdit(QStringLiteral("Text4"), this), Text4Place);
    OP_D = place(new QLineEdit(this), OP_DPlace);
    Label1 = place(new QLabel(QStringLiteral("顯示MODE"), this), Label1Place);
    Label2 = place(new QLabel(QStringLiteral("Label2"), this), Label2Place);
    Label4 = place(new QLabel(QStringLiteral("記錄秒"), this), Label4Place);
    LabelNotice = place(new QLabel(this), NoticePlace);
    LabelNotice->setWordWrap(true);
    LabelNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelNotice->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));

    if (port) {
        MSComm1 = port;
    } else {
        m_ownPort = std::make_unique<SystemSerialPort>(programDir);
        MSComm1 = m_ownPort.get();
    }

    Timer1 = new IntervalTimer(TimerMs, false, this);
    Timer2 = new IntervalTimer(TimerMs, true, this);
    Timer3 = new IntervalTimer(TimerMs, true, this);
    connect(Timer1, &IntervalTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Timer2, &IntervalTimer::timeout, this, &Form1::Timer2_Timer);
    connect(Timer3, &IntervalTimer::timeout, this, &Form1::Timer3_Timer);

    connect(MSComm1, &SerialPort::portLost, this, [this] { m_portLost = true; });
    m_master = new ModbusMaster(*MSComm1, this);
    PollingCycle::Hooks hooks;
    hooks.transact = [this](const QString &b1, const QString &b_1, const QString &b2_1,
                            const QString &b2_2, const QString &b3_1, const QString &b3_2,
                            PollingCycle::Done done) {
        return m_master->MODBUS(b1, b_1, b2_1, b2_2, b3_1, b3_2, std::move(done));
    };
    hooks.slot = [this](int k) {
        Form4 *f4 = form4();
        SlotSettings s;
        s.enabled = f4->MSCK(k)->isChecked();
        s.id = f4->MS(k, 0)->text();
        s.register1 = f4->MS(k, 2)->text();
        s.count1 = f4->MS(k, 3)->text();
        s.register2 = f4->MS(k, 4)->text();
        s.count2 = f4->MS(k, 5)->text();
        s.flag = f4->MS(k, 6)->text();
        return s;
    };
    hooks.divisor = [this](int k) { return MeterDivisor[k - 1]; };
    hooks.writeLabel = [this](int k, int item, const QString &text) {
        form3()->Label(k, item)->setText(text);
    };
    hooks.readLabel = [this](int k, int item) { return form3()->Label(k, item)->text(); };
    m_cycle = new PollingCycle(std::move(hooks), m_clock, this);
    connect(m_cycle, &PollingCycle::finished, this, &Form1::pollTickFinished);

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
}

Form1::~Form1()
{
    // Everything that uses the port goes before the port does.
    delete m_cycle;
    delete m_master;
    delete m_form2;
    MSComm1->disconnect(this);
    MSComm1->setPortOpen(false);
}

QString Form1::setupIniPath() const
{
    return QDir(m_programDir).filePath(SetupIniName);
}

Form2 *Form1::form2()
{
    if (!m_form2) {
        m_form2 = new Form2(*MSComm1, this);
        m_form2->setWindowFlags(Qt::Window);
        connect(m_form2, &Form2::connectionChanged, Command3, &QWidget::setEnabled);
        connect(m_form2, &Form2::connectionChanged, this, [this](bool connected) {
            ++m_connectionCount;
            m_portLost = false;
            if (connected) {
                m_lastConnectPort = MSComm1->CommPort();
                m_lastConnectSettings = MSComm1->Settings();
            }
        });
        connect(m_form2->Check1, &QCheckBox::toggled, this, &Form1::Check1_Click);
        connect(m_form2, &Form2::leaveRequested, this, &Form1::saveSettings);
    }
    return m_form2;
}

Form3 *Form1::form3()
{
    if (!m_form3) {
        m_form3 = new Form3(this);
        m_form3->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        m_form3->setNotice(noticeText());
        connect(m_form3, &Form3::exited, this, [this] {
            Timer1->setEnabled(false);
            Timer3->setEnabled(false);
        });
    }
    return m_form3;
}

Form4 *Form1::form4()
{
    if (!m_form4) {
        m_form4 = new Form4(m_programDir, this);
        m_form4->setWindowFlags(Qt::Window);
        connect(m_form4, &Form4::titleEdited, this,
                [this](int k, const QString &text) { form3()->TitleLabel(k)->setText(text); });
    }
    return m_form4;
}

void Form1::Form_Load()
{
    const QString path = setupIniPath();
    const StartupSettings s =
        readStartupSettings([&path](int line) { return GetLine(path, line); });
    Form2 *f2 = form2();
    if (s.recordFolder)
        f2->Text1->setText(*s.recordFolder);
    if (s.portIndex)
        f2->Combo1->setCurrentIndex(*s.portIndex);
    if (s.baudIndex)
        f2->Combo2->setCurrentIndex(*s.baudIndex);
    if (s.protocolIndex)
        f2->Combo3->setCurrentIndex(*s.protocolIndex);
    if (s.largeMode) {
        (*s.largeMode ? f2->Option2 : f2->Option1)->setChecked(true);
        OP_D->setText(*s.largeMode ? ModeLargeCode : ModeSmallCode);
    }
    if (s.pollIntervalMs)
        Timer1->setInterval(*s.pollIntervalMs);
    if (s.extension)
        Text2->setText(*s.extension);
    if (s.title)
        setWindowTitle(*s.title);
    if (s.recordSeconds)
        Text4->setText(*s.recordSeconds);
    RecordSeconds = leadingNumber(Text4->text());
    PollTickCount = 0;
}

bool Form1::saveSettings()
{
    Form2 *f2 = form2();
    const int number = f2->portNumber();
    MSComm1->setCommPort(number); // refused while the port is open

    SetupValues v;
    if (f2->Option1->isChecked()) {
        v.mode = ModeSmall;
        OP_D->setText(ModeSmallCode);
    } else if (f2->Option2->isChecked()) {
        v.mode = ModeLarge;
        OP_D->setText(ModeLargeCode);
    }
    v.portNumber = number;
    v.baud = f2->Combo2->currentText();
    v.protocol = f2->Combo3->currentText();
    v.recordFolder = f2->Text1->text();
    v.pollIntervalMs = Timer1->interval();
    v.extension = Text2->text();
    v.title = windowTitle();
    v.recordSeconds = Text4->text();
    return saveSetupIni(setupIniPath(), v);
}

void Form1::Command1_Click()
{
    Form2 *f = form2();
    f->show();
    f->raise();
    f->activateWindow();
}

void Form1::Command2_Click()
{
    Form4 *f = form4();
    f->show();
    f->raise();
    f->activateWindow();
}

void Form1::Command3_Click()
{
    const StartLayoutResult r = layOutDisplay(*form3(), *form4(), OP_D->text(), m_programDir);
    MeterDivisor = r.divisors;
    setNotice(NoticePictures, r.missingPictures.isEmpty()
                                  ? QString()
                                  : QStringLiteral("找不到圖檔 (picture missing): %1")
                                        .arg(r.missingPictures.join(QStringLiteral(", "))));
    RecordTickCount = 0;
    form3()->show();
    PollTickCount = 0;
    Timer1->setEnabled(true);
    Timer3->setEnabled(true);
}

void Form1::Command5_Click()
{
    // Ends the program at once: nothing is saved and no window is asked.
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing the main window through its frame ends the program as the exit
    // button does; a hidden main window with live timers would be a dead end.
    event->accept();
    Command5_Click();
}

void Form1::setNotice(const QString &source, const QString &text)
{
    for (int i = 0; i < m_notices.size(); ++i) {
        if (m_notices[i].first == source) {
            if (text.isEmpty())
                m_notices.removeAt(i);
            else
                m_notices[i].second = text;
            refreshNotice();
            return;
        }
    }
    if (!text.isEmpty())
        m_notices.append({source, text});
    refreshNotice();
}

QString Form1::noticeText() const
{
    QStringList lines;
    for (const auto &n : m_notices)
        lines << n.second;
    return lines.join(u'\n');
}

void Form1::refreshNotice()
{
    const QString text = noticeText();
    LabelNotice->setText(text);
    if (m_form3)
        m_form3->setNotice(text);
}

void Form1::Delay(double seconds, std::function<void()> done)
{
    // Strictly more than the given time, as the pause was always measured.
    const int ms = int(std::ceil(seconds * 1000)) + 1;
    QTimer::singleShot(ms, this, std::move(done));
}

void Form1::Timer1_Timer()
{
    // A tick that falls due while one is still running is skipped, not
    // queued: two ticks must never share the serial line.
    if (m_tickRunning)
        return;
    m_tickRunning = true;
    reopenLostPort();
    m_cycle->tick();
}

void Form1::reopenLostPort()
{
    if (!m_portLost || MSComm1->PortOpen())
        return;
    MSComm1->setCommPort(m_lastConnectPort);
    MSComm1->setSettings(m_lastConnectSettings);
    if (MSComm1->setPortOpen(true))
        m_portLost = false;
}

void Form1::pollTickFinished(const QString &line)
{
    RecordLine = line;
    Text3->setText(line);
    if (++PollTickCount != ReopenEveryTicks) {
        endPollTick();
        return;
    }
    // The port opens again as the last connect left it: not when it was
    // closed already, and not when the operator connected or disconnected
    // during the pause.
    const bool wasOpen = MSComm1->PortOpen();
    const int connection = m_connectionCount;
    MSComm1->setPortOpen(false);
    Delay(ReopenPauseSeconds, [this, wasOpen, connection] {
        if (wasOpen && connection == m_connectionCount) {
            MSComm1->setCommPort(m_lastConnectPort);
            MSComm1->setSettings(m_lastConnectSettings);
            MSComm1->setPortOpen(true);
        }
        PollTickCount = 0;
        endPollTick();
    });
}

void Form1::endPollTick()
{
    m_tickRunning = false;
}

void Form1::Timer2_Timer()
{
    const QDateTime now = m_clock.now();
    Label3->setText(clockText(now));
    form3()->Label13->setText(Label3->text());

    // Hourly change of the record file. It never switches recording on by
    // itself: only a file that is being written is replaced.
    Form2 *f2 = form2();
    if (Text1->text().isEmpty() || !f2->Check1->isChecked())
        return;
    if (!newFileDue(Text1->text(), now))
        return;
    Timer3->setEnabled(false);
    f2->Check1->setChecked(false);
    f2->Check1->setChecked(true);
    Timer3->setEnabled(true);
}

void Form1::Timer3_Timer()
{
    ++RecordTickCount;
    if (double(RecordTickCount) == RecordSeconds) {
        if (form2()->Check1->isChecked())
            appendRecordLine();
        RecordTickCount = 0;
    }
}

void Form1::appendRecordLine()
{
    const QString path = onDisk(form2()->Text2->text());
    // The folder may have gone since the file was started: make it again.
    FileResult r = ensureRecordFolder(QFileInfo(path).path());
    if (r.ok)
        r = kelmar::appendRecordLine(path, RecordLine);
    // A failed line is reported and recording stays on: the next interval
    // tries again, and the report goes when a line is written.
    setNotice(NoticeRecord, r.error);
}

QString Form1::onDisk(const QString &path) const
{
    // A relative record folder lies in the program folder, not in whatever
    // folder the program happened to be started from.
    return path.isEmpty() ? path : QDir(m_programDir).filePath(path);
}

void Form1::Check1_Click(bool on)
{
    Form2 *f2 = form2();
    const QString folder = f2->Text1->text();
    QString stamp;
    if (on) {
        FileResult r = ensureRecordFolder(onDisk(folder));
        stamp = recordStamp(m_clock.now());
        Text1->setText(stamp);
        const FileResult created =
            createRecordFile(onDisk(recordFileName(folder, stamp, Text2->text())));
        if (r.ok)
            r = created;
        form3()->Label14->setText(RecordIndicator);
        setNotice(NoticeRecord, r.error);
        setNotice(NoticeInterval,
                  recordIntervalReachable(RecordSeconds)
                      ? QString()
                      : QStringLiteral(
                            "記錄秒 \"%1\" 不是 1 以上的整數，不會寫入記錄 (the record interval "
                            "is not a whole number of seconds from 1 up: nothing "
                            "is recorded)")
                            .arg(Text4->text()));
    } else {
        form3()->Label14->clear();
        setNotice(NoticeRecord, QString());
        setNotice(NoticeInterval, QString());
    }
    f2->Text2->setText(recordFileName(folder, stamp, Text2->text()));
}

} // namespace kelmar
