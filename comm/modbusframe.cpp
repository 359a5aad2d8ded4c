#include "modbusframe.h"

#include "conversions.h"
#include "numbertext.h"

namespace kelmar {

namespace {

quint8 byteAt(const QByteArray &bytes, qsizetype i)
{
    return i < bytes.size() ? quint8(bytes.at(i)) : 0;
}

int requestedCount(const QByteArray &request)
{
    return byteAt(request, 4) * 256 + byteAt(request, 5);
}

} // namespace

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit) {
            const bool low = crc & 1u;
            crc >>= 1;
            if (low)
                crc ^= 0xA001;
        }
    }
    return crc;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = crc16(bytes);
    QByteArray out = bytes;
    out.append(char(crc & 0xFF));
    out.append(char(crc >> 8));
    return out;
}

quint8 decimalByte(const QString &text)
{
    const std::optional<double> value = wholeNumber(text);
    if (!value)
        return 0;
    const std::optional<int> whole = roundHalfEven(*value);
    return whole && *whole >= 0 && *whole <= 255 ? quint8(*whole) : 0;
}

quint8 hexByte(const QString &text)
{
    const std::optional<qint32> value = HEX_to_DEC(text);
    return value && *value >= 0 && *value <= 255 ? quint8(*value) : 0;
}

QByteArray buildRequest(const QString &B1, const QString &B_1, const QString &B2_1,
                        const QString &B2_2, const QString &B3_1, const QString &B3_2)
{
    QByteArray frame(6, '\0');
    frame[0] = char(decimalByte(B1));
    frame[1] = char(decimalByte(B_1));
    frame[2] = char(hexByte(B2_1));
    frame[3] = char(hexByte(B2_2));
    frame[4] = char(hexByte(B3_1));
    frame[5] = char(hexByte(B3_2));
    return withCrc(frame);
}

qint64 decodeRegisters(const QByteArray &data)
{
    const QByteArray bytes = data.left(8);
    if (bytes.isEmpty())
        return 0;
    quint64 bits = 0;
    for (const char c : bytes)
        bits = (bits << 8) | quint8(c);
    // Sign extension: the first bit of the data is the sign bit.
    const int width = int(bytes.size()) * 8;
    if (width < 64 && (bits >> (width - 1)) & 1u)
        bits |= ~quint64(0) << width;
    return qint64(bits); // two's complement, as every supported compiler converts
}

namespace {

// Reply frames end in a CRC over everything before it, low byte first.
bool crcFits(const QByteArray &bytes, qsizetype offset, qsizetype length)
{
    if (length < 3 || offset + length > bytes.size())
        return false;
    const quint16 crc = crc16(bytes.mid(offset, length - 2));
    return byteAt(bytes, offset + length - 2) == (crc & 0xFF) &&
           byteAt(bytes, offset + length - 1) == (crc >> 8);
}

// Highest address a slave may have; 0 is the broadcast, which no one answers.
constexpr int LastSlaveAddress = 247;

int rank(ReplyStatus s)
{
    switch (s) {
    case ReplyStatus::NoReply:
        return 0;
    case ReplyStatus::Noise:
    case ReplyStatus::TooLong:
        return 1;
    case ReplyStatus::Short:
        return 2;
    case ReplyStatus::WrongSlave:
        return 3;
    case ReplyStatus::WrongFunction:
    case ReplyStatus::BadByteCount:
        return 4;
    case ReplyStatus::BadCrc:
        return 5;
    case ReplyStatus::Exception:
        return 6;
    case ReplyStatus::Ok:
        return 7;
    }
    return 0;
}

} // namespace

FrameSearch findReply(const QByteArray &request, const QByteArray &bytes)
{
    const quint8 slave = byteAt(request, 0);
    const quint8 function = byteAt(request, 1);
    // The top bit of a reply's function code marks an exception (then five
    // bytes in all), as checkReply reads it.
    auto isException = [function](quint8 f) { return (f & 0x80) && (f & 0x7F) == function; };
    const int dataBytes = 2 * requestedCount(request);
    const qsizetype size = bytes.size();

    // The reply itself, wherever it lies: noise or another slave's frame
    // before it must not cost this reading.
    for (qsizetype i = 0; i + 5 <= size; ++i) {
        if (byteAt(bytes, i) != slave)
            continue;
        const quint8 f = byteAt(bytes, i + 1);
        if (isException(f) && crcFits(bytes, i, 5))
            return {FrameFind::Whole, i, 5, {ReplyStatus::Exception, byteAt(bytes, i + 2)}};
        if (!(f & 0x80) && f == function && byteAt(bytes, i + 2) == dataBytes &&
            crcFits(bytes, i, 5 + dataBytes))
            return {FrameFind::Whole, i, 5 + dataBytes, {ReplyStatus::Ok}};
    }

    if (size == 0)
        return {FrameFind::NeedMore, 0, 0, {ReplyStatus::NoReply}};
    const quint8 address = byteAt(bytes, 0);
    if ((address == 0 || address > LastSlaveAddress) && address != slave)
        return {FrameFind::Skip, 0, 1, {ReplyStatus::Noise}};
    if (size < 2)
        return {FrameFind::NeedMore, 0, 0, {ReplyStatus::Short}};
    const quint8 f = byteAt(bytes, 1);
    // Frame lengths this master can tell from a header: exception replies,
    // and the replies with a byte count (reads of coils, inputs, registers).
    const bool exception = f & 0x80;
    const bool counted = f == function || (f >= 1 && f <= 4);
    if (!exception && !counted)
        return {FrameFind::Skip, 0, 1, {ReplyStatus::Noise}};
    if (!exception && size < 3)
        return {FrameFind::NeedMore, 0, 0, {ReplyStatus::Short}};
    const qsizetype length = exception ? 5 : 5 + byteAt(bytes, 2);
    if (size < length)
        return {FrameFind::NeedMore, 0, 0, {ReplyStatus::Short}};

    const bool replyShape =
        address == slave &&
        (exception ? isException(f) : f == function && byteAt(bytes, 2) == dataBytes);
    if (!crcFits(bytes, 0, length)) {
        // A corrupted reply is skipped whole, so that its remains are not
        // judged as frames of their own; anything else may be noise that
        // only looks like a header, and goes one byte at a time.
        if (replyShape)
            return {FrameFind::Skip, 0, length, {ReplyStatus::BadCrc}};
        return {FrameFind::Skip, 0, 1, {ReplyStatus::Noise}};
    }
    if (address != slave)
        return {FrameFind::Skip, 0, length, {ReplyStatus::WrongSlave}};
    if (exception || f != function)
        return {FrameFind::Skip, 0, length, {ReplyStatus::WrongFunction}};
    return {FrameFind::Skip, 0, length, {ReplyStatus::BadByteCount}};
}

ReplyCheck moreTelling(const ReplyCheck &a, const ReplyCheck &b)
{
    return rank(b.status) > rank(a.status) ? b : a;
}

} // namespace kelmar
