// The numeric-text parse and both roundings on arbitrary text.

#include "core/numeric_text.hpp"
#include "fuzz_check.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

using namespace quentra::core;

namespace {

template <class Int> void checkRounding(double value, const char* width) {
    const std::optional<Int> r = roundTo<Int>(value);
    const double lowest = std::numeric_limits<Int>::min();
    const double highest = std::numeric_limits<Int>::max();
    if (!r) {
        // Refused only when the nearest integer really lies outside the range.
        FUZZ_CHECK(!std::isfinite(value) || value < lowest - 0.5 || value > highest + 0.5 ||
                       (value == lowest - 0.5 && std::fmod(lowest, 2.0) != 0.0) ||
                       (value == highest + 0.5 && std::fmod(highest, 2.0) != 0.0),
                   "%s refused %.17g", width, value);
        return;
    }
    const double got = *r;
    FUZZ_CHECK(got >= lowest && got <= highest, "%s gave %.17g", width, got);
    const double distance = std::fabs(got - value);
    FUZZ_CHECK(distance <= 0.5, "%s rounded %.17g to %.17g", width, value, got);
    if (distance == 0.5) {
        FUZZ_CHECK(std::fmod(got, 2.0) == 0.0, "%s rounded the half %.17g to odd %.17g", width,
                   value, got);
    }
    // The shown text of an integer is plain digits and reads back as that integer.
    const std::string shown = formatNumber(got);
    FUZZ_CHECK(shown == std::to_string(static_cast<long long>(*r)), "%.17g shown as %s", got,
               shown.c_str());
    FUZZ_CHECK(parseNumber(shown) == got, "%s reads back as %.17g", shown.c_str(),
               parseNumber(shown));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte says where a blank goes; blanks anywhere must not change the number.
    const std::size_t at = data[0];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const double value = parseNumber(text);
    FUZZ_CHECK(!std::isnan(value), "NaN from a parse");
    std::string spaced = text;
    spaced.insert(std::min(at, spaced.size()), 1, (at & 1) ? ' ' : '\t');
    const double again = parseNumber(spaced);
    FUZZ_CHECK(again == value, "a blank changed %.17g to %.17g", value, again);

    checkRounding<std::int32_t>(value, "int32");
    checkRounding<std::int16_t>(value, "int16");

    // Any shown number reads back as the same number.
    const std::string shown = formatNumber(value);
    const double back = parseNumber(shown);
    FUZZ_CHECK(back == value, "%.17g shown as %s reads back as %.17g", value, shown.c_str(), back);
    return 0;
}
