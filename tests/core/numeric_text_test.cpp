#include "core/numeric_text.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace quentra::core {
namespace {

struct ParseCase {
    const char* text;
    double expected;
};

TEST(ParseNumber, ReadsTheLeadingNumber) {
    const ParseCase cases[] = {
        {"", 0},
        {"0", 0},
        {"6060", 6060},
        {"1 2", 12},
        {" \t\n1\t2\n3 ", 123},
        {"12abc", 12},
        {"abc", 0},
        {"&H1F", 31},
        {"&h1f", 31},
        {"&HFFFF", 65535},
        {"&H1G", 1},
        {"&H", 0},
        {"&O17", 15},
        {"&o17", 15},
        {"&O18", 1},
        {"&O8", 0},
        {"&X1", 0},
        {"& H 1 F", 31},
        {"-&H1F", 0},
        {"1.5E2", 150},
        {"1.5e2", 150},
        {"1D2", 100},
        {"1d-2", 0.01},
        {"2E+3", 2000},
        {"1E", 1},
        {"1E+", 1},
        {"1Ex", 1},
        {"-.5", -0.5},
        {".5", 0.5},
        {"5.", 5},
        {"2.5", 2.5},
        {"3.5", 3.5},
        {"-2.5", -2.5},
        {"+7", 7},
        {"- 7", -7},
        {"+", 0},
        {"-", 0},
        {".", 0},
        {"-.", 0},
        {".E5", 0},
        {"E5", 0},
        {"--5", 0},
        {"+-5", 0},
        {"1.2.3", 1.2},
        {"0127", 127},
        {"000.0012", 0.0012},
        {"12,5", 12},
        {"$5", 0},
        {"1\r2", 1}, // only blanks, tabs and line feeds are skipped
        {"1E1 0", 1e10},
        {"1e-400", 0},
        {"0.000e999999999999999999", 0},
        {"123456789012345678901234567890", 123456789012345678901234567890.0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseNumber(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(ParseNumber, HugeExponentsSaturateWithoutFailing) {
    EXPECT_EQ(parseNumber("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseNumber("-1E99999999999999999999999"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(parseNumber("1e-99999999999999999999999"), 0.0);
    EXPECT_EQ(parseNumber("1e300"), 1e300);
    EXPECT_EQ(parseNumber(std::string(5000, '9') + "e-4990"), 1e10);
    EXPECT_EQ(parseNumber("0." + std::string(5000, '0') + "1e5001"), 1.0);
}

TEST(ParseNumber, HugeTextsGiveTheExactValue) {
    // The digits' own position and the written exponent add up exactly, however long the text.
    const std::string z100001(100001, '0');
    const std::string z1m(1000000, '0');
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::string text;
        double expected;
    };
    const Case cases[] = {
        {"1" + z100001 + "E-100001", 1.0},
        {"0." + z100001 + "1E100010", 1e8},
        {"-0." + z100001 + "1D+100010", -1e8},
        {"1" + z1m + "E-1000000", 1.0},
        {"0." + z1m + "5e1000000", 0.5},
        {"12345" + std::string(200000, '0') + "E-200003", 12.345},
        {std::string(1000000, '9') + "E-1000000", 1.0},
        {"0." + z100001 + "1", 0.0},
        {"1" + z100001, inf},
        {"1" + z100001 + "E-99702", 1e299},
        {"0." + z100001 + "1E100310", 1e308},
        {"1" + std::string(300, '0') + "E-99999999999999999999999999", 0.0},
        {"0." + std::string(300, '0') + "1E99999999999999999999999999", inf},
        {"1E-" + std::string(30, '9'), 0.0},
        {"-1E" + std::string(30, '9'), -inf},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseNumber(c.text), c.expected) << c.text.size() << " characters";
    }
}

TEST(ParseNumber, NegativeZeroIsZero) {
    EXPECT_FALSE(std::signbit(parseNumber("-0")));
    EXPECT_FALSE(std::signbit(parseNumber("-0.0e5")));
}

TEST(ParseNumber, ReadsNumbersExactlyLikeTheirShortestText) {
    for (double v : {0.1, 2.675, 1.0 / 3.0, 123456.789, 5e-324, 1.7976931348623157e308}) {
        EXPECT_EQ(parseNumber(formatNumber(v)), v) << formatNumber(v);
        EXPECT_EQ(parseNumber(formatNumber(-v)), -v) << formatNumber(-v);
    }
}

struct Round32Case {
    double value;
    std::optional<std::int32_t> expected;
};

TEST(RoundTo, Int32HalvesGoToEvenAndOverflowIsReported) {
    const double inf = std::numeric_limits<double>::infinity();
    const Round32Case cases[] = {
        {0.0, 0},
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {3.5, 4},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {-3.5, -4},
        {2.4999999, 2},
        {2.5000001, 3},
        {-2.6, -3},
        {127.5, 128},
        {126.5, 126},
        {2147483647.0, 2147483647},
        {2147483647.4, 2147483647},
        {2147483647.5, std::nullopt},
        {2147483648.0, std::nullopt},
        {-2147483648.0, -2147483648},
        {-2147483648.5, -2147483648},
        {-2147483648.6, std::nullopt},
        {-2147483649.5, std::nullopt},
        {1e300, std::nullopt},
        {-1e300, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roundTo<std::int32_t>(c.value), c.expected) << c.value;
    }
}

TEST(RoundHalfToEven, KeepsTheFullValue) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(roundHalfToEven(2.5), 2.0);
    EXPECT_EQ(roundHalfToEven(-3.5), -4.0);
    EXPECT_EQ(roundHalfToEven(4294967296.5), 4294967296.0);
    EXPECT_EQ(roundHalfToEven(4294967297.5), 4294967298.0);
    EXPECT_EQ(roundHalfToEven(1e300), 1e300);
    EXPECT_EQ(roundHalfToEven(inf), inf);
    EXPECT_EQ(roundHalfToEven(-inf), -inf);
    EXPECT_FALSE(std::signbit(roundHalfToEven(-0.4)));
}

struct Round16Case {
    double value;
    std::optional<std::int16_t> expected;
};

TEST(RoundTo, Int16HalvesGoToEvenAndOverflowIsReported) {
    const Round16Case cases[] = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {32767.0, 32767},
        {32767.4, 32767},
        {32767.5, std::nullopt},
        {32768.0, std::nullopt},
        {40000.0, std::nullopt},
        {-32768.0, -32768},
        {-32768.5, -32768},
        {-32768.6, std::nullopt},
        {-32769.5, std::nullopt},
        {1e300, std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(roundTo<std::int16_t>(c.value), c.expected) << c.value;
    }
}

struct FormatCase {
    double value;
    const char* expected;
};

TEST(FormatNumber, IntegersArePlainDigitsAndFractionsFollowAPoint) {
    const FormatCase cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {127, "127"},
        {-3, "-3"},
        {16383, "16383"},
        {2147483647, "2147483647"},
        {-2147483648.0, "-2147483648"},
        {4294967296.0, "4294967296"},
        {1e20, "100000000000000000000"},
        {12.5, "12.5"},
        {-0.5, "-0.5"},
        {0.1, "0.1"},
        {2147483647.5, "2147483647.5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatNumber(c.value), c.expected) << c.value;
    }
}

TEST(FormatNumber, ExtremeValuesReadBack) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {1e21, 1e300, -1e300, 1e-7, 5e-324, inf, -inf}) {
        const std::string text = formatNumber(v);
        EXPECT_EQ(parseNumber(text), v) << text;
        EXPECT_EQ(text.find('e'), std::string::npos) << text;
    }
}

} // namespace
} // namespace quentra::core
