#pragma once

#include <QWidget>

class QTableWidget;

namespace kelmar {

class MeterLine;
class Session;
struct MeterSlot;
struct SlotHealth;

// The line's counters for the technician who commissions it: per slot,
// transactions since the start button, good replies, no replies, bad
// replies, exceptions and the last failure with its time. In memory only.
class HealthWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HealthWindow(QWidget *parent = nullptr);
    // A view that follows the run model's counters, slots and line.
    void follow(Session &session, MeterLine &line);
    // The line the counters are of, "COM1 (192.0.2.7:502)", in the title.
    void setLine(const QString &description);

    // Row k; cells that did not change are left alone.
    void showHealth(int k, const MeterSlot &slot, const SlotHealth &health);
    // The text of a cell, for tests: row k - 1, column as in the header.
    QString cellText(int k, int column) const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QTableWidget *m_table;
};

} // namespace kelmar
