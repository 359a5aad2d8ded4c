#include "replycheck.h"

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

std::optional<qint64> replyValue(const QByteArray &request, const QByteArray &reply)
{
    if (checkReply(request, reply).status != ReplyStatus::Ok)
        return std::nullopt;
    return decodeRegisters(reply.mid(3, byteAt(reply, 2)));
}

QString replyReading(const QByteArray &request, const QByteArray &reply)
{
    const std::optional<qint64> value = replyValue(request, reply);
    return value ? QString::number(*value) : QString();
}

} // namespace kelmar
