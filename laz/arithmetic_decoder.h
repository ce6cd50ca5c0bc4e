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

uint8_t lazGetByte(LazInput *in);

// Starts decoding at the input's position: four bytes, big-endian.
void lazStartDecoder(LazDecoder *d, LazInput *in);

void lazInitSymbolModel(LazSymbolModel *m, uint32_t symbols);
void lazInitBitModel(LazBitModel *m);
uint32_t lazDecodeSymbol(LazDecoder *d, LazSymbolModel *m);
uint32_t lazDecodeBit(LazDecoder *d, LazBitModel *m);
// Raw bits, bytes and words, not modelled.
uint32_t lazReadBits(LazDecoder *d, uint32_t bits);
uint32_t lazReadShort(LazDecoder *d);
uint32_t lazReadInt(LazDecoder *d);

void lazInitIntegerDecoder(LazIntegerDecoder *c, uint32_t bits, uint32_t contexts,
                           uint32_t bitsHigh = 8);
// The prediction plus the decoded correction, wrapped into the value's range.
int32_t lazDecompressInteger(LazDecoder *d, LazIntegerDecoder *c, int32_t prediction,
                             uint32_t context);

#endif
