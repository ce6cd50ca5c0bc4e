// LAZ: the item decoders of point data formats 0 to 5, version 2:
// POINT10 (the 20 bytes every record starts with), GPSTIME11, RGB12 and
// BYTE (extra bytes). Each starts from the chunk's first record, stored
// raw, and then decodes one item a call.
#ifndef HOLVANE_LAZ_ITEMS_V2_H
#define HOLVANE_LAZ_ITEMS_V2_H

#include "arithmetic_decoder.h"

#include <array>
#include <memory>

// The running median of the last five values.
struct LazMedian5 {
    int32_t values[5] = {0, 0, 0, 0, 0};
    bool high = true;
};

// Adds a value, keeping the five sorted; the median is values[2].
void lazAddToMedian(LazMedian5 *m, int32_t v);

struct LazPoint10Decoder {
    unsigned char last[20];
    LazMedian5 xDiffs[16], yDiffs[16];
    uint16_t lastIntensity[16];
    int32_t lastHeight[8];
    LazSymbolModel changedValues;
    LazIntegerDecoder intensity;
    LazSymbolModel scanAngleRank[2];
    LazIntegerDecoder pointSourceID;
    // Models chosen by the previous value of the byte, made when first used.
    std::array<std::unique_ptr<LazSymbolModel>, 256> bitByte, classification, userData;
    LazIntegerDecoder dx, dy, dz;
};

struct LazGpsTimeDecoder {
    bool layered; // formats 6-10 code "unchanged" apart, and number the symbols so
    uint64_t lastTime[4];
    int32_t lastDiff[4];
    int32_t extremeCount[4];
    unsigned last, next;
    LazSymbolModel multi, zeroDiff;
    LazIntegerDecoder time;
};

struct LazRgbModels {
    LazSymbolModel byteUsed;
    LazSymbolModel diff[6];
};

struct LazRgbDecoder {
    uint16_t last[3];
    LazRgbModels models;
};

struct LazBytesDecoder {
    std::vector<unsigned char> last;
    std::vector<LazSymbolModel> byte;
};

void lazStartPoint10(LazPoint10Decoder *p, const unsigned char *first);
void lazReadPoint10(LazDecoder *d, LazPoint10Decoder *p, unsigned char *out);
void lazStartGpsTime(LazGpsTimeDecoder *g, const unsigned char *first, bool layered = false);
// False when the stream keeps switching sequences, as only a corrupt one does.
bool lazReadGpsTime(LazDecoder *d, LazGpsTimeDecoder *g, unsigned char *out);
void lazStartRgb(LazRgbDecoder *c, const unsigned char *first);
void lazReadRgb(LazDecoder *d, LazRgbDecoder *c, unsigned char *out);
void lazInitRgbModels(LazRgbModels *m);
// A colour predicted from `last`, which becomes it.
void lazDecodeRgb(LazDecoder *d, LazRgbModels *m, uint16_t *last, unsigned char *out);
// A byte plus a difference, wrapped into 0..255.
uint8_t lazFold(int32_t n);
void lazStartBytes(LazBytesDecoder *b, const unsigned char *first, size_t count);
void lazReadBytes(LazDecoder *d, LazBytesDecoder *b, unsigned char *out);

#endif
