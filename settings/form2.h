#pragma once

#include "hostsettings.h"
#include "meterline.h"

#include <QColor>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kelmar {

class Lamp;

// The host settings window: port, line settings, connection, recording
// switch, record folder and display size. It edits the host settings that
// it is given and hands them back; connect and disconnect ask the line, and
// the lamp shows the state the line reports.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    static inline const QColor LampOn{0, 255, 0};
    static inline const QColor LampOff{255, 0, 0};
    // A line that connects in the background is on its way.
    static inline const QColor LampOpening{255, 255, 0};

    explicit Form2(MeterLine &line, QWidget *parent = nullptr);

    // The settings as the controls show them, and the other way round.
    HostSettings hostSettings() const;
    void setHostSettings(const HostSettings &settings);

    // The port number that Connect and Leave hand to the port: list position + 1.
    int portNumber() const;
    // The settings text that Connect hands to the port: baud + "," + framing.
    QString settingsText() const;

    bool isConnected() const { return m_connected; }
    bool isRecording() const;
    QColor lampColor() const;

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

    // The chosen port leads to a network gateway (its "HOST:PORT"), whose
    // connection takes no baud rate or framing: said next to those choices.
    // Empty for a serial port.
    void showNetworkTarget(const QString &target);

signals:
    // The operator changed a setting; hostSettings() has the new values.
    void hostSettingsEdited();
    // The lamp changed to green (true) or red by connect or disconnect; the
    // main window's start button follows it.
    void connectionChanged(bool connected);
    // The record switch was turned on or off.
    void recordingSwitched(bool on);
    // Disconnect switched recording off.
    void recordingStoppedByDisconnect();
    // Leave was pressed: the settings are to be saved (before the window hides).
    void leaveRequested();

private:
    void setConnected(bool on);
    // The line's state as the lamp shows it. A lost line turns it red and an
    // opened one green; the connection itself, the record switch and the
    // start button stay. A connect that comes through in the background
    // counts as the connect; one that fails as a failed connect.
    void showLineState(MeterLine::State state);

    MeterLine &m_line;
    bool m_connected = false;
    bool m_awaitingOpen = false; // a connect is coming through in the background

    QGroupBox *Frame1;
    QLabel *Label1;
    QComboBox *Combo1; // "COM1" ... "COM10"; only its position is used
    QLabel *Label2;
    QComboBox *Combo2; // baud rate; its text is used
    QLabel *Label3;
    QComboBox *Combo3; // framing; its text is used
    QGroupBox *Frame3;
    QRadioButton *Option1; // 800X600
    QRadioButton *Option2; // 1024X768
    QGroupBox *Frame2;
    QLineEdit *Text1;      // record folder, used exactly as typed
    QCheckBox *Check1;     // recording switch
    QPushButton *Command1; // connect
    QPushButton *Command2; // disconnect
    Lamp *Shape1;          // connection lamp
    QPushButton *Command3; // save and leave
};

} // namespace kelmar
