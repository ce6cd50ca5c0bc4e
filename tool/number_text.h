// TREVLIN: number-to-text conversions that print exactly what C's printf
// prints in the C locale ("%d", "%.*f", "%12.*f"), but much faster.
// Each routine writes into the caller's buffer, adds no NUL and returns the
// end of what it wrote.
#ifndef TREVLIN_NUMBER_TEXT_H
#define TREVLIN_NUMBER_TEXT_H

#include <cstddef>
#include <cstdint>

// Largest precision the tool ever prints (decimal counts stop at 32).
constexpr int MAX_DECIMALS = 32;
// Room one put_fixed call may need: sign, 309 integer digits, point and
// MAX_DECIMALS decimals, rounded up.
constexpr size_t MAX_FIXED_TEXT = 352;
// Room one put_int / put_uint call may need.
constexpr size_t MAX_INT_TEXT = 24;

char *put_int(char *out, int64_t value);
char *put_uint(char *out, uint64_t value);

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
