// LAZ: points decoded in turn, from bytes read in pieces.
#include "in_turn.h"

#include "record_decoders.h"

#include <algorithm>
#include <cstring>
#include <memory>

struct LazSequence {
    LazLayout layout;
    LazReadBytes read;
    void *source;
    uint64_t chunkPoints; // points a chunk
    uint64_t leftInChunk; // points of the chunk in hand still to decode
    uint64_t done;        // points decoded so far
    std::vector<unsigned char> window;
    bool allRead;    // `read` has given every byte
    std::string cut; // why the points end before the chunk does: the data ended
    size_t margin;   // bytes a point may take, at most, with room to spare
    LazInput in;     // over the window
    LazStream d;
    PointwiseDecoders items;
};

namespace
{

// Keeps at least `margin` bytes ahead of the decoder in the window, so that
// a point never reads past what is in hand before the data's end.
void refill(LazSequence *s)
{
    const size_t ahead = static_cast<size_t>(s->in.end - s->in.next);
    if (ahead >= s->margin || s->allRead)
        return;
    unsigned char *w = s->window.data();
    std::memmove(w, s->in.next, ahead);
    size_t filled = ahead;
    while (filled < s->window.size() && !s->allRead) {
        const size_t got = s->read(s->source, w + filled, s->window.size() - filled);
        s->allRead = got == 0;
        filled += got;
    }
    s->in.next = w;
    s->in.end = w + filled;
}

// The next chunk's first record, stored raw, and its stream's start.
// Returns false at the clean end of the data, before any byte of a chunk.
bool startChunk(LazSequence *s, unsigned char *record)
{
    refill(s);
    const size_t length = s->layout.recordLength;
    const size_t ahead = static_cast<size_t>(s->in.end - s->in.next);
    if (ahead == 0)
        return false;
    if (ahead < length) {
        s->cut = "its point data ends within point " + std::to_string(s->done + 1);
        return false;
    }
    std::memcpy(record, s->in.next, length);
    s->in.next += length;
    lazStartPointwise(s->layout, &s->items, record);
    lazOpenStream(&s->d, &s->in);
    s->leftInChunk = s->chunkPoints - 1;
    return true;
}

} // namespace

LazSequence *lazStartSequence(const LazLayout &layout, LazReadBytes read, void *source)
{
    if (layout.compressor == LAZ_LAYERED_CHUNKED ||
        (layout.compressor == LAZ_POINTWISE_CHUNKED && lazVariableChunks(layout)))
        return nullptr;
    auto s = std::make_unique<LazSequence>();
    s->layout = layout;
    s->read = read;
    s->source = source;
    s->chunkPoints = layout.compressor == LAZ_POINTWISE ? UINT64_MAX : layout.chunkSize;
    s->leftInChunk = 0;
    s->done = 0;
    // A symbol takes at most four bytes, an item at most a few dozen
    // symbols, an extra byte one.
    s->margin = 4096 + 16 * size_t{layout.recordLength};
    s->window.resize(std::max<size_t>(1u << 20, 4 * s->margin));
    s->allRead = false;
    s->in = LazInput{s->window.data(), s->window.data(), false};
    return s.release();
}

LazStatus lazSequencePoints(LazSequence *s, uint64_t points, unsigned char *records,
                            uint64_t *decoded)
{
    const size_t length = s->layout.recordLength;
    std::string why;
    for (*decoded = 0; *decoded < points; ++*decoded, ++s->done) {
        unsigned char *record = records + *decoded * length;
        if (s->leftInChunk == 0) {
            if (!startChunk(s, record))
                return why;
            continue;
        }
        refill(s);
        const bool timeDecoded = lazReadPointwise(s->layout, &s->d, &s->items, record);
        const std::string point = "point " + std::to_string(s->done + 1);
        if (!timeDecoded)
            return "the GPS time of " + point + " cannot be decoded";
        // A point that needed bytes past the data's end is not one: the
        // points before it are whole, and the data was cut.
        if (s->in.damaged) {
            s->cut = "its point data ends within " + point;
            return {};
        }
        --s->leftInChunk;
    }
    return {};
}

const std::string &lazSequenceCut(const LazSequence *s)
{
    return s->cut;
}

void lazEndSequence(LazSequence *s)
{
    delete s;
}
