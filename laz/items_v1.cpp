// LAZ: version 1 of the item decoders of point data formats 0 to 5, and the
// wave packet decoder.
#include "items_v1.h"
#include "record_bytes.h"

#include "predictors.h"

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

namespace
{

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

void lazStartRgbV1(LazRgbV1Decoder *c, const unsigned char *first)
{
    lazStartSymbolModel(&c->byteUsed, 64);
    lazStartIntegerModel(&c->rgb, 8, 6);
    for (int i = 0; i < 3; ++i)
        c->last[i] = lazLoad<uint16_t>(first + 2 * i);
}

// Each byte of each colour that the symbol names, predicted from the last.
void lazReadRgbV1(LazStream *d, LazRgbV1Decoder *c, unsigned char *out)
{
    const uint32_t used = lazSymbol(d, &c->byteUsed);
    for (unsigned b = 0; b < 6; ++b) {
        const unsigned colour = b / 2, shift = 8 * (b % 2);
        uint32_t byte = (c->last[colour] >> shift) & 0xFF;
        if (used & (1u << b))
            byte =
                static_cast<uint32_t>(lazInteger(d, &c->rgb, static_cast<int32_t>(byte), b)) & 0xFF;
        c->last[colour] =
            static_cast<uint16_t>((c->last[colour] & (0xFF00u >> shift)) | byte << shift);
    }
    for (int i = 0; i < 3; ++i)
        lazStore<uint16_t>(out + 2 * i, c->last[i]);
}

void lazStartBytesV1(LazBytesV1Decoder *b, const unsigned char *first, size_t count)
{
    b->last.assign(first, first + count);
    lazStartIntegerModel(&b->bytes, 8, static_cast<uint32_t>(count));
}

void lazReadBytesV1(LazStream *d, LazBytesV1Decoder *b, unsigned char *out)
{
    for (size_t i = 0; i < b->last.size(); ++i) {
        b->last[i] =
            static_cast<uint8_t>(lazInteger(d, &b->bytes, b->last[i], static_cast<uint32_t>(i)));
        out[i] = b->last[i];
    }
}

void lazInitWavePacketModels(LazWavePacketModels *m)
{
    m->lastOffsetCode = 0;
    m->lastOffsetDiff = 0;
    lazStartSymbolModel(&m->packetIndex, 256);
    for (LazSymbolModel &code : m->offsetCode)
        lazStartSymbolModel(&code, 4);
    lazStartIntegerModel(&m->offsetDiff, 32, 1);
    lazStartIntegerModel(&m->packetSize, 32, 1);
    lazStartIntegerModel(&m->returnPoint, 32, 1);
    lazStartIntegerModel(&m->xyz, 32, 3);
}

// The packet's offset is the last one, the end of the last packet, the last
// offset plus a difference, or stored raw; its size, return point and
// direction are predicted from the last packet's.
void lazDecodeWavePacket(LazStream *d, LazWavePacketModels *m, unsigned char *last,
                         unsigned char *out)
{
    out[0] = static_cast<uint8_t>(lazSymbol(d, &m->packetIndex));
    const uint64_t lastOffset = lazLoad<uint64_t>(last + 1);
    const uint32_t lastSize = lazLoad<uint32_t>(last + 9);
    m->lastOffsetCode = lazSymbol(d, &m->offsetCode[m->lastOffsetCode]);
    uint64_t offset = lastOffset;
    if (m->lastOffsetCode == 1) {
        offset = lastOffset + lastSize;
    } else if (m->lastOffsetCode == 2) {
        m->lastOffsetDiff = lazInteger(d, &m->offsetDiff, m->lastOffsetDiff, 0);
        offset = lastOffset + static_cast<uint64_t>(static_cast<int64_t>(m->lastOffsetDiff));
    } else if (m->lastOffsetCode == 3) {
        offset = lazRaw64(d);
    }
    lazStore<uint64_t>(out + 1, offset);
    lazStore<int32_t>(out + 9, lazInteger(d, &m->packetSize, static_cast<int32_t>(lastSize), 0));
    lazStore<int32_t>(out + 13, lazInteger(d, &m->returnPoint, lazLoad<int32_t>(last + 13), 0));
    for (uint32_t axis = 0; axis < 3; ++axis)
        lazStore<int32_t>(out + 17 + 4 * axis,
                          lazInteger(d, &m->xyz, lazLoad<int32_t>(last + 17 + 4 * axis), axis));
    std::memcpy(last, out, 29);
}
