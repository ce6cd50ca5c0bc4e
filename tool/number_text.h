// TREVLIN: number-to-text conversions that print exactly what C's printf
// prints in the C locale ("%d", "%.*f", "%12.*f"), but much faster.
// Each routine writes into the caller's buffer, adds no NUL and returns the
// end of what it wrote.
#ifndef TREVLIN_NUMBER_TEXT_H
#define TREVLIN_NUMBER_TEXT_H

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Largest precision the tool ever prints (decimal counts stop at 32).
constexpr int MAX_DECIMALS = 32;
// Room one put_fixed call may need: sign, 309 integer digits, point and
// MAX_DECIMALS decimals, rounded up.
constexpr size_t MAX_FIXED_TEXT = 352;
// Room one put_uint call may need.
constexpr size_t MAX_INT_TEXT = 24;

// "00" to "99": two digits per division halves the divisions per number.
inline constexpr char DIGIT_PAIRS[201] = "00010203040506070809"
                                         "10111213141516171819"
                                         "20212223242526272829"
                                         "30313233343536373839"
                                         "40414243444546474849"
                                         "50515253545556575859"
                                         "60616263646566676869"
                                         "70717273747576777879"
                                         "80818283848586878889"
                                         "90919293949596979899";

// Writes the two digits of a value 0..99 at `at`.
inline void put_digit_pair(char *at, uint64_t pair)
{
    at[0] = DIGIT_PAIRS[pair * 2];
    at[1] = DIGIT_PAIRS[pair * 2 + 1];
}

// Writes the decimal digits of v so that they end just before `end`;
// returns where they start. The caller provides 20 bytes before `end`.
// Values that fit 32 bits take 32-bit divisions, which are cheaper.
template <typename Unsigned> inline char *put_digits_backward_as(char *end, Unsigned v)
{
    while (v >= 100) {
        const Unsigned q = v / 100;
        end -= 2;
        put_digit_pair(end, v - q * 100);
        v = q;
    }
    if (v >= 10) {
        end -= 2;
        put_digit_pair(end, v);
    } else {
        *--end = static_cast<char>('0' + v);
    }
    return end;
}

inline char *put_digits_backward(char *end, uint64_t v)
{
    if (v <= UINT32_MAX)
        return put_digits_backward_as(end, static_cast<uint32_t>(v));
    return put_digits_backward_as(end, v);
}

inline constexpr uint64_t POW10[20] = {1ULL,
                                       10ULL,
                                       100ULL,
                                       1000ULL,
                                       10000ULL,
                                       100000ULL,
                                       1000000ULL,
                                       10000000ULL,
                                       100000000ULL,
                                       1000000000ULL,
                                       10000000000ULL,
                                       100000000000ULL,
                                       1000000000000ULL,
                                       10000000000000ULL,
                                       100000000000000ULL,
                                       1000000000000000ULL,
                                       10000000000000000ULL,
                                       100000000000000000ULL,
                                       1000000000000000000ULL,
                                       10000000000000000000ULL};

// Number of decimal digits of v (1 for 0): log10 estimated from the bit
// length, then corrected by one comparison.
inline int decimal_digits(uint64_t v)
{
    const int estimate = (static_cast<int>(std::bit_width(v | 1)) * 1233) >> 12;
    return estimate + ((v | 1) >= POW10[estimate] ? 1 : 0);
}

// "%d"-style text of an unsigned value of any size, for the header report
// and the exact fixed-point path.
inline char *put_uint(char *out, uint64_t value)
{
    char *end = out + decimal_digits(value);
    put_digits_backward(end, value);
    return end;
}

// "%.*f" of value with 0..MAX_DECIMALS decimals: round half to even on the
// exact binary value, "-0.00" for negative zero, "nan"/"-nan"/"inf"/"-inf"
// for non-finite values, as glibc writes them.
char *put_fixed(char *out, double value, int decimals);

// "%*.*f": put_fixed right-aligned in at least `width` characters.
char *put_fixed_width(char *out, double value, int decimals, int width);

// 64 x 64 -> 128-bit product as (high, low) halves, without compiler
// extensions; exposed so that it can be checked against the native one.
void multiply_64x64_portable(uint64_t a, uint64_t b, uint64_t *hi, uint64_t *lo);

