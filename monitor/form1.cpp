#include "form1.h"

#include "clock.h"
#include "comportmap.h"
#include "fonts.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "healthwindow.h"
#include "session.h"
#include "startdisplay.h"
#include "trendwindow.h"
#include "twips.h"

#ifdef KELMAR_HAVE_PUBLISH
#include "publisher.h"
#include "publishwindow.h"
#endif

#include <QCloseEvent>
#include <QDir>
#include <QMessageBox>
#include <QScrollArea>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

namespace kelmar {

namespace {

// Main window geometry in twips.
constexpr int ClientWidth = 5280;
constexpr int ClientHeight = 3330;
constexpr TwipsPlace Command1Place{240, 480, 1935, 735};
constexpr TwipsPlace Command3Place{3120, 480, 1935, 735};
constexpr TwipsPlace Command2Place{240, 1440, 1935, 735};
constexpr TwipsPlace Command5Place{240, 2400, 1935, 735};
constexpr TwipsPlace Label3Place{240, 0, 4215, 495};
// The free space under the start button: problem reports (scrolled when
// they are longer than the space), the key to publishing where the program
// has it, and the keys to the line's counters and to the recorded curves.
#ifdef KELMAR_HAVE_PUBLISH
constexpr TwipsPlace NoticePlace{3120, 1440, 1935, 855};
constexpr TwipsPlace PublishButtonPlace{3120, 2340, 1935, 375};
#else
constexpr TwipsPlace NoticePlace{3120, 1440, 1935, 1275};
#endif
constexpr TwipsPlace HealthButtonPlace{3120, 2760, 945, 375};
constexpr TwipsPlace TrendButtonPlace{4110, 2760, 945, 375};

constexpr double ButtonPoints = 12;
constexpr double ClockPoints = 14.25;
constexpr double SmallButtonPoints = 9;
const QColor NoticeColour(192, 0, 0);

// The longest a value read by a running polling tick waits to be drawn.
constexpr int HeldDrawingMs = 400;

QPushButton *button(QWidget *parent, const QString &caption, const TwipsPlace &p,
                    const char *name, double points = ButtonPoints)
{
    auto *b = place(new QPushButton(caption, parent), p);
    b->setFont(designFont(FontMing, points));
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

Form1::Form1(const QString &programDir, Clock &clock, MeterLine::TransportFactory transports,
             QWidget *parent)
    : QWidget(parent), m_programDir(programDir), m_clock(clock)
{
    setFixedSize(px(ClientWidth), px(ClientHeight));

    Command1 = button(this, QStringLiteral("主機端設定"), Command1Place, "Command1");
    Command3 = button(this, QStringLiteral("啟動/顯示"), Command3Place, "Command3");
    Command3->setEnabled(false);
    Command2 = button(this, QStringLiteral("儀表參數設定"), Command2Place, "Command2");
    Command5 = button(this, QStringLiteral("離開"), Command5Place, "Command5");
    Label3 = place(new QLabel(this), Label3Place);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(designFont(FontArial, ClockPoints, true));
    // Every report is shown whole: a longer text scrolls inside its space.
    auto *noticeArea = place(new QScrollArea(this), NoticePlace);
    noticeArea->setObjectName(QStringLiteral("NoticeArea"));
    noticeArea->setFrameShape(QFrame::NoFrame);
    noticeArea->setWidgetResizable(true);
    noticeArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_notice = new QLabel;
    noticeArea->setWidget(m_notice);
    m_notice->setObjectName(QStringLiteral("Notice"));
    m_notice->setWordWrap(true);
    m_notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = m_notice->palette();
    pal.setColor(QPalette::WindowText, NoticeColour);
    m_notice->setPalette(pal);
    m_healthButton = button(this, QStringLiteral("通訊統計"), HealthButtonPlace, "HealthButton",
                            SmallButtonPoints);
    m_healthButton->setToolTip(QStringLiteral("通訊統計 (line counters)"));
    m_trendButton = button(this, QStringLiteral("趨勢圖"), TrendButtonPlace, "TrendButton",
                           SmallButtonPoints);
    m_trendButton->setToolTip(QStringLiteral("趨勢圖 (trend)"));

    m_line = std::make_unique<MeterLine>(transports ? std::move(transports)
                                                    : MeterLine::systemPorts(programDir));
    m_session = new Session(programDir, clock, *m_line, this);
    setWindowTitle(m_session->setup().title);

    Session *s = m_session;
    connect(s, &Session::clockChanged, this, [this](const QString &t) {
        if (holdDrawing()) {
            m_heldClock = t;
            return;
        }
        m_heldClock.reset();
        showClock(t);
    });
    connect(s, &Session::noticeChanged, m_notice, &QLabel::setText);
    connect(s, &Session::noticeChanged, this, [this](const QString &t) {
        if (m_form3)
            m_form3->setNotice(t);
    });
    // The values are the session's at once (record line, publishing); only
    // their drawing waits for the tick's end.
    connect(s, &Session::readingChanged, this, [this](int k, int item, const QString &t) {
        if (holdDrawing()) {
            m_heldValues[k - 1][item] = t;
            return;
        }
        m_heldValues[k - 1][item].reset();
        form3()->setReading(k, item, t);
    });
    connect(s, &Session::slotStatusChanged, this,
            [this](int k, const ReplyCheck &check, const QString &text) {
                if (holdDrawing()) {
                    m_heldStatus[k - 1] = std::pair(check, text);
                    return;
                }
                m_heldStatus[k - 1].reset();
                showStatus(k, check, text);
            });
    connect(s, &Session::tickFinished, this, &Form1::showHeld);
    connect(s, &Session::monitoringChanged, this, &Form1::showHeld);
    m_heldDrawing.setSingleShot(true);
    m_heldDrawing.setInterval(HeldDrawingMs);
    connect(&m_heldDrawing, &QTimer::timeout, this, &Form1::showHeld);
    connect(s, &Session::titleChanged, this,
            [this](int k, const QString &t) { form3()->setTitle(k, t); });
    connect(s, &Session::recordingChanged, this, [this](bool on) { form3()->setRecording(on); });
    connect(s, &Session::healthChanged, this, [this](int k) {
        if (m_health)
            m_health->showHealth(k, m_session->meterSlot(k), m_session->health(k));
    });
    connect(s, &Session::lineStateChanged, this, [this] {
        if (m_health)
            m_health->setLine(m_line->portDescription());
    });
    connect(s, &Session::slotChanged, this, [this](int k) {
        if (m_health)
            m_health->showHealth(k, m_session->meterSlot(k), m_session->health(k));
        // A slot switched on or off, or given another model, while monitoring
        // shows its new picture and fields at once; its values follow from
        // the next tick.
        const MeterSlot &slot = m_session->meterSlot(k);
        if (m_session->isMonitoring() && m_laidOut[k - 1] != std::pair(slot.enabled, slot.flag))
            layOut();
    });

    setUpPublishing();

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(m_healthButton, &QPushButton::clicked, this, [this] { showWindow(healthWindow()); });
    connect(m_trendButton, &QPushButton::clicked, this, [this] {
        showRecordSource();
        showWindow(trendWindow());
    });
    connect(s, &Session::recordFileChanged, this, [this] {
        if (m_trend)
            showRecordSource();
    });
    connect(s, &Session::titleChanged, this, [this] {
        if (m_trend)
            showRecordSource();
    });
}

Form1::~Form1()
{
    // Everything that uses the line goes before the line does.
    delete m_session;
    m_session = nullptr;
    delete m_form2;
    m_form2 = nullptr;
    m_line.reset();
}

Form2 *Form1::form2()
{
    if (!m_form2) {
        m_form2 = new Form2(*m_line, this);
        m_form2->setWindowFlags(Qt::Window);
        m_form2->setHostSettings(m_session->setup().host);
        connect(m_form2, &Form2::hostSettingsEdited, this, [this] {
            m_session->setHostSettings(m_form2->hostSettings());
            showPortKind();
        });
        connect(m_form2, &Form2::connectionChanged, Command3, &QWidget::setEnabled);
        connect(m_form2, &Form2::recordingSwitched, m_session, &Session::setRecording);
        connect(m_form2, &Form2::recordingStoppedByDisconnect, m_session,
                &Session::recordingStoppedByDisconnect);
        connect(m_form2, &Form2::leaveRequested, m_session, &Session::save);
    }
    return m_form2;
}

Form3 *Form1::form3()
{
    if (!m_form3) {
        m_form3 = new Form3(this);
        m_form3->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        m_form3->setNotice(m_session->noticeText());
        connect(m_form3, &Form3::exited, m_session, &Session::stop);
    }
    return m_form3;
}

Form4 *Form1::form4()
{
    if (!m_form4) {
        m_form4 = new Form4(m_programDir, this);
        m_form4->setWindowFlags(Qt::Window);
        connect(m_form4, &Form4::slotChanged, this,
                [this](int k) { m_session->setSlot(k, m_form4->slot(k)); });
        // The meter setup window's reports (meter.txt lines not offered,
        // meters.ini not read or not written) reach the main window too.
        connect(m_form4, &Form4::noticeChanged, this, [this](const QString &text) {
            m_session->setNotice(QStringLiteral("meters"), text);
        });
        m_session->setNotice(QStringLiteral("meters"), m_form4->noticeText());
    }
    return m_form4;
}

HealthWindow *Form1::healthWindow()
{
    if (!m_health) {
        m_health = new HealthWindow(this);
        m_health->setLine(m_line->portDescription());
        m_health->setWindowFlags(Qt::Window);
        for (int k = 1; k <= SlotCount; ++k)
            m_health->showHealth(k, m_session->meterSlot(k), m_session->health(k));
    }
    return m_health;
}

TrendWindow *Form1::trendWindow()
{
    if (!m_trend) {
        m_trend = new TrendWindow(m_clock, this);
        m_trend->setWindowFlags(Qt::Window);
    }
    return m_trend;
}

void Form1::showRecordSource()
{
    const Recorder &rec = m_session->recorder();
    TrendWindow *t = trendWindow();
    t->setRecordSource(rec.folderOnDisk(m_session->setup().host.recordFolder),
                       m_session->setup().extension);
    t->setCurrentFile(rec.isOn() ? rec.filePath() : QString());
    QStringList titles;
    for (const MeterSlot &s : m_session->meterSlots())
        titles << s.title;
    t->setSlotTitles(titles);
}

void Form1::Form_Load()
{
    m_session->load();
    setWindowTitle(m_session->setup().title);
    form2()->setHostSettings(m_session->setup().host);
    showPortKind();
    // The six meter slots as they were left; each reaches the session
    // through the same route as the operator's own choices.
    form4()->restoreSlots();
}

void Form1::showWindow(QWidget *w)
{
    w->show();
    w->raise();
    w->activateWindow();
}

void Form1::Command1_Click()
{
    showWindow(form2());
}

void Form1::Command2_Click()
{
    showWindow(form4());
}

void Form1::layOut()
{
    const StartLayoutResult r =
        layOutDisplay(*form3(), m_session->meterSlots(), m_session->displayCode(), m_programDir);
    for (int k = 1; k <= SlotCount; ++k)
        m_laidOut[k - 1] = {m_session->meterSlot(k).enabled, m_session->meterSlot(k).flag};
    m_session->setNotice(QStringLiteral("pictures"),
                         r.missingPictures.isEmpty()
                             ? QString()
                             : QStringLiteral("找不到圖檔 (picture missing): %1")
                                   .arg(r.missingPictures.join(QStringLiteral(", "))));
}

// While a polling tick runs, what it changes on screen waits for its end:
// both windows are redrawn once a tick, together with the clock, whose timer
// runs in step with polling, rather than once a slot. A slow tick (meters that
// do not answer) still shows what it has read after HeldDrawingMs.
bool Form1::holdDrawing()
{
    if (!m_session->pollTickRunning())
        return false;
    if (!m_heldDrawing.isActive())
        m_heldDrawing.start();
    return true;
}

void Form1::showHeld()
{
    m_heldDrawing.stop();
    if (std::optional<QString> held = std::exchange(m_heldClock, std::nullopt))
        showClock(*held);
    for (int k = 1; k <= SlotCount; ++k) {
        for (int item = 0; item < ItemsPerSlot; ++item)
            if (std::optional<QString> held = std::exchange(m_heldValues[k - 1][item], std::nullopt))
                form3()->setReading(k, item, *held);
        if (auto held = std::exchange(m_heldStatus[k - 1], std::nullopt))
            showStatus(k, held->first, held->second);
    }
}

void Form1::showClock(const QString &text)
{
    Label3->setText(text);
    // The first clock tick makes the display window, hidden.
    form3()->setClock(text);
}

void Form1::showStatus(int k, const ReplyCheck &check, const QString &text)
{
    form3()->setSlotStatus(k, text,
                           check.status == ReplyStatus::NoReply     ? Form3::StatusKind::NoReply
                           : check.status == ReplyStatus::Exception ? Form3::StatusKind::Exception
                                                                    : Form3::StatusKind::BadReply);
}

void Form1::Command3_Click()
{
    layOut();
    form3()->show();
    m_session->start();
}

void Form1::setUpPublishing()
{
#ifdef KELMAR_HAVE_PUBLISH
    const QString ini = QDir(m_programDir).filePath(QStringLiteral("publish.ini"));
    const PublishConfigRead read = loadPublishConfig(ini, publishHostName());
    m_publisher = new Publisher(this);
    m_session->setNotice(QStringLiteral("publish.ini"), read.notices.join(u'\n'));
    connect(m_publisher, &Publisher::noticeChanged, this,
            [this](const QString &t) { m_session->setNotice(QStringLiteral("publish"), t); });
    m_publisher->setConfig(read.config);
    auto *key = button(this, QStringLiteral("資料發佈"), PublishButtonPlace, "PublishButton",
                       SmallButtonPoints);
    key->setToolTip(QStringLiteral("資料發佈 (publish)"));
    connect(key, &QPushButton::clicked, this, [this, ini] {
        if (!m_publishWindow) {
            m_publishWindow = new PublishWindow(this);
            m_publishWindow->setWindowFlags(Qt::Window);
            bindPublishWindow(m_publishWindow, m_publisher, ini);
        }
        showWindow(m_publishWindow);
    });
    Session *s = m_session;
    connect(s, &Session::slotRead, m_publisher, [this](int k, const QDateTime &time) {
        const MeterSlot &m = m_session->meterSlot(k);
        SlotReport r;
        r.slot = k;
        r.id = m.slaveId.value_or(0);
        r.title = m.title;
        r.time = time;
        r.values << m_session->reading(k, 0);
        if (m.hasSecondValue())
            r.values << m_session->reading(k, 1);
        r.status = m_session->slotCheck(k).status;
        r.exceptionCode = int(m_session->slotCheck(k).exceptionCode);
        m_publisher->publishSlot(r);
    });
    connect(s, &Session::lineStateChanged, m_publisher, [this](MeterLine::State state) {
        const LineState published = state == MeterLine::State::Open   ? LineState::Open
                                    : state == MeterLine::State::Lost ? LineState::Lost
                                                                      : LineState::Closed;
        // Opening is not a state of its own to the readers of the topic.
        if (state != MeterLine::State::Opening)
            m_publisher->publishLine(m_line->portDescription(), published);
    });
#endif
}

void Form1::showPortKind()
{
    const PortTarget target = portTarget(m_form2->hostSettings().portNumber, m_programDir);
    const QString network = target.isNetwork() ? describeTarget(target) : QString();
    m_form2->showNetworkTarget(network);
    m_session->setNotice(
        QStringLiteral("network"),
        network.isEmpty()
            ? QString()
            : QStringLiteral("COM%1 是網路埠 %2，不使用鮑率與通訊協定 (COM%1 is a network port: "
                             "baud rate and framing are not used)")
                  .arg(m_form2->hostSettings().portNumber)
                  .arg(network));
}

bool Form1::quitWouldEndLogging() const
{
    return m_session->isMonitoring() || m_session->recorder().isOn();
}

void Form1::Command5_Click()
{
    // Monitoring or recording must not end by a slip of the hand.
    if (quitWouldEndLogging()) {
        if (!m_quitQuestion) {
            m_quitQuestion = new QMessageBox(
                QMessageBox::Question, windowTitle(),
                QStringLiteral("監控/記錄中，確定離開？ (monitoring or recording is on: quit?)"),
                QMessageBox::Yes | QMessageBox::No, this);
            m_quitQuestion->setObjectName(QStringLiteral("QuitQuestion"));
            m_quitQuestion->setDefaultButton(QMessageBox::No);
            connect(m_quitQuestion, &QMessageBox::finished, this, [this](int answer) {
                if (answer == QMessageBox::Yes)
                    quit();
            });
        }
        // Shown without waiting in a loop of its own: polling and recording
        // go on while the question stands.
        m_quitQuestion->open();
        return;
    }
    quit();
}

void Form1::quit()
{
    // The meter setup is kept for the next start.
    if (m_form4)
        m_form4->saveSlots();
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing the main window through its frame ends the program as the exit
    // button does; a hidden main window with live timers would be a dead end.
    if (quitWouldEndLogging()) {
        event->ignore();
        Command5_Click();
        return;
    }
    event->accept();
    Command5_Click();
}

QString Form1::noticeText() const
{
    return m_session->noticeText();
}

} // namespace kelmar
