// Any bytes as a request and the reply that came back: checking and decoding
// must never crash or trip a sanitizer, and what they return must hold
// together.

#include "conversions.h"
#include "modbusframe.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace kelmar;

namespace {

bool isReadingText(const QString &s)
{
    if (s.isEmpty())
        return true;
    const qsizetype first = s.startsWith(u'-') ? 1 : 0;
    if (first == s.size())
        return false;
    for (qsizetype i = first; i < s.size(); ++i)
        if (s[i] < u'0' || s[i] > u'9')
            return false;
    return true;
}

// The decode computed another way: sign-extend the first eight bytes.
QString expectedDecode(const QByteArray &data)
{
    const QByteArray bytes = data.left(8);
    if (bytes.isEmpty())
        return QStringLiteral("0");
    quint64 value = 0;
    for (const char c : bytes)
        value = (value << 8) | quint8(c);
    const int bits = int(bytes.size()) * 8;
    if (bits < 64 && (value >> (bits - 1)) & 1)
        value |= ~quint64(0) << bits;
    return QString::number(qint64(value));
}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void checkPair(const QByteArray &request, const QByteArray &reply)
{
    const ReplyCheck check = checkReply(request, reply);
    const QString reading = replyReading(request, reply);
    require(isReadingText(reading));
    require((check.status == ReplyStatus::Ok) == !reading.isEmpty());
    if (check.status == ReplyStatus::Ok) {
        const int count = quint8(request[4]) * 256 + quint8(request[5]);
        require(reply.size() == 5 + 2 * count);
        require(reply[0] == request[0] && reply[1] == request[1]);
        require(reading == expectedDecode(reply.mid(3, 2 * count)));
    }
    if (check.status == ReplyStatus::Exception)
        require(reply.size() == 5 && quint8(reply[1]) == (quint8(request[1]) | 0x80));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const QString decoded = decodeRegisters(bytes);
    require(decoded == expectedDecode(bytes));

    if (size >= 6) {
        const QByteArray request = withCrc(bytes.left(6));
        const QByteArray reply = bytes.mid(6);
        checkPair(request, reply);
        // The same reply with a CRC that fits, to reach the checks behind it.
        if (reply.size() >= 2)
            checkPair(request, withCrc(reply.chopped(2)));
    }

    // The conversions take any text.
    const QString text = QString::fromLatin1(bytes);
    const auto hex = HEX_to_DEC(text);
    require(!hex || *hex >= 0);
    B_to_10(text);
    if (size >= sizeof(double)) {
        double n;
        std::memcpy(&n, data, sizeof n);
        const auto bits = Ten_To_2(n);
        if (bits && n >= 0 && n < 2147483647.0)
            require(B_to_10(*bits).has_value());
    }
    return 0;
}
