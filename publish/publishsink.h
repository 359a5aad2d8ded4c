#pragma once

#include "sample.h"

#include <QString>
#include <functional>

namespace kelmar {

class Publisher;

// The broker as a consumer of readings: each slot's sample becomes its
// message, each change of the line the retained line state.
class PublishSink : public SampleSink
{
public:
    // title(k) gives slot k's title as the operator set it.
    PublishSink(Publisher &publisher, std::function<QString(int)> title);

    void slotSampled(const SlotSample &sample) override;
    void lineChanged(const QString &port, MeterLine::State state) override;

private:
    Publisher &m_publisher;
    std::function<QString(int)> m_title;
};

} // namespace kelmar
