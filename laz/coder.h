// LAZ: the entropy coder that every LAZ stream is written with, reading
// side: an arithmetic-coded stream, the adaptive models of bits and of
// symbols that steer it, raw bits, and the integers that item decoders
// predict and then correct. It knows nothing of points: the item decoders
// say which model each field is read with.
//
// The decoding steps are inline, since an item decoder makes a few dozen
// of them a point; the models' adaptation, rare by comparison, is not.
#ifndef HOLVANE_LAZ_CODER_H
#define HOLVANE_LAZ_CODER_H

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

// The bytes of one stream. A read past `end` gives a zero and marks the
// stream damaged, and so does a value that no writer can have coded:
// callers look at `damaged` once a point or a chunk is decoded, and no
// step ever reads outside [next, end).
struct LazInput {
    const unsigned char *next;
    const unsigned char *end;
    bool damaged;
};

// A stream being decoded. Each step narrows an interval: `range` is its
// width, and `code` is where the stream's bytes fall within it, counted
// from its start. Whenever the width drops below 2^24, a byte is shifted
// into both, so the interval's top byte is always settled.
struct LazStream {
    uint32_t code;
    uint32_t range;
    LazInput *in;
};

// Starts a stream: its first four bytes, most significant first. The code
// then lies within the width, and every step keeps it there.
void lazOpenStream(LazStream *s, LazInput *in);

inline uint32_t lazNextByte(LazInput *in)
{
    if (in->next < in->end)
        return *in->next++;
    in->damaged = true;
    return 0;
}

void lazRefillNearTheEnd(LazStream *s);

// As many bytes as the width lacks to reach 2^24 again: none, one, two or
// three (the width is never 0). Away from the stream's end they are
// shifted in at once, without a branch on their number, which no
// predictor could guess.
inline void lazRefill(LazStream *s)
{
    LazInput *in = s->in;
    if (in->end - in->next < 4) {
        lazRefillNearTheEnd(s);
        return;
    }
    const unsigned shift = 8 * (static_cast<unsigned>(std::countl_zero(s->range)) / 8);
    const uint32_t ahead = uint32_t{in->next[0]} << 24 | uint32_t{in->next[1]} << 16 |
                           uint32_t{in->next[2]} << 8 | in->next[3];
    s->code = static_cast<uint32_t>((uint64_t{s->code} << 32 | ahead) >> (32 - shift));
    s->range <<= shift;
    in->next += shift / 8;
}

// ---- Bits ----

// A two-way choice whose odds follow the bits it has seen, reckoned anew
// after every `period` bits, and more rarely as the counts settle.
struct LazBitModel {
    uint32_t zeros;  // zeros counted (from 1, so that neither side has odds of 0)
    uint32_t seen;   // bits counted (from 2)
    uint32_t pZero;  // chance of a zero, in units of 2^-13
    uint32_t period; // bits between two reckonings, growing to 64
    uint32_t due;    // bits left until the next
};

void lazStartBitModel(LazBitModel *m);
void lazReckonBitModel(LazBitModel *m);

inline uint32_t lazBit(LazStream *s, LazBitModel *m)
{
    const uint32_t zeroWidth = m->pZero * (s->range >> 13);
    uint32_t bit = 1;
    if (s->code < zeroWidth) {
        s->range = zeroWidth;
        ++m->zeros;
        bit = 0;
    } else {
        s->code -= zeroWidth;
        s->range -= zeroWidth;
    }
    lazRefill(s);
    if (--m->due == 0)
        lazReckonBitModel(m);
    return bit;
}

// ---- Symbols ----

// One of n symbols (2 to 2048), with odds that follow the symbols seen.
// Each symbol owns a share of the interval, from starts[s] to starts[s+1]
// in units of 2^-15 of it. The quotient code / (range / 2^15) falls into
// exactly one share; the guide, a table over the top bits of that
// quotient, names the lowest symbol its slot can hold, so a decode seldom
// walks a step instead of searching all n. The quotient can pass 2^15 by
// up to 64 (the width is not a multiple of 2^15): the guide's last slots
// serve those.
struct LazSymbolModel {
    uint32_t symbols = 0; // n; 0 until the model is first used
    uint32_t period;      // symbols between two reckonings of the shares
    uint32_t due;         // symbols left until the next
    uint32_t tallied;     // what the tallies add up to
    uint32_t guideShift;  // quotient >> guideShift is the guide's slot
    // n + 1 share starts (the last above every quotient, which ends every
    // walk), then n tallies.
    std::vector<uint32_t> cells;
    // A slot's lowest symbol, with where its share starts and ends.
    std::vector<uint64_t> guide;
};

