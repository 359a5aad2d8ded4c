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

class Form2;
class Form3;
class Form4;
class HealthWindow;
class NoticePanel;
class PublishWindow;
class TrendWindow;
class Session;
class Station;
struct ReplyCheck;

// The main window: the buttons that open the other windows, the start
// button, the clock and the problem reports. A view over the station, which
// holds all working state and runs the timers; the other windows are views
// over it too.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(Station &station, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: the station loads setup.ini, the slots and publishing, and
    // the host settings window shows them. Run once, before the event loop.
    void Form_Load();

    Station &station() { return m_station; }
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
    // The end of the program, as the exit button's Yes: no question asked,
    // the meter setup kept (SIGTERM to the windows).
    void quit();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showWindow(QWidget *w);
    bool quitWouldEndLogging() const;
    void setUpPublishing();
    void showRecordSource();
    void layOut();
    void showClock(const QString &text);

    Station &m_station;
    // What the display window is laid out for now, per slot: on, model flag.
    std::array<std::pair<bool, QString>, SlotCount> m_laidOut;
    Session *m_session;
    MeterLine *m_line;
    Form2 *m_form2 = nullptr;
    Form3 *m_form3 = nullptr;
    Form4 *m_form4 = nullptr;
    HealthWindow *m_health = nullptr;
    TrendWindow *m_trend = nullptr;
    QMessageBox *m_quitQuestion = nullptr;
    PublishWindow *m_publishWindow = nullptr; // made on first use, where publishing is built in

    QPushButton *Command1; // "主機端設定"
    QPushButton *Command3; // "啟動/顯示"
    QPushButton *Command2; // "儀表參數設定"
    QPushButton *Command5; // "離開"
    QLabel *Label3;        // clock
    NoticePanel *m_notice; // problems the operator should see, without a modal box
    QPushButton *m_healthButton;
    QPushButton *m_trendButton;
};

} // namespace kelmar
