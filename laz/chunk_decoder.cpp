// LAZ: a chunk decoded, whole or in pieces.
#include "chunk_decoder.h"

#include "record_bytes.h"
#include "record_decoders.h"

#include <algorithm>
#include <cstring>
#include <memory>

struct LazChunkDecoder {
    const LazLayout *layout;
    const unsigned char *first; // the raw first record, in the chunk's bytes
    uint64_t points, done;
    uint32_t fields;
    size_t used; // bytes of the chunk the points took
    // Pointwise: the stream after the first record.
    LazInput in;
    LazStream d;
    std::unique_ptr<PointwiseDecoders> pointwise;
    // Layered: every layer's stream over its own bytes.
    const unsigned char *sizes, *body;
    std::unique_ptr<LayeredDecoders> layered;
};

namespace
{

// The chunk's first record, stored raw, and its decoders started from it.
void decodeFirstPoint(LazChunkDecoder *c, unsigned char *record)
{
    const LazLayout &layout = *c->layout;
    std::memcpy(record, c->first, layout.recordLength);
    if (c->points < 2)
        return;
    if (c->layered) {
        lazSetUpLayers(layout, c->layered.get(), c->sizes, c->body, c->fields);
        lazStartLayered(layout, c->layered.get(), record);
        return;
    }
    lazStartPointwise(layout, c->pointwise.get(), record);
    lazOpenStream(&c->d, &c->in);
}

} // namespace

LazStatus lazStartChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                        uint64_t points, uint32_t fields, LazChunkDecoder **decoder)
{
    *decoder = nullptr;
    const size_t length = layout.recordLength;
    auto c = std::make_unique<LazChunkDecoder>();
    c->layout = &layout, c->first = bytes, c->points = points, c->done = 0, c->fields = fields;
    if (layout.compressor == LAZ_LAYERED_CHUNKED) {
        const size_t header = lazLayeredChunkHeaderBytes(layout);
        if (n < header)
            return n < length ? "it ends within its first point" : "it ends within its layer sizes";
        const uint64_t total = lazLayeredChunkBytes(layout, bytes);
        if (total > n)
            return "its layers run past its bytes";
        c->used = static_cast<size_t>(total);
        c->sizes = bytes + length + 4, c->body = bytes + header;
        if (points > 1)
            c->layered = std::make_unique<LayeredDecoders>();
    } else {
        if (n < length)
            return "it ends within its first point";
        // The stream that follows starts with four bytes, even when it
        // holds no point.
        c->used = std::min(n, length + 4);
        c->in = LazInput{bytes + length, bytes + n, false};
        if (points > 1)
            c->pointwise = std::make_unique<PointwiseDecoders>();
    }
    *decoder = c.release();
    return {};
}

LazStatus lazChunkPoints(LazChunkDecoder *c, uint64_t count, unsigned char *records)
{
    const LazLayout &layout = *c->layout;
    const size_t length = layout.recordLength;
    for (uint64_t k = 0; k < count && c->done < c->points; ++k, ++c->done) {
        unsigned char *record = records + k * length;
        if (c->done == 0) {
            decodeFirstPoint(c, record);
            continue;
        }
        if (c->layered) {
            if (!lazReadLayered(layout, c->layered.get(), record))
                return "its GPS times cannot be decoded";
            continue;
        }
        if (!lazReadPointwise(layout, &c->d, c->pointwise.get(), record))
            return "its GPS times cannot be decoded";
        if (c->in.damaged)
            return "it decodes past its bytes";
    }
    if (c->layered && lazAnyLayerOverrun(*c->layered))
        return "it decodes past its bytes";
    if (c->pointwise && c->done > 1)
        c->used = static_cast<size_t>(c->in.next - c->first);
    return {};
}

size_t lazChunkBytesUsed(const LazChunkDecoder *c)
{
    return c->used;
}

void lazEndChunk(LazChunkDecoder *c)
{
    delete c;
}

LazStatus lazDecodeChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                         uint64_t points, unsigned char *records, size_t *used, uint32_t fields)
{
    *used = 0;
    if (points == 0)
        return {};
    LazChunkDecoder *c = nullptr;
    const LazStatus started = lazStartChunk(layout, bytes, n, points, fields, &c);
    if (!started.ok())
        return started;
    std::unique_ptr<LazChunkDecoder, void (*)(LazChunkDecoder *)> held(c, lazEndChunk);
    const LazStatus decoded = lazChunkPoints(c, points, records);
    if (decoded.ok())
        *used = lazChunkBytesUsed(c);
    return decoded;
}

size_t lazLayeredChunkHeaderBytes(const LazLayout &layout)
{
    return layout.recordLength + 4 + 4 * lazLayersOf(layout);
}

uint64_t lazLayeredChunkPoints(const LazLayout &layout, const unsigned char *header)
{
    return lazLoad<uint32_t>(header + layout.recordLength);
}

uint64_t lazLayeredChunkBytes(const LazLayout &layout, const unsigned char *header)
{
    const size_t at = layout.recordLength + 4;
    uint64_t total = lazLayeredChunkHeaderBytes(layout);
    for (size_t k = 0; k < lazLayersOf(layout); ++k)
        total += lazLoad<uint32_t>(header + at + 4 * k);
    return total;
}
