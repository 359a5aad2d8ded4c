#pragma once

#include "payloads.h"
#include "sample.h"

#include <QString>
#include <QVector>
#include <functional>

namespace kelmar {

class Publisher;

// The broker as a consumer of readings: each slot's sample becomes its
// message, each change of the line the retained line state. A tick's slot
// messages go out together when the tick ends: one write to the broker and
// one look at its answers a tick, not one a slot.
class PublishSink : public SampleSink
{
public:
    // title(k) gives slot k's title as the operator set it.
    PublishSink(Publisher &publisher, std::function<QString(int)> title);

    void slotSampled(const SlotSample &sample) override;
    void tickEnded(const TickSample &tick) override;
    void lineChanged(const QString &port, MeterLine::State state) override;

private:
    Publisher &m_publisher;
    std::function<QString(int)> m_title;
    QVector<SlotReport> m_tick; // this tick's slots so far
    QDateTime m_tickTime;       // the tick they belong to
};

} // namespace kelmar
