#pragma once

#include "serialport.h"
#include "serialsettings.h"

#include <QSerialPort>
#include <optional>

namespace kelmar {

// SerialPort over QSerialPort. Port numbers reach devices through
// comDevicePath(), looked up at every open.
class SystemSerialPort : public SerialPort
{
    Q_OBJECT
public:
    explicit SystemSerialPort(const QString &programDir, QObject *parent = nullptr);
    ~SystemSerialPort() override;

    bool setPortOpen(bool open) override;
    bool PortOpen() const override;
    bool setCommPort(int number) override;
    int CommPort() const override { return m_commPort; }
    bool setSettings(const QString &settings) override;
    QString Settings() const override { return m_settingsText; }
    bool Output(const QByteArray &bytes) override;
    int InBufferCount() override;
    QByteArray Input() override;
    void discardInput() override;

    // The device path the next open will use.
    QString devicePath() const;

private:
    void onError(QSerialPort::SerialPortError error);
    void closeLostPort();
    bool lockExclusive();
    bool applySettings();

    QString m_programDir;
    QSerialPort m_port;
    int m_commPort = 1;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    std::optional<SerialSettings> m_settings = SerialSettings{};
    // The device went away; the port is closed on the next pass of the event
    // loop and counts as closed from now on.
    bool m_lost = false;
};

} // namespace kelmar