// Makes *m a fresh model of `symbols` symbols, keeping its allocation.
void lazStartSymbolModel(LazSymbolModel *m, uint32_t symbols);
// Lets *m start afresh when it is next used: item decoders keep hundreds
// of models that a byte's previous value selects, and most never serve.
inline void lazStartOnFirstUse(LazSymbolModel *m)
{
    m->symbols = 0;
}
void lazReckonSymbolModel(LazSymbolModel *m);

// A model for each value of a byte, the one its last value selects.
using LazByteModels = std::array<LazSymbolModel, 256>;
inline void lazStartOnFirstUse(LazByteModels *models)
{
    for (LazSymbolModel &m : *models)
        lazStartOnFirstUse(&m);
}

inline uint32_t *lazTallies(LazSymbolModel *m)
{
    return m->cells.data() + m->symbols + 1;
}

uint32_t lazWalkToShare(const uint32_t *starts, uint32_t symbol, uint32_t quotient);

inline uint32_t lazSymbol(LazStream *s, LazSymbolModel *m)
{
    const uint32_t *starts = m->cells.data();
    const uint32_t unit = s->range >> 15;
    const uint32_t quotient = s->code / unit;
    // Each guide entry holds a symbol and the bounds of its share, so
    // that the usual decode, whose slot holds no later share, waits for one
    // load only.
    const uint64_t entry = m->guide[quotient >> m->guideShift];
    uint32_t symbol = entry & 0xFFFF;
    uint32_t start = (entry >> 16) & 0xFFFF;
    uint32_t end = static_cast<uint32_t>(entry >> 32);
    if (end <= quotient) {
        symbol = lazWalkToShare(starts, symbol + 1, quotient);
        start = starts[symbol];
        end = starts[symbol + 1];
    }
    const uint32_t low = start * unit;
    if (symbol + 1 == m->symbols)
        s->range -= low; // the last share ends where the interval does
    else
        s->range = end * unit - low;
    s->code -= low;
    lazRefill(s);
    ++lazTallies(m)[symbol];
    if (--m->due == 0)
        lazReckonSymbolModel(m);
    return symbol;
}

// A symbol from a model that may not have been used yet.
inline uint32_t lazSymbolStartingAt(LazStream *s, LazSymbolModel *m, uint32_t symbols)
{
    if (m->symbols == 0)
        lazStartSymbolModel(m, symbols);
    return lazSymbol(s, m);
}

// ---- Raw bits ----

// Up to 19 bits coded with even odds; more are read 16 at a time, the
// lowest first.
uint32_t lazRawBits(LazStream *s, unsigned count);

inline uint32_t lazRaw32(LazStream *s)
{
    const uint32_t low = lazRawBits(s, 16);
    return lazRawBits(s, 16) << 16 | low;
}

inline uint64_t lazRaw64(LazStream *s)
{
    const uint64_t low = lazRaw32(s);
    return uint64_t{lazRaw32(s)} << 32 | low;
}

// ---- Integers ----

// Integers coded as a prediction plus a correction. A correction is sent
// as its bit length (how many bits its magnitude needs, 0 to `bits`, with
// a model per context), then as its place among the corrections of that
// length: the top 8 bits of the place with a model per length, the rest
// raw. Lengths of the previous correction steer the contexts of the next
// field in several items, so it is kept.
struct LazIntegerModel {
    uint32_t bits = 32;                   // results wrap modulo 2^bits
    uint32_t lastBitLength = 0;           // of the last correction
    std::vector<LazSymbolModel> lengthOf; // one a context
    LazBitModel zeroOrOne;                // a correction of length 0: 0 or 1
    std::vector<LazSymbolModel> placeOf;  // [length - 1], started on first use
};

// Makes *m fresh for `bits`-bit integers (1 to 32) in `contexts` contexts.
void lazStartIntegerModel(LazIntegerModel *m, uint32_t bits, uint32_t contexts);

// The integer at `predicted` plus the correction read in `context`.
int32_t lazInteger(LazStream *s, LazIntegerModel *m, int32_t predicted, uint32_t context);

#endif
