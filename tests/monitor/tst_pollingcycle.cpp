#include "clock.h"
#include "pollingcycle.h"
#include "recordformat.h"
#include "testmeters.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <map>
#include <tuple>

using namespace kelmar;

namespace {

// Six slots, twelve labels and a meter line that answers each request from
// a table after a short timer, as the real transaction does.
struct Bench
{
    MeterSlot meters[6];
    QString labels[6][2]; // what the samples say, as the display shows it
    QStringList requests;               // "id:start:count"
    std::map<QString, qint64> answers; // request -> register value; others get no reply
    QStringList outcomes;              // "slot.item:ok" as transactionDone is told
    QList<ReplyStatus> statuses;       // as transactionDone is told
    // A request over several values the table holds is answered from them,
    // registers between them reading 0; a meter that refuses "gaps" answers
    // it with exception 02, one that refuses "joint" requests not at all.
    QString refuses;
    bool busy = false;
    bool overlapped = false;
    std::function<void()> duringTransaction;

    PollingCycle::Hooks hooks()
    {
        PollingCycle::Hooks h;
        h.transact = [this](const QString &id, const QString &fn, const QString &a,
                            const QString &b, const QString &c, const QString &d,
                            PollingCycle::Done done) {
            if (fn != QStringLiteral("3") && fn != QStringLiteral("4"))
                return false;
            if (busy)
                overlapped = true;
            busy = true;
            // Input registers are another address space: their key says so.
            const QString key =
                (fn == u'4' ? QStringLiteral("4/") : QString()) + id + u':' + a + b + u':' + c + d;
            const int count = (c + d).toInt(nullptr, 16);
            requests << key;
            QTimer::singleShot(1, [this, key, count, done] {
                busy = false;
                if (duringTransaction)
                    duringTransaction();
                done(reply(key, count));
            });
            return true;
        };
        h.slot = [this](int k) { return meters[k - 1]; };
        h.transactionDone = [this](int k, int item, const ModbusReading &r) {
            outcomes << QStringLiteral("%1.%2:%3").arg(k).arg(item).arg(r.ok());
            statuses << r.check.status;
        };
        return h;
    }

    // The registers as the wire has them, and the value the master makes of
    // them.
    ModbusReading reply(const QString &key, int count) const
    {
        ModbusReading r;
        const QString space = key.section(u':', 0, 0) + u':';
        const int start = key.section(u':', 1, 1).toInt(nullptr, 16);
        QByteArray data(2 * count, '\0');
        int covered = 0;
        for (const auto &[k, value] : answers) {
            const int at = k.section(u':', 1, 1).toInt(nullptr, 16) - start;
            const int n = k.section(u':', 2, 2).toInt(nullptr, 16);
            if (!k.startsWith(space) || at < 0 || at + n > count)
                continue;
            for (int i = 0; i < 2 * n; ++i)
                data[2 * at + i] = char(quint64(value) >> (8 * (2 * n - 1 - i)));
            covered += n;
        }
        if (!covered || (refuses == QStringLiteral("joint") && !answers.count(key)))
            return r;
        if (covered < count && refuses == QStringLiteral("gaps")) {
            r.check = ReplyCheck{ReplyStatus::Exception, 2};
            return r;
        }
        r.registers = data;
        r.check.status = ReplyStatus::Ok;
        r.value = decodeRegisters(r.registers);
        return r;
    }

    void enable(int k, int id, const QString &flag) { meters[k - 1] = test::meterAt(id, flag); }

    // The labels follow the samples: a slot's as it is read, all at the end.
    void watch(PollingCycle &cycle)
    {
        QObject::connect(&cycle, &PollingCycle::slotRead, [this](const SlotSample &s) {
            for (int item = 0; item < 2; ++item)
                labels[s.slot - 1][item] = s.values[item] ? s.values[item]->text() : QString();
        });
        QObject::connect(&cycle, &PollingCycle::finished, [this](const TickSample &t) {
            for (int k = 0; k < 6; ++k)
                for (int item = 0; item < 2; ++item)
                    labels[k][item] = t.values[k][item] ? t.values[k][item]->text() : QString();
        });
    }
};

QString runTick(PollingCycle &cycle)
{
    QSignalSpy spy(&cycle, &PollingCycle::finished);
    if (!cycle.tick())
        return QStringLiteral("<skipped>");
    // A tick with nothing to poll ends at once, inside tick().
    if (spy.isEmpty() && !spy.wait(10000))
        return QStringLiteral("<no end>");
    const TickSample t = spy.at(0).at(0).value<TickSample>();
    RecordValues values;
    for (int i = 0; i < RecordValueCount; ++i)
        values[i] = t.values[i / 2][i % 2];
    return buildRecordLine(t.time, values);
}

} // namespace

