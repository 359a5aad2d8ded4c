#include "publishsink.h"

#include "publisher.h"

namespace kelmar {

PublishSink::PublishSink(Publisher &publisher, std::function<QString(int)> title)
    : m_publisher(publisher), m_title(std::move(title))
{
}

void PublishSink::slotSampled(const SlotSample &sample)
{
    // Slots of a tick that never ended (Exit during it) count no more than
    // its record line does.
    if (sample.time != m_tickTime)
        m_tick.clear();
    m_tickTime = sample.time;
    m_tick.append(slotReport(sample, m_title(sample.slot)));
}

void PublishSink::tickEnded(const TickSample &)
{
    m_publisher.publishSlots(m_tick);
    m_tick.clear();
}

void PublishSink::lineChanged(const QString &port, MeterLine::State state)
{
    // Opening is not a state of its own to the readers of the topic.
    if (state == MeterLine::State::Opening)
        return;
    m_publisher.publishLine(port, state == MeterLine::State::Open   ? LineState::Open
                                  : state == MeterLine::State::Lost ? LineState::Lost
                                                                    : LineState::Closed);
}

} // namespace kelmar
