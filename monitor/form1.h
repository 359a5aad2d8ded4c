#pragma once

#include "counts.h"
#include "meterline.h"
#include "modbusframe.h"

#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <utility>

class QLabel;
class QMessageBox;
class QPushButton;

namespace kelmar {

class Clock;
class Form2;
class Form3;
class Form4;
class HealthWindow;
class Publisher;
class PublishWindow;
class TrendWindow;
class Session;
struct ReplyCheck;

// The main window: the buttons that open the other windows, the start
// button, the clock and the problem reports. It wires the windows to the
// session, which holds all working state and runs the timers.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // programDir is the folder with setup.ini, meter.txt and logo/. The
    // line's transports may be handed in (tests, other kinds of line);
    // otherwise the system's serial ports are used.
    explicit Form1(const QString &programDir, Clock &clock,
                   MeterLine::TransportFactory transports = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: reads setup.ini into the session and the host settings
    // window. Run once, before the event loop.
    void Form_Load();

    Session &session() { return *m_session; }
    MeterLine &line() { return *m_line; }
    // The line's port as the transactions see it: open or not, number, settings.
    SerialPort &port() { return m_line->port(); }

    // The other windows, each created hidden on first reference and kept
    // until the program ends.
    Form2 *form2();
    Form3 *form3();
    Form4 *form4();
    HealthWindow *healthWindow();
    TrendWindow *trendWindow();
    bool hasForm3() const { return m_form3 != nullptr; }

    void Command1_Click(); // host settings
    void Command2_Click(); // meter setup
    void Command3_Click(); // start
    void Command5_Click(); // leave the program

    QString noticeText() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showWindow(QWidget *w);
    bool quitWouldEndLogging() const;
    void quit();
    void setUpPublishing();
    void showPortKind();
    void showRecordSource();
    void layOut();
    bool holdDrawing();
    void showHeld();
    void showClock(const QString &text);
    void showStatus(int k, const ReplyCheck &check, const QString &text);

    QString m_programDir;
    Clock &m_clock;
    std::unique_ptr<MeterLine> m_line;
    // What the display window is laid out for now, per slot: on, model flag.
    std::array<std::pair<bool, QString>, SlotCount> m_laidOut;
    // What a running polling tick has changed on screen, until the tick ends
    // or HeldDrawingMs have passed.
    std::array<std::array<std::optional<QString>, ItemsPerSlot>, SlotCount> m_heldValues;
    std::array<std::optional<std::pair<ReplyCheck, QString>>, SlotCount> m_heldStatus;
    std::optional<QString> m_heldClock;
    QTimer m_heldDrawing;
    Session *m_session = nullptr;
    Form2 *m_form2 = nullptr;
    Form3 *m_form3 = nullptr;
    Form4 *m_form4 = nullptr;
    HealthWindow *m_health = nullptr;
    TrendWindow *m_trend = nullptr;
    QMessageBox *m_quitQuestion = nullptr;
    Publisher *m_publisher = nullptr;         // only where publishing is built in
    PublishWindow *m_publishWindow = nullptr; // its window, made on first use

    QPushButton *Command1; // "主機端設定"
    QPushButton *Command3; // "啟動/顯示"
    QPushButton *Command2; // "儀表參數設定"
    QPushButton *Command5; // "離開"
    QLabel *Label3;        // clock
    QLabel *m_notice;      // problems the operator should see, without a modal box
    QPushButton *m_healthButton;
    QPushButton *m_trendButton;
};

} // namespace kelmar
