#pragma once

#include "counts.h"
#include "modbusframe.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>
#include <utility>

namespace kelmar {

class Form3;
class Session;

// Draws what a polling tick changes on screen (readings, status marks, the
// clock) once, when the tick ends, instead of once a slot: both windows are
// redrawn once a tick. The values are the run model's at once (record line,
// publishing); only their drawing waits. A slow tick (meters that do not
// answer) still shows what it has read after HeldDrawingMs.
class TickDrawing : public QObject
{
    Q_OBJECT
public:
    // The longest a value read by a running polling tick waits to be drawn.
    static constexpr int HeldDrawingMs = 400;

    TickDrawing(Session &session, std::function<Form3 *()> display,
                std::function<void(const QString &)> showClock, QObject *parent = nullptr);

private:
    bool hold();
    void showHeld();
    void showStatus(int k, const ReplyCheck &check, const QString &text);

    Session &m_session;
    std::function<Form3 *()> m_display;
    std::function<void(const QString &)> m_showClock;
    std::array<std::array<std::optional<QString>, ItemsPerSlot>, SlotCount> m_values;
    std::array<std::optional<std::pair<ReplyCheck, QString>>, SlotCount> m_status;
    std::optional<QString> m_clock;
    QTimer m_limit;
};

} // namespace kelmar
