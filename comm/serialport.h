#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kelmar {

// The serial line as the program uses it: open and close, choose the port
// number and the line settings, write a frame, look at and take what has
// arrived. Every operation can fail; callers ignore failures and learn
// whether the port opened by reading PortOpen() back. Tests hand in a fake.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // true opens with the current CommPort and Settings; false closes, also
    // when already closed. Returns whether the request was carried out.
    virtual bool setPortOpen(bool open) = 0;
    // True only while the port is really open.
    virtual bool PortOpen() const = 0;

    // Port number 1 to 10; refused (false) while the port is open.
    virtual bool setCommPort(int number) = 0;
    virtual int CommPort() const = 0;

    // Baud rate and framing, "9600,N,8,1". A text the port cannot take is
    // kept but makes the next open fail.
    virtual bool setSettings(const QString &settings) = 0;
    virtual QString Settings() const = 0;

    // Sends the bytes unchanged; false on a closed port or a write error.
    virtual bool Output(const QByteArray &bytes) = 0;
    // Bytes received and waiting; -1 when the port is not usable.
    virtual int InBufferCount() = 0;
    // Every byte received so far, oldest first, removed from the buffer.
    virtual QByteArray Input() = 0;
    // Drops everything received and not yet read, also what the system holds
    // for the port and has not handed over yet.
    virtual void discardInput() { Input(); }
    // Whether frames on this transport are told apart by silence on the
    // line, so that a request must wait 3.5 characters after the last byte
    // seen. A network gateway frames by itself.
    virtual bool needsLineSilence() const { return true; }

signals:
    // A transport that connects in the background (a network gateway) has
    // become usable. Such a transport's setPortOpen(true) returns true at
    // once while PortOpen() stays false; a connection that fails or times
    // out is reported as portLost(). A serial port opens at once and never
    // needs this.
    void opened();
    // New bytes have arrived. Emitted from the event loop, never from inside
    // a call of the port's own operations.
    void readyRead();
    // The device went away under an open port (adapter unplugged); the port
    // has been closed.
    void portLost();
};

} // namespace kelmar
