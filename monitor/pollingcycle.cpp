#include "pollingcycle.h"

#include "clock.h"
#include "recordformat.h"

#include <QPointer>

namespace kelmar {

namespace {
const QString ReadHoldingRegisters = QStringLiteral("3");
} // namespace

PollingCycle::PollingCycle(Hooks hooks, Clock &clock, QObject *parent)
    : QObject(parent), m_hooks(std::move(hooks)), m_clock(clock)
{
}

QString PollingCycle::slaveText(const MeterSlot &slot)
{
    return slot.slaveId ? QString::number(*slot.slaveId) : QString();
}

bool PollingCycle::tick()
{
    if (m_running)
        return false;
    m_running = true;
    m_abandoned = false;
    m_slot = 0;
    m_read = {};
    m_failedSlaves.clear();
    step();
    return true;
}

// Moves on to the next enabled slot, or ends the tick after the last one.
void PollingCycle::step()
{
    // The slot just read has its values shown: its reading is complete.
    if (m_slot >= 1 && !m_abandoned)
        emit slotRead(m_slot);
    while (++m_slot <= SlotCount) {
        const MeterSlot s = m_hooks.slot(m_slot);
        if (!s.enabled)
            continue;
        reading(0);
        return;
    }
    finishTick();
}

void PollingCycle::finishTick()
{
    if (m_abandoned) {
        m_running = false;
        return;
    }
    // A value that was not read in this tick (a slot switched off, the
    // second value of a one-value model) must not stand as if measured.
    QStringList captions;
    for (int k = 1; k <= SlotCount; ++k) {
        for (int item = 0; item < ItemsPerSlot; ++item) {
            if (!m_read[k - 1][item] && !m_hooks.readLabel(k, item).isEmpty())
                m_hooks.writeLabel(k, item, QString());
            captions << m_hooks.readLabel(k, item);
        }
    }
    const QString line = buildRecordLine(recordTimeText(m_clock.now()), captions);
    m_running = false;
    emit finished(line);
}

void PollingCycle::reading(int item)
{
    const MeterSlot s = m_hooks.slot(m_slot);
    const QString id = slaveText(s);
    if (m_failedSlaves.count(id)) {
        m_read[m_slot - 1][item] = true;
        if (!m_abandoned)
            m_hooks.writeLabel(m_slot, item, QString());
        if (item == 0 && s.hasSecondValue())
            reading(1);
        else
            step();
        return;
    }
    const QString &reg = item == 0 ? s.register1 : s.register2;
    const QString &count = item == 0 ? s.count1 : s.count2;
    QPointer<PollingCycle> self(this);
    const bool started = m_hooks.transact(id, ReadHoldingRegisters, reg.mid(0, 2), reg.mid(2, 2),
                                          count.mid(0, 2), count.mid(2, 2),
                                          [self, item](const ModbusReading &r) {
                                              if (self)
                                                  self->readingDone(item, r);
                                          });
    if (!started)
        readingDone(item, ModbusReading{});
}

void PollingCycle::readingDone(int item, const ModbusReading &r)
{
    const MeterSlot s = m_hooks.slot(m_slot);
    if (m_hooks.transactionDone && !m_abandoned)
        m_hooks.transactionDone(m_slot, item, r);
    if (!r.ok())
        m_failedSlaves.insert(slaveText(s));
    m_read[m_slot - 1][item] = true;
    if (const auto shown = formatReading(r.text(), m_hooks.divisor(m_slot)); shown && !m_abandoned)
        m_hooks.writeLabel(m_slot, item, *shown);
    // The model is looked at again now: it may have changed during the
    // transaction.
    if (item == 0 && s.hasSecondValue())
        reading(1);
    else
        step();
}

} // namespace kelmar
