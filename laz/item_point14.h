// LAZ: the item decoders of POINT14, the 30 bytes of point data formats 6 to 10, in its layers.
#ifndef HOLVANE_LAZ_ITEM_POINT14_H
#define HOLVANE_LAZ_ITEM_POINT14_H

#include "item_common.h"
#include "item_gps_time.h"
#include "predictors.h"

#include <vector>

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

// Each starts from the chunk's first record, stored raw, once the layers
// are set up. POINT14 gives the scanner channel that the others use: the
// context each read returns, which the others then read in.
unsigned lazStartPoint14(LazPoint14Decoder *p, const unsigned char *first);
bool lazReadPoint14(LazPoint14Decoder *p, unsigned char *out, unsigned *context);

#endif
