#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmar {

class Clock;
class ModbusMaster;
class PollingCycle;
class Form2;
class Form3;
class Form4;
class SerialPort;
class IntervalTimer;

// The main window: start-up from setup.ini, the buttons that open the other
// windows, the start button, and the timers that poll, record and keep the
// clock. It also owns the serial port and the values shared by the routines.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    // programDir is the folder with setup.ini, meter.txt and logo/. A port
    // may be handed in (tests); otherwise the system's serial port is used.
    explicit Form1(const QString &programDir, Clock &clock, SerialPort *port = nullptr,
                   QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: reads setup.ini into the host settings window and the hidden
    // fields. Run once, before the event loop.
    void Form_Load();

    // The other windows, each created hidden on first reference and kept
    // until the program ends.
    Form2 *form2();
    Form3 *form3();
    Form4 *form4();
    bool hasForm3() const { return m_form3 != nullptr; }
    bool hasForm4() const { return m_form4 != nullptr; }

    QString programDir() const { return m_programDir; }
    QString setupIniPath() const;
    Clock &clock() const { return m_clock; }

    QPushButton *Command1; // "主機端設定"
    QPushButton *Command3; // "啟動/顯示"
    QPushButton *Command2; // "儀表參數設定"
    QPushButton *Command5; // "離開"
    QLabel *Label3;        // clock
    QLineEdit *Text1;      // stamp of the current record file
    QLineEdit *Text2;      // record file extension
    QLineEdit *Text3;      // last record line
    QLineEdit *Text4;      // record interval in seconds
    QLineEdit *OP_D;       // display mode "1" or "2"
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label4;
    QLabel *LabelNotice; // problems the operator should see, without a modal box
    IntervalTimer *Timer1;     // polling
    IntervalTimer *Timer2;     // clock
    IntervalTimer *Timer3;     // record
    SerialPort *MSComm1;

    // Values kept for the life of the program.
    std::array<double, 6> MeterDivisor{1, 1, 1, 1, 1, 1};
    QString RecordLine;
    int PollTickCount = 0;
    double RecordSeconds = 0;
    qint64 RecordTickCount = 0;

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command5_Click();

    // Waits the given seconds on a timer, then calls done. The event loop
    // runs meanwhile.
    void Delay(double seconds, std::function<void()> done);

    ModbusMaster *modbus() const { return m_master; }
    PollingCycle *pollingCycle() const { return m_cycle; }
    // True from a polling tick's start to its end (including the periodic
    // reopen of the port); ticks falling due meanwhile are skipped.
    bool pollTickRunning() const { return m_tickRunning; }

    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    // The switch-recording routine, run on every change of the host
    // settings window's record switch.
    void Check1_Click(bool on);

    // Writes setup.ini from the host settings window and the hidden fields.
    // Returns whether the new file is in place.
    bool saveSettings();

    // A problem report by source ("pictures", "record"); an empty text
    // withdraws that source's report. Shown here and on the display window.
    void setNotice(const QString &source, const QString &text);
    QString noticeText() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void refreshNotice();
    void pollTickFinished(const QString &line);
    void endPollTick();
    void reopenLostPort();
    void appendRecordLine();
    QString onDisk(const QString &path) const;

    QString m_programDir;
    Clock &m_clock;
    std::unique_ptr<SerialPort> m_ownPort;
    Form2 *m_form2 = nullptr;
    Form3 *m_form3 = nullptr;
    Form4 *m_form4 = nullptr;
    QList<QPair<QString, QString>> m_notices;
    ModbusMaster *m_master = nullptr;
    PollingCycle *m_cycle = nullptr;
    bool m_tickRunning = false;
    // A device that vanished under the open port is opened again by the next
    // polling tick with the last connect's port and settings, unless the
    // operator connected or disconnected since.
    bool m_portLost = false;
    int m_lastConnectPort = 1;
    int m_connectionCount = 0; // connects and disconnects so far
    QString m_lastConnectSettings;
};

} // namespace kelmar
