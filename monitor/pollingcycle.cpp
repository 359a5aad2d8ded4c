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
    m_jointAnswered.clear();
    m_jointRefused.clear();
    m_jointDoubted.clear();
    m_heardSlaves.clear();
}

std::optional<PollingCycle::JointRead> PollingCycle::jointRead(const MeterSlot &s)
{
    if (!s.hasSecondValue())
        return std::nullopt;
    // Any other text than four hexadecimal digits is sent as it always was,
    // value by value.
    const std::array<std::optional<int>, ItemsPerSlot> start{registerFieldValue(s.register1),
                                                             registerFieldValue(s.register2)};
    const std::array<std::optional<int>, ItemsPerSlot> count{registerFieldValue(s.count1),
                                                             registerFieldValue(s.count2)};
    std::array<QString, ItemsPerSlot> function;
    for (int item = 0; item < ItemsPerSlot; ++item) {
        if (!start[item] || !count[item] || *count[item] < 1)
            return std::nullopt;
        function[item] = s.values[item] ? QString::number(s.values[item]->function)
                                        : ReadHoldingRegisters;
    }
    if (function[0] != function[1])
        return std::nullopt;
    JointRead j;
    j.function = function[0];
    j.start = std::min(*start[0], *start[1]);
    const int end = std::max(*start[0] + *count[0], *start[1] + *count[1]);
    j.count = end - j.start;
    if (j.count > MaxJointRegisters)
        return std::nullopt;
    for (int item = 0; item < ItemsPerSlot; ++item) {
        j.offset[item] = *start[item] - j.start;
        j.counts[item] = *count[item];
    }
    j.key = slaveText(s) + QLatin1Char('/') + j.function + QLatin1Char('/') + s.register1
            + s.count1 + s.register2 + s.count2;
    return j;
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
    QPointer<PollingCycle> self(this);
    const std::optional<JointRead> joint = item == 0 ? jointRead(s) : std::nullopt;
    if (joint && !m_jointRefused.count(joint->key)) {
        const QString start = registerField(joint->start);
        const QString count = registerField(joint->count);
        const bool started = m_hooks.transact(id, joint->function, start.mid(0, 2), start.mid(2, 2),
                                              count.mid(0, 2), count.mid(2, 2),
                                              [self, j = *joint](const ModbusReading &r) {
                                                  if (self)
                                                      self->jointDone(j, r, true);
                                              });
        if (!started)
            jointDone(*joint, ModbusReading{}, false);
        return;
    }
    const QString &reg = item == 0 ? s.register1 : s.register2;
    const QString &count = item == 0 ? s.count1 : s.count2;
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

std::optional<ExactDecimal> PollingCycle::decoded(const MeterSlot &s, int item,
                                                  ModbusReading &r) const
{
    // A models.ini value is decoded as its model says; registers that hold
    // no number are a bad reading, though the reply itself was proper.
    if (r.value && s.values[item]) {
        std::optional<ExactDecimal> value =
            decodeValue(*s.values[item], r.registers, s.placesOf(item)).value;
        if (!value) {
            r.value.reset();
            r.check = ReplyCheck{ReplyStatus::InvalidValue};
        }
        return value;
    }
    if (r.value)
        return ExactDecimal::fromInteger(*r.value, s.decimalPlaces().places);
    return std::nullopt;
}

void PollingCycle::account(const QString &id, int item, const ModbusReading &r, bool answered,
                           bool sent)
{
    if (m_hooks.transactionDone && !m_abandoned)
        m_hooks.transactionDone(m_slot, item, r);
    if (!answered)
        m_failedSlaves.insert(id);
    // A request that never left (the line is closed) says nothing of the
    // meter: it is not taken for silent, and is asked as usual once the line
    // is back.
    if (sent && r.check.status == ReplyStatus::NoReply) {
        m_silentSlaves.insert(id);
        m_heardSlaves.erase(id);
    } else if (sent) {
        m_silentSlaves.erase(id);
        m_heardSlaves.insert(id);
    }
}

void PollingCycle::readingDone(int item, const ModbusReading &reply, bool sent)
{
    const MeterSlot s = m_hooks.slot(m_slot);
    ModbusReading r = reply;
    const std::optional<ExactDecimal> value = decoded(s, item, r);
    account(slaveText(s), item, r, reply.ok(), sent);
    // A joint request that a meter not heard before left unanswered gets
    // another try after one single request: the meter may have been away.
    if (const auto joint = item == 0 && sent ? jointRead(s) : std::nullopt;
        joint && m_jointDoubted.erase(joint->key))
        m_jointRefused.erase(joint->key);
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

void PollingCycle::jointDone(const JointRead &joint, const ModbusReading &reply, bool sent)
{
    const MeterSlot s = m_hooks.slot(m_slot);
    const QString id = slaveText(s);
    if (reply.ok()) {
        m_jointAnswered.insert(joint.key);
    } else if (sent && !m_jointAnswered.count(joint.key)) {
        // The meter may not serve registers between or around the two
        // values: from now on they are read one by one. An exception is a
        // proper answer, so nothing of it can still come: they are read so
        // now. After no proper reply the slave rests for this tick.
        m_jointRefused.insert(joint.key);
        if (reply.check.status != ReplyStatus::Exception && !m_heardSlaves.count(id))
            m_jointDoubted.insert(joint.key);
        if (reply.check.status == ReplyStatus::Exception) {
            account(id, 0, reply, true, sent);
            reading(0);
            return;
        }
    }
    // Each value from its own registers of the reply, decoded as the model
    // now says (it may have changed during the transaction).
    ReplyCheck check = reply.check;
    for (int item = 0; item < ItemsPerSlot; ++item) {
        if (item == 1 && !s.hasSecondValue())
            break;
        ModbusReading part = reply;
        if (reply.ok()) {
            part.registers = reply.registers.mid(2 * joint.offset[item], 2 * joint.counts[item]);
            part.value = decodeRegisters(part.registers);
        }
        m_sample.values[item] = decoded(s, item, part);
        if (check.status == ReplyStatus::Ok)
            check = part.check;
    }
    ModbusReading whole = reply;
    whole.check = check;
    account(id, 0, whole, reply.ok(), sent);
    m_sample.check = check;
    step();
}

} // namespace kelmar
