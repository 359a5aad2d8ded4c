#include "pollingcycle.h"

#include "clock.h"
#include "recordformat.h"

#include <QPointer>

namespace kelmar {

namespace {
constexpr int SlotCount = 6;
const QString ReadHoldingRegisters = QStringLiteral("3");
} // namespace

PollingCycle::PollingCycle(Hooks hooks, Clock &clock, QObject *parent)
    : QObject(parent), m_hooks(std::move(hooks)), m_clock(clock)
{
}

bool PollingCycle::tick()
{
    if (m_running)
        return false;
    m_running = true;
    m_slot = 0;
    step();
    return true;
}

// Moves on to the next enabled slot, or ends the tick after slot 6.
void PollingCycle::step()
{
    while (++m_slot <= SlotCount) {
        if (m_hooks.slot(m_slot).enabled) {
            reading(0);
            return;
        }
    }
    QStringList captions;
    for (int k = 1; k <= SlotCount; ++k)
        captions << m_hooks.readLabel(k, 0) << m_hooks.readLabel(k, 1);
    const QString line = buildRecordLine(recordTimeText(m_clock.now()), captions);
    m_running = false;
    emit finished(line);
}

void PollingCycle::reading(int item)
{
    const SlotSettings s = m_hooks.slot(m_slot);
    const QString &reg = item == 0 ? s.register1 : s.register2;
    const QString &count = item == 0 ? s.count1 : s.count2;
    QPointer<PollingCycle> self(this);
    const bool started =
        m_hooks.transact(s.id, ReadHoldingRegisters, reg.mid(0, 2), reg.mid(2, 2), count.mid(0, 2),
                         count.mid(2, 2), [self, item](const QString &text) {
                             if (self)
                                 self->readingDone(item, text);
                         });
    if (!started)
        readingDone(item, QString());
}

void PollingCycle::readingDone(int item, const QString &text)
{
    if (const auto shown = formatReading(text, m_hooks.divisor(m_slot)))
        m_hooks.writeLabel(m_slot, item, *shown);
    // The flag is read again now: it may have changed during the transaction.
    if (item == 0 && m_hooks.slot(m_slot).flag == QStringLiteral("B"))
        reading(1);
    else
        step();
}

} // namespace kelmar
