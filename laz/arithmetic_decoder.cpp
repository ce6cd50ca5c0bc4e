// LAZ: arithmetic decoding with adaptive models, as the LASzip scheme
// defines it. All arithmetic is on unsigned 32-bit words, which wrap as
// the scheme's own arithmetic does.
#include "arithmetic_decoder.h"

namespace
{

constexpr uint32_t MAX_LENGTH = 0xFFFFFFFFu;
constexpr uint32_t BIT_MAX_COUNT = 1u << LAZ_BIT_LENGTH_SHIFT;
constexpr uint32_t SYMBOL_MAX_COUNT = 1u << LAZ_SYMBOL_LENGTH_SHIFT;

} // namespace

void lazUpdateSymbolModel(LazSymbolModel *m)
{
    if ((m->totalCount += m->updateCycle) > SYMBOL_MAX_COUNT) {
        m->totalCount = 0;
        for (uint32_t n = 0; n < m->symbols; ++n)
            m->totalCount += (m->symbolCount[n] = (m->symbolCount[n] + 1) >> 1);
    }
    const uint32_t scale = 0x80000000u / m->totalCount;
    uint32_t *distribution = m->distribution.data();
    const uint32_t *count = m->symbolCount.data();
    uint32_t sum = 0;
    for (uint32_t k = 0; k < m->symbols; ++k) {
        distribution[k] = (scale * sum) >> (31 - LAZ_SYMBOL_LENGTH_SHIFT);
        sum += count[k];
    }
    if (m->tableSize != 0) {
        // Every count is at least 1, so each distribution value lies below
        // 2^15 and its slot within the table; the clamp only guards that.
        uint32_t *table = m->decoderTable.data();
        uint32_t s = 0;
        for (uint32_t k = 0; k < m->symbols; ++k) {
            uint32_t w = distribution[k] >> m->tableShift;
            w = w < m->tableSize ? w : m->tableSize;
            while (s < w)
                table[++s] = k - 1;
        }
        table[0] = 0;
        while (s <= m->tableSize)
            table[++s] = m->symbols - 1;
    }
    m->updateCycle = (5 * m->updateCycle) >> 2;
    const uint32_t maxCycle = (m->symbols + 6) << 3;
    if (m->updateCycle > maxCycle)
        m->updateCycle = maxCycle;
    m->symbolsUntilUpdate = m->updateCycle;
}

void lazUpdateBitModel(LazBitModel *m)
{
    if ((m->bitCount += m->updateCycle) > BIT_MAX_COUNT) {
        m->bitCount = (m->bitCount + 1) >> 1;
        m->bit0Count = (m->bit0Count + 1) >> 1;
        if (m->bit0Count == m->bitCount)
            ++m->bitCount;
    }
    const uint32_t scale = 0x80000000u / m->bitCount;
    m->bit0Probability = (m->bit0Count * scale) >> (31 - LAZ_BIT_LENGTH_SHIFT);
    m->updateCycle = (5 * m->updateCycle) >> 2;
    if (m->updateCycle > 64)
        m->updateCycle = 64;
    m->bitsUntilUpdate = m->updateCycle;
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
            // The table only narrows the search: a finer one than the
            // scheme's (a slot for every four symbols) leaves fewer
            // dependent steps in each decode.
            uint32_t tableBits = 3;
            while ((1u << tableBits) < 2 * symbols && tableBits < LAZ_SYMBOL_LENGTH_SHIFT)
                ++tableBits;
            m->tableSize = 1u << tableBits;
            m->tableShift = LAZ_SYMBOL_LENGTH_SHIFT - tableBits;
        }
        m->distribution.assign(symbols, 0);
        m->symbolCount.assign(symbols, 0);
        m->decoderTable.assign(m->tableSize ? m->tableSize + 2 : 0, 0);
    }
    m->totalCount = 0;
    m->updateCycle = symbols;
    for (uint32_t k = 0; k < symbols; ++k)
        m->symbolCount[k] = 1;
    lazUpdateSymbolModel(m);
    m->symbolsUntilUpdate = m->updateCycle = (symbols + 6) >> 1;
}

void lazInitBitModel(LazBitModel *m)
{
    *m = LazBitModel{};
}

uint32_t lazReadBits(LazDecoder *d, uint32_t bits)
{
    if (bits > 19) {
        const uint32_t low = lazReadShort(d);
        return lazReadBits(d, bits - 16) << 16 | low;
    }
    const uint32_t symbol = d->value / (d->length >>= bits);
    d->value -= d->length * symbol;
    if (d->length < LAZ_MIN_LENGTH)
        lazRenormalise(d);
    return symbol & ((1u << bits) - 1);
}

uint32_t lazReadShort(LazDecoder *d)
{
    const uint32_t symbol = d->value / (d->length >>= 16);
    d->value -= d->length * symbol;
    if (d->length < LAZ_MIN_LENGTH)
        lazRenormalise(d);
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
