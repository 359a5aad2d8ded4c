#include "publishwindow.h"

#include "fonts.h"
#include "lamp.h"
#include "twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace kelmar {

namespace {

// Geometry in twips: left, top, width, height.
constexpr int ClientWidth = 7320;
constexpr int ClientHeight = 5880;
constexpr int RowTop = 120;
constexpr int RowStep = 420;
constexpr int RowHeight = 375;
constexpr int LabelLeft = 120;
constexpr int LabelWidth = 1560;
constexpr int FieldLeft = 1800;
constexpr int FieldWidth = 3120;

constexpr TwipsPlace labelPlace(int row)
{
    return {LabelLeft, RowTop + row * RowStep, LabelWidth, RowHeight};
}
constexpr TwipsPlace fieldPlace(int row, int width = FieldWidth)
{
    return {FieldLeft, RowTop + row * RowStep, width, RowHeight};
}
constexpr TwipsPlace wholeRowPlace(int row)
{
    return {LabelLeft, RowTop + row * RowStep, FieldLeft + FieldWidth - LabelLeft, RowHeight};
}

constexpr TwipsPlace LampPlace{5280, 240, 615, 615};
// Two lines: the Chinese word and the English one below it when both do
// not fit on one.
constexpr TwipsPlace StateTextPlace{5040, 900, 2160, 600};
constexpr TwipsPlace CountsPlace{5040, 1560, 2160, 1260};
// Three lines of the notice's small type: the longest notices take them.
constexpr TwipsPlace NoticePlace{120, RowTop + 12 * RowStep, 7080, 1020};
constexpr TwipsPlace ApplyPlace{5160, 3600, 1935, 615};
constexpr TwipsPlace LeavePlace{5160, 4320, 1935, 615};

constexpr double FontPoints = 12;
const QColor NoticeColour(192, 0, 0);

} // namespace

QColor PublishWindow::stateColor(BrokerState state)
{
    switch (state) {
    case BrokerState::Connected:
        return QColor(0, 255, 0);
    case BrokerState::Connecting:
        return QColor(255, 255, 0);
    case BrokerState::Off:
        return QColor(128, 128, 128);
    default:
        return QColor(255, 0, 0);
    }
}

PublishWindow::PublishWindow(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(tr("資料發佈 (publish)"));
    setFont(designFont(FontMing, FontPoints));
    setFixedSize(px(ClientWidth), px(ClientHeight));

    auto label = [this](int row, const QString &zh, const QString &en) {
        auto *l = place(new QLabel(zh, this), labelPlace(row));
        l->setToolTip(en);
    };
    auto line = [this, &label](int row, const QString &zh, const QString &en, const char *name) {
        label(row, zh, en);
        auto *e = place(new QLineEdit(this), fieldPlace(row));
        e->setObjectName(QLatin1String(name));
        e->setToolTip(en);
        return e;
    };
    auto check = [this](int row, const QString &text, const QString &en, const char *name) {
        auto *c = place(new QCheckBox(text, this), wholeRowPlace(row));
        c->setObjectName(QLatin1String(name));
        c->setToolTip(en);
        return c;
    };
    auto spin = [this, &label](int row, const QString &zh, const QString &en, const char *name,
                               int low, int high) {
        label(row, zh, en);
        auto *s = place(new QSpinBox(this), fieldPlace(row, FieldWidth / 2));
        s->setRange(low, high);
        s->setObjectName(QLatin1String(name));
        s->setToolTip(en);
        return s;
    };

    m_enabled = check(0, tr("發佈讀值到 MQTT 代理"), QStringLiteral("enabled"), "enabled");
    m_host = line(1, tr("代理主機"), QStringLiteral("host"), "host");
    m_port = spin(2, tr("埠"), QStringLiteral("port"), "port", 1, 65535);
    m_tls = check(3, tr("TLS 加密連線"), QStringLiteral("tls"), "tls");
    m_cafile = line(4, tr("CA 憑證檔"), QStringLiteral("cafile (PEM)"), "cafile");
    m_username = line(5, tr("帳號"), QStringLiteral("username"), "username");
    m_password = line(6, tr("密碼"), QStringLiteral("password"), "password");
    m_password->setEchoMode(QLineEdit::Password);
    m_clientId =
        line(7, tr("用戶端代號"), QStringLiteral("client_id: A-Z a-z 0-9 _ -"), "client_id");
    m_topicPrefix = line(8, tr("主題前綴"), QStringLiteral("topic_prefix"), "topic_prefix");
    label(9, QStringLiteral("QoS"), QStringLiteral("qos"));
    m_qos = place(new QComboBox(this), fieldPlace(9, FieldWidth / 2));
    m_qos->addItems({QStringLiteral("0"), QStringLiteral("1")});
    m_qos->setObjectName(QStringLiteral("qos"));
    m_queueLimit =
        spin(10, tr("佇列上限"), QStringLiteral("queue_limit"), "queue_limit", 1, 10000000);
    m_discovery =
        check(11, tr("Home Assistant 自動探索"), QStringLiteral("discovery"), "discovery");

    m_lamp = place(new Lamp(this), LampPlace);
    m_lamp->setObjectName(QStringLiteral("Lamp"));
    m_stateText = place(new QLabel(this), StateTextPlace);
    m_stateText->setObjectName(QStringLiteral("StateText"));
    m_stateText->setWordWrap(true);
    m_stateText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_counts = place(new QLabel(this), CountsPlace);
    m_counts->setObjectName(QStringLiteral("Counts"));
    m_counts->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_notice = place(new QLabel(this), NoticePlace);
    m_notice->setObjectName(QStringLiteral("Notice"));
    m_notice->setWordWrap(true);
    m_notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_notice->setFont(designFont(FontMing, 9));
    QPalette pal = m_notice->palette();
    pal.setColor(QPalette::WindowText, NoticeColour);
    m_notice->setPalette(pal);
    m_apply = place(new QPushButton(tr("套用"), this), ApplyPlace);
    m_apply->setObjectName(QStringLiteral("Apply"));
    m_apply->setToolTip(QStringLiteral("apply and save"));
    m_leave = place(new QPushButton(tr("離開"), this), LeavePlace);
    m_leave->setObjectName(QStringLiteral("Leave"));

    // TLS changes the usual port; a port typed by hand stays.
    connect(m_tls, &QCheckBox::toggled, this, [this](bool on) {
        if (m_port->value() == (on ? 1883 : 8883))
            m_port->setValue(on ? 8883 : 1883);
    });
    connect(m_apply, &QPushButton::clicked, this, &PublishWindow::applyRequested);
    connect(m_leave, &QPushButton::clicked, this, &QWidget::hide);
    showState(BrokerState::Off, 0, 0, 0);
}

