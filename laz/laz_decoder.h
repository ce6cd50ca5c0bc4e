// LAZ: LAS point records compressed by the LASzip scheme, decoded by a
// unit of its own that knows nothing of text or of the tool: the LASzip
// VLR's description of the records, the chunk table, and each chunk's
// bytes turned into point records. Chunks are independent, so they can be
// decoded on as many threads as there are. Every count, size and offset
// taken from a file is checked before it is used; a corrupt stream gives a
// reason, never a read outside the buffers.
#ifndef HOLVANE_LAZ_DECODER_H
#define HOLVANE_LAZ_DECODER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum : uint16_t {
    LAZ_ITEM_BYTE = 0,
    LAZ_ITEM_POINT10 = 6,
    LAZ_ITEM_GPSTIME11 = 7,
    LAZ_ITEM_RGB12 = 8,
    LAZ_ITEM_WAVEPACKET13 = 9,
    LAZ_ITEM_POINT14 = 10,
    LAZ_ITEM_RGB14 = 11,
    LAZ_ITEM_RGBNIR14 = 12,
    LAZ_ITEM_WAVEPACKET14 = 13,
    LAZ_ITEM_BYTE14 = 14,
};

enum : uint16_t {
    LAZ_POINTWISE = 1,         // one stream, no chunks
    LAZ_POINTWISE_CHUNKED = 2, // formats 0-5
    LAZ_LAYERED_CHUNKED = 3,   // formats 6-10
};

struct LazItem {
    uint16_t type, size, version;
};

// What the LASzip VLR (user ID "laszip encoded", record ID 22204) says.
struct LazLayout {
    uint16_t compressor = 0;
    uint32_t options = 0;
    uint32_t chunkSize = 0; // points a chunk; 0 or 0xFFFFFFFF: chunks of their own sizes
    std::vector<LazItem> items;
    uint16_t recordLength = 0;
};

// The VLR's payload: "" with *layout set, or why it cannot be right.
std::string lazLayoutOf(const unsigned char *payload, size_t n, uint16_t recordLength,
                        LazLayout *layout);

// "" when this decoder reads every item of the layout, or what it lacks.
std::string lazUnreadItems(const LazLayout &layout);

// Fields of formats 6 to 10 that the caller needs: their layers are
// decoded, the others left alone (those fields keep the chunk's first
// values). X, Y and the returns are always decoded.
enum : uint32_t {
    LAZ_FIELD_Z = 1u << 0,
    LAZ_FIELD_CLASSIFICATION = 1u << 1,
    LAZ_FIELD_FLAGS = 1u << 2, // classification flags, scan direction, edge of flight line
    LAZ_FIELD_INTENSITY = 1u << 3,
    LAZ_FIELD_SCAN_ANGLE = 1u << 4,
    LAZ_FIELD_USER_DATA = 1u << 5,
    LAZ_FIELD_POINT_SOURCE = 1u << 6,
    LAZ_FIELD_GPS_TIME = 1u << 7,
    LAZ_FIELD_RGB = 1u << 8,
    LAZ_FIELD_NIR = 1u << 9,
    LAZ_FIELD_WAVE_PACKET = 1u << 10,
    LAZ_FIELD_EXTRA_BYTES = 1u << 11,
    LAZ_ALL_FIELDS = (1u << 12) - 1,
};

bool lazVariableChunks(const LazLayout &layout);

// Points of formats 6 to 10 stored as format 1, 3, 4 or 5 with their
// LAS 1.4 fields in extra bytes, which older readers can take.
bool lazCompatibilityLayout(const LazLayout &layout);

struct LazChunk {
    uint64_t start; // in the file
    uint64_t bytes;
    uint64_t points;
};

// The chunks of the point data: every chunk the table lists, with the
// points it holds: variable chunks by the table's counts; fixed ones by
// the chunk size and the header's count `points` (the last one holding the
// rest), which alone decides for pointwise chunks (those past the count
// are listed with no points); layered chunks past that count get the chunk
// size, and their first bytes say their true count
// (lazLayeredChunkPoints), which a caller that reads them uses. `pointData` is where the chunks
// begin (OffsetToData + 8), `table` and `tableBytes` what the file holds from the chunk table on
// (nothing when there is none: fixed chunks follow one another then, and their ends are found as
// they are decoded), `fileSize` and `points` the file's size and point count.
std::string lazChunksOf(const LazLayout &layout, uint64_t pointData, const unsigned char *table,
                        size_t tableBytes, uint64_t fileSize, uint64_t points,
                        std::vector<LazChunk> *chunks);

// Decodes a chunk of `points` records from its `n` bytes into `records`
// (points * recordLength bytes): "" or why the chunk cannot be decoded. In
// *used, how many of the bytes the chunk took.
std::string lazDecodeChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                           uint64_t points, unsigned char *records, size_t *used,
                           uint32_t fields = LAZ_ALL_FIELDS);

// The same in pieces, so that a chunk of any size is decoded into buffers
// of a fixed size: lazStartChunk checks the chunk's `n` bytes (which must
// outlive the decoder) and sets *decoder, or says why it cannot be
// decoded; lazChunkPoints decodes its next `count` points into `records`
// (count * recordLength bytes), "" or why they cannot be decoded.
struct LazChunkDecoder;
std::string lazStartChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                          uint64_t points, uint32_t fields, LazChunkDecoder **decoder);
std::string lazChunkPoints(LazChunkDecoder *c, uint64_t count, unsigned char *records);
// Bytes of the chunk its points have taken so far.
size_t lazChunkBytesUsed(const LazChunkDecoder *c);
void lazEndChunk(LazChunkDecoder *c);

// Layered chunks (compressor 3) say their own size: their first
// lazLayeredChunkHeaderBytes bytes (the first record, the point count and
// the layer sizes) give the whole chunk's bytes.
size_t lazLayeredChunkHeaderBytes(const LazLayout &layout);
uint64_t lazLayeredChunkBytes(const LazLayout &layout, const unsigned char *header);
// The points the chunk holds, as its first bytes say.
uint64_t lazLayeredChunkPoints(const LazLayout &layout, const unsigned char *header);

// Points whose chunks are not listed, decoded one after another from
// bytes read in pieces: compressor 1's single stream, or fixed chunks of a
// writer interrupted before its table. `read` returns the bytes it put at
// `to`, fewer than `n` only at the end of the data.
using LazReadBytes = size_t (*)(void *source, unsigned char *to, size_t n);
struct LazSequence;
// Null when the layout's points cannot be read so (variable chunks).
LazSequence *lazStartSequence(const LazLayout &layout, LazReadBytes read, void *source);
// Decodes up to `points` records into `records`, *decoded of them: fewer
// only where the data ends, between two chunks or within one (then
// lazSequenceCut says where; the points before are whole). "" or why the
// data cannot be decoded.
std::string lazSequencePoints(LazSequence *s, uint64_t points, unsigned char *records,
                              uint64_t *decoded);
const std::string &lazSequenceCut(const LazSequence *s);
void lazEndSequence(LazSequence *s);

#endif
