// LAZ: the entropy coder's starts, the models' reckoning of their odds,
// raw bits and integers.
#include "coder.h"

#include <algorithm>

void lazOpenStream(LazStream *s, LazInput *in)
{
    s->in = in;
    s->range = UINT32_MAX;
    s->code = 0;
    for (int k = 0; k < 4; ++k)
        s->code = s->code << 8 | lazNextByte(in);
    if (s->code >= s->range) { // no writer starts so
        in->damaged = true;
        s->code = 0;
    }
}

void lazRefillNearTheEnd(LazStream *s)
{
    while (s->range < (1u << 24)) {
        s->code = s->code << 8 | lazNextByte(s->in);
        s->range <<= 8;
    }
}

void lazStartBitModel(LazBitModel *m)
{
    m->zeros = 1;
    m->seen = 2;
    m->pZero = 1u << 12;
    m->period = 4;
    m->due = 4;
}

void lazReckonBitModel(LazBitModel *m)
{
    m->seen += m->period;
    if (m->seen > (1u << 13)) {
        m->seen = (m->seen + 1) / 2;
        m->zeros = (m->zeros + 1) / 2;
        // Rounding up can make every counted bit a zero; a one must stay
        // possible.
        if (m->zeros == m->seen)
            m->seen = m->zeros + 1;
    }
    m->pZero = (m->zeros * ((1u << 31) / m->seen)) >> 18;
    m->period = std::min(64u, m->period * 5 / 4);
    m->due = m->period;
}

namespace
{

// Guide slots: at least two a symbol, so that a walk is rarely needed,
// and at most 1024 (and the few past 2^15), so that rebuilding the guide
// stays cheap beside the symbols decoded between two rebuilds.
unsigned guideBitsFor(uint32_t symbols)
{
    unsigned bits = 2;
    while ((1u << bits) < 2 * symbols && bits < 10)
        ++bits;
    return bits;
}

uint32_t guideSlots(unsigned guideShift)
{
    return (((1u << 15) + 64) >> guideShift) + 1;
}

// Each slot's entry: the last symbol whose share starts at or below the
// slot's first quotient, the lowest symbol that a quotient in that slot
// can decode to. A symbol serves the slots whose first quotient lies in
// its share.
void buildGuide(LazSymbolModel *m)
{
    const uint32_t n = m->symbols, shift = m->guideShift;
    const uint32_t *starts = m->cells.data();
    uint64_t *guide = m->guide.data();
    const uint32_t slots = guideSlots(shift);
    uint32_t slot = 0;
    for (uint32_t s = 0; s + 1 < n; ++s) {
        const uint32_t end = starts[s + 1];
        const uint64_t entry = uint64_t{end} << 32 | uint64_t{starts[s]} << 16 | s;
        for (const uint32_t next = (end + (1u << shift) - 1) >> shift; slot < next; ++slot)
            guide[slot] = entry;
    }
    // The last share's end is past every quotient, like the starts'.
    const uint64_t last = uint64_t{0xFFFF} << 32 | uint64_t{starts[n - 1]} << 16 | (n - 1);
    for (; slot < slots; ++slot)
        guide[slot] = last;
}

} // namespace

void lazStartSymbolModel(LazSymbolModel *m, uint32_t symbols)
{
    const unsigned guideBits = guideBitsFor(symbols);
    m->symbols = symbols;
    m->guideShift = 15 - guideBits;
    m->cells.assign(2 * size_t{symbols} + 1, 0);
    m->guide.resize(guideSlots(m->guideShift));
    m->cells[symbols] = UINT32_MAX; // above every quotient: ends each walk
    std::fill_n(lazTallies(m), symbols, 1u);
    m->tallied = 0;
    m->period = symbols;
    lazReckonSymbolModel(m);
    m->period = (symbols + 6) / 2;
    m->due = m->period;
}

uint32_t lazWalkToShare(const uint32_t *starts, uint32_t symbol, uint32_t quotient)
{
    while (starts[symbol + 1] <= quotient)
        ++symbol;
    return symbol;
}

