// LAZ: version 2 of the item decoders of point data formats 0 to 5.
#include "items_v2.h"
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

uint8_t fold(int32_t n)
{
    return lazFold(n);
}

uint8_t clampByte(int32_t n)
{
    return static_cast<uint8_t>(n <= 0 ? 0 : n >= 255 ? 255 : n);
}

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
        last[16] = fold(step + last[16]);
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

uint8_t lazFold(int32_t n)
{
    return static_cast<uint8_t>(n < 0 ? n + 256 : n > 255 ? n - 256 : n);
}

namespace
{

constexpr int32_t GPS_MULTI = 500;
constexpr int32_t GPS_MULTI_MINUS = -10;
constexpr int32_t GPS_MULTI_UNCHANGED = GPS_MULTI - GPS_MULTI_MINUS + 1;
constexpr int32_t GPS_MULTI_CODE_FULL = GPS_MULTI - GPS_MULTI_MINUS + 2;
constexpr uint32_t GPS_MULTI_TOTAL = GPS_MULTI - GPS_MULTI_MINUS + 6;

// A time that differs too much to be predicted: its upper half predicted
// from the sequence in hand, its lower half raw; it starts a sequence.
void fullTime(LazStream *d, LazGpsTimeDecoder *g)
{
    g->next = (g->next + 1) & 3;
    const uint32_t high = static_cast<uint32_t>(
        lazInteger(d, &g->time, static_cast<int32_t>(g->lastTime[g->last] >> 32), 8));
    g->lastTime[g->next] = static_cast<uint64_t>(high) << 32 | lazRaw32(d);
    g->last = g->next;
    g->lastDiff[g->last] = 0;
    g->extremeCount[g->last] = 0;
}

// After a few differences far from the usual one, the new one is usual.
void countExtreme(LazGpsTimeDecoder *g, int32_t diff)
{
    if (++g->extremeCount[g->last] > 3) {
        g->lastDiff[g->last] = diff;
        g->extremeCount[g->last] = 0;
    }
}

// One time of the sequence in hand; false when the stream switches to
// another sequence, which the caller then reads.
bool readInSequence(LazStream *d, LazGpsTimeDecoder *g)
{
    const unsigned s = g->last;
    if (g->lastDiff[s] == 0) {
        // Layered streams have no "unchanged" code: their codes are one less.
        const int32_t multi = static_cast<int32_t>(lazSymbol(d, &g->zeroDiff)) + g->layered;
        if (multi == 1) {
            g->lastDiff[s] = lazInteger(d, &g->time, 0, 0);
            g->lastTime[s] += static_cast<uint64_t>(static_cast<int64_t>(g->lastDiff[s]));
            g->extremeCount[s] = 0;
        } else if (multi == 2) {
            fullTime(d, g);
        } else if (multi > 2) {
            g->last = (s + static_cast<unsigned>(multi) - 2) & 3;
            return false;
        }
        return true;
    }
    int32_t multi = static_cast<int32_t>(lazSymbol(d, &g->multi));
    if (g->layered && multi >= GPS_MULTI_UNCHANGED)
        ++multi;
    const int32_t lastDiff = g->lastDiff[s];
    if (multi == 1) {
        g->lastTime[s] +=
            static_cast<uint64_t>(static_cast<int64_t>(lazInteger(d, &g->time, lastDiff, 1)));
        g->extremeCount[s] = 0;
    } else if (multi < GPS_MULTI_UNCHANGED) {
        int32_t diff;
        const auto times = [lastDiff](int32_t k) {
            return static_cast<int32_t>(static_cast<uint32_t>(k) * static_cast<uint32_t>(lastDiff));
        };
        if (multi == 0) {
            diff = lazInteger(d, &g->time, 0, 7);
            countExtreme(g, diff);
        } else if (multi < GPS_MULTI) {
            diff = lazInteger(d, &g->time, times(multi), multi < 10 ? 2 : 3);
        } else if (multi == GPS_MULTI) {
            diff = lazInteger(d, &g->time, times(GPS_MULTI), 4);
            countExtreme(g, diff);
        } else {
            multi = GPS_MULTI - multi;
            if (multi > GPS_MULTI_MINUS) {
                diff = lazInteger(d, &g->time, times(multi), 5);
            } else {
                diff = lazInteger(d, &g->time, times(GPS_MULTI_MINUS), 6);
                countExtreme(g, diff);
            }
        }
        g->lastTime[s] += static_cast<uint64_t>(static_cast<int64_t>(diff));
    } else if (multi == GPS_MULTI_CODE_FULL) {
        fullTime(d, g);
    } else if (multi > GPS_MULTI_CODE_FULL) {
        g->last = (s + static_cast<unsigned>(multi - GPS_MULTI_CODE_FULL)) & 3;
        return false;
    }
    return true;
}

} // namespace

