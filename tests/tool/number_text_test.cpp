// Fixed-point and integer text must match printf digit for digit.
#include "number_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace
{

std::string fixed(double v, int decimals)
{
    char buf[MAX_FIXED_TEXT];
    return std::string(buf, put_fixed(buf, v, decimals));
}

std::string printfFixed(double v, int decimals)
{
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string fixedAs(double v, int decimals)
{
    char buf[MAX_FIXED_TEXT + FIXED_SCRATCH];
    const FixedFormat f = fixed_format(decimals);
    return std::string(buf, put_fixed_as(buf, v, f));
}

std::string hexBits(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%016" PRIx64, std::bit_cast<uint64_t>(v));
    return text;
}

struct Literal {
    double value;
    int decimals;
    const char *text;
};

void expectLiterals(const std::vector<Literal> &table)
{
    for (const Literal &c : table)
        EXPECT_EQ(fixed(c.value, c.decimals), c.text)
            << "value " << c.value << " decimals " << c.decimals;
}

TEST(FixedText, Zero)
{
    expectLiterals({{0.0, 0, "0"},
                    {0.0, 1, "0.0"},
                    {0.0, 2, "0.00"},
                    {0.0, 7, "0.0000000"},
                    {0.0, 32, "0.00000000000000000000000000000000"},
                    {1e-300, 3, "0.000"},
                    {4.9e-324, 2, "0.00"}});
}

TEST(FixedText, NegativeZeroKeepsItsSign)
{
    expectLiterals({{-0.0, 2, "-0.00"},
                    {-0.0, 0, "-0"},
                    {-0.001, 2, "-0.00"},
                    {-0.004, 2, "-0.00"},
                    {-1e-300, 5, "-0.00000"}});
}

TEST(FixedText, ExactHalvesRoundToEven)
{
    expectLiterals({{0.125, 2, "0.12"},
                    {0.375, 2, "0.38"},
                    {0.5, 0, "0"},
                    {1.5, 0, "2"},
                    {2.5, 0, "2"},
                    {3.5, 0, "4"},
                    {-2.5, 0, "-2"},
                    {0.0625, 3, "0.062"},
                    {1048576.5, 0, "1048576"},
                    {1048577.5, 0, "1048578"}});
}

TEST(FixedText, NearHalvesRoundByTheExactBinaryValue)
{
    // 1.005 and 1.015 are stored just below their decimal forms, 99.995 just above.
    expectLiterals({{1.005, 2, "1.00"},
                    {1.015, 2, "1.01"},
                    {99.995, 2, "100.00"},
                    {0.1, 20, "0.10000000000000000555"}});
}

TEST(FixedText, CarryingPropagatesIntoTheWholePart)
{
    expectLiterals({{9.9999, 3, "10.000"},
                    {99.995, 1, "100.0"},
                    {0.9999999, 2, "1.00"},
                    {-9.9999, 3, "-10.000"},
                    {999999.9999, 2, "1000000.00"}});
}

TEST(FixedText, WholeNumbersAndLargeValues)
{
    expectLiterals({{17.0, 0, "17"},
                    {-1.5, 2, "-1.50"},
                    {4602888.9, 2, "4602888.90"},
                    {1205902800.0, 7, "1205902800.0000000"},
                    {12.5, 7, "12.5000000"},
                    {1e20, 0, "100000000000000000000"},
                    {18446744073709551616.0, 1, "18446744073709551616.0"}});
}

TEST(FixedText, NonFiniteValuesAsGlibcWritesThem)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    expectLiterals({{nan, 2, "nan"}, {-nan, 7, "-nan"}, {inf, 3, "inf"}, {-inf, 0, "-inf"}});
    char buf[MAX_FIXED_TEXT];
    EXPECT_EQ(std::string(buf, put_fixed_width(buf, -inf, 2, 12)), "        -inf");
}

TEST(FixedText, EveryPrecisionFromZeroTo32)
{
    const double values[] = {1.0 / 3.0,           494000.125, -0.07, 1e-10,
                             123456789.987654321, 5e-324,     0.5,   9.5};
    for (double v : values)
        for (int d = 0; d <= MAX_DECIMALS; ++d)
            EXPECT_EQ(fixed(v, d), printfFixed(v, d)) << "value " << v << " decimals " << d;
}

TEST(FixedText, WidthPadsOnTheLeftAndNeverCuts)
{
    char buf[MAX_FIXED_TEXT];
    EXPECT_EQ(std::string(buf, put_fixed_width(buf, 0.01, 2, 12)), "        0.01");
    EXPECT_EQ(std::string(buf, put_fixed_width(buf, 4602888.9, 2, 12)), "  4602888.90");
    EXPECT_EQ(std::string(buf, put_fixed_width(buf, 1e15, 3, 12)), "1000000000000000.000");
}

TEST(IntegerText, MatchesPercentD)
{
    const uint64_t values[] = {0,   1,   9,     10,         99,          100,
                               127, 128, 65535, 2147483647, 4294967295u, UINT64_MAX};
    char buf[MAX_INT_TEXT];
    for (uint64_t v : values)
        EXPECT_EQ(std::string(buf, put_uint(buf, v)), std::to_string(v));
}

// The word-at-a-time writers of the point lines: every byte, every value
// below 10^8 at steps of a thousandth, and a sweep of lengths up to 16 digits.
TEST(IntegerText, WordWritersMatchPercentD)
{
    char buf[MAX_INT_TEXT + FIXED_SCRATCH];
    for (int v = 0; v <= 255; ++v)
        ASSERT_EQ(std::string(buf, put_byte(buf, static_cast<uint8_t>(v))), std::to_string(v));
    for (uint64_t v = 0; v < 100000000; v += 1 + v / 1000)
        ASSERT_EQ(std::string(buf, put_uint_below_1e8(buf, v)), std::to_string(v));
    std::mt19937_64 rng(5);
    for (int k = 0; k < 200000; ++k) {
        const uint64_t v = (rng() % 10000000000000000u) >> (rng() % 54);
        ASSERT_EQ(std::string(buf, put_uint_below_1e16(buf, v)), std::to_string(v));
        if (v < 100000000) {
            ASSERT_EQ(std::string(buf, put_uint_below_1e8(buf, v)), std::to_string(v));
        }
    }
}

// Half of the values are random bit patterns (every exponent, subnormals,
// NaNs and infinities); half look like coordinates and GPS times.
double randomValue(std::mt19937_64 &rng)
{
    switch (rng() % 4) {
    case 0:
    case 1: return std::bit_cast<double>(rng());
    case 2: return static_cast<double>(static_cast<int32_t>(rng())) * 0.01 + 494000.0;
    default: return std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 80));
    }
}

