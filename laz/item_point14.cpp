// LAZ: the item decoders of POINT14, the 30 bytes of point data formats 6 to 10, in its layers.
#include "item_point14.h"

#include "record_bytes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

// Offsets of the fields of the 30-byte record.
enum : size_t {
    AT_X = 0,
    AT_Y = 4,
    AT_Z = 8,
    AT_INTENSITY = 12,
    AT_RETURNS = 14, // return number (low 4 bits), number of returns (high 4)
    AT_FLAGS = 15,   // classification flags 0-3, channel 4-5, direction 6, edge 7
    AT_CLASSIFICATION = 16,
    AT_USER_DATA = 17,
    AT_SCAN_ANGLE = 18,
    AT_POINT_SOURCE = 20,
    AT_GPS_TIME = 22,
};

// The changed-values symbol's bits.
enum : uint32_t {
    CHANGED_CHANNEL = 64,
    CHANGED_POINT_SOURCE = 32,
    CHANGED_GPS_TIME = 16,
    CHANGED_SCAN_ANGLE = 8,
    CHANGED_NUMBER_OF_RETURNS = 4,
};

// Context of the coordinate predictions by number of returns n (row) and
// return number r (column), for returns numbered up to 15; numberings from
// 0 and mixed-up fields get contexts of their own.
const uint8_t RETURN_MAP_6[16][16] = {
    {0, 1, 2, 3, 4, 5, 3, 4, 4, 5, 5, 5, 5, 5, 5, 5},
    {1, 0, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
    {2, 1, 2, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3},
    {3, 3, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {3, 3, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5},
};

// Context of the height prediction: how far the return is from the last,
// up to 7.
unsigned returnLevel(unsigned n, unsigned r)
{
    const unsigned distance = n > r ? n - r : r - n;
    return distance < 7 ? distance : 7;
}

uint32_t decodeLazy(LazLayer *layer, LazSymbolModel *model, uint32_t symbols)
{
    return lazSymbolStartingAt(&layer->d, model, symbols);
}

// A context's models, fresh, and its predictions taken from `record`.
void startPoint14Context(LazPoint14Context *c, const unsigned char *record)
{
    for (LazSymbolModel &m : c->changedValues)
        lazStartSymbolModel(&m, 128);
    lazStartSymbolModel(&c->scannerChannel, 3);
    lazStartSymbolModel(&c->returnNumberSameTime, 13);
    for (int i = 0; i < 16; ++i)
        lazStartOnFirstUse(&c->numberOfReturns[i]), lazStartOnFirstUse(&c->returnNumber[i]);
    for (int i = 0; i < 64; ++i)
        lazStartOnFirstUse(&c->classification[i]), lazStartOnFirstUse(&c->flags[i]),
            lazStartOnFirstUse(&c->userData[i]);
    lazStartIntegerModel(&c->dx, 32, 2);
    lazStartIntegerModel(&c->dy, 32, 22);
    lazStartIntegerModel(&c->z, 32, 20);
    lazStartIntegerModel(&c->intensity, 16, 4);
    lazStartIntegerModel(&c->scanAngle, 16, 2);
    lazStartIntegerModel(&c->pointSourceID, 16, 1);
    for (int i = 0; i < 12; ++i)
        c->xDiffs[i] = LazDifferenceWindow{}, c->yDiffs[i] = LazDifferenceWindow{};
    for (int i = 0; i < 8; ++i) {
        c->lastZ[i] = lazLoad<int32_t>(record + AT_Z);
        c->lastIntensity[i] = lazLoad<uint16_t>(record + AT_INTENSITY);
    }
    lazStartGpsTime(&c->time, record + AT_GPS_TIME, true);
    std::memcpy(c->last, record, 30);
    c->lastTimeChanged = false;
    c->used = true;
}

// The return number, as the changed-values symbol says it differs from
// the last.
unsigned decodeReturnNumber(LazLayer *xy, LazPoint14Context *c, uint32_t changed, unsigned lastR,
                            bool timeChanged)
{
    switch (changed & 3) {
    case 0: return lastR;
    case 1: return (lastR + 1) % 16;
    case 2: return (lastR + 15) % 16;
    default:
        if (timeChanged)
            return decodeLazy(xy, &c->returnNumber[lastR], 16);
        return (lastR + lazSymbol(&xy->d, &c->returnNumberSameTime) + 2) % 16;
    }
}

// The fields outside the XY layer, each from its own layer when decoded.
// `cpr`: single, first, last or intermediate return.
bool decodeOtherLayers(LazPoint14Decoder *p, LazPoint14Context *c, uint32_t changed, unsigned n,
                       unsigned l, unsigned cpr)
{
    unsigned char *last = c->last;
    LazLayer *layer = p->layer;
    const unsigned timeChanged = changed & CHANGED_GPS_TIME ? 1 : 0;
    if (layer[LAZ_LAYER_Z].decoded) {
        const uint32_t k = (c->dx.lastBitLength + c->dy.lastBitLength) / 2;
        c->lastZ[l] = lazInteger(&layer[LAZ_LAYER_Z].d, &c->z, c->lastZ[l],
                                 (n == 1) + (k < 18 ? k & ~1u : 18));
        lazStore<int32_t>(last + AT_Z, c->lastZ[l]);
    }
    if (layer[LAZ_LAYER_CLASSIFICATION].decoded) {
        const unsigned ccc = ((last[AT_CLASSIFICATION] & 0x1Fu) << 1) + (cpr == 3 ? 1 : 0);
        last[AT_CLASSIFICATION] = static_cast<uint8_t>(
            decodeLazy(&layer[LAZ_LAYER_CLASSIFICATION], &c->classification[ccc], 256));
    }
    if (layer[LAZ_LAYER_FLAGS].decoded) {
        const uint8_t f = last[AT_FLAGS];
        const unsigned lastFlags = (f >> 7) << 5 | ((f >> 6) & 1) << 4 | (f & 15);
        const uint32_t flags = decodeLazy(&layer[LAZ_LAYER_FLAGS], &c->flags[lastFlags], 64);
        last[AT_FLAGS] = static_cast<uint8_t>(((flags >> 5) & 1) << 7 | ((flags >> 4) & 1) << 6 |
                                              (f & 0x30) | (flags & 15));
    }
    if (layer[LAZ_LAYER_INTENSITY].decoded) {
        uint16_t &lastIntensity = c->lastIntensity[cpr << 1 | timeChanged];
        lastIntensity = static_cast<uint16_t>(
            lazInteger(&layer[LAZ_LAYER_INTENSITY].d, &c->intensity, lastIntensity, cpr));
        lazStore<uint16_t>(last + AT_INTENSITY, lastIntensity);
    }
    if (layer[LAZ_LAYER_SCAN_ANGLE].decoded && (changed & CHANGED_SCAN_ANGLE))
        lazStore<uint16_t>(
            last + AT_SCAN_ANGLE,
            static_cast<uint16_t>(lazInteger(&layer[LAZ_LAYER_SCAN_ANGLE].d, &c->scanAngle,
                                             lazLoad<int16_t>(last + AT_SCAN_ANGLE), timeChanged)));
    if (layer[LAZ_LAYER_USER_DATA].decoded)
        last[AT_USER_DATA] = static_cast<uint8_t>(
            decodeLazy(&layer[LAZ_LAYER_USER_DATA], &c->userData[last[AT_USER_DATA] / 4], 256));
    if (layer[LAZ_LAYER_POINT_SOURCE].decoded && (changed & CHANGED_POINT_SOURCE))
        lazStore<uint16_t>(
            last + AT_POINT_SOURCE,
            static_cast<uint16_t>(lazInteger(&layer[LAZ_LAYER_POINT_SOURCE].d, &c->pointSourceID,
                                             lazLoad<uint16_t>(last + AT_POINT_SOURCE), 0)));
    if (layer[LAZ_LAYER_GPS_TIME].decoded && timeChanged)
        return lazReadGpsTime(&layer[LAZ_LAYER_GPS_TIME].d, &c->time, last + AT_GPS_TIME);
    return true;
}

} // namespace

unsigned lazStartPoint14(LazPoint14Decoder *p, const unsigned char *first)
{
    for (LazPoint14Context &c : p->context)
        c.used = false;
    p->channel = (first[AT_FLAGS] >> 4) & 3;
    startPoint14Context(&p->context[p->channel], first);
    return p->channel;
}

bool lazReadPoint14(LazPoint14Decoder *p, unsigned char *out, unsigned *context)
{
    LazLayer *xy = &p->layer[LAZ_LAYER_XY];
    LazPoint14Context *c = &p->context[p->channel];
    {
        const unsigned r = c->last[AT_RETURNS] & 15, n = c->last[AT_RETURNS] >> 4;
        const unsigned lpr = (r == 1 ? 1 : 0) + (r >= n ? 2 : 0) + (c->lastTimeChanged ? 4 : 0);
        const uint32_t changed = lazSymbol(&xy->d, &c->changedValues[lpr]);
        *context = p->version >= 4 ? p->channel : 0;
        if (changed & CHANGED_CHANNEL) {
            const unsigned channel = (p->channel + lazSymbol(&xy->d, &c->scannerChannel) + 1) % 4;
            if (!p->context[channel].used)
                startPoint14Context(&p->context[channel], c->last);
            p->channel = *context = channel;
            c = &p->context[channel];
            c->last[AT_FLAGS] = static_cast<uint8_t>((c->last[AT_FLAGS] & ~0x30u) | channel << 4);
        }
        const bool timeChanged = (changed & CHANGED_GPS_TIME) != 0;
        const unsigned lastN = c->last[AT_RETURNS] >> 4, lastR = c->last[AT_RETURNS] & 15;
        const unsigned newN = changed & CHANGED_NUMBER_OF_RETURNS
                                  ? decodeLazy(xy, &c->numberOfReturns[lastN], 16)
                                  : lastN;
        const unsigned newR = decodeReturnNumber(xy, c, changed, lastR, timeChanged);
        c->last[AT_RETURNS] = static_cast<uint8_t>(newN << 4 | newR);
        const unsigned m = RETURN_MAP_6[newN][newR], l = returnLevel(newN, newR);
        const unsigned cpr = (newR == 1 ? 2 : 0) + (newR >= newN ? 1 : 0);
        const unsigned window = m << 1 | (timeChanged ? 1 : 0);
        const int32_t dx =
            lazInteger(&xy->d, &c->dx, lazPredictedDifference(c->xDiffs[window]), newN == 1);
        lazStore<uint32_t>(c->last + AT_X,
                           lazLoad<uint32_t>(c->last + AT_X) + static_cast<uint32_t>(dx));
        lazAddDifference(&c->xDiffs[window], dx);
        const uint32_t k = c->dx.lastBitLength;
        const int32_t dy = lazInteger(&xy->d, &c->dy, lazPredictedDifference(c->yDiffs[window]),
                                      (newN == 1) + (k < 20 ? k & ~1u : 20));
        lazStore<uint32_t>(c->last + AT_Y,
                           lazLoad<uint32_t>(c->last + AT_Y) + static_cast<uint32_t>(dy));
        lazAddDifference(&c->yDiffs[window], dy);
        if (!decodeOtherLayers(p, c, changed, newN, l, cpr))
            return false;
        c->lastTimeChanged = timeChanged;
    }
    std::memcpy(out, c->last, 30);
    return true;
}
