// LAZ: the layered item decoders of point data formats 6 to 10, versions 3
// and 4: POINT14 (the 30 bytes every record starts with), RGB14, RGBNIR14,
// WAVEPACKET14 and BYTE14. A chunk stores each field in a layer of its own,
// an arithmetic stream that can be decoded, or left alone, by itself; and
// each of the four scanner channels has its own models and predictions.
#ifndef HOLVANE_LAZ_ITEMS_V3_H
#define HOLVANE_LAZ_ITEMS_V3_H

#include "items_v1.h"
#include "items_v2.h"

// One layer of a chunk: its own stream, and whether it is decoded (it is
// when it has bytes, which means the field changes within the chunk, and
// its field is wanted).
struct LazLayer {
    LazInput in{nullptr, nullptr, false};
    LazStream d{};
    bool decoded = false;
};

enum {
    LAZ_LAYER_XY, // scanner channel, returns, X and Y
    LAZ_LAYER_Z,
    LAZ_LAYER_CLASSIFICATION,
    LAZ_LAYER_FLAGS,
    LAZ_LAYER_INTENSITY,
    LAZ_LAYER_SCAN_ANGLE,
    LAZ_LAYER_USER_DATA,
    LAZ_LAYER_POINT_SOURCE,
    LAZ_LAYER_GPS_TIME,
    LAZ_POINT14_LAYERS
};

// Models that a field's last value selects, each started when first used.
using LazLazyModels16 = std::array<LazSymbolModel, 16>;
using LazLazyModels64 = std::array<LazSymbolModel, 64>;

struct LazPoint14Context {
    bool used;
    unsigned char last[30];
    bool lastTimeChanged;
    uint16_t lastIntensity[8];
    LazDifferenceWindow xDiffs[12], yDiffs[12];
    int32_t lastZ[8];
    LazSymbolModel changedValues[8], scannerChannel, returnNumberSameTime;
    LazLazyModels16 numberOfReturns, returnNumber;
    LazLazyModels64 classification, flags, userData;
    LazIntegerModel dx, dy, z, intensity, scanAngle, pointSourceID;
    LazGpsTimeDecoder time;
};

struct LazPoint14Decoder {
    unsigned version; // 3 or 4
    unsigned channel; // the context in hand
    LazLayer layer[LAZ_POINT14_LAYERS];
    LazPoint14Context context[4];
};

struct LazRgb14Context {
    bool used;
    uint16_t last[4]; // red, green, blue, near infrared
    LazRgbModels rgb;
    LazSymbolModel nirUsed, nirDiff[2];
};

struct LazRgb14Decoder {
    unsigned version;
    unsigned channel;
    bool nir; // RGBNIR14: a second layer, near infrared
    LazLayer layer[2];
    LazRgb14Context context[4];
};

struct LazWavePacket14Context {
    bool used;
    unsigned char last[29];
    LazWavePacketModels models;
};

struct LazWavePacket14Decoder {
    unsigned version;
    unsigned channel;
    LazLayer layer;
    unsigned char unchanged[29]; // the first record's, when the layer is not decoded
    LazWavePacket14Context context[4];
};

struct LazByte14Context {
    bool used;
    std::vector<unsigned char> last;
    std::vector<LazSymbolModel> byte;
};

struct LazByte14Decoder {
    unsigned version;
    unsigned channel;
    std::vector<LazLayer> layer; // one a byte
    LazByte14Context context[4];
};

// Each starts from the chunk's first record, stored raw, once the layers
// are set up. POINT14 gives the scanner channel that the others use: the
// context each read returns, which the others then read in.
unsigned lazStartPoint14(LazPoint14Decoder *p, const unsigned char *first);
bool lazReadPoint14(LazPoint14Decoder *p, unsigned char *out, unsigned *context);
void lazStartRgb14(LazRgb14Decoder *c, const unsigned char *first, unsigned context);
void lazReadRgb14(LazRgb14Decoder *c, unsigned char *out, unsigned context);
void lazStartWavePacket14(LazWavePacket14Decoder *w, const unsigned char *first, unsigned context);
void lazReadWavePacket14(LazWavePacket14Decoder *w, unsigned char *out, unsigned context);
void lazStartByte14(LazByte14Decoder *b, const unsigned char *first, unsigned context);
void lazReadByte14(LazByte14Decoder *b, unsigned char *out, unsigned context);

#endif
