#pragma once

#include <array>
#include <optional>

namespace kelmar {

// Decimal places of a meter's readings (0 to 4) and what the raw register
// value is divided by to show them.
struct Decimals
{
    int places = 0;

    static constexpr int Most = 4;

    // None chosen reads as 0 places; more than Most as Most.
    static Decimals fromChoice(std::optional<int> chosen)
    {
        const int p = chosen.value_or(0);
        return {p < 0 ? 0 : p > Most ? Most : p};
    }
    double divisor() const
    {
        constexpr std::array<double, Most + 1> divisors{1, 10, 100, 1000, 10000};
        return divisors[places < 0 ? 0 : places > Most ? Most : places];
    }
    bool operator==(const Decimals &o) const { return places == o.places; }
    bool operator!=(const Decimals &o) const { return places != o.places; }
};

} // namespace kelmar
