// The entropy coder on its own, against streams made by a small encoder
// written from the same rules: what was coded is what is decoded, to the
// last byte of the stream and no further; the models adapt at their
// boundaries to the numbers the rules give (worked out by hand); a stream
// cut short is marked damaged without a read past its end; and the
// coordinate predictors follow their update rules.
#include "coder.h"
#include "predictors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace
{

// ---- A reference encoder: the same intervals, narrowed from the other end

// Plain models, kept the simplest way the rules allow.
struct BitOdds {
    uint32_t zeros = 1, seen = 2, pZero = 1u << 12, period = 4, due = 4;

    void saw(uint32_t bit)
    {
        zeros += bit == 0;
        if (--due > 0)
            return;
        seen += period;
        if (seen > 8192) {
            seen = (seen + 1) / 2;
            zeros = (zeros + 1) / 2;
            if (zeros == seen)
                ++seen;
        }
        pZero = (zeros * (0x80000000u / seen)) >> 18;
        period = period * 5 / 4 < 64 ? period * 5 / 4 : 64;
        due = period;
    }
};

struct SymbolOdds {
    std::vector<uint32_t> count, start;
    uint32_t total = 0, period, due = 0;

    explicit SymbolOdds(uint32_t n) : count(n, 1), start(n), period(n)
    {
        adapt();
        period = due = (n + 6) / 2;
    }
    void adapt()
    {
        const uint32_t n = static_cast<uint32_t>(count.size());
        total += period;
        if (total > 32768) {
            total = 0;
            for (uint32_t &c : count)
                total += c = (c + 1) / 2;
        }
        uint32_t sum = 0;
        for (uint32_t s = 0; s < n; ++s) {
            start[s] = ((0x80000000u / total) * sum) >> 16;
            sum += count[s];
        }
        period = std::min((n + 6) * 8, period * 5 / 4);
        due = period;
    }
    void saw(uint32_t s)
    {
        ++count[s];
        if (--due == 0)
            adapt();
    }
};

struct Encoder {
    std::vector<unsigned char> bytes;
    uint64_t low = 0; // 32 bits, and a carry above them
    uint32_t length = UINT32_MAX;

    void carry()
    {
        for (size_t k = bytes.size(); k-- > 0;)
            if (++bytes[k] != 0)
                break;
    }
    void narrow(uint32_t from, uint32_t width)
    {
        low += from;
        if (low >> 32) {
            carry();
            low &= UINT32_MAX;
        }
        length = width;
        while (length < (1u << 24)) {
            bytes.push_back(static_cast<unsigned char>(low >> 24));
            low = (low << 8) & UINT32_MAX;
            length <<= 8;
        }
    }
    void bit(BitOdds *m, uint32_t b)
    {
        const uint32_t x = m->pZero * (length >> 13);
        b == 0 ? narrow(0, x) : narrow(x, length - x);
        m->saw(b);
    }
    void symbol(SymbolOdds *m, uint32_t s)
    {
        const uint32_t unit = length >> 15, x = m->start[s] * unit;
        const uint32_t y = s + 1 == m->count.size() ? length : m->start[s + 1] * unit;
        narrow(x, y - x);
        m->saw(s);
    }
    void raw(uint32_t value, unsigned count)
    {
        if (count > 19) {
            raw(value & 0xFFFF, 16);
            raw(value >> 16, count - 16);
            return;
        }
        const uint32_t step = length >> count;
        narrow(value * step, step);
    }
    // Four bytes of a value inside the interval end the stream: the
    // decoder holds four bytes beyond those the encoder let go.
    std::vector<unsigned char> finish()
    {
        uint64_t v = (low + 0xFFFFFF) & ~uint64_t{0xFFFFFF};
        if (v >> 32) {
            carry();
            v &= UINT32_MAX;
        }
        for (int k = 3; k >= 0; --k)
            bytes.push_back(static_cast<unsigned char>(v >> (8 * k)));
        return bytes;
    }
};

// An integer model's parts on the encoding side: lengths per context, the
// bit of length 0, the places per length.
struct IntegerOdds {
    uint32_t bits;
    std::vector<SymbolOdds> lengthOf;
    BitOdds zeroOrOne;
    std::map<uint32_t, SymbolOdds> placeOf;

    IntegerOdds(uint32_t b, uint32_t contexts) : bits(b), lengthOf(contexts, SymbolOdds(b + 1))
    {
    }
};

uint32_t bitLength(uint32_t v)
{
    uint32_t n = 0;
    for (; v != 0; v >>= 1)
        ++n;
    return n;
}

void encodeInteger(Encoder *e, IntegerOdds *m, int32_t value, int32_t predicted, uint32_t context)
{
    uint32_t diff = static_cast<uint32_t>(value) - static_cast<uint32_t>(predicted);
    if (m->bits < 32) { // the correction nearest zero, in -2^(bits-1) .. 2^(bits-1) - 1
        diff &= (1u << m->bits) - 1;
        if (diff >= 1u << (m->bits - 1))
            diff -= 1u << m->bits;
    }
    const int32_t c = static_cast<int32_t>(diff);
    const uint32_t length = c == INT32_MIN     ? 32
                            : c == 0 || c == 1 ? 0
                            : c > 1            ? bitLength(static_cast<uint32_t>(c - 1))
                                               : bitLength(static_cast<uint32_t>(-c));
    e->symbol(&m->lengthOf[context], length);
    if (length == 0) {
        e->bit(&m->zeroOrOne, static_cast<uint32_t>(c));
        return;
    }
    if (length == 32)
        return;
    const uint32_t place =
        c > 0 ? static_cast<uint32_t>(c) - 1 : static_cast<uint32_t>(c) + ((1u << length) - 1);
    SymbolOdds &places =
        m->placeOf.try_emplace(length, length <= 8 ? 1u << length : 256u).first->second;
    if (length <= 8) {
        e->symbol(&places, place);
        return;
    }
    e->symbol(&places, place >> (length - 8));
    e->raw(place & ((1u << (length - 8)) - 1), length - 8);
}

// ---- Scripts of coded values

enum Kind { BIT, SYMBOL, RAW, INTEGER };

struct Op {
    Kind kind;
    uint32_t value;
    uint32_t size;         // symbols of the model, raw bits, or integer bits
    int32_t predicted = 0; // integers
    uint32_t context = 0;  // integers, of 4
};

// Skewed choices, as real fields are: mostly low symbols, now and then any.
uint32_t skewed(std::mt19937 *rng, uint32_t n)
{
    std::geometric_distribution<uint32_t> low(0.35);
    if ((*rng)() % 8 == 0)
        return (*rng)() % n;
    return std::min(low(*rng), n - 1);
}

std::vector<Op> oneBitEachWay()
{
    return {{BIT, 0, 0}, {BIT, 1, 0}};
}

// Enough bits for the counts to pass 2^13 and be halved, and for the
// period to reach its cap.
std::vector<Op> skewedBits()
{
    std::mt19937 rng(7);
    std::vector<Op> ops;
    for (int k = 0; k < 30000; ++k)
        ops.push_back({BIT, rng() % 10 == 0 ? 1u : 0u, 0});
    return ops;
}

std::vector<Op> symbolsOfEverySize()
{
    std::mt19937 rng(11);
    std::vector<Op> ops;
    for (int k = 0; k < 20000; ++k) {
        const uint32_t n = std::vector<uint32_t>{2, 3, 17, 64, 256, 516, 2048}[rng() % 7];
        ops.push_back({SYMBOL, skewed(&rng, n), n});
    }
    return ops;
}

// One model's total passes 2^15 and its counts are halved, more than once.
std::vector<Op> symbolsPastTheHalving()
{
    std::mt19937 rng(13);
    std::vector<Op> ops;
    for (int k = 0; k < 80000; ++k)
        ops.push_back({SYMBOL, skewed(&rng, 5), 5});
    return ops;
}

std::vector<Op> rawReads()
{
    std::vector<Op> ops;
    std::mt19937 rng(17);
    for (uint32_t bits : {1u, 16u, 17u, 19u, 20u, 32u}) {
        const uint32_t top = bits == 32 ? UINT32_MAX : (1u << bits) - 1;
        for (uint32_t v : {0u, top, top / 2, static_cast<uint32_t>(rng()) & top, 1u})
            ops.push_back({RAW, v, bits});
    }
    return ops;
}

// Corrections of every length, 0 to 32, with the wrap of narrow integers.
std::vector<Op> integersOfEveryLength()
{
    std::vector<Op> ops;
    for (uint32_t length = 0; length <= 31; ++length) {
        const int32_t magnitude = length == 0 ? 1 : static_cast<int32_t>((1u << length) - 1);
        ops.push_back({INTEGER, 100u + static_cast<uint32_t>(magnitude), 32, 100, length % 4});
        ops.push_back({INTEGER, static_cast<uint32_t>(-magnitude), 32, 0, 3});
    }
    ops.push_back({INTEGER, 0x80000000u, 32, 0, 1}); // the lowest: length 32
    ops.push_back({INTEGER, 0, 32, INT32_MAX, 2});   // wraps in 32 bits
    ops.push_back({INTEGER, 65535, 16, 0, 0});       // 0 - 1, wrapped
    ops.push_back({INTEGER, 0, 16, 65535, 1});       // 65535 + 1, wrapped
    ops.push_back({INTEGER, 32768, 16, 0, 2});       // the lowest 16-bit correction
    ops.push_back({INTEGER, 200, 8, 10, 3});
    ops.push_back({INTEGER, 10, 8, 200, 0});
    return ops;
}

std::vector<Op> mixed()
{
    std::mt19937 rng(19);
    std::vector<Op> ops;
    for (int k = 0; k < 30000; ++k) {
        switch (rng() % 4) {
        case 0: ops.push_back({BIT, rng() % 3 == 0 ? 1u : 0u, 0}); break;
        case 1: ops.push_back({SYMBOL, skewed(&rng, 256), 256}); break;
        case 2: ops.push_back({RAW, static_cast<uint32_t>(rng()) & 0x3FFF, 14}); break;
        default: {
            const uint32_t bits = rng() % 2 ? 32 : 16;
            const int32_t predicted = static_cast<int32_t>(rng() % 50000);
            const int32_t step = static_cast<int32_t>(skewed(&rng, 2048)) - 20;
            uint32_t value = static_cast<uint32_t>(predicted + step);
            if (bits == 16)
                value &= 0xFFFF;
            ops.push_back({INTEGER, value, bits, predicted, static_cast<uint32_t>(rng() % 4)});
        }
        }
    }
    return ops;
}

std::vector<unsigned char> encode(const std::vector<Op> &ops)
{
    Encoder e;
    BitOdds bit;
    std::map<uint32_t, SymbolOdds> symbols;
    std::map<uint32_t, IntegerOdds> integers;
    for (const Op &op : ops) {
        switch (op.kind) {
        case BIT: e.bit(&bit, op.value); break;
        case SYMBOL:
            e.symbol(&symbols.try_emplace(op.size, op.size).first->second, op.value);
            break;
        case RAW: e.raw(op.value, op.size); break;
        case INTEGER:
            encodeInteger(&e, &integers.try_emplace(op.size, op.size, 4u).first->second,
                          static_cast<int32_t>(op.value), op.predicted, op.context);
            break;
        }
    }
    return e.finish();
}

// Decodes the script's values from `bytes`, as many as `ops` names;
// stops at the first that differs, and says which.
struct Decoded {
    size_t matching = 0;
    LazInput in{};
};

Decoded decode(const std::vector<Op> &ops, const std::vector<unsigned char> &bytes)
{
    Decoded d;
    d.in = LazInput{bytes.data(), bytes.data() + bytes.size(), false};
    LazStream s;
    lazOpenStream(&s, &d.in);
    LazBitModel bit;
    lazStartBitModel(&bit);
    std::map<uint32_t, LazSymbolModel> symbols;
    std::map<uint32_t, LazIntegerModel> integers;
    for (const Op &op : ops) {
        uint32_t got = 0;
        switch (op.kind) {
        case BIT: got = lazBit(&s, &bit); break;
        case SYMBOL: {
            LazSymbolModel &m = symbols[op.size];
            got = lazSymbolStartingAt(&s, &m, op.size);
            break;
        }
        case RAW: got = lazRawBits(&s, op.size); break;
        case INTEGER: {
            auto [at, fresh] = integers.try_emplace(op.size);
            if (fresh)
                lazStartIntegerModel(&at->second, op.size, 4);
            got = static_cast<uint32_t>(lazInteger(&s, &at->second, op.predicted, op.context));
            break;
        }
        }
        if (got != op.value)
            return d;
        ++d.matching;
    }
    return d;
}

struct Script {
    const char *name;
    std::vector<Op> (*make)();
};

const Script SCRIPTS[] = {
    {"one bit each way", oneBitEachWay},
    {"skewed bits past the halving", skewedBits},
    {"symbols of models of 2 to 2048 symbols", symbolsOfEverySize},
    {"symbols past the halving of their counts", symbolsPastTheHalving},
    {"raw reads of 1, 16, 17, 19, 20 and 32 bits", rawReads},
    {"integers of every correction length", integersOfEveryLength},
    {"bits, symbols, raw bits and integers mixed", mixed},
};

} // namespace

