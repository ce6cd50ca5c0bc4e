// TREVLIN: the jobs of a LAZ file, as the pipeline takes them: a chunk's
// pieces, decoded into the fixed buffers of the slots the pipeline hands
// out, or the points of a file without a chunk table decoded in turn.
#include "laz_jobs.h"

#include "settings.h"

#include <algorithm>
#include <memory>
#include <new>

namespace
{

// One piece of a LAZ chunk: its next `points` points decoded into the
// slot's records and formatted, and packed with gzip.
void decodePiece(const FileInHand &f, LazChunkDecoder *decoder, uint64_t points, Slot *s,
                 TextPacker **packer)
{
    if (allocationFailsAt(s->job))
        throw std::bad_alloc();
    s->problem = lazChunkPoints(decoder, points, s->records).why;
    s->end = s->begin + points * f.text->recordSize;
    if (!s->problem.empty())
        return;
    formatJob(f, s);
    s->packFailed = f.gzipLevel > 0 && !packJob(f, s, packer);
}

// Chunk `c` read whole with one positioned read into *compressed, and its
// decoder started; false with the slot marked when it cannot be.
bool startChunk(const FileInHand &f, FILE *in, uint64_t c, std::vector<unsigned char> *compressed,
                Slot *s, LazChunkDecoder **decoder)
{
    const LazChunk &chunk = f.laz->chunks[c];
    if (allocationFailsAt(s->job))
        throw std::bad_alloc();
    compressed->resize(static_cast<size_t>(chunk.bytes));
    if (!seek_from_start(in, chunk.start) ||
        !read_exact(in, compressed->data(), compressed->size())) {
        s->failed = true;
        return false;
    }
    s->problem = lazStartChunk(f.laz->layout, compressed->data(), compressed->size(), chunk.points,
                               f.laz->fields, decoder)
                     .why;
    return s->problem.empty();
}

} // namespace

// LAZ decoded in turn: the next points of the sequence, decoded and
// formatted. Data that ends between two chunks ends the file there.
void decodeInTurn(const FileInHand &f, Slot *s)
{
    InTurn *t = f.inTurn;
    const uint64_t wanted = t->left < f.jobRecords ? t->left : f.jobRecords;
    uint64_t got = 0;
    s->problem = lazSequencePoints(t->sequence, wanted, s->records, &got).why;
    t->left -= got;
    s->last = got < wanted || t->left == 0;
    s->end = s->begin + got * f.text->recordSize;
    if (s->problem.empty())
        formatJob(f, s);
}

// LAZ: chunk `c` decoded piece by piece, a job a piece, into the slots that
// `sink` hands out (slotFor, null when the file ends before) and takes back
// in order (publish, false when no more are wanted). However many points a
// chunk holds, a piece takes one slot's fixed buffers.
void convertChunk(const FileInHand &f, FILE *in, uint64_t c, std::vector<unsigned char> *compressed,
                  TextPacker **packer, JobSink &sink)
{
    const uint64_t first = (*f.firstJobs)[c], pieces = (*f.firstJobs)[c + 1] - first;
    const uint64_t points = f.laz->chunks[c].points;
    const bool lastChunk = c + 2 == f.firstJobs->size();
    std::unique_ptr<LazChunkDecoder, void (*)(LazChunkDecoder *)> decoder(nullptr, lazEndChunk);
    for (uint64_t k = 0; k < pieces; ++k) {
        Slot *s = sink.slotFor(first + k);
        if (!s)
            return;
        s->chunk = c;
        try {
            bool ready = points > 0;
            if (ready && k == 0) {
                LazChunkDecoder *started = nullptr;
                ready = startChunk(f, in, c, compressed, s, &started);
                decoder.reset(started);
            }
            const uint64_t n = std::min<uint64_t>(f.jobRecords, points - k * f.jobRecords);
            if (ready)
                decodePiece(f, decoder.get(), n, s, packer);
            // A pointwise chunk says nothing of its points but its bytes:
            // bytes its points leave unread hold points the header's count
            // left out.
            if (ready && k + 1 == pieces && s->problem.empty() &&
                f.laz->layout.compressor == LAZ_POINTWISE_CHUNKED)
                s->spare = f.laz->chunks[c].bytes - lazChunkBytesUsed(decoder.get());
        } catch (const std::bad_alloc &) {
            s->outOfMemory = true;
        }
        // Once published the slot is the writer's, and then another job's.
        const bool last =
            s->failed || s->outOfMemory || !s->problem.empty() || (lastChunk && k + 1 == pieces);
        s->last = last;
        if (!sink.publish(s) || last)
            return;
    }
}

// Points of a LAZ piece whose text fits a job's buffer, judged by the text
// of the first chunk's first points (as recordsPerJob judges a LAS file's),
// so that the writer rarely formats: at most `most`.
size_t pointsPerPiece(const FileInHand &f, size_t most, Slot *scratch)
{
    const LazChunk &chunk = f.laz->chunks[0];
    Slot &s = *scratch;
    clearJob(&s, 0);
    std::vector<unsigned char> compressed;
    LazChunkDecoder *decoder = nullptr;
    const uint64_t sample = std::min<uint64_t>({chunk.points, 64, most});
    if (sample == 0 || !startChunk(f, f.streams[0], 0, &compressed, &s, &decoder))
        return most;
    std::unique_ptr<LazChunkDecoder, void (*)(LazChunkDecoder *)> held(decoder, lazEndChunk);
    s.problem = lazChunkPoints(decoder, sample, s.records).why;
    if (!s.problem.empty())
        return most;
    s.end = s.begin + sample * f.text->recordSize;
    formatJob(f, &s);
    return recordsThatFit(f, s, most);
}

// Each chunk's first job, the pieces of a chunk following one another, and
// after the last the number of jobs.
std::vector<uint64_t> firstJobsOf(const LazFile &laz, size_t points)
{
    std::vector<uint64_t> first(laz.chunks.size() + 1, 0);
    for (size_t c = 0; c < laz.chunks.size(); ++c) {
        const uint64_t pieces = (laz.chunks[c].points + points - 1) / points;
        first[c + 1] = first[c] + (pieces > 0 ? pieces : 1);
    }
    return first;
}