TEST(FixedText, AgreesWithSnprintfOnAMillionRandomPairs)
{
    const uint64_t seed = std::random_device{}();
    std::mt19937_64 rng(seed);
    int failures = 0;
    for (int k = 0; k < 1000000 && failures < 10; ++k) {
        const double v = randomValue(rng);
        const int d = static_cast<int>(rng() % (MAX_DECIMALS + 1));
        const std::string expected = printfFixed(v, d);
        const std::string actual = k % 2 ? fixed(v, d) : fixedAs(v, d);
        if (actual != expected) {
            ++failures;
            ADD_FAILURE() << "seed " << seed << " bits 0x" << std::hex << std::bit_cast<uint64_t>(v)
                          << std::dec << " decimals " << d << ": expected " << expected << " got "
                          << actual;
        }
    }
}

TEST(FixedText, NeverWritesPastTheEndItReturns)
{
    std::mt19937_64 rng(12345);
    char buf[MAX_FIXED_TEXT + 64];
    for (int k = 0; k < 20000; ++k) {
        const double v = randomValue(rng);
        const int d = static_cast<int>(rng() % (MAX_DECIMALS + 1));
        std::memset(buf, '@', sizeof buf);
        // The short-path writer may leave scratch, but no more than it says.
        const bool shortPath = k % 2 == 1;
        const FixedFormat f = fixed_format(d);
        const char *end = shortPath ? put_fixed_as(buf, v, f) : put_fixed_width(buf, v, d, 12);
        const size_t n = static_cast<size_t>(end - buf);
        ASSERT_LE(n, MAX_FIXED_TEXT);
        for (size_t i = n + (shortPath ? FIXED_SCRATCH : 0); i < sizeof buf; ++i)
            ASSERT_EQ(buf[i], '@') << "bits 0x" << std::hex << std::bit_cast<uint64_t>(v)
                                   << std::dec << " decimals " << d;
    }
}

// Values whose product with 10^d lies within a few ulps of a half-integer,
// below, at and above it, from magnitude 1 to the short path's limit of
// 2^52 / 10^d and just beyond; every one must print as snprintf prints it.
TEST(FixedText, ShortPathAgreesWithSnprintfAtEveryHalf)
{
    const uint64_t seed = std::random_device{}();
    std::mt19937_64 rng(seed);
    int failures = 0;
    auto check = [&](double v, int d) {
        for (double w : {v, -v}) {
            const std::string expected = printfFixed(w, d), actual = fixedAs(w, d);
            if (actual != expected && ++failures <= 10)
                ADD_FAILURE() << "seed " << seed << " bits " << hexBits(w) << " decimals " << d
                              << ": expected " << expected << " got " << actual;
        }
    };
    for (int d = 0; d <= 19; ++d) {
        const double p10 = std::pow(10.0, d), limit = 0x1p52 / p10;
        for (double magnitude = 1; magnitude < 2 * limit; magnitude *= 3.7) {
            for (int k = 0; k < 40; ++k) {
                const double scaled = std::floor(magnitude * p10 * (1 + (rng() % 1000) / 1e4));
                double v = (scaled + 0.5) / p10;
                for (int step = 0; step < 4; ++step)
                    v = std::nextafter(v, 0.0);
                for (int step = 0; step < 9; ++step, v = std::nextafter(v, INFINITY))
                    check(v, d);
            }
        }
        // Exact ties: odd multiples of 2^-(d+1) times 10^d are half-integers.
        for (int k = 0; k < 200; ++k)
            check(std::ldexp(static_cast<double>((rng() >> 20) | 1), -(d + 1)), d);
        double edge = limit;
        for (int step = 0; step < 4; ++step)
            edge = std::nextafter(edge, 0.0);
        for (int step = 0; step < 9; ++step, edge = std::nextafter(edge, INFINITY))
            check(edge, d);
    }
}

