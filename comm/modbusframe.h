#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

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
    Noise,         // bytes that cannot start a reply frame
    InvalidValue,  // a proper reply whose registers hold no number (a NaN or infinite float)
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

// Register data, high byte first, as one big-endian two's-complement
// integer: 16 bits per register, sign-extended from the first bit. Only the
// first eight bytes (four registers) count; no bytes give 0.
qint64 decodeRegisters(const QByteArray &data);

// Where the reply to `request` stands in the bytes received so far.
enum class FrameFind {
    Whole,    // the reply frame (Ok or Exception) is at offset, length bytes long
    NeedMore, // no reply yet; more bytes may complete one
    Skip,     // the first length bytes are not the reply; check says what they were
};

struct FrameSearch
{
    FrameFind find = FrameFind::NeedMore;
    qsizetype offset = 0;
    qsizetype length = 0;
    // Whole: Ok or Exception. Skip: why the bytes are not the reply.
    // NeedMore: NoReply for no bytes, Short for the start of a frame.
    ReplyCheck check;
};

// Looks for the reply to `request` in `bytes`: a whole frame with a good CRC
// from the request's slave, either the normal reply of 5 + 2n bytes for n
// registers or the 5-byte exception reply to the request's function, is
// taken wherever it lies. Otherwise the front is judged: a whole valid frame
// of another slave or shape (a late reply) is skipped as one, so is a frame
// of the reply's shape with a bad CRC; a byte that cannot start a frame is
// skipped alone; the start of a frame waits for more bytes.
FrameSearch findReply(const QByteArray &request, const QByteArray &bytes);

// The longest frame whose length a header can announce: address, function,
// byte count, 255 data bytes and the CRC.
constexpr int MaxFrameSize = 260;

// findReply over bytes as they arrive, for as long as a transaction waits:
// the reply wherever it lies, else the most telling of what was skipped and
// of a frame still arriving. Its work is linear in the bytes fed, whatever
// they are: each byte is looked at a bounded number of times, and any
// frame's CRC is checked in constant time from running CRC states. Only the
// bytes that may still belong to a frame are kept.
class ReplyScanner
{
public:
    explicit ReplyScanner(const QByteArray &request = {});

    // Takes the bytes that came next; true once the reply is whole. Bytes
    // fed after it are not looked at.
    bool feed(const QByteArray &bytes);
    bool found() const { return m_found; }
    // Found: Ok or Exception. Otherwise why no reply is there: NoReply for
    // no bytes, as findReply judges them one after the other.
    ReplyCheck check() const;
    // The register data of an Ok reply.
    QByteArray data() const { return m_data; }
    // Bytes fed that are not the reply.
    qint64 discarded() const { return m_total - m_replyLength; }
    // Bytes held after a feed: fewer than two of the longest frames.
    qsizetype held() const { return m_bytes.size(); }

private:
    friend struct ScannedBytes;

    QByteArray m_request;
    QByteArray m_bytes;           // the stream from m_base on
    std::vector<quint16> m_state; // the running CRC before each held byte, and after the last
    qint64 m_base = 0;            // stream index of m_bytes[0]
    qint64 m_total = 0;           // bytes fed
    qint64 m_front = 0;           // where judging what is not the reply stands
    ReplyCheck m_seen;            // the most telling of what was skipped
    ReplyCheck m_pending;         // the frame at the front, still arriving
    bool m_found = false;
    qint64 m_replyLength = 0;
    ReplyCheck m_reply;
    QByteArray m_data;
};

// Of two reasons for a missing value, the one that tells more about the line:
// nothing < noise < a partial frame < another slave's frame < another shape
// < a corrupted reply < an exception.
ReplyCheck moreTelling(const ReplyCheck &a, const ReplyCheck &b);

} // namespace kelmar
