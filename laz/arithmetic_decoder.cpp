// LAZ: arithmetic decoding with adaptive models, as the LASzip scheme
// defines it. All arithmetic is on unsigned 32-bit words, which wrap as
// the scheme's own arithmetic does.
#include "arithmetic_decoder.h"

namespace
{

constexpr uint32_t MIN_LENGTH = 0x01000000u; // renormalise below this
constexpr uint32_t MAX_LENGTH = 0xFFFFFFFFu;
constexpr uint32_t BIT_LENGTH_SHIFT = 13;
constexpr uint32_t BIT_MAX_COUNT = 1u << BIT_LENGTH_SHIFT;
constexpr uint32_t SYMBOL_LENGTH_SHIFT = 15;
constexpr uint32_t SYMBOL_MAX_COUNT = 1u << SYMBOL_LENGTH_SHIFT;

void renormalise(LazDecoder *d)
{
    // A valid stream never empties the interval; a corrupt one ends here.
    if (d->length == 0) {
        d->in->overrun = true;
        d->length = MIN_LENGTH;
        return;
    }
    do
        d->value = d->value << 8 | lazGetByte(d->in);
    while ((d->length <<= 8) < MIN_LENGTH);
}

void updateSymbolModel(LazSymbolModel *m)
{
    if ((m->totalCount += m->updateCycle) > SYMBOL_MAX_COUNT) {
        m->totalCount = 0;
        for (uint32_t n = 0; n < m->symbols; ++n)
            m->totalCount += (m->symbolCount[n] = (m->symbolCount[n] + 1) >> 1);
    }
    const uint32_t scale = 0x80000000u / m->totalCount;
    uint32_t sum = 0, s = 0;
    for (uint32_t k = 0; k < m->symbols; ++k) {
        m->distribution[k] = (scale * sum) >> (31 - SYMBOL_LENGTH_SHIFT);
        sum += m->symbolCount[k];
        if (m->tableSize == 0)
            continue;
        const uint32_t w = m->distribution[k] >> m->tableShift;
        while (s < w && s + 1 < m->decoderTable.size())
            m->decoderTable[++s] = k - 1;
    }
    if (m->tableSize != 0) {
        m->decoderTable[0] = 0;
        while (s <= m->tableSize)
            m->decoderTable[++s] = m->symbols - 1;
    }
    m->updateCycle = (5 * m->updateCycle) >> 2;
    const uint32_t maxCycle = (m->symbols + 6) << 3;
    if (m->updateCycle > maxCycle)
        m->updateCycle = maxCycle;
    m->symbolsUntilUpdate = m->updateCycle;
}

void updateBitModel(LazBitModel *m)
{
    if ((m->bitCount += m->updateCycle) > BIT_MAX_COUNT) {
        m->bitCount = (m->bitCount + 1) >> 1;
        m->bit0Count = (m->bit0Count + 1) >> 1;
        if (m->bit0Count == m->bitCount)
            ++m->bitCount;
    }
    const uint32_t scale = 0x80000000u / m->bitCount;
    m->bit0Probability = (m->bit0Count * scale) >> (31 - BIT_LENGTH_SHIFT);
    m->updateCycle = (5 * m->updateCycle) >> 2;
    if (m->updateCycle > 64)
        m->updateCycle = 64;
    m->bitsUntilUpdate = m->updateCycle;
}

// Decoding with the model's table: a first guess, then bisection. A
// corrupt stream cannot make the guess leave the table.
uint32_t symbolByTable(const LazSymbolModel *m, uint32_t scaled, uint32_t *n)
{
    uint32_t t = scaled >> m->tableShift;
    if (t >= m->tableSize)
        t = m->tableSize;
    uint32_t symbol = m->decoderTable[t];
    *n = m->decoderTable[t + 1] + 1;
    if (*n > m->symbols)
        *n = m->symbols;
    while (*n > symbol + 1) {
        const uint32_t k = (symbol + *n) >> 1;
        if (m->distribution[k] > scaled)
            *n = k;
        else
            symbol = k;
    }
    return symbol;
}

} // namespace

uint8_t lazGetByte(LazInput *in)
{
    if (in->next < in->end)
        return *in->next++;
    in->overrun = true;
    return 0;
}

void lazStartDecoder(LazDecoder *d, LazInput *in)
{
    d->in = in;
    d->length = MAX_LENGTH;
    d->value = 0;
    for (int k = 0; k < 4; ++k)
        d->value = d->value << 8 | lazGetByte(in);
}

void lazInitSymbolModel(LazSymbolModel *m, uint32_t symbols)
{
    if (m->symbols != symbols) {
        m->symbols = symbols;
        m->lastSymbol = symbols - 1;
        m->tableSize = m->tableShift = 0;
        if (symbols > 16) {
            uint32_t tableBits = 3;
            while (symbols > (1u << (tableBits + 2)))
                ++tableBits;
            m->tableSize = 1u << tableBits;
            m->tableShift = SYMBOL_LENGTH_SHIFT - tableBits;
        }
        m->distribution.assign(symbols, 0);
        m->symbolCount.assign(symbols, 0);
        m->decoderTable.assign(m->tableSize ? m->tableSize + 2 : 0, 0);
    }
    m->totalCount = 0;
    m->updateCycle = symbols;
    for (uint32_t k = 0; k < symbols; ++k)
        m->symbolCount[k] = 1;
    updateSymbolModel(m);
    m->symbolsUntilUpdate = m->updateCycle = (symbols + 6) >> 1;
}

