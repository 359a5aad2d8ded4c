#pragma once

#include "displayplan.h"
#include "counts.h"

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmar {

class NoticeBand;
class ReadingLabel;

// The frameless information display window: six meter slots, each a front
// panel picture with its title, a status mark and one or two readings in
// large red digits, the clock, the recording indicator and a problem line.
// A view: the working state lives elsewhere and is handed in through the
// setters below; its controls are its own.
//
// Controls carry object names for tests: "Label<k>_<item>" value fields,
// "Label7" ... "Label12" titles, "Image<k>" pictures, "Status<k>" status
// marks, "Label13" clock, "Label14" recording indicator, "Notice" problem
// line, "Command1" Exit, "Text1" focus box.
class Form3 : public QWidget
{
    Q_OBJECT
public:
    explicit Form3(QWidget *parent = nullptr);

    // Reading item 0 or 1 of slot k (1 to SlotCount); "" empties the field.
    // A reading too wide for its field is drawn smaller, never cut.
    void setReading(int k, int item, const QString &text);
    QString reading(int k, int item) const;

    // Slot k's title; a title longer than its line ends in "…".
    void setTitle(int k, const QString &text);
    QString title(int k) const;

    // How slot k's meter answered last ("無回應", "通訊錯誤", "例外 02");
    // "" clears the mark.
    // What kind of trouble a slot's status reports; each has its colour.
    enum class StatusKind { NoReply, BadReply, Exception };
    void setSlotStatus(int k, const QString &text, StatusKind kind = StatusKind::NoReply);
    QString slotStatus(int k) const;

    void setClock(const QString &text);
    // The recording indicator shows "RECORD" or nothing.
    void setRecording(bool on);

    // Problems for the operator, one report per line; "" when all is well.
    void setNotice(const QString &text);
    QString notice() const;

    // Empties every reading, as Exit does.
    void clearReadings();

    // A start's layout: window size (centred again on its screen), slot
    // pictures, titles, value fields and the Exit button.
    void applyLayout(const DisplayPlan &plan);

    // The panel every picture box shows until a start lays the slot out.
    static QPixmap defaultPicture();

Q_SIGNALS:
    // Exit (or a close request from the system) has cleared the readings
    // and hidden the window; polling and recording stop.
    void exited();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Command1_Click(); // Exit
    void centreOnScreen();
    void setPicture(int k, const QPixmap &picture);
    void placeValue(int k, int item, const std::optional<ValueField> &field);
    void placeNotice();
    static bool isSlot(int k) { return k >= 1 && k <= SlotCount; }
    static bool isItem(int item) { return item >= 0 && item < ItemsPerSlot; }

    // Label1 ... Label6 items 0 and 1, Label7 ... Label12, Image1 ... Image6.
    std::array<std::array<ReadingLabel *, ItemsPerSlot>, SlotCount> m_values{};
    std::array<QLabel *, SlotCount> m_titles{};
    std::array<QString, SlotCount> m_titleTexts; // whole, before eliding
    std::array<QLabel *, SlotCount> m_status{};
    std::array<QString, SlotCount> m_statusTexts; // whole, before eliding
    std::array<QLabel *, SlotCount> m_images{};
    QLabel *Label13 = nullptr; // date and time
    QLabel *Label14 = nullptr; // recording indicator
    NoticeBand *m_notice = nullptr;
    QLineEdit *Text1 = nullptr;      // keeps the keyboard focus, holds nothing
    QPushButton *Command1 = nullptr; // Exit
};

} // namespace kelmar
