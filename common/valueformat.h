#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace kelmar {

// How a value lies in a meter's registers, as a model of models.ini
// describes it. A meter.txt model has none: its values are signed
// big-endian integers of holding registers, shown with the slot's decimals.
enum class ValueType { Int16, UInt16, Int32, UInt32, Int64, UInt64, Float32, Float64 };

// The byte order over the registers, A the most significant byte: ABCD
// big-endian, CDAB words swapped, BADC bytes swapped in each word, DCBA
// little-endian. Over four registers "words swapped" reverses all four.
enum class WordOrder { ABCD, CDAB, BADC, DCBA };

struct ValueFormat
{
    int function = 3;    // 3: holding registers, 4: input registers
    quint16 address = 0; // the first register
    ValueType type = ValueType::Int16;
    WordOrder order = WordOrder::ABCD;
    std::optional<int> decimals; // none: the slot's decimal places
    QString unit;                // "V", "kWh", ...; empty for none

    int registerCount() const
    {
        switch (type) {
        case ValueType::Int16:
        case ValueType::UInt16:
            return 1;
        case ValueType::Int32:
        case ValueType::UInt32:
        case ValueType::Float32:
            return 2;
        default:
            return 4;
        }
    }
    bool isFloat() const { return type == ValueType::Float32 || type == ValueType::Float64; }
    bool operator==(const ValueFormat &o) const
    {
        return function == o.function && address == o.address && type == o.type &&
               order == o.order && decimals == o.decimals && unit == o.unit;
    }
    bool operator!=(const ValueFormat &o) const { return !(*this == o); }
};

// "int16" ... "float64" and "ABCD" ... "DCBA", as models.ini writes them.
inline const char *valueTypeName(ValueType t)
{
    static const char *const names[] = {"int16", "uint16", "int32",   "uint32",
                                        "int64", "uint64", "float32", "float64"};
    return names[int(t)];
}
inline const char *wordOrderName(WordOrder o)
{
    static const char *const names[] = {"ABCD", "CDAB", "BADC", "DCBA"};
    return names[int(o)];
}

} // namespace kelmar
