// LAZ: the item decoders of the first LASzip releases, version 1, for
// point data formats 0 to 5 (POINT10, GPSTIME11, RGB12 and BYTE), and the
// wave packet decoder, WAVEPACKET13 version 1, whose scheme the layered
// WAVEPACKET14 keeps. Each starts from the first record, stored raw.
#ifndef HOLVANE_LAZ_ITEMS_V1_H
#define HOLVANE_LAZ_ITEMS_V1_H

#include "coder.h"

#include <array>

struct LazPoint10V1Decoder {
    unsigned char last[20];
    int32_t xDiffs[3], yDiffs[3]; // the last three, oldest first after a wrap
    unsigned nextDiff;            // where the next goes
    LazSymbolModel changedValues;
    LazByteModels bitByte, classification, userData;
    LazIntegerModel dx, dy, z, intensity, scanAngleRank, pointSourceID;
};

struct LazGpsTimeV1Decoder {
    uint64_t lastTime;
    int32_t lastDiff;
    int32_t extremeCount;
    LazSymbolModel multi, zeroDiff;
    LazIntegerModel time;
};

struct LazRgbV1Decoder {
    uint16_t last[3];
    LazSymbolModel byteUsed;
    LazIntegerModel rgb;
};

struct LazBytesV1Decoder {
    std::vector<unsigned char> last;
    LazIntegerModel bytes;
};

struct LazWavePacketModels {
    uint32_t lastOffsetCode; // how the last offset was coded: the context of the next
    int32_t lastOffsetDiff;
    LazSymbolModel packetIndex, offsetCode[4];
    LazIntegerModel offsetDiff, packetSize, returnPoint, xyz;
};

void lazStartPoint10V1(LazPoint10V1Decoder *p, const unsigned char *first);
void lazReadPoint10V1(LazStream *d, LazPoint10V1Decoder *p, unsigned char *out);
void lazStartGpsTimeV1(LazGpsTimeV1Decoder *g, const unsigned char *first);
void lazReadGpsTimeV1(LazStream *d, LazGpsTimeV1Decoder *g, unsigned char *out);
void lazStartRgbV1(LazRgbV1Decoder *c, const unsigned char *first);
void lazReadRgbV1(LazStream *d, LazRgbV1Decoder *c, unsigned char *out);
void lazStartBytesV1(LazBytesV1Decoder *b, const unsigned char *first, size_t count);
void lazReadBytesV1(LazStream *d, LazBytesV1Decoder *b, unsigned char *out);

// The 29 bytes of a wave packet: its descriptor index, then 28 bytes
// predicted from `last`'s, which become the new ones.
void lazInitWavePacketModels(LazWavePacketModels *m);
void lazDecodeWavePacket(LazStream *d, LazWavePacketModels *m, unsigned char *last,
                         unsigned char *out);

#endif
