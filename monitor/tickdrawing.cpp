#include "tickdrawing.h"

#include "form3.h"
#include "session.h"

namespace kelmar {

TickDrawing::TickDrawing(Session &session, std::function<Form3 *()> display,
                         std::function<void(const QString &)> showClock, QObject *parent)
    : QObject(parent), m_session(session), m_display(std::move(display)),
      m_showClock(std::move(showClock))
{
    connect(&session, &Session::clockChanged, this, [this](const QString &t) {
        if (hold()) {
            m_clock = t;
            return;
        }
        m_clock.reset();
        m_showClock(t);
    });
    connect(&session, &Session::readingChanged, this, [this](int k, int item, const QString &t) {
        if (hold()) {
            m_values[k - 1][item] = t;
            return;
        }
        m_values[k - 1][item].reset();
        m_display()->setReading(k, item, t);
    });
    connect(&session, &Session::slotStatusChanged, this,
            [this](int k, const ReplyCheck &check, const QString &text) {
                if (hold()) {
                    m_status[k - 1] = std::pair(check, text);
                    return;
                }
                m_status[k - 1].reset();
                showStatus(k, check, text);
            });
    connect(&session, &Session::tickFinished, this, &TickDrawing::showHeld);
    connect(&session, &Session::monitoringChanged, this, &TickDrawing::showHeld);
    m_limit.setSingleShot(true);
    m_limit.setInterval(HeldDrawingMs);
    connect(&m_limit, &QTimer::timeout, this, &TickDrawing::showHeld);
}

bool TickDrawing::hold()
{
    if (!m_session.pollTickRunning())
        return false;
    if (!m_limit.isActive())
        m_limit.start();
    return true;
}

void TickDrawing::showHeld()
{
    m_limit.stop();
    if (std::optional<QString> held = std::exchange(m_clock, std::nullopt))
        m_showClock(*held);
    for (int k = 1; k <= SlotCount; ++k) {
        for (int item = 0; item < ItemsPerSlot; ++item)
            if (std::optional<QString> held = std::exchange(m_values[k - 1][item], std::nullopt))
                m_display()->setReading(k, item, *held);
        if (auto held = std::exchange(m_status[k - 1], std::nullopt))
            showStatus(k, held->first, held->second);
    }
}

void TickDrawing::showStatus(int k, const ReplyCheck &check, const QString &text)
{
    m_display()->setSlotStatus(k, text,
                               check.status == ReplyStatus::NoReply ? Form3::StatusKind::NoReply
                               : check.status == ReplyStatus::Exception
                                   ? Form3::StatusKind::Exception
                                   : Form3::StatusKind::BadReply);
}

} // namespace kelmar
