#include "modbusframe.h"

#include "conversions.h"
#include "numbertext.h"

#include <algorithm>

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

namespace {

// The CRC register after one byte from state 0, for each byte value; made
// by the compiler, so no static initialisation order can reach it unmade.
struct CrcTable
{
    quint16 t[256] = {};
    constexpr CrcTable()
    {
        for (int byte = 0; byte < 256; ++byte) {
            quint16 crc = quint16(byte);
            for (int bit = 0; bit < 8; ++bit) {
                const bool low = crc & 1u;
                crc = quint16(crc >> 1);
                if (low)
                    crc ^= 0xA001;
            }
            t[byte] = crc;
        }
    }
};
constexpr CrcTable crcTable;

constexpr quint16 crcStep(quint16 crc, quint8 byte)
{
    return quint16((crc >> 8) ^ crcTable.t[(crc ^ byte) & 0xFF]);
}

} // namespace

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes)
        crc = crcStep(crc, quint8(c));
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
    // Plain digits, as the slots give them, are read without the general
    // number reading: twice a request.
    if (!text.isEmpty() && text.size() <= 3 &&
        std::all_of(text.cbegin(), text.cend(),
                    [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        int whole = 0;
        for (const QChar c : text)
            whole = whole * 10 + (c.unicode() - u'0');
        return whole <= 255 ? quint8(whole) : 0;
    }
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
    case ReplyStatus::InvalidValue:
        return 7;
    case ReplyStatus::Ok:
        return 8;
    }
    return 0;
}

// What the reply to a request looks like.
struct Shape
{
    quint8 slave;
    quint8 function;
    int dataBytes;
    explicit Shape(const QByteArray &request)
        : slave(byteAt(request, 0)), function(byteAt(request, 1)),
          dataBytes(2 * requestedCount(request))
    {
    }
    // The top bit of a reply's function code marks an exception (then five
    // bytes in all), as checkReply reads it.
    bool isException(quint8 f) const { return (f & 0x80) && (f & 0x7F) == function; }
};

// Bytes as the searches read them: the ones received so far, by index.
struct PlainBytes
{
    const QByteArray &b;
    qsizetype size() const { return b.size(); }
    quint8 at(qsizetype i) const { return byteAt(b, i); }
    // Reply frames end in a CRC over everything before it, low byte first.
    bool crcFits(qsizetype offset, qsizetype length) const
    {
        if (length < 3 || offset + length > b.size())
            return false;
        const quint16 crc = crc16(b.mid(offset, length - 2));
        return at(offset + length - 2) == (crc & 0xFF) && at(offset + length - 1) == (crc >> 8);
    }
};

// The whole exception reply to the request at i.
template <class Bytes>
bool exceptionAt(const Shape &s, const Bytes &b, qsizetype i)
{
    return i + 5 <= b.size() && b.at(i) == s.slave && s.isException(b.at(i + 1)) &&
           b.crcFits(i, 5);
}

// The whole normal reply to the request at i.
template <class Bytes>
bool normalAt(const Shape &s, const Bytes &b, qsizetype i)
{
    const quint8 f = b.at(i + 1);
    return i + 5 + s.dataBytes <= b.size() && b.at(i) == s.slave && !(f & 0x80) &&
           f == s.function && b.at(i + 2) == s.dataBytes && b.crcFits(i, 5 + s.dataBytes);
}