void lazStartGpsTime(LazGpsTimeDecoder *g, const unsigned char *first, bool layered)
{
    g->layered = layered;
    g->last = g->next = 0;
    for (int i = 0; i < 4; ++i)
        g->lastTime[i] = 0, g->lastDiff[i] = 0, g->extremeCount[i] = 0;
    lazStartSymbolModel(&g->multi, GPS_MULTI_TOTAL - layered);
    lazStartSymbolModel(&g->zeroDiff, 6 - layered);
    lazStartIntegerModel(&g->time, 32, 9);
    g->lastTime[0] = lazLoad<uint64_t>(first);
}

bool lazReadGpsTime(LazStream *d, LazGpsTimeDecoder *g, unsigned char *out)
{
    // A valid stream switches sequence at most a few times a point.
    for (int switches = 0; !readInSequence(d, g); ++switches)
        if (switches == 8)
            return false;
    lazStore<uint64_t>(out, g->lastTime[g->last]);
    return true;
}

void lazInitRgbModels(LazRgbModels *m)
{
    lazStartSymbolModel(&m->byteUsed, 128);
    for (LazSymbolModel &diff : m->diff)
        lazStartSymbolModel(&diff, 256);
}

void lazStartRgb(LazRgbDecoder *c, const unsigned char *first)
{
    lazInitRgbModels(&c->models);
    for (int i = 0; i < 3; ++i)
        c->last[i] = lazLoad<uint16_t>(first + 2 * i);
}

void lazReadRgb(LazStream *d, LazRgbDecoder *c, unsigned char *out)
{
    lazDecodeRgb(d, &c->models, c->last, out);
}

void lazDecodeRgb(LazStream *d, LazRgbModels *c, uint16_t *last, unsigned char *out)
{
    const uint32_t used = lazSymbol(d, &c->byteUsed);
    uint16_t rgb[3];
    const auto part = [d, c](int model, int32_t predicted) {
        return fold(static_cast<int32_t>(lazSymbol(d, &c->diff[model])) + predicted);
    };
    // Red: its low and high byte against the last red's.
    rgb[0] = used & 1 ? part(0, last[0] & 0xFF) : last[0] & 0xFF;
    rgb[0] |= (used & 2 ? part(1, last[0] >> 8) : last[0] >> 8) << 8;
    if (used & 64) {
        // Green and blue follow red's change, byte by byte.
        int32_t diff = (rgb[0] & 0xFF) - (last[0] & 0xFF);
        rgb[1] = used & 4 ? part(2, clampByte(diff + (last[1] & 0xFF))) : last[1] & 0xFF;
        if (used & 16) {
            diff = (diff + ((rgb[1] & 0xFF) - (last[1] & 0xFF))) / 2;
            rgb[2] = part(4, clampByte(diff + (last[2] & 0xFF)));
        } else {
            rgb[2] = last[2] & 0xFF;
        }
        diff = (rgb[0] >> 8) - (last[0] >> 8);
        rgb[1] |= (used & 8 ? part(3, clampByte(diff + (last[1] >> 8))) : last[1] >> 8) << 8;
        if (used & 32) {
            diff = (diff + ((rgb[1] >> 8) - (last[1] >> 8))) / 2;
            rgb[2] |= part(5, clampByte(diff + (last[2] >> 8))) << 8;
        } else {
            rgb[2] |= last[2] & 0xFF00;
        }
    } else {
        rgb[1] = rgb[2] = rgb[0];
    }
    for (int i = 0; i < 3; ++i) {
        last[i] = rgb[i];
        lazStore<uint16_t>(out + 2 * i, rgb[i]);
    }
}

void lazStartBytes(LazBytesDecoder *b, const unsigned char *first, size_t count)
{
    b->last.assign(first, first + count);
    b->byte.resize(count);
    for (LazSymbolModel &m : b->byte)
        lazStartSymbolModel(&m, 256);
}

void lazReadBytes(LazStream *d, LazBytesDecoder *b, unsigned char *out)
{
    for (size_t i = 0; i < b->last.size(); ++i) {
        b->last[i] = fold(b->last[i] + static_cast<int32_t>(lazSymbol(d, &b->byte[i])));
        out[i] = b->last[i];
    }
}
