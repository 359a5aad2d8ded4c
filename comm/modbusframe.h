#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace kelmar {

// Modbus RTU frames as plain bytes: the read request, the CRC, the check of
// a reply against its request and the decode of the register data. Nothing
// here touches a port.

constexpr int RequestSize = 8;

// CRC-16 of Modbus RTU: reflected polynomial 0xA001, start 0xFFFF, no final
// inversion. On the wire the low byte goes first.
quint16 crc16(const QByteArray &bytes);

// The bytes followed by their CRC, low byte first.
QByteArray withCrc(const QByteArray &bytes);

// A decimal text as a frame byte: the number rounded to the nearest whole
// number, halves to even ("2.5" gives 2); 0 when the text is not a number or
// the value is outside 0 to 255 ("300" gives 0).
quint8 decimalByte(const QString &text);

// A hexadecimal text as a frame byte; 0 when the value is above 255.
quint8 hexByte(const QString &text);

// The eight-byte request:
//   0 slave address   B1, decimal
//   1 function code   B_1, decimal
//   2 start high      B2_1, hexadecimal    3 start low   B2_2
//   4 count high      B3_1, hexadecimal    5 count low   B3_2
//   6 CRC low         7 CRC high
QByteArray buildRequest(const QString &B1, const QString &B_1, const QString &B2_1,
                        const QString &B2_2, const QString &B3_1, const QString &B3_2);

enum class ReplyStatus {
    Ok,
    NoReply,       // nothing arrived
    Short,         // fewer bytes than the frame announces
    TooLong,       // more bytes than one frame: noise or a second reply behind it
    BadCrc,        // the frame's CRC does not match its bytes
    WrongSlave,    // another slave address than the request's
    WrongFunction, // another function code than the request's
    BadByteCount,  // the byte count is not twice the requested register count
    Exception,     // a Modbus exception reply; exceptionCode says which
};

struct ReplyCheck
{
    ReplyStatus status = ReplyStatus::NoReply;
    quint8 exceptionCode = 0; // only for Exception
    bool operator==(const ReplyCheck &o) const
    {
        return status == o.status && exceptionCode == o.exceptionCode;
    }
    bool operator!=(const ReplyCheck &o) const { return !(*this == o); }
};

// Checks everything that arrived after `request` went out. The reply frame
// is measured by its own header (five bytes for an exception, otherwise five
// plus the byte count); it must be exactly what arrived, carry a good CRC and
// answer the request's slave, function and register count.
ReplyCheck checkReply(const QByteArray &request, const QByteArray &reply);

// Register data, high byte first, as one big-endian two's-complement integer
// in decimal: "-" and the magnitude for negative values, every digit, no
// exponent. Only the first eight bytes (four registers) count; no bytes
// give "0".
QString decodeRegisters(const QByteArray &data);

// The reading text of a reply: its decoded registers when the check passes,
// otherwise the empty text.
QString replyReading(const QByteArray &request, const QByteArray &reply);

} // namespace kelmar
