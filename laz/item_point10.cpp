// LAZ: the item decoders of POINT10, the 20 bytes of point data formats 0 to 5: versions 1 and 2.
#include "item_point10.h"

#include "record_bytes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

// Context of the coordinate and intensity predictions, by number of
// returns n (row) and return number r (column); files that number their
// returns from 0, or mix the two fields up, get contexts of their own.
const uint8_t RETURN_MAP[8][8] = {
    {15, 14, 13, 12, 11, 10, 9, 8},  {14, 0, 1, 3, 6, 10, 10, 9},
    {13, 1, 2, 4, 7, 11, 11, 10},    {12, 3, 4, 5, 8, 12, 12, 11},
    {11, 6, 7, 8, 9, 13, 13, 12},    {10, 10, 11, 12, 13, 14, 14, 13},
    {9, 10, 11, 12, 13, 14, 15, 14}, {8, 9, 10, 11, 12, 13, 14, 15},
};

// Context of the height prediction: how far the return is from the last.
const uint8_t RETURN_LEVEL[8][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {1, 0, 1, 2, 3, 4, 5, 6}, {2, 1, 0, 1, 2, 3, 4, 5},
    {3, 2, 1, 0, 1, 2, 3, 4}, {4, 3, 2, 1, 0, 1, 2, 3}, {5, 4, 3, 2, 1, 0, 1, 2},
    {6, 5, 4, 3, 2, 1, 0, 1}, {7, 6, 5, 4, 3, 2, 1, 0},
};

// The fields of the changed-values symbol of POINT10.
enum : int32_t {
    CHANGED_POINT_SOURCE = 1,
    CHANGED_USER_DATA = 2,
    CHANGED_SCAN_ANGLE = 4,
    CHANGED_CLASSIFICATION = 8,
    CHANGED_INTENSITY = 16,
    CHANGED_BIT_BYTE = 32,
};

} // namespace

// The coordinates and every other field go on from the chunk's first
// record; the models start fresh, the differences from zero.
void lazStartPoint10V1(LazPoint10V1Decoder *p, const unsigned char *first)
{
    std::memcpy(p->last, first, 20);
    std::fill(std::begin(p->xDiffs), std::end(p->xDiffs), 0);
    std::fill(std::begin(p->yDiffs), std::end(p->yDiffs), 0);
    p->nextDiff = 0;
    lazStartIntegerModel(&p->dx, 32, 1);
    lazStartIntegerModel(&p->dy, 32, 20);
    lazStartIntegerModel(&p->z, 32, 20);
    lazStartSymbolModel(&p->changedValues, 64);
    lazStartIntegerModel(&p->intensity, 16, 1);
    lazStartIntegerModel(&p->scanAngleRank, 8, 2);
    lazStartIntegerModel(&p->pointSourceID, 16, 1);
    lazStartOnFirstUse(&p->bitByte);
    lazStartOnFirstUse(&p->classification);
    lazStartOnFirstUse(&p->userData);
}

// Coordinates first, then whichever other fields the changed-values symbol
// names.
void lazReadPoint10V1(LazStream *d, LazPoint10V1Decoder *p, unsigned char *out)
{
    unsigned char *last = p->last;
    const auto predicted = [](const int32_t *diffs) {
        return lazMiddleOfThree(diffs[0], diffs[1], diffs[2]);
    };
    const int32_t dx = lazInteger(d, &p->dx, predicted(p->xDiffs), 0);
    lazStore<uint32_t>(last, lazLoad<uint32_t>(last) + static_cast<uint32_t>(dx));
    const uint32_t xLength = p->dx.lastBitLength;
    const int32_t dy = lazInteger(d, &p->dy, predicted(p->yDiffs), xLength < 19 ? xLength : 19);
    lazStore<uint32_t>(last + 4, lazLoad<uint32_t>(last + 4) + static_cast<uint32_t>(dy));
    const uint32_t xyLength = (xLength + p->dy.lastBitLength) / 2;
    lazStore<int32_t>(
        last + 8, lazInteger(d, &p->z, lazLoad<int32_t>(last + 8), xyLength < 19 ? xyLength : 19));
    const uint32_t changed = lazSymbol(d, &p->changedValues);
    if (changed & 32)
        lazStore<uint16_t>(last + 12, static_cast<uint16_t>(lazInteger(
                                          d, &p->intensity, lazLoad<uint16_t>(last + 12), 0)));
    if (changed & 16)
        last[14] = lazDecodeByteAfter(d, &p->bitByte[last[14]]);
    if (changed & 8)
        last[15] = lazDecodeByteAfter(d, &p->classification[last[15]]);
    if (changed & 4)
        last[16] =
            static_cast<uint8_t>(lazInteger(d, &p->scanAngleRank, last[16], xyLength < 3 ? 1 : 0));
    if (changed & 2)
        last[17] = lazDecodeByteAfter(d, &p->userData[last[17]]);
    if (changed & 1)
        lazStore<uint16_t>(last + 18, static_cast<uint16_t>(lazInteger(
                                          d, &p->pointSourceID, lazLoad<uint16_t>(last + 18), 0)));
    p->xDiffs[p->nextDiff] = dx;
    p->yDiffs[p->nextDiff] = dy;
    p->nextDiff = (p->nextDiff + 1) % 3;
    std::memcpy(out, last, 20);
}