void lazInitBitModel(LazBitModel *m)
{
    *m = LazBitModel{};
}

uint32_t lazDecodeSymbol(LazDecoder *d, LazSymbolModel *m)
{
    uint32_t n, symbol, x, y = d->length;
    if (m->tableSize != 0) {
        const uint32_t scaled = d->value / (d->length >>= SYMBOL_LENGTH_SHIFT);
        symbol = symbolByTable(m, scaled, &n);
        x = m->distribution[symbol] * d->length;
        if (symbol != m->lastSymbol)
            y = m->distribution[symbol + 1] * d->length;
    } else {
        x = symbol = 0;
        d->length >>= SYMBOL_LENGTH_SHIFT;
        uint32_t k = (n = m->symbols) >> 1;
        do {
            const uint32_t z = d->length * m->distribution[k];
            if (z > d->value) {
                n = k;
                y = z;
            } else {
                symbol = k;
                x = z;
            }
        } while ((k = (symbol + n) >> 1) != symbol);
    }
    d->value -= x;
    d->length = y - x;
    if (d->length < MIN_LENGTH)
        renormalise(d);
    ++m->symbolCount[symbol];
    if (--m->symbolsUntilUpdate == 0)
        updateSymbolModel(m);
    return symbol;
}

uint32_t lazDecodeBit(LazDecoder *d, LazBitModel *m)
{
    const uint32_t x = m->bit0Probability * (d->length >> BIT_LENGTH_SHIFT);
    const uint32_t bit = d->value >= x ? 1 : 0;
    if (bit == 0) {
        d->length = x;
        ++m->bit0Count;
    } else {
        d->value -= x;
        d->length -= x;
    }
    if (d->length < MIN_LENGTH)
        renormalise(d);
    if (--m->bitsUntilUpdate == 0)
        updateBitModel(m);
    return bit;
}

uint32_t lazReadBits(LazDecoder *d, uint32_t bits)
{
    if (bits > 19) {
        const uint32_t low = lazReadShort(d);
        return lazReadBits(d, bits - 16) << 16 | low;
    }
    const uint32_t symbol = d->value / (d->length >>= bits);
    d->value -= d->length * symbol;
    if (d->length < MIN_LENGTH)
        renormalise(d);
    return symbol & ((1u << bits) - 1);
}

uint32_t lazReadShort(LazDecoder *d)
{
    const uint32_t symbol = d->value / (d->length >>= 16);
    d->value -= d->length * symbol;
    if (d->length < MIN_LENGTH)
        renormalise(d);
    return symbol & 0xFFFFu;
}

uint32_t lazReadInt(LazDecoder *d)
{
    const uint32_t low = lazReadShort(d);
    return lazReadShort(d) << 16 | low;
}

void lazInitIntegerDecoder(LazIntegerDecoder *c, uint32_t bits, uint32_t contexts,
                           uint32_t bitsHigh)
{
    c->bits = bits, c->contexts = contexts, c->bitsHigh = bitsHigh;
    if (bits != 0 && bits < 32) {
        c->correctorBits = bits;
        c->correctorRange = 1u << bits;
        c->correctorMin = -static_cast<int32_t>(c->correctorRange / 2);
    } else {
        c->correctorBits = 32;
        c->correctorRange = 0;
        c->correctorMin = INT32_MIN;
    }
    c->k = 0;
    c->magnitude.resize(contexts);
    for (LazSymbolModel &m : c->magnitude)
        lazInitSymbolModel(&m, c->correctorBits + 1);
    lazInitBitModel(&c->corrector0);
    c->corrector.resize(c->correctorBits + 1);
    for (uint32_t i = 1; i <= c->correctorBits; ++i)
        lazInitSymbolModel(&c->corrector[i], 1u << (i <= bitsHigh ? i : bitsHigh));
}

namespace
{

// A correction: its magnitude class k, then which of the values of that
// class, in one symbol or, for large k, a symbol and raw low bits.
int32_t readCorrection(LazDecoder *d, LazIntegerDecoder *c, LazSymbolModel *magnitude)
{
    c->k = lazDecodeSymbol(d, magnitude);
    const uint32_t k = c->k;
    if (k == 0)
        return static_cast<int32_t>(lazDecodeBit(d, &c->corrector0));
    if (k >= 32)
        return c->correctorMin;
    uint32_t v;
    if (k <= c->bitsHigh) {
        v = lazDecodeSymbol(d, &c->corrector[k]);
    } else {
        const uint32_t lowBits = k - c->bitsHigh;
        v = lazDecodeSymbol(d, &c->corrector[k]) << lowBits;
        v |= lazReadBits(d, lowBits);
    }
    // [0, 2^(k-1)) are the negative corrections, [2^(k-1), 2^k) the positive.
    if (v >= (1u << (k - 1)))
        return static_cast<int32_t>(v + 1);
    return static_cast<int32_t>(v - ((1u << k) - 1));
}

} // namespace

int32_t lazDecompressInteger(LazDecoder *d, LazIntegerDecoder *c, int32_t prediction,
                             uint32_t context)
{
    if (context >= c->contexts)
        context = c->contexts - 1;
    uint32_t real = static_cast<uint32_t>(prediction) +
                    static_cast<uint32_t>(readCorrection(d, c, &c->magnitude[context]));
    if (c->correctorRange != 0) {
        if (static_cast<int32_t>(real) < 0)
            real += c->correctorRange;
        else if (real >= c->correctorRange)
            real -= c->correctorRange;
    }
    return static_cast<int32_t>(real);
}
