// LAZ: the item decoders of GPSTIME11, the GPS time of formats 1 and 3 to 5 (versions 1 and 2),
// also the time layer of POINT14.
#ifndef HOLVANE_LAZ_ITEM_GPS_TIME_H
#define HOLVANE_LAZ_ITEM_GPS_TIME_H

#include "item_common.h"

#include <vector>

struct LazGpsTimeV1Decoder {
    uint64_t lastTime;
    int32_t lastDiff;
    int32_t extremeCount;
    LazSymbolModel multi, zeroDiff;
    LazIntegerModel time;
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

void lazStartGpsTimeV1(LazGpsTimeV1Decoder *g, const unsigned char *first);
void lazReadGpsTimeV1(LazStream *d, LazGpsTimeV1Decoder *g, unsigned char *out);
void lazStartGpsTime(LazGpsTimeDecoder *g, const unsigned char *first, bool layered = false);
// False when the stream keeps switching sequences, as only a corrupt one does.
bool lazReadGpsTime(LazStream *d, LazGpsTimeDecoder *g, unsigned char *out);

#endif