// The coordinates go on from the chunk's first record; every model starts
// fresh, and every other prediction from zero.
void lazStartPoint10(LazPoint10Decoder *p, const unsigned char *first)
{
    std::memcpy(p->last, first, 20);
    // Even the intensity: a point that changes nothing after the first
    // record gets intensity 0, as the writers coded it.
    lazStore<uint16_t>(p->last + 12, 0);
    std::fill(std::begin(p->lastIntensity), std::end(p->lastIntensity), uint16_t{0});
    std::fill(std::begin(p->lastHeight), std::end(p->lastHeight), 0);
    std::fill(std::begin(p->xDiffs), std::end(p->xDiffs), LazDifferenceWindow{});
    std::fill(std::begin(p->yDiffs), std::end(p->yDiffs), LazDifferenceWindow{});
    lazStartIntegerModel(&p->dx, 32, 2);
    lazStartIntegerModel(&p->dy, 32, 22);
    lazStartIntegerModel(&p->dz, 32, 20);
    lazStartSymbolModel(&p->changedValues, 64);
    lazStartIntegerModel(&p->intensity, 16, 4);
    lazStartIntegerModel(&p->pointSourceID, 16, 1);
    for (LazSymbolModel &m : p->scanAngleRank)
        lazStartSymbolModel(&m, 256);
    lazStartOnFirstUse(&p->bitByte);
    lazStartOnFirstUse(&p->classification);
    lazStartOnFirstUse(&p->userData);
}

void lazReadPoint10(LazStream *d, LazPoint10Decoder *p, unsigned char *out)
{
    unsigned char *last = p->last;
    const int32_t changed = static_cast<int32_t>(lazSymbol(d, &p->changedValues));
    if (changed & CHANGED_BIT_BYTE)
        last[14] = lazDecodeByteAfter(d, &p->bitByte[last[14]]);
    const unsigned r = last[14] & 7, n = (last[14] >> 3) & 7;
    const unsigned m = RETURN_MAP[n][r], l = RETURN_LEVEL[n][r];
    if (changed & CHANGED_INTENSITY) {
        p->lastIntensity[m] =
            static_cast<uint16_t>(lazInteger(d, &p->intensity, p->lastIntensity[m], m < 3 ? m : 3));
    }
    // Unchanged fields keep the last point's intensity.
    if (changed != 0)
        lazStore<uint16_t>(last + 12, p->lastIntensity[m]);
    if (changed & CHANGED_CLASSIFICATION)
        last[15] = lazDecodeByteAfter(d, &p->classification[last[15]]);
    if (changed & CHANGED_SCAN_ANGLE) {
        const int32_t step =
            static_cast<int32_t>(lazSymbol(d, &p->scanAngleRank[(last[14] >> 6) & 1]));
        last[16] = lazFold(step + last[16]);
    }
    if (changed & CHANGED_USER_DATA)
        last[17] = lazDecodeByteAfter(d, &p->userData[last[17]]);
    if (changed & CHANGED_POINT_SOURCE) {
        lazStore<uint16_t>(last + 18, static_cast<uint16_t>(lazInteger(
                                          d, &p->pointSourceID, lazLoad<uint16_t>(last + 18), 0)));
    }
    const uint32_t single = n == 1 ? 1 : 0;
    const int32_t dx = lazInteger(d, &p->dx, lazPredictedDifference(p->xDiffs[m]), single);
    lazStore<uint32_t>(last, lazLoad<uint32_t>(last) + static_cast<uint32_t>(dx));
    lazAddDifference(&p->xDiffs[m], dx);
    const uint32_t xLength = p->dx.lastBitLength;
    const int32_t dy = lazInteger(d, &p->dy, lazPredictedDifference(p->yDiffs[m]),
                                  single + (xLength < 20 ? xLength & ~1u : 20));
    lazStore<uint32_t>(last + 4, lazLoad<uint32_t>(last + 4) + static_cast<uint32_t>(dy));
    lazAddDifference(&p->yDiffs[m], dy);
    const uint32_t xyLength = (p->dx.lastBitLength + p->dy.lastBitLength) / 2;
    p->lastHeight[l] =
        lazInteger(d, &p->dz, p->lastHeight[l], single + (xyLength < 18 ? xyLength & ~1u : 18));
    lazStore<int32_t>(last + 8, p->lastHeight[l]);
    std::memcpy(out, last, 20);
}
