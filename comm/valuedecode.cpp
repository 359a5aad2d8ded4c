#include "valuedecode.h"

#include <QLocale>
#include <QString>
#include <cmath>
#include <cstring>

namespace kelmar {

namespace {

// The format's registers as one unsigned number, most significant byte first
// whatever the order on the wire.
quint64 assemble(const ValueFormat &format, const QByteArray &data)
{
    const int words = format.registerCount();
    const bool wordsReversed = format.order == WordOrder::CDAB || format.order == WordOrder::DCBA;
    const bool bytesSwapped = format.order == WordOrder::BADC || format.order == WordOrder::DCBA;
    quint64 bits = 0;
    for (int w = 0; w < words; ++w) {
        const int at = 2 * (wordsReversed ? words - 1 - w : w);
        const quint8 first = at < data.size() ? quint8(data.at(at)) : 0;
        const quint8 second = at + 1 < data.size() ? quint8(data.at(at + 1)) : 0;
        const quint16 word =
            bytesSwapped ? quint16(second << 8 | first) : quint16(first << 8 | second);
        bits = bits << 16 | word;
    }
    return bits;
}

// The digits of the shortest text that reads back as the same float,
// rounded half away from zero to `places` decimals. Nothing when it does
// not fit 64 bits.
std::optional<ExactDecimal> roundedShortest(double v, bool single, int places)
{
    // "d.ddde±x": the digits and the power of ten of the first one.
    QString text;
    if (single) {
        for (int p = 1; p <= 9; ++p) {
            text = QString::number(v, 'e', p - 1);
            if (text.toFloat() == float(v))
                break;
        }
    } else {
        text = QString::number(v, 'e', QLocale::FloatingPointShortest);
    }
    const qsizetype e = text.indexOf(u'e');
    const int exponent = text.mid(e + 1).toInt();
    QString digits = text.left(e);
    const bool negative = digits.startsWith(u'-');
    digits.remove(u'-').remove(u'.');
    // value = digits * 10^shift, in units of 10^-places.
    const int shift = exponent - int(digits.size() - 1) + places;
    ExactDecimal d{0, negative, places};
    const qsizetype kept = shift >= 0 ? digits.size() : digits.size() + shift;
    for (qsizetype i = 0; i < kept; ++i) {
        const quint64 digit = digits.at(i).unicode() - u'0';
        if (d.magnitude > (~quint64(0) - digit) / 10)
            return std::nullopt;
        d.magnitude = d.magnitude * 10 + digit;
    }
    for (int i = 0; i < shift; ++i) {
        if (d.magnitude > ~quint64(0) / 10)
            return std::nullopt;
        d.magnitude *= 10;
    }
    if (kept >= 0 && kept < digits.size() && digits.at(kept) >= u'5') {
        if (d.magnitude == ~quint64(0))
            return std::nullopt;
        ++d.magnitude;
    }
    return d;
}

} // namespace

DecodedValue decodeValue(const ValueFormat &format, const QByteArray &registers, int places)
{
    const quint64 bits = assemble(format, registers);
    switch (format.type) {
    case ValueType::Int16:
        return {ExactDecimal::fromInteger(qint16(quint16(bits)), places)};
    case ValueType::UInt16:
    case ValueType::UInt32:
    case ValueType::UInt64:
        return {ExactDecimal::fromUnsigned(bits, places)};
    case ValueType::Int32:
        return {ExactDecimal::fromInteger(qint32(quint32(bits)), places)};
    case ValueType::Int64:
        return {ExactDecimal::fromInteger(qint64(bits), places)};
    case ValueType::Float32:
    case ValueType::Float64: {
        double v;
        if (format.type == ValueType::Float32) {
            const quint32 b = quint32(bits);
            float f;
            std::memcpy(&f, &b, sizeof f);
            v = f;
        } else {
            std::memcpy(&v, &bits, sizeof v);
        }
        if (!std::isfinite(v))
            return {};
        return {roundedShortest(v, format.type == ValueType::Float32, places)};
    }
    }
    return {};
}

} // namespace kelmar