TEST(LazCoder, DecodesWhatWasCodedAndNotAByteMore)
{
    for (const Script &script : SCRIPTS) {
        SCOPED_TRACE(script.name);
        const std::vector<Op> ops = script.make();
        const std::vector<unsigned char> bytes = encode(ops);
        const Decoded d = decode(ops, bytes);
        EXPECT_EQ(d.matching, ops.size()) << "the first value that differs";
        EXPECT_FALSE(d.in.damaged);
        EXPECT_EQ(d.in.next, d.in.end) << "the stream is not used up exactly";
    }
}

TEST(LazCoder, AStreamCutShortIsMarkedDamagedAndNeverReadPastItsEnd)
{
    for (const Script &script : SCRIPTS) {
        SCOPED_TRACE(script.name);
        const std::vector<Op> ops = script.make();
        const std::vector<unsigned char> whole = encode(ops);
        for (size_t keep : {size_t{0}, size_t{3}, whole.size() / 2, whole.size() - 1}) {
            // A buffer of exactly the bytes kept, so that a read past them
            // is one AddressSanitizer sees.
            const std::vector<unsigned char> cut(whole.begin(), whole.begin() + keep);
            const Decoded d = decode(ops, cut);
            EXPECT_TRUE(d.in.damaged) << keep << " of " << whole.size() << " bytes";
            EXPECT_EQ(d.in.next, d.in.end);
        }
    }
}

