// Any bytes as a request and the reply that came back: checking and decoding
// must never crash or trip a sanitizer, and what they return must hold
// together.

#include "bitconversions.h"
#include "conversions.h"
#include "modbusframe.h"
#include "replycheck.h"

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

// The decode computed another way: through the binary-digit texts, the
// magnitude of a negative value as the flipped bits plus one.
qint64 expectedDecode(const QByteArray &data)
{
    const QByteArray hex = data.left(8).toHex();
    QString bits;
    for (const char digit : hex)
        bits += Ten_To_2(digit <= '9' ? digit - '0' : digit - 'a' + 10)
                    .value_or(QString())
                    .rightJustified(4, u'0');
    if (bits.isEmpty())
        return 0;
    if (bits.at(0) == u'0')
        return qint64(B_to_10(bits).value_or(0));
    for (QChar &c : bits)
        c = c == u'1' ? u'0' : u'1';
    // -(m + 1) for the flipped magnitude m, which never overflows.
    return -qint64(B_to_10(bits).value_or(0)) - 1;
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
        require(reading == QString::number(expectedDecode(reply.mid(3, 2 * count))));
    }
    if (check.status == ReplyStatus::Exception)
        require(reply.size() == 5 && quint8(reply[1]) == (quint8(request[1]) | 0x80));

    // The search over the same bytes: what it finds whole passes the check,
    // what it skips is never empty, and skipping ends.
    QByteArray rest = reply;
    ReplyCheck seen;
    bool whole = false;
    for (int steps = 0;; ++steps) {
        require(steps <= reply.size());
        const FrameSearch found = findReply(request, rest);
        if (found.find == FrameFind::Whole) {
            require(found.offset >= 0 && found.offset + found.length <= rest.size());
            require(checkReply(request, rest.mid(found.offset, found.length)) == found.check);
            require(found.check.status == ReplyStatus::Ok ||
                    found.check.status == ReplyStatus::Exception);
            seen = found.check;
            whole = true;
            break;
        }
        seen = moreTelling(seen, found.check);
        if (found.find == FrameFind::NeedMore)
            break;
        require(found.length >= 1 && found.length <= rest.size());
        require(found.check.status != ReplyStatus::Ok &&
                found.check.status != ReplyStatus::NoReply);
        rest.remove(0, found.length);
    }

    // The scanner fed the bytes at once comes to the same verdict; fed in
    // two parts, it finds a reply as well, or skips the same frames.
    ReplyScanner atOnce(request);
    require(atOnce.feed(reply) == whole && atOnce.check() == seen);
    require(atOnce.held() < 2 * MaxFrameSize);
    qsizetype frame = 0;
    if (whole)
        frame = seen.status == ReplyStatus::Ok ? 5 + atOnce.data().size() : 5;
    require(atOnce.discarded() == reply.size() - frame);
    ReplyScanner inParts(request);
    const qsizetype cut = reply.isEmpty() ? 0 : quint8(reply[0]) % reply.size();
    inParts.feed(reply.left(cut));
    require(inParts.feed(reply.mid(cut)) == whole);
    require(whole || inParts.check() == seen);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    require(decodeRegisters(bytes) == expectedDecode(bytes));

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