void lazReckonSymbolModel(LazSymbolModel *m)
{
    const uint32_t n = m->symbols;
    uint32_t *tally = lazTallies(m);
    m->tallied += m->period;
    if (m->tallied > (1u << 15)) {
        m->tallied = 0;
        for (uint32_t s = 0; s < n; ++s) {
            tally[s] = (tally[s] + 1) / 2;
            m->tallied += tally[s];
        }
    }
    const uint32_t perTally = (1u << 31) / m->tallied;
    uint32_t *starts = m->cells.data();
    uint32_t before = 0; // tallies of the symbols below s
    for (uint32_t s = 0; s < n; ++s) {
        starts[s] = (perTally * before) >> 16;
        before += tally[s];
    }
    buildGuide(m);
    m->period = std::min((n + 6) * 8, m->period * 5 / 4);
    m->due = m->period;
}

uint32_t lazRawBits(LazStream *s, unsigned count)
{
    if (count > 19) {
        const uint32_t low = lazRawBits(s, 16);
        return lazRawBits(s, count - 16) << 16 | low;
    }
    s->range >>= count;
    const uint32_t value = s->code / s->range;
    if (value >> count != 0)
        s->in->damaged = true; // no writer codes a value that does not fit
    s->code -= value * s->range;
    lazRefill(s);
    return value;
}

void lazStartIntegerModel(LazIntegerModel *m, uint32_t bits, uint32_t contexts)
{
    m->bits = bits;
    m->lastBitLength = 0;
    m->lengthOf.resize(contexts);
    for (LazSymbolModel &lengths : m->lengthOf)
        lazStartSymbolModel(&lengths, bits + 1);
    lazStartBitModel(&m->zeroOrOne);
    // Long corrections are rare: their models are made when first met.
    m->placeOf.resize(bits);
    for (LazSymbolModel &places : m->placeOf)
        lazStartOnFirstUse(&places);
}

namespace
{

// Where the correction lies among the 2^length of its bit length.
uint32_t placeOfCorrection(LazStream *s, LazIntegerModel *m, uint32_t length)
{
    LazSymbolModel *model = &m->placeOf[length - 1];
    if (length <= 8)
        return lazSymbolStartingAt(s, model, 1u << length);
    const uint32_t high = lazSymbolStartingAt(s, model, 256);
    return high << (length - 8) | lazRawBits(s, length - 8);
}

// The correction's two's-complement bits. Length 0 holds 0 and 1; length
// k >= 1 holds the 2^(k-1) negative corrections -(2^k - 1) .. -2^(k-1),
// then the positive ones 2^(k-1) + 1 .. 2^k; length 32 only the lowest
// 32-bit integer.
uint32_t correctionOf(LazStream *s, LazIntegerModel *m, uint32_t length)
{
    if (length == 0)
        return lazBit(s, &m->zeroOrOne);
    if (length >= 32)
        return 1u << 31;
    const uint32_t place = placeOfCorrection(s, m, length);
    if (place >= 1u << (length - 1))
        return place + 1;
    return place - ((1u << length) - 1);
}

} // namespace

int32_t lazInteger(LazStream *s, LazIntegerModel *m, int32_t predicted, uint32_t context)
{
    const uint32_t length = lazSymbol(s, &m->lengthOf[context]);
    m->lastBitLength = length;
    const uint32_t correction = correctionOf(s, m, length);
    if (m->bits >= 32)
        return static_cast<int32_t>(static_cast<uint32_t>(predicted) + correction);
    // Narrower integers wrap into 0 .. 2^bits - 1.
    const int64_t modulus = int64_t{1} << m->bits;
    int64_t sum = int64_t{predicted} + static_cast<int32_t>(correction);
    if (sum < 0)
        sum += modulus;
    else if (sum >= modulus)
        sum -= modulus;
    return static_cast<int32_t>(sum);
}
