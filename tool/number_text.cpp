// TREVLIN: exact fixed-point text of doubles by integer arithmetic.
//
// A finite double is m * 2^e with a 53-bit integer m. Its text with d
// decimals is the integer N = round(m * 10^d * 2^e), ties to even on the
// exact value, with a point inserted d digits from the right. For d <= 19
// the product m * 10^d fits in 128 bits, so N comes from one multiply, one
// shift and a comparison of the remainder with one half. Values whose N
// does not fit in 64 bits, and precisions above 19, go to std::to_chars,
// which is exact too but slower.
#include "number_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{

struct U128 {
    uint64_t hi;
    uint64_t lo;
};

U128 multiply_64x64(uint64_t a, uint64_t b)
{
#if defined(__SIZEOF_INT128__)
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return {static_cast<uint64_t>(p >> 64), static_cast<uint64_t>(p)};
#else
    U128 r;
    multiply_64x64_portable(a, b, &r.hi, &r.lo);
    return r;
#endif
}

bool less_than(U128 a, U128 b)
{
    return a.hi < b.hi || (a.hi == b.hi && a.lo < b.lo);
}

// round(P / 2^shift), ties to even, for 1 <= shift <= 127; false when the
// quotient does not fit in 64 bits.
bool shift_right_rounded(U128 P, int shift, uint64_t *quotient)
{
    uint64_t q;
    U128 remainder, half;
    if (shift < 64) {
        if ((P.hi >> shift) != 0)
            return false;
        q = (P.hi << (64 - shift)) | (P.lo >> shift);
        remainder = {0, P.lo & ((uint64_t{1} << shift) - 1)};
        half = {0, uint64_t{1} << (shift - 1)};
    } else {
        const int s = shift - 64;
        q = s == 0 ? P.hi : P.hi >> s;
        remainder = {s == 0 ? 0 : P.hi & ((uint64_t{1} << s) - 1), P.lo};
        half = s == 0 ? U128{0, uint64_t{1} << 63} : U128{uint64_t{1} << (s - 1), 0};
    }
    const bool above = less_than(half, remainder);
    const bool tie = !above && !less_than(remainder, half);
    if (above || (tie && (q & 1))) {
        if (q == UINT64_MAX)
            return false;
        ++q;
    }
    *quotient = q;
    return true;
}

// N = round(m * 2^e * 10^d) for the fast range; false outside it.
bool scaled_integer(uint64_t m, int e, int d, uint64_t *N)
{
    // 10^d must fit the table and 64 bits, for zero as for any other value.
    if (d > 19)
        return false;
    if (m == 0) {
        *N = 0;
        return true;
    }
    if (e >= 0)
        return false; // whole numbers are handled before this
    const int shift = -e;
    // m * 10^d < 2^53 * 2^63.2 < 2^117: beyond that shift it is below half.
    if (shift >= 118) {
        *N = 0;
        return true;
    }
    return shift_right_rounded(multiply_64x64(m, POW10[d]), shift, N);
}

// N / 10^D and N % 10^D with a constant divisor, which compiles to a
// multiplication instead of a division.
template <int D> void split_at(uint64_t N, uint64_t *whole, uint64_t *fraction)
{
    *whole = N / POW10[D];
    *fraction = N - *whole * POW10[D];
}

void split_decimal(uint64_t N, int d, uint64_t *whole, uint64_t *fraction)
{
    switch (d) {
    case 1: split_at<1>(N, whole, fraction); break;
    case 2: split_at<2>(N, whole, fraction); break;
    case 3: split_at<3>(N, whole, fraction); break;
    case 4: split_at<4>(N, whole, fraction); break;
    case 5: split_at<5>(N, whole, fraction); break;
    case 6: split_at<6>(N, whole, fraction); break;
    case 7: split_at<7>(N, whole, fraction); break;
    case 8: split_at<8>(N, whole, fraction); break;
    case 9: split_at<9>(N, whole, fraction); break;
    default:
        *whole = N / POW10[d];
        *fraction = N - *whole * POW10[d];
        break;
    }
}

// Writes v as exactly `width` digits, zero-padded, ending just before `end`.
template <typename Unsigned> void put_exact_digits(char *end, Unsigned v, int width)
{
    for (; width >= 2; width -= 2) {
        const Unsigned q = v / 100;
        end -= 2;
        put_digit_pair(end, v - q * 100);
        v = q;
    }
    if (width == 1)
        end[-1] = static_cast<char>('0' + v);
}

// Digits of N with a point inserted `d` (at most 19) digits from the right
// and at least one digit before it.
char *put_scaled(char *out, uint64_t N, int d)
{
    if (d == 0)
        return put_uint(out, N);
    uint64_t whole, fraction;
    split_decimal(N, d, &whole, &fraction);
    out = put_uint(out, whole);
    *out++ = '.';
    if (d <= 9)
        put_exact_digits(out + d, static_cast<uint32_t>(fraction), d);
    else
        put_exact_digits(out + d, fraction, d);
    return out + d;
}