TEST(LazCoder, AStreamStartingOutsideTheIntervalIsDamaged)
{
    const unsigned char bytes[] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    LazInput in{bytes, bytes + sizeof bytes, false};
    LazStream s;
    lazOpenStream(&s, &in);
    EXPECT_TRUE(in.damaged);
    EXPECT_LT(s.code, s.range);
}

// Raw values split the width into 2^bits equal steps; what is left over
// at its top no writer uses, and a code there is damage.
TEST(LazCoder, ARawValueTooLargeForItsBitsMarksTheStreamDamaged)
{
    const unsigned char bytes[] = {0, 0, 0, 0, 0, 0, 0, 0};
    struct Case {
        uint32_t code, range;
        uint32_t value;
        bool damaged;
    };
    const Case cases[] = {
        {(1u << 24) - 1, (1u << 24) + 1, 1, false}, // the top of the last step
        {1u << 24, (1u << 24) + 1, 2, true},        // in the leftover
    };
    for (const Case &c : cases) {
        LazInput in{bytes, bytes + sizeof bytes, false};
        LazStream s;
        lazOpenStream(&s, &in);
        s.code = c.code, s.range = c.range;
        EXPECT_EQ(lazRawBits(&s, 1), c.value);
        EXPECT_EQ(in.damaged, c.damaged) << c.code;
    }
}

