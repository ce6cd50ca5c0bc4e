// LAZ: the item decoders of point data formats 0 to 5, version 2:
// POINT10 (the 20 bytes every record starts with), GPSTIME11, RGB12 and
// BYTE (extra bytes). Each starts from the chunk's first record, stored
// raw, and then decodes one item a call.
#ifndef HOLVANE_LAZ_ITEMS_V2_H
#define HOLVANE_LAZ_ITEMS_V2_H

#include "coder.h"
#include "predictors.h"

#include <array>

struct LazPoint10Decoder {
    unsigned char last[20];
    LazDifferenceWindow xDiffs[16], yDiffs[16];
    uint16_t lastIntensity[16];
    int32_t lastHeight[8];
    LazSymbolModel changedValues;
    LazIntegerModel intensity;
    LazSymbolModel scanAngleRank[2];
    LazIntegerModel pointSourceID;
    // Models chosen by the previous value of the byte, made when first used.
    LazByteModels bitByte, classification, userData;
    LazIntegerModel dx, dy, dz;
};

struct LazGpsTimeDecoder {
    bool layered; // formats 6-10 code "unchanged" apart, and number the symbols so
    uint64_t lastTime[4];
    int32_t lastDiff[4];
    int32_t extremeCount[4];
    unsigned last, next;
    LazSymbolModel multi, zeroDiff;
    LazIntegerModel time;
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
void lazReadPoint10(LazStream *d, LazPoint10Decoder *p, unsigned char *out);
void lazStartGpsTime(LazGpsTimeDecoder *g, const unsigned char *first, bool layered = false);
// False when the stream keeps switching sequences, as only a corrupt one does.
bool lazReadGpsTime(LazStream *d, LazGpsTimeDecoder *g, unsigned char *out);
void lazStartRgb(LazRgbDecoder *c, const unsigned char *first);
void lazReadRgb(LazStream *d, LazRgbDecoder *c, unsigned char *out);
void lazInitRgbModels(LazRgbModels *m);
// A colour predicted from `last`, which becomes it.
void lazDecodeRgb(LazStream *d, LazRgbModels *m, uint16_t *last, unsigned char *out);
// A byte plus a difference, wrapped into 0..255.
uint8_t lazFold(int32_t n);
void lazStartBytes(LazBytesDecoder *b, const unsigned char *first, size_t count);
void lazReadBytes(LazStream *d, LazBytesDecoder *b, unsigned char *out);

#endif
