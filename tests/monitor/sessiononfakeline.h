#pragma once

#include "clock.h"
#include "fakemeterport.h"
#include "intervaltimer.h"
#include "session.h"
#include "testfolder.h"

#include <QSignalSpy>

namespace kelmar::test {

// A session on an open in-memory line, connected on port 1, every timer
// driven by hand and the clock standing at 2025-03-06 14:05:07.
struct SessionOnFakeLine
{
    TestFolder dir;
    ManualClock clock{QDateTime(QDate(2025, 3, 6), QTime(14, 5, 7))};
    FakeMeterPort port;
    Session s{dir.path(), clock, port};

    SessionOnFakeLine()
    {
        stopTimers();
        connectLine(1);
    }
    void stopTimers()
    {
        s.pollTimer().setEnabled(false);
        s.clockTimer().setEnabled(false);
        s.recordTimer().setEnabled(false);
    }
    // What 連線COM and 解除COM of the host settings window do to the port.
    void connectLine(int n)
    {
        port.setPortOpen(false);
        port.setCommPort(n);
        port.setPortOpen(true);
        s.connectionChanged(true);
    }
    void disconnectLine()
    {
        port.setPortOpen(false);
        s.connectionChanged(false);
    }
    // The start button, with the ticks left to the test.
    void startByHand(const std::array<double, SlotCount> &divisors = {1, 1, 1, 1, 1, 1})
    {
        s.start(divisors);
        stopTimers();
    }
    // One polling tick, to its end.
    bool tick()
    {
        QSignalSpy done(&s, &Session::tickFinished);
        s.pollTick();
        return !done.isEmpty() || done.wait(10000);
    }
    QString value(int k, int item) const { return s.readings[k - 1][item]; }
};

} // namespace kelmar::test
