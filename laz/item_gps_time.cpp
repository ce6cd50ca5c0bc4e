// LAZ: the item decoders of GPSTIME11, the GPS time of formats 1 and 3 to 5 (versions 1 and 2),
// also the time layer of POINT14.
#include "item_gps_time.h"

#include "record_bytes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

// Products of differences wrap, as the writer's 32-bit arithmetic does.
int32_t times(int32_t k, int32_t diff)
{
    return static_cast<int32_t>(static_cast<uint32_t>(k) * static_cast<uint32_t>(diff));
}

// Codes of the time symbol, beside the multiples of the last difference.
constexpr int32_t V1_MULTI_MAX = 512;
constexpr int32_t V1_MULTI_FULL = V1_MULTI_MAX - 2;      // the time stored raw
constexpr int32_t V1_MULTI_UNCHANGED = V1_MULTI_MAX - 1; // the same time again
constexpr int32_t V1_MULTI_EXTREME = V1_MULTI_MAX - 3;

// After a few differences far from the usual one, the new one is usual.
void countExtremeV1(LazGpsTimeV1Decoder *g, int32_t diff)
{
    if (++g->extremeCount > 3) {
        g->lastDiff = diff;
        g->extremeCount = 0;
    }
}

int32_t timeDiffV1(LazStream *d, LazGpsTimeV1Decoder *g, int32_t multi)
{
    if (multi == 1) {
        g->extremeCount = 0;
        return g->lastDiff = lazInteger(d, &g->time, g->lastDiff, 1);
    }
    if (multi == 0) {
        const int32_t diff = lazInteger(d, &g->time, g->lastDiff / 4, 2);
        countExtremeV1(g, diff);
        return diff;
    }
    const uint32_t context = multi < 10 ? 3 : multi < 50 ? 4 : 5;
    const int32_t diff = lazInteger(d, &g->time, times(multi, g->lastDiff), context);
    if (multi == V1_MULTI_EXTREME)
        countExtremeV1(g, diff);
    return diff;
}

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

void lazStartGpsTimeV1(LazGpsTimeV1Decoder *g, const unsigned char *first)
{
    g->lastDiff = 0;
    g->extremeCount = 0;
    lazStartSymbolModel(&g->multi, V1_MULTI_MAX);
    lazStartSymbolModel(&g->zeroDiff, 3);
    lazStartIntegerModel(&g->time, 32, 6);
    g->lastTime = lazLoad<uint64_t>(first);
}

void lazReadGpsTimeV1(LazStream *d, LazGpsTimeV1Decoder *g, unsigned char *out)
{
    if (g->lastDiff == 0) {
        const uint32_t multi = lazSymbol(d, &g->zeroDiff);
        if (multi == 1) {
            g->lastDiff = lazInteger(d, &g->time, 0, 0);
            g->lastTime += static_cast<uint64_t>(static_cast<int64_t>(g->lastDiff));
        } else if (multi == 2) {
            g->lastTime = lazRaw64(d);
        }
    } else {
        const int32_t multi = static_cast<int32_t>(lazSymbol(d, &g->multi));
        if (multi < V1_MULTI_FULL)
            g->lastTime += static_cast<uint64_t>(static_cast<int64_t>(timeDiffV1(d, g, multi)));
        else if (multi < V1_MULTI_UNCHANGED)
            g->lastTime = lazRaw64(d);
    }
    lazStore<uint64_t>(out, g->lastTime);
}

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