// What the bytes from `at` on begin with, when no reply lies among them:
// Skip (a frame or one byte, offset 0 meaning `at`) or NeedMore.
template <class Bytes>
FrameSearch judgeFront(const Shape &s, const Bytes &b, qsizetype at)
{
    const qsizetype size = b.size() - at;
    if (size <= 0)
        return {FrameFind::NeedMore, 0, 0, {ReplyStatus::NoReply}};
    const quint8 address = b.at(at);
    if ((address == 0 || address > LastSlaveAddress) && address != s.slave)
        return {FrameFind::Skip, 0, 1, {ReplyStatus::Noise}};
    if (size < 2)
        return {FrameFind::NeedMore, 0, 0, {ReplyStatus::Short}};
    const quint8 f = b.at(at + 1);
    // Frame lengths this master can tell from a header: exception replies,
    // and the replies with a byte count (reads of coils, inputs, registers).
    const bool exception = f & 0x80;
    const bool counted = f == s.function || (f >= 1 && f <= 4);
    if (!exception && !counted)
        return {FrameFind::Skip, 0, 1, {ReplyStatus::Noise}};
    if (!exception && size < 3)
        return {FrameFind::NeedMore, 0, 0, {ReplyStatus::Short}};
    const qsizetype length = exception ? 5 : 5 + b.at(at + 2);
    if (size < length)
        return {FrameFind::NeedMore, 0, 0, {ReplyStatus::Short}};

    const bool replyShape =
        address == s.slave &&
        (exception ? s.isException(f) : f == s.function && b.at(at + 2) == s.dataBytes);
    if (!b.crcFits(at, length)) {
        // A corrupted reply is skipped whole, so that its remains are not
        // judged as frames of their own; anything else may be noise that
        // only looks like a header, and goes one byte at a time.
        if (replyShape)
            return {FrameFind::Skip, 0, length, {ReplyStatus::BadCrc}};
        return {FrameFind::Skip, 0, 1, {ReplyStatus::Noise}};
    }
    if (address != s.slave)
        return {FrameFind::Skip, 0, length, {ReplyStatus::WrongSlave}};
    if (exception || f != s.function)
        return {FrameFind::Skip, 0, length, {ReplyStatus::WrongFunction}};
    return {FrameFind::Skip, 0, length, {ReplyStatus::BadByteCount}};
}

} // namespace

FrameSearch findReply(const QByteArray &request, const QByteArray &bytes)
{
    const Shape shape(request);
    const PlainBytes b{bytes};
    // The reply itself, wherever it lies: noise or another slave's frame
    // before it must not cost this reading.
    for (qsizetype i = 0; i + 5 <= b.size(); ++i) {
        if (exceptionAt(shape, b, i))
            return {FrameFind::Whole, i, 5, {ReplyStatus::Exception, b.at(i + 2)}};
        if (normalAt(shape, b, i))
            return {FrameFind::Whole, i, 5 + shape.dataBytes, {ReplyStatus::Ok}};
    }
    return judgeFront(shape, b, 0);
}

namespace {

// The CRC of any stretch of the stream from the running states before and
// after it. Each step of the CRC is linear over GF(2): after n bytes from
// state S the register holds P^n(S) ^ G(bytes), where P is one step with a
// zero byte. The stretch's own CRC starts from 0xFFFF, so it is
// state(end) ^ P^n(state(start) ^ 0xFFFF). P^n is linear too: it is looked
// up for each 4 bits of the value, for every length a frame can have.
struct CrcShift
{
    quint16 image[MaxFrameSize - 1][4][16] = {};
    constexpr CrcShift()
    {
        quint16 bitImage[16] = {};
        for (int bit = 0; bit < 16; ++bit)
            bitImage[bit] = quint16(1u << bit);
        for (int n = 0; n < MaxFrameSize - 1; ++n) {
            for (int nibble = 0; nibble < 4; ++nibble)
                for (int v = 0; v < 16; ++v)
                    for (int bit = 0; bit < 4; ++bit)
                        if (v & (1 << bit))
                            image[n][nibble][v] ^= bitImage[4 * nibble + bit];
            for (quint16 &b : bitImage)
                b = crcStep(b, 0);
        }
    }
    quint16 apply(quint16 v, qint64 n) const
    {
        const auto &t = image[n];
        return t[0][v & 0xF] ^ t[1][(v >> 4) & 0xF] ^ t[2][(v >> 8) & 0xF] ^ t[3][v >> 12];
    }
};
constexpr CrcShift crcShift;

} // namespace

