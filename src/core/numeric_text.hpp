#pragma once

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace quentra::core {

// Reads the leading number of a text the way the stored job has always been read:
// blanks, tabs and line feeds are skipped anywhere; then an optional sign, digits with at most
// one "." and an optional exponent (E or D, either case, optional sign, digits), or a radix
// prefix &H / &O followed by digits of that base. Reading stops at the first character that
// cannot continue the number; a text without a number gives 0. Never fails.
double parseNumber(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour, whatever the floating-point
// environment's rounding mode; values that are not finite come back unchanged.
double roundHalfToEven(double value);

// Rounds to the nearest integer, halves to the even neighbour. Returns nothing when the
// rounded value does not fit `Int` (or the value is not finite) instead of overflowing.
template <std::signed_integral Int> std::optional<Int> roundTo(double value) {
    // Its bounds are exact in a double, so a rounded value within them fits.
    static_assert(std::numeric_limits<Int>::digits <= std::numeric_limits<double>::digits);
    const double rounded = roundHalfToEven(value);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<Int>::min() ||
        rounded > std::numeric_limits<Int>::max()) {
        return std::nullopt;
    }
    return static_cast<Int>(rounded);
}

// Decimal text of a number: an integer as plain digits with "-" when negative; any other value
// in the shortest text that parseNumber reads back as the same number. Never given NaN, which
// parseNumber never gives.
std::string formatNumber(double value);

} // namespace quentra::core
