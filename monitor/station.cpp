#include "station.h"

#include "comportmap.h"

#include <QDir>

namespace kelmar {

Station::Station(const QString &programDir, Clock &clock, MeterLine::TransportFactory transports,
                 QObject *parent)
    : QObject(parent), m_programDir(programDir), m_clock(clock),
      m_line(transports ? std::move(transports) : MeterLine::systemPorts(programDir)),
      m_session(programDir, clock, m_line), m_slots(programDir)
#ifdef KELMAR_HAVE_PUBLISH
      ,
      m_publishSink(m_publisher, [this](int k) { return m_session.meterSlot(k).title; })
#endif
{
    // Each slot reaches the run model through one route, the operator's
    // choices and the restored setup alike.
    connect(&m_slots, &SlotSetup::slotChanged, this,
            [this](int k) { m_session.setSlot(k, m_slots.slot(k)); });
    connect(&m_slots, &SlotSetup::noticeChanged, this,
            [this](const QString &t) { m_session.setNotice(QStringLiteral("meters"), t); });
    connect(&m_session, &Session::slotSampled, this, [this](const SlotSample &s) {
        for (SampleSink *sink : m_sinks)
            sink->slotSampled(s);
    });
    connect(&m_session, &Session::tickEnded, this, [this](const TickSample &t) {
        for (SampleSink *sink : m_sinks)
            sink->tickEnded(t);
    });
    connect(&m_session, &Session::lineStateChanged, this, &Station::lineStateChange);
#ifdef KELMAR_HAVE_PUBLISH
    connect(&m_publisher, &Publisher::noticeChanged, this,
            [this](const QString &t) { m_session.setNotice(QStringLiteral("publish"), t); });
    addSink(&m_publishSink);
#endif
    // Publishing runs from the start, as publish.ini says.
    loadPublishing();
}

Station::~Station()
{
    // Publishing ends before the readings' sources do.
    m_sinks.clear();
}

void Station::load()
{
    m_session.load();
    showPortKind();
    m_slots.restore();
    m_session.setNotice(QStringLiteral("meters"), m_slots.noticeText());
}

void Station::reload()
{
    m_slots.restore();
    loadPublishing();
}

void Station::end()
{
    m_slots.save();
    shutDown();
}

void Station::shutDown()
{
    m_session.finishRecording();
#ifdef KELMAR_HAVE_PUBLISH
    PublishConfig off = m_publisher.config();
    off.enabled = false;
    m_publisher.setConfig(off);
#endif
}

MeterLine::State Station::connectLine()
{
    const HostSettings &host = m_session.setup().host;
    return m_line.connectLine(host.portNumber, host.settingsText());
}

void Station::setHostSettings(const HostSettings &host)
{
    m_session.setHostSettings(host);
    showPortKind();
}

QString Station::networkTarget() const
{
    const PortTarget target = portTarget(m_session.setup().host.portNumber, m_programDir);
    return target.isNetwork() ? describeTarget(target) : QString();
}

// A gateway takes no baud rate or framing: the operator is told so, as
// information rather than a problem.
void Station::showPortKind()
{
    const QString network = networkTarget();
    m_session.setInformation(
        QStringLiteral("network"),
        network.isEmpty() ? QString()
                          : tr("COM%1 是網路埠 %2，不使用鮑率與通訊協定 (COM%1 is a network port: "
                               "baud rate and framing are not used)")
                                .arg(m_session.setup().host.portNumber)
                                .arg(network));
}

void Station::addSink(SampleSink *sink)
{
    m_sinks.push_back(sink);
}

void Station::lineStateChange(MeterLine::State state)
{
    // Recording needs the line: a disconnect, or a connect that failed,
    // ends it, and the operator is told until it is switched on again.
    if (m_recordingFollowsLine && state == MeterLine::State::Closed &&
        m_session.recorder().isOn()) {
        m_session.setRecording(false);
        m_session.recordingStoppedByDisconnect();
    }
    for (SampleSink *sink : m_sinks)
        sink->lineChanged(m_line.portDescription(), state);
}

#ifdef KELMAR_HAVE_PUBLISH
QString Station::publishIniPath() const
{
    return QDir(m_programDir).filePath(QStringLiteral("publish.ini"));
}

void Station::loadPublishing()
{
    const PublishConfigRead read = loadPublishConfig(publishIniPath(), publishHostName());
    m_session.setNotice(QStringLiteral("publish.ini"), read.notices.join(u'\n'));
    m_publisher.setConfig(read.config);
}
#else
void Station::loadPublishing() {}
#endif

} // namespace kelmar
