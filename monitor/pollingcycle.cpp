#include "pollingcycle.h"

#include "clock.h"
#include "valuedecode.h"

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

void PollingCycle::forgetSilence()
{
    m_silentSlaves.clear();
    m_silentCursor = 0;
}

bool PollingCycle::tick()
{
    if (m_running)
        return false;
    m_running = true;
    m_abandoned = false;
    m_slot = 0;
    m_tick = TickSample();
    // One time for the whole tick: the record line, the broker and the
    // clock drawn with the readings name the same second.
    m_tick.time = m_clock.now();
    m_failedSlaves.clear();
    chooseSilentTurn();
    step();
    return true;
}

// The silent slave whose turn it is: the first after the one asked last, in
// slot order, so that each gets its turn.
void PollingCycle::chooseSilentTurn()
{
    m_silentTurn.clear();
    if (m_silentSlaves.empty())
        return;
    int first = 0;
    for (int k = 1; k <= SlotCount; ++k) {
        const MeterSlot s = m_hooks.slot(k);
        if (!s.enabled || !m_silentSlaves.count(slaveText(s)))
            continue;
        if (!first)
            first = k;
        if (k > m_silentCursor) {
            first = k;
            break;
        }
    }
    if (first) {
        m_silentTurn = slaveText(m_hooks.slot(first));
        m_silentCursor = first;
    }
}

// Moves on to the next enabled slot, or ends the tick after the last one.
void PollingCycle::step()
{
    if (m_slot >= 1 && !m_abandoned) {
        m_tick.values[m_slot - 1] = m_sample.values;
        emit slotRead(m_sample);
    }
    while (++m_slot <= SlotCount) {
        const MeterSlot s = m_hooks.slot(m_slot);
        if (!s.enabled)
            continue;
        m_sample = SlotSample();
        m_sample.slot = m_slot;
        m_sample.slaveId = s.slaveId.value_or(0);
        m_sample.time = m_tick.time;
        m_sample.valueCount = s.hasSecondValue() ? 2 : 1;
        for (int item = 0; item < ItemsPerSlot; ++item)
            if (s.values[item]) {
                m_sample.units[item] = s.values[item]->unit;
                m_sample.places[item] = s.placesOf(item);
            }
        reading(0);
        return;
    }
    finishTick();
}

void PollingCycle::finishTick()
{
    m_running = false;
    if (!m_abandoned)
        emit finished(m_tick);
}

void PollingCycle::reading(int item)
{
    const MeterSlot s = m_hooks.slot(m_slot);
    const QString id = slaveText(s);
    const bool silentNotItsTurn = m_silentSlaves.count(id) && id != m_silentTurn;
    if (m_failedSlaves.count(id) || silentNotItsTurn) {
        if (silentNotItsTurn)
            m_sample.check = ReplyCheck{ReplyStatus::NoReply};
        if (item == 0 && s.hasSecondValue())
            reading(1);
        else
            step();
        return;
    }
    const QString &reg = item == 0 ? s.register1 : s.register2;
    const QString &count = item == 0 ? s.count1 : s.count2;
    QPointer<PollingCycle> self(this);
    const std::optional<ValueFormat> &format = s.values[item];
    const QString function = format ? QString::number(format->function) : ReadHoldingRegisters;
    const bool started = m_hooks.transact(id, function, reg.mid(0, 2), reg.mid(2, 2),
                                          count.mid(0, 2), count.mid(2, 2),
                                          [self, item](const ModbusReading &r) {
                                              if (self)
                                                  self->readingDone(item, r);
                                          });
    if (!started)
        readingDone(item, ModbusReading{}, false);
}

void PollingCycle::readingDone(int item, const ModbusReading &reply, bool sent)
{
    const MeterSlot s = m_hooks.slot(m_slot);
    const QString id = slaveText(s);
    // A models.ini value is decoded as its model says; registers that hold
    // no number are a bad reading, though the reply itself was proper.
    ModbusReading r = reply;
    std::optional<ExactDecimal> value;
    if (r.value && s.values[item]) {
        value = decodeValue(*s.values[item], r.registers, s.placesOf(item)).value;
        if (!value) {
            r.value.reset();
            r.check = ReplyCheck{ReplyStatus::InvalidValue};
        }
    } else if (r.value) {
        value = ExactDecimal::fromInteger(*r.value, s.decimalPlaces().places);
    }
    if (m_hooks.transactionDone && !m_abandoned)
        m_hooks.transactionDone(m_slot, item, r);
    if (!reply.ok())
        m_failedSlaves.insert(id);
    // A request that never left (the line is closed) says nothing of the
    // meter: it is not taken for silent, and is asked as usual once the line
    // is back.
    if (sent && r.check.status == ReplyStatus::NoReply)
        m_silentSlaves.insert(id);
    else if (sent)
        m_silentSlaves.erase(id);
    // The first reading's outcome stands for the slot unless the second one
    // fails too.
    if (item == 0 || !r.ok())
        m_sample.check = r.check;
    m_sample.values[item] = value;
    // The model is looked at again now: it may have changed during the
    // transaction.
    if (item == 0 && s.hasSecondValue())
        reading(1);
    else
        step();
}

} // namespace kelmar