// The scanner's held bytes, indexed by their place in the stream.
struct ScannedBytes
{
    const ReplyScanner &s;
    qint64 size() const { return s.m_total; }
    quint8 at(qint64 i) const
    {
        return i >= s.m_base && i < s.m_total ? quint8(s.m_bytes.at(i - s.m_base)) : 0;
    }
    bool crcFits(qint64 offset, qint64 length) const
    {
        if (length < 3 || length > MaxFrameSize || offset < s.m_base || offset + length > s.m_total)
            return false;
        const qint64 n = length - 2;
        const quint16 crc = s.m_state[size_t(offset + n - s.m_base)] ^
                            crcShift.apply(s.m_state[size_t(offset - s.m_base)] ^ 0xFFFF, n);
        return at(offset + n) == (crc & 0xFF) && at(offset + n + 1) == (crc >> 8);
    }
};

ReplyScanner::ReplyScanner(const QByteArray &request) : m_request(request)
{
    // Any start will do: only differences of states are used.
    m_state.push_back(0xFFFF);
}

bool ReplyScanner::feed(const QByteArray &bytes)
{
    const qint64 first = m_total;
    m_total += bytes.size();
    if (m_found)
        return true;
    m_bytes += bytes;
    m_state.reserve(m_state.size() + size_t(bytes.size()));
    for (const char c : bytes)
        m_state.push_back(crcStep(m_state.back(), quint8(c)));

    const Shape shape(m_request);
    const ScannedBytes b{*this};
    const qint64 normalLength = 5 + shape.dataBytes;
    // The replies the new bytes complete, each looked at once, when its last
    // byte comes; of several, the first in the stream, as findReply takes it.
    qint64 best = -1;
    for (qint64 end = first + 1; end <= m_total; ++end) {
        if (best >= 0 && end - normalLength >= best)
            break; // nothing ending later can begin earlier
        if (const qint64 i = end - 5;
            i >= m_base && (best < 0 || i < best) && exceptionAt(shape, b, i)) {
            best = i;
            m_replyLength = 5;
            m_reply = {ReplyStatus::Exception, b.at(i + 2)};
        }
        if (const qint64 i = end - normalLength;
            normalLength <= MaxFrameSize && i >= m_base && (best < 0 || i < best) &&
            normalAt(shape, b, i)) {
            best = i;
            m_replyLength = normalLength;
            m_reply = {ReplyStatus::Ok};
        }
    }
    if (best >= 0) {
        m_found = true;
        if (m_reply.status == ReplyStatus::Ok)
            m_data = m_bytes.mid(best + 3 - m_base, shape.dataBytes);
        m_bytes.clear();
        m_state.clear();
        return true;
    }

    // What lies in front, for the status when no reply comes.
    for (;;) {
        const FrameSearch front = judgeFront(shape, b, m_front);
        if (front.find != FrameFind::Skip) {
            m_pending = front.check;
            break;
        }
        m_seen = moreTelling(m_seen, front.check);
        m_front += front.length;
    }

    // Only what a frame still arriving may need is kept. Dropped once half
    // of what is held can go, so that each byte is moved a bounded number of
    // times.
    const qint64 drop = std::min(m_front, m_total - MaxFrameSize) - m_base;
    if (drop > 0 && drop >= m_bytes.size() / 2) {
        m_bytes.remove(0, drop);
        m_state.erase(m_state.begin(), m_state.begin() + drop);
        m_base += drop;
    }
    return false;
}

ReplyCheck ReplyScanner::check() const
{
    return m_found ? m_reply : moreTelling(m_seen, m_pending);
}

ReplyCheck moreTelling(const ReplyCheck &a, const ReplyCheck &b)
{
    return rank(b.status) > rank(a.status) ? b : a;
}

} // namespace kelmar