char *put_nonfinite(char *out, bool negative, bool nan)
{
    if (negative)
        *out++ = '-';
    std::memcpy(out, nan ? "nan" : "inf", 3);
    return out + 3;
}

char *put_fallback(char *out, double value, int decimals)
{
    return std::to_chars(out, out + MAX_FIXED_TEXT, value, std::chars_format::fixed, decimals).ptr;
}

} // namespace

void multiply_64x64_portable(uint64_t a, uint64_t b, uint64_t *hi, uint64_t *lo)
{
    const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32;
    const uint64_t b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    *lo = (middle << 32) | (p00 & 0xFFFFFFFFu);
    *hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
}

char *put_fixed(char *out, double value, int decimals)
{
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (biased == 0x7FF)
        return put_nonfinite(out, negative, fraction != 0);
    const uint64_t m = biased == 0 ? fraction : fraction | (uint64_t{1} << 52);
    const int e = (biased == 0 ? 1 : biased) - 1075;
    if (e >= 0 && e <= 11) {
        // A whole number below 2^64: its decimals are all zeros.
        if (negative)
            *out++ = '-';
        out = put_uint(out, m << e);
        if (decimals > 0) {
            *out++ = '.';
            std::memset(out, '0', static_cast<size_t>(decimals));
            out += decimals;
        }
        return out;
    }
    uint64_t N;
    if (e < 0 && scaled_integer(m, e, decimals, &N)) {
        if (negative)
            *out++ = '-';
        return put_scaled(out, N, decimals);
    }
    return put_fallback(out, value, decimals);
}

FixedFormat fixed_format(int decimals)
{
    FixedFormat f{decimals, std::numeric_limits<double>::quiet_NaN(), 0};
    if (decimals < 0 || decimals > MAX_FAST_DECIMALS)
        return f;
    f.scale = static_cast<double>(POW10[decimals]);
    f.leadingCap = decimals <= 7 ? uint64_t{1} << (8 * (7 - decimals)) : 0;
    return f;
}

char *put_scaled_other(char *out, uint64_t N, const FixedFormat &f)
{
    return put_scaled(out, N, f.decimals);
}

// Every 32-bit raw value stays within 2^31 of zero.
constexpr double RAW_BOUND = 0x1p31;

CoordinateFormat coordinate_format(double scale, double offset, int decimals)
{
    CoordinateFormat c{fixed_format(decimals), scale, offset, false, 0, 0};
    if (!std::isfinite(scale) || !std::isfinite(offset) || decimals > MAX_FAST_DECIMALS)
        return c;
    const double p10 = c.fixed.scale; // exact
    const double ks = scale * p10, ko = offset * p10;
    const double k = std::nearbyint(ks), O = std::nearbyint(ko);
    // |raw * k + O| stays below 2^53, where the digit routines work.
    if (!(std::fabs(k) <= 0x1p21 && std::fabs(O) <= 0x1p51))
        return c;
    // Error of the printed value v = fl(fl(raw * scale) + offset), times 10^d,
    // against raw * k + O. Each bound uses 2^-52, twice the unit roundoff.
    const double product = RAW_BOUND * std::fabs(scale);
    const double sum = product + std::fabs(offset);
    const double rounding = p10 * (product + 2 * sum) * 0x1p-52;
    const double scaleGap = RAW_BOUND * (std::fabs(ks - k) + std::fabs(ks) * 0x1p-52);
    const double offsetGap = std::fabs(ko - O) + std::fabs(ko) * 0x1p-52;
    // Half a unit would do; a quarter leaves room for the bound's own roundings.
    c.integral = rounding + scaleGap + offsetGap < 0.25;
    c.k = static_cast<int64_t>(k);
    c.O = static_cast<int64_t>(O);
    return c;
}

namespace
{

uint32_t digit_bytes4[10000];

// Runs before main: nothing prints a number during static initialisation.
struct DigitTableFill {
    DigitTableFill()
    {
        for (uint32_t n = 0; n < 10000; ++n)
            digit_bytes4[n] = n / 1000 | (n / 100 % 10) << 8 | (n / 10 % 10) << 16 | (n % 10) << 24;
    }
} digitTableFill;

} // namespace

const uint32_t (&DIGIT_BYTES4)[10000] = digit_bytes4;

char *put_fixed_width(char *out, double value, int decimals, int width)
{
    char text[MAX_FIXED_TEXT];
    const size_t length = static_cast<size_t>(put_fixed(text, value, decimals) - text);
    const size_t w = static_cast<size_t>(width);
    const size_t pad = w > length ? w - length : 0;
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, text, length);
    return out + pad + length;
}