// The bit model's reckoning, from states a decoder reaches: the numbers
// are the rules' arithmetic done by hand.
TEST(LazCoder, BitModelsReckonTheirOddsAsTheRulesSay)
{
    struct Case {
        const char *what;
        uint32_t zeros, seen, period;                       // before
        uint32_t zerosAfter, seenAfter, pZero, periodAfter; // after
    };
    const Case cases[] = {
        {"the first reckoning: 3 zeros of 4", 4, 2, 4, 4, 6, 5461, 5},
        {"counts past 2^13 are halved, rounding up", 5000, 8150, 64, 2500, 4107, 4986, 64},
        {"halved counts that meet keep a one possible", 8193, 8129, 64, 4097, 4098, 8189, 64},
        {"the period stops at 64", 40, 100, 63, 40, 163, 2010, 64},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        LazBitModel m;
        lazStartBitModel(&m);
        EXPECT_EQ(m.pZero, 4096u);
        m.zeros = c.zeros, m.seen = c.seen, m.period = c.period;
        lazReckonBitModel(&m);
        EXPECT_EQ(m.zeros, c.zerosAfter);
        EXPECT_EQ(m.seen, c.seenAfter);
        EXPECT_EQ(m.pZero, c.pZero);
        EXPECT_EQ(m.period, c.periodAfter);
        EXPECT_EQ(m.due, c.periodAfter);
    }
}

