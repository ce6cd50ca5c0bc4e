// LAZ: the arithmetic decoder of the LASzip scheme, its adaptive models and
// the integer decompressor built on them. Bytes come from one buffer; a
// read past its end yields zeros and is remembered, so that a corrupt or
// cut stream can never make the decoder read outside its input.
#ifndef HOLVANE_LAZ_ARITHMETIC_DECODER_H
#define HOLVANE_LAZ_ARITHMETIC_DECODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct LazInput {
    const unsigned char *next;
    const unsigned char *end;
    bool overrun; // a byte was asked for beyond `end`
};

struct LazDecoder {
    LazInput *in;
    uint32_t value;
    uint32_t length;
};

// An adaptive model of `symbols` symbols (2 to 2048).
struct LazSymbolModel {
    uint32_t symbols = 0;
    uint32_t lastSymbol = 0;
    uint32_t tableSize = 0, tableShift = 0;
    uint32_t totalCount = 0, updateCycle = 0, symbolsUntilUpdate = 0;
    std::vector<uint32_t> distribution, symbolCount, decoderTable;
};

// An adaptive model of one bit.
struct LazBitModel {
    uint32_t bit0Count = 1, bitCount = 2, bit0Probability = 1u << 12;
    uint32_t updateCycle = 4, bitsUntilUpdate = 4;
};

// Corrections of integer predictions, in `contexts` contexts.
struct LazIntegerDecoder {
    uint32_t bits = 16, contexts = 1, bitsHigh = 8;
    uint32_t correctorBits = 16, correctorRange = 0;
    int32_t correctorMin = 0;
    uint32_t k = 0; // the magnitude class of the last correction
    std::vector<LazSymbolModel> magnitude;
    LazBitModel corrector0;
    std::vector<LazSymbolModel> corrector; // [1..correctorBits]
};

// Starts decoding at the input's position: four bytes, big-endian.
void lazStartDecoder(LazDecoder *d, LazInput *in);

void lazInitSymbolModel(LazSymbolModel *m, uint32_t symbols);
void lazInitBitModel(LazBitModel *m);
// Raw bits, bytes and words, not modelled.
uint32_t lazReadBits(LazDecoder *d, uint32_t bits);
uint32_t lazReadShort(LazDecoder *d);
uint32_t lazReadInt(LazDecoder *d);

void lazInitIntegerDecoder(LazIntegerDecoder *c, uint32_t bits, uint32_t contexts,
                           uint32_t bitsHigh = 8);
// A model's probabilities made anew from its counts, every so many symbols.
void lazUpdateSymbolModel(LazSymbolModel *m);
void lazUpdateBitModel(LazBitModel *m);

// The decoding itself, every few nanoseconds of a conversion: defined here
// so that every item decoder has it inlined.
constexpr uint32_t LAZ_MIN_LENGTH = 0x01000000u; // renormalise below this
constexpr uint32_t LAZ_BIT_LENGTH_SHIFT = 13;
constexpr uint32_t LAZ_SYMBOL_LENGTH_SHIFT = 15;

inline uint8_t lazGetByte(LazInput *in)
{
    if (in->next < in->end)
        return *in->next++;
    in->overrun = true;
    return 0;
}

inline void lazRenormalise(LazDecoder *d)
{
    // A valid stream never empties the interval; a corrupt one ends here.
    if (d->length == 0) {
        d->in->overrun = true;
        d->length = LAZ_MIN_LENGTH;
        return;
    }
    do
        d->value = d->value << 8 | lazGetByte(d->in);
    while ((d->length <<= 8) < LAZ_MIN_LENGTH);
}

// Decoding with the model's table: a first guess, then bisection. A
// corrupt stream cannot make the guess leave the table.
inline uint32_t lazSymbolByTable(const LazSymbolModel *m, uint32_t scaled, uint32_t *n)
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

inline uint32_t lazDecodeSymbol(LazDecoder *d, LazSymbolModel *m)
{
    uint32_t n, symbol, x, y = d->length;
    if (m->tableSize != 0) {
        const uint32_t scaled = d->value / (d->length >>= LAZ_SYMBOL_LENGTH_SHIFT);
        symbol = lazSymbolByTable(m, scaled, &n);
        x = m->distribution[symbol] * d->length;
        if (symbol != m->lastSymbol)
            y = m->distribution[symbol + 1] * d->length;
    } else {
        x = symbol = 0;
        d->length >>= LAZ_SYMBOL_LENGTH_SHIFT;
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
    if (d->length < LAZ_MIN_LENGTH)
        lazRenormalise(d);
    ++m->symbolCount[symbol];
    if (--m->symbolsUntilUpdate == 0)
        lazUpdateSymbolModel(m);
    return symbol;
}

inline uint32_t lazDecodeBit(LazDecoder *d, LazBitModel *m)
{
    const uint32_t x = m->bit0Probability * (d->length >> LAZ_BIT_LENGTH_SHIFT);
    const uint32_t bit = d->value >= x ? 1 : 0;
    if (bit == 0) {
        d->length = x;
        ++m->bit0Count;
    } else {
        d->value -= x;
        d->length -= x;
    }
    if (d->length < LAZ_MIN_LENGTH)
        lazRenormalise(d);
    if (--m->bitsUntilUpdate == 0)
        lazUpdateBitModel(m);
    return bit;
}

// A correction: its magnitude class k, then which of the values of that
// class, in one symbol or, for large k, a symbol and raw low bits.
inline int32_t lazReadCorrection(LazDecoder *d, LazIntegerDecoder *c, LazSymbolModel *magnitude)
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

inline int32_t lazDecompressInteger(LazDecoder *d, LazIntegerDecoder *c, int32_t prediction,
                                    uint32_t context)
{
    if (context >= c->contexts)
        context = c->contexts - 1;
    uint32_t real = static_cast<uint32_t>(prediction) +
                    static_cast<uint32_t>(lazReadCorrection(d, c, &c->magnitude[context]));
    if (c->correctorRange != 0) {
        if (static_cast<int32_t>(real) < 0)
            real += c->correctorRange;
        else if (real >= c->correctorRange)
            real -= c->correctorRange;
    }
    return static_cast<int32_t>(real);
}

#endif