// Typical survey values must not fall back to the slow exact path: the
// speed of the tool depends on it.
TEST(FixedText, ShortPathDecidesTypicalValues)
{
    std::mt19937_64 rng(99);
    struct Kind {
        int decimals;
        double scale, offset;
        int minimumPercent;
    };
    const Kind kinds[] = {{2, 0.01, 494000.0, 99},
                          {3, 0.001, 5420000.0, 99},
                          {7, 0.0000123, 171234567.0, 70}}; // GPS times of one flight
    for (const Kind &k : kinds) {
        const FixedFormat f = fixed_format(k.decimals);
        int decided = 0;
        for (int n = 0; n < 10000; ++n) {
            const double v = static_cast<double>(rng() % 10000000) * k.scale + k.offset;
            uint64_t N;
            decided += short_path_integer(v, f, &N) ? 1 : 0;
        }
        EXPECT_GE(decided, 100 * k.minimumPercent) << "decimals " << k.decimals;
    }
}

std::string coordinateText(int32_t raw, const CoordinateFormat &c)
{
    char buf[MAX_FIXED_TEXT + FIXED_SCRATCH];
    return std::string(buf, put_coordinate(buf, raw, c));
}

// The integer shortcut is taken where scale and offset allow it, and every
// coordinate prints as printf prints fl(fl(raw * scale) + offset).
TEST(CoordinateText, AgreesWithSnprintfForScalesAndOffsets)
{
    struct Axis {
        double scale, offset;
        bool integral;
    };
    const Axis axes[] = {
        {0.01, 494000.0, true},
        {0.01, 5420000.0, true},
        {0.001, 0.0, true},
        {0.001, -12.345, true},
        {0.07, 1e6, true},
        {0.5, 0.25, false},               // offset 2.5 units: not a whole number of units
        {0.01, 0.125, false},             // 12.5 units
        {1.0, 4503599627370496.0, false}, // beyond the digit routines
        {0.01 * (1 + 1e-12), 494000.0, false},
        {0.1, 0.0, true},
        {1e-8, 3.0, true},
        {0.0, 7.0, true},
        {-0.01, 100.0, true},
        {std::nextafter(0.01, 1.0), 494000.0, false}, // 17 decimals
        {std::numeric_limits<double>::quiet_NaN(), 0.0, false},
        {0.01, std::numeric_limits<double>::infinity(), false},
    };
    std::mt19937_64 rng(2026);
    for (const Axis &a : axes) {
        int d = 0;
        uint32_t multiplier = 1;
        while (d < 32 && !(static_cast<int32_t>(multiplier) * a.scale ==
                           std::floor(static_cast<int32_t>(multiplier) * a.scale)))
            multiplier *= 10, ++d;
        const CoordinateFormat c = coordinate_format(a.scale, a.offset, d);
        EXPECT_EQ(c.integral, a.integral) << a.scale << " " << a.offset;
        std::vector<int32_t> raws = {
            0, 1, -1, INT32_MIN, INT32_MAX, INT32_MIN + 1, 49400000, -49400000, -1234500, 12345};
        for (int k = 0; k < 20000; ++k)
            raws.push_back(static_cast<int32_t>(rng()));
        for (int32_t raw : raws) {
            const double scaled = static_cast<double>(raw) * a.scale;
            const double value = scaled + a.offset;
            ASSERT_EQ(coordinateText(raw, c), printfFixed(value, d))
                << "scale " << a.scale << " offset " << a.offset << " raw " << raw;
        }
    }
}

TEST(WideProduct, PortableMatchesNative)
{
    std::mt19937_64 rng(7);
    for (int k = 0; k < 100000; ++k) {
        const uint64_t a = rng(), b = k % 3 ? rng() : rng() >> (k % 64);
        uint64_t hi, lo;
        multiply_64x64_portable(a, b, &hi, &lo);
        const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
        ASSERT_EQ(hi, static_cast<uint64_t>(p >> 64));
        ASSERT_EQ(lo, static_cast<uint64_t>(p));
    }
}

} // namespace
