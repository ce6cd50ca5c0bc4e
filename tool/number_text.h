// TREVLIN: number-to-text conversions that print exactly what C's printf
// prints in the C locale ("%d", "%.*f", "%12.*f"), but much faster.
// Each routine writes into the caller's buffer, adds no NUL and returns the
// end of what it wrote.
#ifndef TREVLIN_NUMBER_TEXT_H
#define TREVLIN_NUMBER_TEXT_H

#include <bit>
#include <cstddef>
#include <cstdint>

// Largest precision the tool ever prints (decimal counts stop at 32).
constexpr int MAX_DECIMALS = 32;
// Room one put_fixed call may need: sign, 309 integer digits, point and
// MAX_DECIMALS decimals, rounded up.
constexpr size_t MAX_FIXED_TEXT = 352;
// Room one put_int / put_uint call may need.
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

// "%d"-style text of an unsigned value; inline, as the point writer prints
// a dozen small integers per line.
inline char *put_uint(char *out, uint64_t value)
{
    char *end = out + decimal_digits(value);
    put_digits_backward(end, value);
    return end;
}

inline char *put_int(char *out, int64_t value)
{
    if (value < 0) {
        *out++ = '-';
        return put_uint(out, 0 - static_cast<uint64_t>(value));
    }
    return put_uint(out, static_cast<uint64_t>(value));
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

#endif
