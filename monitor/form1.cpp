#include "form1.h"

#include "fonts.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"
#include "healthwindow.h"
#include "noticepanel.h"
#include "session.h"
#include "station.h"
#include "startdisplay.h"
#include "tickdrawing.h"
#include "trendwindow.h"
#include "twips.h"

#ifdef KELMAR_HAVE_PUBLISH
#include "publishwindow.h"
#endif

#include <QCloseEvent>
#include <QDir>
#include <QMessageBox>
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

QPushButton *button(QWidget *parent, const QString &caption, const TwipsPlace &p,
                    const char *name, double points = ButtonPoints)
{
    auto *b = place(new QPushButton(caption, parent), p);
    b->setFont(designFont(FontMing, points));
    b->setObjectName(QLatin1String(name));
    return b;
}

} // namespace

Form1::Form1(Station &station, QWidget *parent)
    : QWidget(parent), m_station(station), m_session(&station.session()), m_line(&station.line())
{
    setFixedSize(px(ClientWidth), px(ClientHeight));

    Command1 = button(this, tr("主機端設定"), Command1Place, "Command1");
    Command3 = button(this, tr("啟動/顯示"), Command3Place, "Command3");
    Command3->setEnabled(false);
    Command2 = button(this, tr("儀表參數設定"), Command2Place, "Command2");
    Command5 = button(this, tr("離開"), Command5Place, "Command5");
    Label3 = place(new QLabel(this), Label3Place);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setFont(designFont(FontArial, ClockPoints, true));
    m_notice = place(new NoticePanel(this), NoticePlace);
    m_healthButton =
        button(this, tr("通訊統計"), HealthButtonPlace, "HealthButton", SmallButtonPoints);
    m_healthButton->setToolTip(tr("通訊統計 (line counters)"));
    m_trendButton = button(this, tr("趨勢圖"), TrendButtonPlace, "TrendButton", SmallButtonPoints);
    m_trendButton->setToolTip(tr("趨勢圖 (trend)"));

    setWindowTitle(shownTitle(m_session->setup().title));

    Session *s = m_session;
    new TickDrawing(
        *s, [this] { return form3(); }, [this](const QString &t) { showClock(t); }, this);
    connect(s, &Session::noticeChanged, m_notice, &NoticePanel::setProblems);
    connect(s, &Session::informationChanged, m_notice, &NoticePanel::setInformation);
    m_notice->setProblems(s->noticeText());
    m_notice->setInformation(s->informationText());
    connect(s, &Session::noticeChanged, this, [this](const QString &t) {
        if (m_form3)
            m_form3->setNotice(t);
    });
    connect(s, &Session::titleChanged, this,
            [this](int k, const QString &t) { form3()->setTitle(k, t); });
    connect(s, &Session::recordingChanged, this, [this](bool on) { form3()->setRecording(on); });
    connect(s, &Session::slotChanged, this, [this](int k) {
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
    // The station outlives its views; nothing of it may call into them now.
    m_session->disconnect(this);
    m_station.disconnect(this);
}

Form2 *Form1::form2()
{
    if (!m_form2) {
        m_form2 = new Form2(m_station.line(), this);
        m_form2->setWindowFlags(Qt::Window);
        m_form2->setHostSettings(m_session->setup().host);
        connect(m_form2, &Form2::hostSettingsEdited, this, [this] {
            m_station.setHostSettings(m_form2->hostSettings());
            m_form2->showNetworkTarget(m_station.networkTarget());
        });
        connect(m_form2, &Form2::connectionChanged, Command3, &QWidget::setEnabled);
        connect(m_form2, &Form2::recordingSwitched, m_session, &Session::setRecording);
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
        m_form4 = new Form4(m_station.slotSetup(), this);
        m_form4->setWindowFlags(Qt::Window);
    }
    return m_form4;
}

HealthWindow *Form1::healthWindow()
{
    if (!m_health) {
        m_health = new HealthWindow(this);
        m_health->setWindowFlags(Qt::Window);
        m_health->follow(*m_session, line());
    }
    return m_health;
}

TrendWindow *Form1::trendWindow()
{
    if (!m_trend) {
        m_trend = new TrendWindow(m_station.clock(), this);
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
    m_station.load();
    setWindowTitle(shownTitle(m_session->setup().title));
    form2()->setHostSettings(m_session->setup().host);
    m_form2->showNetworkTarget(m_station.networkTarget());
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
        layOutDisplay(*form3(), m_session->meterSlots(), m_session->displayCode(),
                      m_station.programDir());
    for (int k = 1; k <= SlotCount; ++k)
        m_laidOut[k - 1] = {m_session->meterSlot(k).enabled, m_session->meterSlot(k).flag};
    m_session->setNotice(QStringLiteral("pictures"),
                         r.missingPictures.isEmpty()
                             ? QString()
                             : tr("找不到圖檔 (picture missing): %1")
                                   .arg(r.missingPictures.join(QStringLiteral(", "))));
}

void Form1::showClock(const QString &text)
{
    Label3->setText(text);
    // The first clock tick makes the display window, hidden.
    form3()->setClock(text);
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
    auto *key =
        button(this, tr("資料發佈"), PublishButtonPlace, "PublishButton", SmallButtonPoints);
    key->setToolTip(tr("資料發佈 (publish)"));
    connect(key, &QPushButton::clicked, this, [this] {
        if (!m_publishWindow) {
            m_publishWindow = new PublishWindow(this);
            m_publishWindow->setWindowFlags(Qt::Window);
            bindPublishWindow(m_publishWindow, &m_station.publisher(), m_station.publishIniPath());
        }
        showWindow(m_publishWindow);
    });
#endif
}

bool Form1::quitWouldEndLogging() const
{
    return m_session->isMonitoring() || m_session->recorder().isOn();
}

void Form1::Command5_Click()
{
    // Monitoring or recording must not end by a slip of the hand. The
    // question is shown without a loop of its own: polling and recording go
    // on while it stands.
    if (!quitWouldEndLogging())
        return quit();
    if (!m_quitQuestion) {
        m_quitQuestion =
            new QMessageBox(QMessageBox::Question, windowTitle(),
                            tr("監控/記錄中，確定離開？ (monitoring or recording is on: quit?)"),
                            QMessageBox::Yes | QMessageBox::No, this);
        m_quitQuestion->setObjectName(QStringLiteral("QuitQuestion"));
        m_quitQuestion->setDefaultButton(QMessageBox::No);
        connect(m_quitQuestion, &QMessageBox::finished, this, [this](int answer) {
            if (answer == QMessageBox::Yes)
                quit();
        });
    }
    m_quitQuestion->open();
}

void Form1::quit()
{
    // The meter setup is kept for the next start, with any typing still
    // open in its window.
    if (m_form4) {
        m_form4->saveSlots();
        m_station.shutDown();
    } else {
        m_station.end();
    }
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing the main window through its frame ends the program as the exit
    // button does; a hidden main window with live timers would be a dead end.
    event->setAccepted(!quitWouldEndLogging());
    Command5_Click();
}

QString Form1::noticeText() const
{
    return m_session->noticeText();
}

} // namespace kelmar