class TstPollingCycle : public QObject
{
    Q_OBJECT
private slots:
    // A slot switched off keeps nothing on display: a value must not stand
    // as if measured.
    void noSlotEnabledMakesNoTransactionAndEmptiesEveryValue()
    {
        Bench b;
        b.labels[0][0] = QStringLiteral("stale");
        b.labels[5][1] = QStringLiteral("stale");
        ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(14, 5, 7)));
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        QCOMPARE(runTick(cycle), QStringLiteral("14:05:07") + QString(12, u'\t'));
        QVERIFY(b.requests.isEmpty());
        QCOMPARE(b.labels[0][0], QString());
        QCOMPARE(b.labels[5][1], QString());
    }

    // A models.ini float (words swapped): asked with its function and count,
    // shown with its own places; registers holding no number are an invalid
    // reading, not a value.
    void typedValue_data()
    {
        QTest::addColumn<int>("function");
        QTest::addColumn<QString>("request");
        QTest::addColumn<qint64>("registers");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("status");
        QTest::newRow("float32 CDAB of input registers, 2 places")
            << 4 << "4/5:0010:0002" << qint64(0x80004366) << "230.50" << int(ReplyStatus::Ok);
        QTest::newRow("NaN: empty and invalid")
            << 3 << "5:0010:0002" << qint64(0x00007FC0) << "" << int(ReplyStatus::InvalidValue);
    }
    void typedValue()
    {
        QFETCH(int, function);
        QFETCH(QString, request);
        QFETCH(qint64, registers);
        QFETCH(QString, shown);
        Bench b;
        b.enable(2, 5, "A");
        ValueFormat format;
        format.function = function;
        format.address = 0x10;
        format.type = ValueType::Float32;
        format.order = WordOrder::CDAB;
        format.decimals = 2;
        b.meters[1].decimals = 1;
        b.meters[1].register1 = "0010";
        b.meters[1].count1 = "0002";
        b.meters[1].values[0] = format;
        b.answers[request] = registers;
        ManualClock clock;
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        runTick(cycle);
        QCOMPARE(b.requests, QStringList{request});
        QCOMPARE(b.labels[1][0], shown);
        QFETCH(int, status);
        QCOMPARE(b.statuses, QList<ReplyStatus>{ReplyStatus(status)});
    }

    void secondReadingOnlyForExactlyB_data()
    {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("request");
        QTest::newRow("A") << "A" << "7:0000:0001";
        QTest::newRow("B: both values in one request") << "B" << "7:0000:0003";
        QTest::newRow("lower-case b") << "b" << "7:0000:0001";
        QTest::newRow("B and a blank") << "B " << "7:0000:0001";
        QTest::newRow("empty") << "" << "7:0000:0001";
    }
    void secondReadingOnlyForExactlyB()
    {
        QFETCH(QString, flag);
        QFETCH(QString, request);
        Bench b;
        b.enable(3, 7, flag);
        b.labels[2][1] = QStringLiteral("kept");
        b.answers[QStringLiteral("7:0000:0001")] = 12;
        b.answers[QStringLiteral("7:0002:0001")] = 34;
        ManualClock clock;
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        runTick(cycle);
        QCOMPARE(b.requests, QStringList{request});
        QCOMPARE(b.labels[2][0], QStringLiteral("12"));
        // A one-value model's second value is emptied at the tick's end.
        QCOMPARE(b.labels[2][1], flag == u'B' ? QStringLiteral("34") : QString());
    }

    // Both values of a slot in one request when they lie close together in
    // the same kind of register; value by value otherwise, and for good once
    // the meter refuses the joint request before it ever answered one.
    void jointRead_data()
    {
        QTest::addColumn<QString>("layout"); // register1 count1 register2 count2, function2
        QTest::addColumn<QString>("meter");  // refuses "gaps" or "joint", or "off" for two ticks
        QTest::addColumn<QString>("ticks");  // the requests of each tick, "|" between ticks
        const QString apart = QStringLiteral("7:0000:0001 7:0002:0001");
        const QString joint = QStringLiteral("7:0000:0003");
        QTest::newRow("a gap between") << "0000 0001 0002 0001 3" << "" << "7:0000:0003|7:0000:0003";
        QTest::newRow("second first, wider") << "0004 0002 0001 0002 3" << "" << "7:0001:0005";
        QTest::newRow("sixteen registers") << "0000 0001 000F 0001 3" << "" << "7:0000:0010";
        QTest::newRow("seventeen: apart") << "0000 0001 0010 0001 3" << "" << "7:0000:0001 7:0010:0001";
        QTest::newRow("holding and input: apart") << "0000 0001 0002 0001 4" << "" << "7:0000:0001 4/7:0002:0001";
        QTest::newRow("no register field: apart") << "0000 0001 02 0001 3" << "" << "7:0000:0001 7:02:0001";
        QTest::newRow("gaps refused: apart at once")
            << "0000 0001 0002 0001 3" << "gaps" << joint + u' ' + apart + u'|' + apart + u'|' + apart;
        QTest::newRow("joint unanswered: apart once it answers one by one")
            << "0000 0001 0002 0001 3" << "joint"
            << QStringList{joint, apart, joint, apart, apart}.join(u'|');
        QTest::newRow("switched off at first: joint again")
            << "0000 0001 0002 0001 3" << "off" << QStringList{joint, "7:0000:0001", joint, joint}.join(u'|');
    }
    void jointRead()
    {
        QFETCH(QString, layout);
        QFETCH(QString, meter);
        QFETCH(QString, ticks);
        const QStringList f = layout.split(u' ');
        Bench b;
        b.enable(3, 7, QStringLiteral("B"));
        MeterSlot &m = b.meters[2];
        std::tie(m.register1, m.count1, m.register2, m.count2) = std::tie(f[0], f[1], f[2], f[3]);
        ValueFormat input;
        input.function = 4;
        if (f[4] == u'4')
            m.values = {ValueFormat(), input};
        const QString space = f[4] == u'4' ? QStringLiteral("4/7:") : QStringLiteral("7:");
        const std::map<QString, qint64> meterMap{{"7:" + f[0] + u':' + f[1], 12},
                                                 {space + f[2] + u':' + f[3], 34}};
        b.refuses = meter;
        ManualClock clock;
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        QStringList asked;
        for (int t = 0; t < ticks.count(u'|') + 1; ++t) {
            b.answers = meter == QStringLiteral("off") && t < 2 ? std::map<QString, qint64>() : meterMap;
            b.requests.clear();
            runTick(cycle);
            asked << b.requests.join(u' ');
        }
        QCOMPARE(asked.join(u'|'), ticks);
        QCOMPARE(b.labels[2][0] + u'/' + b.labels[2][1], QStringLiteral("12/34"));
        QVERIFY(b.statuses.endsWith(ReplyStatus::Ok));
    }

    void slotsInOrderWithScaledValues()
    {
        Bench b;
        b.enable(2, 2, QStringLiteral("B"));
        b.enable(1, 1, QStringLiteral("A"));
        b.enable(6, 6, QStringLiteral("A"));
        b.meters[0].decimals = 2;
        b.meters[1].decimals = 1;
        b.answers[QStringLiteral("1:0000:0001")] = 12345;
        b.answers[QStringLiteral("2:0000:0001")] = -5;
        b.answers[QStringLiteral("2:0002:0001")] = 2205;
        // Slot 6 does not answer.
        ManualClock clock(QDateTime(QDate(2025, 3, 6), QTime(14, 5, 7)));
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        const QString line = runTick(cycle);
        QCOMPARE(b.requests,
                 QStringList({"1:0000:0001", "2:0000:0003", "6:0000:0001"}));
        QCOMPARE(line, QStringLiteral("14:05:07\t123.45\t\t-0.5\t220.5\t\t\t\t\t\t\t\t"));
    }

    // After a failed transaction its slave gets no further request in the
    // tick (a late reply would pass for the next one), in this slot or any
    // other with the same ID; other slaves go on, and the next tick tries
    // again.
    void failedSlaveIsLeftForTheRestOfTheTick()
    {
        Bench b;
        b.enable(4, 4, QStringLiteral("B"));
        b.enable(5, 4, QStringLiteral("A"));
        b.enable(6, 6, QStringLiteral("A"));
        b.answers[QStringLiteral("6:0000:0001")] = 6;
        for (int k : {4, 5}) {
            b.labels[k - 1][0] = QStringLiteral("99.9");
            b.labels[k - 1][1] = QStringLiteral("88.8");
        }
        ManualClock clock;
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        runTick(cycle);
        QCOMPARE(b.requests, QStringList({"4:0000:0003", "6:0000:0001"}));
        QCOMPARE(b.outcomes, QStringList({"4.0:0", "6.0:1"}));
        for (int k : {4, 5})
            QCOMPARE(b.labels[k - 1][0] + b.labels[k - 1][1], QString());
        QCOMPARE(b.labels[5][0], QStringLiteral("6"));
        runTick(cycle);
        QCOMPARE(b.requests.mid(2), QStringList({"4:0000:0001", "6:0000:0001"}));
    }

    // Meters that do not answer (switched off, unplugged) cost a tick one
    // reply wait, not one each: of the silent ones one is asked a tick, in
    // turn, and the healthy ones every tick.
    void silentMetersAreAskedOneATick_data()
    {
        QTest::addColumn<QList<int>>("silent");
        QTest::addColumn<QStringList>("askedSilent"); // per tick, after the first
        QTest::newRow("none silent") << QList<int>{} << QStringList{"", "", ""};
        QTest::newRow("one silent: asked every tick") << QList<int>{3} << QStringList{"3", "3", "3"};
        QTest::newRow("three silent: in turn") << QList<int>{2, 4, 6} << QStringList{"2", "4", "6", "2"};
        QTest::newRow("all six: in turn") << QList<int>{1, 2, 3, 4, 5, 6}
                                          << QStringList{"1", "2", "3", "4", "5", "6", "1"};
    }
    void silentMetersAreAskedOneATick()
    {
        QFETCH(QList<int>, silent);
        QFETCH(QStringList, askedSilent);
        Bench b;
        for (int k = 1; k <= 6; ++k) {
            b.enable(k, k, QStringLiteral("A"));
            if (!silent.contains(k))
                b.answers[QStringLiteral("%1:0000:0001").arg(k)] = k;
        }
        ManualClock clock;
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        runTick(cycle); // every meter is asked once; the silent ones are found
        QCOMPARE(b.requests.size(), 6);
        for (const QString &expected : askedSilent) {
            b.requests.clear();
            runTick(cycle);
            QStringList asked;
            for (const QString &r : b.requests)
                if (silent.contains(r.section(u':', 0, 0).toInt()))
                    asked << r.section(u':', 0, 0);
                else
                    QCOMPARE(b.labels[r.section(u':', 0, 0).toInt() - 1][0], r.section(u':', 0, 0));
            QCOMPARE(asked.join(u','), expected);
            QCOMPARE(b.requests.size(), 6 - silent.size() + (expected.isEmpty() ? 0 : 1));
            for (int k : silent)
                QCOMPARE(b.labels[k - 1][0], QString());
        }
        // A silent meter that answers again is asked every tick from then on.
        if (!silent.isEmpty()) {
            for (int k : silent)
                b.answers[QStringLiteral("%1:0000:0001").arg(k)] = k;
            for (int t = 0; t <= silent.size(); ++t)
                runTick(cycle);
            b.requests.clear();
            runTick(cycle);
            QCOMPARE(b.requests.size(), 6);
        }
    }

    void settingsAreReadAfreshBetweenReadings()
    {
        Bench b;
        b.enable(1, 1, QStringLiteral("A"));
        b.enable(2, 2, QStringLiteral("A"));
        b.answers[QStringLiteral("1:0000:0001")] = 1;
        // While slot 1's first reading waits, the operator makes slot 1 a "B"
        // model and gives slot 2 another ID.
        b.duringTransaction = [&b] {
            b.meters[0].flag = QStringLiteral("B");
            b.meters[1].slaveId = 9;
            b.duringTransaction = nullptr;
        };
        ManualClock clock;
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        runTick(cycle);
        QCOMPARE(b.requests, QStringList({"1:0000:0001", "1:0002:0001", "9:0000:0001"}));
    }

    void tickWhileRunningIsSkipped()
    {
        Bench b;
        for (int k = 1; k <= 6; ++k) {
            b.enable(k, k, QStringLiteral("B"));
            b.answers[QStringLiteral("%1:0000:0001").arg(k)] = k;
            b.answers[QStringLiteral("%1:0002:0001").arg(k)] = k;
        }
        ManualClock clock;
        PollingCycle cycle(b.hooks(), clock);
        b.watch(cycle);
        QSignalSpy spy(&cycle, &PollingCycle::finished);
        QVERIFY(cycle.tick());
        QVERIFY(!cycle.tick());
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(b.requests.size(), 6);
        QVERIFY(!b.overlapped);
        QVERIFY(cycle.tick());
        QVERIFY(spy.wait(10000));
    }

    void refusedTransactionCountsAsNoReply()
    {
        Bench b;
        b.enable(1, 1, QStringLiteral("A"));
        b.labels[0][0] = QStringLiteral("stale");
        PollingCycle::Hooks h = b.hooks();
        h.transact = [](const QString &, const QString &, const QString &, const QString &,
                        const QString &, const QString &, PollingCycle::Done) { return false; };
        ManualClock clock;
        PollingCycle cycle(std::move(h), clock);
        b.watch(cycle);
        runTick(cycle);
        QCOMPARE(b.labels[0][0], QString());
    }
};

QTEST_GUILESS_MAIN(TstPollingCycle)
#include "tst_pollingcycle.moc"