// ====================== Fixed decimals for a whole file ======================
// The point writer prints every value of an axis with the same number of
// decimals, so what depends on that number alone is worked out once per
// file, and the common case takes a short path with no loop and no
// division instruction. The routines below may store up to FIXED_SCRATCH
// bytes beyond the end they return (never-read scratch that the next write
// covers): their callers leave that much room.

constexpr size_t FIXED_SCRATCH = 8;
// Largest decimal count the short path serves.
constexpr int MAX_FAST_DECIMALS = 16;

struct FixedFormat {
    int decimals;
    double scale;        // 10^decimals, exact; NaN turns the short path off
    uint64_t leadingCap; // keeps at least one digit before the point (decimals <= 7)
};

// The settings for `decimals` (0..MAX_DECIMALS).
FixedFormat fixed_format(int decimals);

static_assert(std::endian::native == std::endian::little,
              "digits are assembled in machine words in memory order");

// The four decimal digits of every n < 10^4 as byte values 0..9, most
// significant first in memory. A 40 KB table beats arithmetic on words by
// a third of the point writer's time; it is filled when the program starts,
// as a constant expression that large exceeds some compilers' limits.
extern const uint32_t (&DIGIT_BYTES4)[10000];

// The eight decimal digits of n < 10^8 as byte values 0..9, most
// significant first in memory: two lookups of four digits each.
inline uint64_t digit_bytes8(uint64_t n)
{
    const uint64_t high4 = (n * 109951163) >> 40; // n / 10000 for n < 10^8
    return DIGIT_BYTES4[high4] | static_cast<uint64_t>(DIGIT_BYTES4[n - high4 * 10000]) << 32;
}

constexpr uint64_t ASCII_ZEROS = 0x3030303030303030u;

inline void store8(char *out, uint64_t text)
{
    std::memcpy(out, &text, 8);
}

// Exactly `count` (1..8) digits of n < 10^count, zero-padded.
inline char *put_digits_exactly(char *out, uint64_t n, int count)
{
    store8(out, (digit_bytes8(n) + ASCII_ZEROS) >> (8 * (8 - count)));
    return out + count;
}

// Leading zero digits of a digit_bytes8 word are its low zero bytes; `cap`
// (a bit in byte k) stops the count at k.
inline int leading_zero_digits(uint64_t digits, uint64_t cap)
{
    return std::countr_zero(digits | cap) >> 3;
}

// "%d"-style text of n < 10^8, without a branch on its length.
inline char *put_uint_below_1e8(char *out, uint64_t n)
{
    const uint64_t digits = digit_bytes8(n);
    const int leading = leading_zero_digits(digits, uint64_t{1} << 56);
    store8(out, (digits + ASCII_ZEROS) >> (8 * leading));
    return out + 8 - leading;
}

// "%d"-style text of n < 10^16.
inline char *put_uint_below_1e16(char *out, uint64_t n)
{
    if (n < 100000000)
        return put_uint_below_1e8(out, n);
    const uint64_t high = n / 100000000;
    out = put_uint_below_1e8(out, high);
    return put_digits_exactly(out, n - high * 100000000, 8);
}

// The first digits of a number of more than eight: short for the one or
// two digits that a northing or a GPS time has before its last eight.
inline char *put_leading_digits(char *out, uint64_t n)
{
    if (n >= 100)
        return put_uint_below_1e8(out, n);
    put_digit_pair(out, n);
    const int skip = n < 10 ? 1 : 0;
    out[0] = out[skip];
    return out + 2 - skip;
}

// The eight digits of `text` with a point after the first `wholeDigits`
// (1..7): the word is stored whole, then again, shifted, after the point.
inline char *put_eight_with_point(char *out, uint64_t text, int wholeDigits)
{
    store8(out, text);
    out[wholeDigits] = '.';
    store8(out + wholeDigits + 1, text >> (8 * wholeDigits));
    return out + 9;
}

// N < 2^53 with a point f.decimals digits from the right, for the counts
// that the short path does not take (0 and 8..16).
char *put_scaled_other(char *out, uint64_t N, const FixedFormat &f);