TEST(LazCoder, SymbolModelsReckonTheirSharesAsTheRulesSay)
{
    struct Case {
        const char *what;
        std::vector<uint32_t> tallies; // at the reckoning
        uint32_t tallied, period;      // before it
        std::vector<uint32_t> talliesAfter, starts;
        uint32_t talliedAfter, periodAfter;
    };
    const Case cases[] = {
        {"a symbol seen often gets a larger share",
         {5, 1, 2, 1},
         4,
         5,
         {5, 1, 2, 1},
         {0, 18204, 21845, 29127},
         9,
         6},
        {"a total past 2^15 halves every tally, rounding up; the period stops at (n + 6) * 8",
         {32100, 700, 8},
         32748,
         60,
         {16050, 350, 4},
         {0, 32060, 32759},
         16404,
         72},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        LazSymbolModel m;
        const uint32_t n = static_cast<uint32_t>(c.tallies.size());
        lazStartSymbolModel(&m, n);
        std::memcpy(lazTallies(&m), c.tallies.data(), 4 * n);
        m.tallied = c.tallied, m.period = c.period;
        lazReckonSymbolModel(&m);
        EXPECT_EQ(std::vector<uint32_t>(lazTallies(&m), lazTallies(&m) + n), c.talliesAfter);
        EXPECT_EQ(std::vector<uint32_t>(m.cells.begin(), m.cells.begin() + n), c.starts);
        EXPECT_EQ(m.tallied, c.talliedAfter);
        EXPECT_EQ(m.period, c.periodAfter);
    }
    // A fresh model: every symbol counted once, shares alike, and the
    // first period (n + 6) / 2.
    LazSymbolModel fresh;
    lazStartSymbolModel(&fresh, 3);
    EXPECT_EQ(std::vector<uint32_t>(fresh.cells.begin(), fresh.cells.begin() + 3),
              (std::vector<uint32_t>{0, 10922, 21845}));
    EXPECT_EQ(fresh.tallied, 3u);
    EXPECT_EQ(fresh.period, 4u);
}

TEST(LazPredictors, FiveDifferencesDropTheHighestAndLowestByTurns)
{
    struct Push {
        int32_t difference;
        std::vector<int32_t> sorted; // after it
    };
    // Worked by hand from the rule: the turn passes on only when the new
    // difference lands at or beyond the middle, on the side last emptied.
    const Push pushes[] = {
        {5, {0, 0, 0, 0, 5}}, {-3, {-3, 0, 0, 0, 5}}, {7, {-3, 0, 0, 0, 7}},  {2, {0, 0, 0, 2, 7}},
        {1, {0, 0, 1, 2, 7}}, {1, {0, 1, 1, 2, 7}},   {-5, {-5, 0, 1, 1, 2}}, {1, {-5, 0, 1, 1, 1}},
        {1, {0, 1, 1, 1, 1}}, {0, {0, 0, 1, 1, 1}},
    };
    LazDifferenceWindow w;
    EXPECT_EQ(lazPredictedDifference(w), 0);
    for (const Push &p : pushes) {
        lazAddDifference(&w, p.difference);
        EXPECT_EQ(std::vector<int32_t>(w.sorted, w.sorted + 5), p.sorted)
            << "after " << p.difference;
        EXPECT_EQ(lazPredictedDifference(w), p.sorted[2]);
    }
}

TEST(LazPredictors, TheMiddleOfThreeWhateverTheirOrder)
{
    const int32_t cases[][4] = {
        {1, 2, 3, 2},
        {3, 2, 1, 2},
        {2, 3, 1, 2},
        {1, 3, 2, 2},
        {5, 5, 1, 5},
        {-1, 4, 4, 4},
        {INT32_MIN, 0, INT32_MAX, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lazMiddleOfThree(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1] << " " << c[2];
}
