// LAZ: the item decoders of POINT10, the 20 bytes of point data formats 0 to 5: versions 1 and 2.
#ifndef HOLVANE_LAZ_ITEM_POINT10_H
#define HOLVANE_LAZ_ITEM_POINT10_H

#include "item_common.h"
#include "predictors.h"

#include <vector>

struct LazPoint10V1Decoder {
    unsigned char last[20];
    int32_t xDiffs[3], yDiffs[3]; // the last three, oldest first after a wrap
    unsigned nextDiff;            // where the next goes
    LazSymbolModel changedValues;
    LazByteModels bitByte, classification, userData;
    LazIntegerModel dx, dy, z, intensity, scanAngleRank, pointSourceID;
};

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

void lazStartPoint10V1(LazPoint10V1Decoder *p, const unsigned char *first);
void lazReadPoint10V1(LazStream *d, LazPoint10V1Decoder *p, unsigned char *out);
void lazStartPoint10(LazPoint10Decoder *p, const unsigned char *first);
void lazReadPoint10(LazStream *d, LazPoint10Decoder *p, unsigned char *out);

#endif