// N < 2^53 with a point f.decimals digits from the right and at least one
// digit before it.
inline char *put_scaled_as(char *out, uint64_t N, const FixedFormat &f)
{
    const int d = f.decimals;
    if (static_cast<unsigned>(d - 1) >= 7u)
        return put_scaled_other(out, N, f);
    if (N < 100000000) {
        const uint64_t digits = digit_bytes8(N);
        const int leading = leading_zero_digits(digits, f.leadingCap);
        const uint64_t text = (digits + ASCII_ZEROS) >> (8 * leading);
        return put_eight_with_point(out, text, 8 - leading - d) - leading;
    }
    const uint64_t high = N / 100000000;
    out = put_leading_digits(out, high);
    return put_eight_with_point(out, digit_bytes8(N - high * 100000000) + ASCII_ZEROS, 8 - d);
}

// round(|value| * 10^f.decimals), ties to even, when the rounded product
// decides it. Below 2^52 the spacing u of doubles at a = fl(|value| * 10^d)
// is at most 1/2, so every half-integer near a is a multiple of u: unless a
// is itself a half-integer, the nearest one is at least u away, while the
// exact product lies within u/2 of a. Both then round to the same integer.
// False for a half-integer a, values beyond 2^52 and non-finite values,
// which need the exact path.
inline bool short_path_integer(double value, const FixedFormat &f, uint64_t *N)
{
    const double a = std::fabs(value) * f.scale;
    if (!(a < 0x1p52)) // NaN too
        return false;
    const int64_t below = static_cast<int64_t>(a);
    const double beyond = a - static_cast<double>(below); // exact
    *N = static_cast<uint64_t>(below) + (beyond > 0.5 ? 1 : 0);
    return beyond != 0.5;
}

// put_fixed(out, value, f.decimals), digit for digit.
inline char *put_fixed_as(char *out, double value, const FixedFormat &f)
{
    uint64_t N;
    if (!short_path_integer(value, f, &N))
        return put_fixed(out, value, f.decimals);
    *out = '-';
    out += std::signbit(value) ? 1 : 0;
    return put_scaled_as(out, N, f);
}

// ====================== Coordinates of a whole file ======================
// A coordinate is printed as fl(fl(raw * scale) + offset) with the axis's
// decimals. For the scales and offsets surveys use (0.01 and 494000, say)
// that text is the integer raw * k + O with a point inserted, where k and O
// are scale and offset times 10^decimals rounded to integers: the rounding
// errors of the two operations, and the distance of scale and offset from
// k and O, add up to far less than half a unit of the last decimal for
// every 32-bit raw value. coordinate_format proves that bound once per file
// and then the per-point work is one multiply-add in integers.

struct CoordinateFormat {
    FixedFormat fixed;
    double scale, offset;
    bool integral; // raw * k + O is the printed integer for every 32-bit raw
    int64_t k, O;
};

CoordinateFormat coordinate_format(double scale, double offset, int decimals);

// put_fixed(out, raw * c.scale + c.offset, c.fixed.decimals), digit for digit.
inline char *put_coordinate(char *out, int32_t raw, const CoordinateFormat &c)
{
    if (c.integral) {
        const int64_t N = raw * c.k + c.O;
        // Zero keeps the sign of the value, which only the value tells.
        if (N != 0) {
            *out = '-';
            out += N < 0 ? 1 : 0;
            return put_scaled_as(out, static_cast<uint64_t>(N < 0 ? -N : N), c.fixed);
        }
    }
    const double scaled = static_cast<double>(raw) * c.scale;
    return put_fixed_as(out, scaled + c.offset, c.fixed);
}

// "%d" of 0..255 from a table: one load and one store.
struct SmallText {
    char text[3];
    uint8_t length;
};

struct ByteTexts {
    SmallText of[256];
    constexpr ByteTexts() : of{}
    {
        for (int n = 0; n < 256; ++n) {
            const int length = n >= 100 ? 3 : n >= 10 ? 2 : 1;
            int rest = n;
            for (int k = length - 1; k >= 0; --k, rest /= 10)
                of[n].text[k] = static_cast<char>('0' + rest % 10);
            of[n].length = static_cast<uint8_t>(length);
        }
    }
};
inline constexpr ByteTexts BYTE_TEXT{};

inline char *put_byte(char *out, uint8_t n)
{
    std::memcpy(out, &BYTE_TEXT.of[n], 4);
    return out + BYTE_TEXT.of[n].length;
}

#endif
