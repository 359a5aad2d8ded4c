#include "latereplyrun.h"

#include <QElapsedTimer>
#include <QTest>

namespace kelmar::test {

namespace {

qint64 namedValue(int address)
{
    return 70000 + address;
}

} // namespace

QStringList namedMeterArgs(int meters, int lateMs)
{
    QStringList args{"--slave", "1"};
    for (int address = 0; address < 4 * meters; address += 2)
        args << "--reg" << QStringLiteral("%1=%2/2").arg(address).arg(namedValue(address));
    if (lateMs > 0)
        args << "--fault" << QStringLiteral("late=%1").arg(lateMs);
    return args;
}

LateReplyCount pollNamedMeters(ModbusMaster &master, int meters, int pollMs, int ticks)
{
    LateReplyCount count;
    QElapsedTimer clock;
    clock.start();
    for (int tick = 0; tick < ticks; ++tick) {
        const qint64 due = qint64(tick) * pollMs;
        // Pacing only: the time itself is the condition.
        (void)QTest::qWaitFor([&] { return clock.elapsed() >= due; }, pollMs + 1000);
        for (int meter = 0; meter < meters; ++meter) {
            bool failed = false;
            for (int value = 0; value < 2; ++value) {
                const int address = 4 * meter + 2 * value;
                if (failed) {
                    ++count.empty;
                    continue;
                }
                std::optional<ModbusReading> reading;
                const QString low = QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0'));
                if (!master.MODBUS("1", "3", "00", low, "00", "02",
                                   [&](const ModbusReading &r) { reading = r; }) ||
                    !QTest::qWaitFor([&] { return reading.has_value(); }, 10000)) {
                    ++count.wrong; // a master that hangs is as bad as a wrong value
                    return count;
                }
                if (!reading->ok()) {
                    failed = true;
                    ++count.empty;
                } else if (*reading->value == namedValue(address)) {
                    ++count.good;
                } else {
                    ++count.wrong;
                }
            }
        }
    }
    return count;
}

} // namespace kelmar::test