PublishConfig PublishWindow::config() const
{
    PublishConfig c;
    c.enabled = m_enabled->isChecked();
    c.host = m_host->text().trimmed();
    c.port = m_port->value();
    c.tls = m_tls->isChecked();
    c.cafile = m_cafile->text().trimmed();
    c.username = m_username->text();
    c.password = m_password->text();
    c.clientId = m_clientId->text().trimmed();
    c.topicPrefix = m_topicPrefix->text().trimmed();
    c.qos = m_qos->currentIndex();
    c.queueLimit = m_queueLimit->value();
    c.discovery = m_discovery->isChecked();
    // An emptied field means its default, as it would when read from the file.
    const PublishConfig d = defaultPublishConfig(publishHostName());
    if (c.host.isEmpty())
        c.host = d.host;
    if (c.clientId.isEmpty())
        c.clientId = d.clientId;
    if (c.topicPrefix.isEmpty())
        c.topicPrefix = d.topicPrefix;
    return c;
}

void PublishWindow::setConfig(const PublishConfig &c)
{
    const QSignalBlocker block(m_tls);
    m_enabled->setChecked(c.enabled);
    m_host->setText(c.host);
    m_port->setValue(c.port);
    m_tls->setChecked(c.tls);
    m_cafile->setText(c.cafile);
    m_username->setText(c.username);
    m_password->setText(c.password);
    m_clientId->setText(c.clientId);
    m_topicPrefix->setText(c.topicPrefix);
    m_qos->setCurrentIndex(c.qos);
    m_queueLimit->setValue(c.queueLimit);
    m_discovery->setChecked(c.discovery);
}

void PublishWindow::showState(BrokerState state, qint64 published, qint64 queued, qint64 dropped)
{
    static const char *const words[] = {
        QT_TR_NOOP("未啟用 (off)"), QT_TR_NOOP("連線中 (connecting)"),
        QT_TR_NOOP("已連線 (connected)"), QT_TR_NOOP("等待代理 (waiting)"),
        QT_TR_NOOP("被拒絕 (refused)")};
    m_lamp->setColor(stateColor(state));
    m_stateText->setText(tr(words[int(state)]));
    m_counts->setText(
        tr("已發佈 %1\n佇列中 %2\n已捨棄 %3").arg(published).arg(queued).arg(dropped));
    m_counts->setToolTip(QStringLiteral("published %1, queued %2, dropped %3")
                             .arg(published)
                             .arg(queued)
                             .arg(dropped));
}

void PublishWindow::showNotice(const QString &text)
{
    m_notice->setText(text);
}

QColor PublishWindow::lampColor() const
{
    return m_lamp->color();
}

void bindPublishWindow(PublishWindow *window, Publisher *publisher, const QString &iniPath)
{
    window->setConfig(publisher->config());
    auto refresh = [window, publisher] {
        window->showState(publisher->state(), publisher->published(), publisher->queued(),
                          publisher->dropped());
    };
    auto *timer = new QTimer(window);
    timer->setInterval(500);
    QObject::connect(timer, &QTimer::timeout, window, [window, refresh] {
        if (window->isVisible())
            refresh();
    });
    timer->start();
    QObject::connect(publisher, &Publisher::stateChanged, window, refresh);
    QObject::connect(publisher, &Publisher::noticeChanged, window, &PublishWindow::showNotice);
    QObject::connect(window, &PublishWindow::applyRequested, window, [window, publisher, iniPath] {
        const PublishConfig c = window->config();
        // Settings that cannot be used are neither saved nor applied; the
        // reason stays in the window until it is put right.
        if (const QString problem = publishConfigProblem(c); !problem.isEmpty()) {
            window->showNotice(problem);
            return;
        }
        const FileResult saved = savePublishConfig(iniPath, c);
        window->showNotice(saved.ok ? publisher->notice() : saved.error);
        publisher->setConfig(c);
    });
    refresh();
}

} // namespace kelmar
