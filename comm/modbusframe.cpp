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

ReplyCheck checkReply(const QByteArray &request, const QByteArray &reply)
{
    if (reply.isEmpty())
        return {ReplyStatus::NoReply};
    if (reply.size() < 3)
        return {ReplyStatus::Short};
    const quint8 function = byteAt(reply, 1);
    // An exception frame is address, function | 0x80, code, CRC; a read
    // reply is address, function, byte count, data, CRC.
    const bool exception = function & 0x80;
    const qsizetype frameSize = exception ? 5 : 5 + byteAt(reply, 2);
    if (reply.size() < frameSize)
        return {ReplyStatus::Short};
    if (reply.size() > frameSize)
        return {ReplyStatus::TooLong};
    const QByteArray body = reply.left(frameSize - 2);
    if (withCrc(body) != reply)
        return {ReplyStatus::BadCrc};
    if (byteAt(reply, 0) != byteAt(request, 0))
        return {ReplyStatus::WrongSlave};
    if (exception && (function & 0x7F) == byteAt(request, 1))
        return {ReplyStatus::Exception, byteAt(reply, 2)};
    if (function != byteAt(request, 1))
        return {ReplyStatus::WrongFunction};
    if (int(byteAt(reply, 2)) != 2 * requestedCount(request))
        return {ReplyStatus::BadByteCount};
    return {ReplyStatus::Ok};
}

QString decodeRegisters(const QByteArray &data)
{
    // Bits most significant first, four per hexadecimal digit.
    const QByteArray hex = data.left(8).toHex();
    QString bits;
    bits.reserve(hex.size() * 4);
    for (const char digit : hex) {
        const int value = digit <= '9' ? digit - '0' : digit - 'a' + 10; // toHex writes a-f
        bits += Ten_To_2(value).value_or(QString()).rightJustified(4, u'0');
    }
    if (bits.isEmpty())
        return QStringLiteral("0");
    if (bits.at(0) == u'1') {
        // Negative: the magnitude is the flipped bits plus one, at most 2^63.
        QString flipped = bits;
        for (QChar &c : flipped)
            c = c == u'1' ? u'0' : u'1';
        return u'-' + QString::number(B_to_10(flipped).value_or(0) + 1);
    }
    return QString::number(B_to_10(bits).value_or(0));
}

QString replyReading(const QByteArray &request, const QByteArray &reply)
{
    if (checkReply(request, reply).status != ReplyStatus::Ok)
        return {};
    return decodeRegisters(reply.mid(3, byteAt(reply, 2)));
}

} // namespace kelmar
