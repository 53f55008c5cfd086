#include "core/numeric_text.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <system_error>

namespace quentra::core {

namespace {

// Walks a text while skipping blanks, tabs and line feeds wherever they stand.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) { skip(); }

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    void advance() {
        ++pos_;
        skip();
    }
    // The next character when it is one of `chars`, passed over; '\0' when it is none of them.
    char take(std::string_view chars) {
        const char c = peek();
        if (atEnd() || chars.find(c) == std::string_view::npos) {
            return '\0';
        }
        advance();
        return c;
    }

private:
    void skip() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n')) {
            ++pos_;
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (isDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

double parseRadix(Cursor& cur, int base) {
    double value = 0.0;
    for (;;) {
        const int digit = hexValue(cur.peek());
        if (digit < 0 || digit >= base) {
            break;
        }
        value = value * base + digit;
        cur.advance();
    }
    return value;
}

// A written exponent is added up to this bound and no further. The digits move the exponent by
// at most the text's length, which lies far below it; so a written exponent that reaches it
// puts the value certainly beyond every double (or below the smallest), and holding it here
// changes no result, while the sum below cannot overflow.
constexpr std::int64_t kWrittenExponentLimit = std::int64_t{1} << 60;

// Significant digits without leading zeros; the value is 0.<digits> x 10^exponent. The
// exponent counts every digit exactly: a text of any length moves it by its length at most.
struct Significand {
    std::string digits;
    std::int64_t exponent = 0;
    bool anyDigit = false;
};

Significand readSignificand(Cursor& cur) {
    Significand s;
    bool seenPoint = false;
    for (;;) {
        const char c = cur.peek();
        if (isDigit(c)) {
            s.anyDigit = true;
            if (s.digits.empty() && c == '0') {
                if (seenPoint) {
                    --s.exponent;
                }
            } else {
                s.digits.push_back(c);
                if (!seenPoint) {
                    ++s.exponent;
                }
            }
            cur.advance();
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
            cur.advance();
        } else {
            return s;
        }
    }
}

// The exponent written after E or D (either case), 0 when there is none.
std::int64_t readWrittenExponent(Cursor& cur) {
    if (cur.take("EeDd") == '\0') {
        return 0;
    }
    const bool negative = cur.take("+-") == '-';
    std::int64_t written = 0;
    while (isDigit(cur.peek())) {
        written = written >= kWrittenExponentLimit / 10 ? kWrittenExponentLimit
                                                        : written * 10 + (cur.peek() - '0');
        cur.advance();
    }
    return negative ? -written : written;
}

// 0.<digits> x 10^exponent, beyond every double as infinity and below the smallest as 0.
double magnitudeOf(const std::string& digits, std::int64_t exponent) {
    if (exponent > 400) {
        return std::numeric_limits<double>::infinity();
    }
    if (exponent < -400) {
        return 0.0;
    }
    const std::string normal = "0." + digits + "e" + std::to_string(exponent);
    double magnitude = 0.0;
    const auto [ptr, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), magnitude);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        return exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return ec == std::errc() ? magnitude : 0.0;
}

double parseDecimal(Cursor& cur, bool negative) {
    const Significand s = readSignificand(cur);
    if (!s.anyDigit) {
        return 0.0;
    }
    const std::int64_t exponent = s.exponent + readWrittenExponent(cur);
    if (s.digits.empty()) {
        return 0.0;
    }
    const double magnitude = magnitudeOf(s.digits, exponent);
    return negative ? -magnitude : magnitude;
}

} // namespace

double parseNumber(std::string_view text) {
    Cursor cur(text);
    double value = 0.0;
    if (cur.take("&") != '\0') {
        const char radix = cur.take("HhOo");
        if (radix != '\0') {
            value = parseRadix(cur, radix == 'H' || radix == 'h' ? 16 : 8);
        }
    } else {
        value = parseDecimal(cur, cur.take("+-") == '-');
    }
    // No negative zero: "-0" is shown and stored as 0.
    return value == 0.0 ? 0.0 : value;
}

double roundHalfToEven(double value) {
    if (!std::isfinite(value)) {
        return value;
    }
    double floor = std::floor(value);
    const double fraction = value - floor; // exact for every finite double
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) {
        floor += 1.0;
    }
    return floor == 0.0 ? 0.0 : floor;
}

std::string formatNumber(double value) {
    if (std::isinf(value)) {
        // The shortest text that still reads back as beyond every double.
        return value > 0 ? "1E999" : "-1E999";
    }
    if (value == 0.0) {
        return "0";
    }
    std::array<char, 64> buffer{};
    std::to_chars_result result{};
    if (value == std::trunc(value) && std::fabs(value) < 1e21) {
        // Plain digits; exact for every integer a double holds in this range.
        result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                               std::chars_format::fixed);
    } else {
        result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    }
    std::string text(buffer.data(), result.ptr);
    std::replace(text.begin(), text.end(), 'e', 'E');
    return text;
}

} // namespace quentra::core
