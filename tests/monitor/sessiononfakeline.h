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
    MeterLine line{lendPort(port)};
    Session s{dir.path(), clock, line};

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
    // What 連線COM and 解除COM of the host settings window ask of the line.
    void connectLine(int n) { line.connectLine(n, QStringLiteral("9600,N,8,1")); }
    void disconnectLine() { line.disconnectLine(); }
    // The start button, with the ticks left to the test.
    void startByHand()
    {
        s.start();
        stopTimers();
    }
    // The line is one tick away from its periodic close and reopen.
    void countTicksUpToReopen()
    {
        while (line.ticksSinceReopen() < MeterLine::ReopenEveryTicks - 1)
            line.tickEnded();
    }
    // The settings as setup.ini would give them, one field changed.
    template <typename Edit>
    void editSetup(Edit edit)
    {
        SetupFile f = s.setup();
        edit(f);
        s.applySetup(f);
    }
    // One polling tick, to its end.
    bool tick()
    {
        QSignalSpy done(&s, &Session::tickFinished);
        s.pollTick();
        return !done.isEmpty() || done.wait(10000);
    }
    QString value(int k, int item) const { return s.reading(k, item); }
};

} // namespace kelmar::test
