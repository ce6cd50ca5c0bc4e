// LAZ: a chunk's bytes turned into point records, whole or in pieces of
// any size.
#ifndef HOLVANE_LAZ_CHUNK_DECODER_H
#define HOLVANE_LAZ_CHUNK_DECODER_H

#include "laszip_vlr.h"

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

// Decodes a chunk of `points` records from its `n` bytes into `records`
// (points * recordLength bytes): "" or why the chunk cannot be decoded. In
// *used, how many of the bytes the chunk took.
LazStatus lazDecodeChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                         uint64_t points, unsigned char *records, size_t *used,
                         uint32_t fields = LAZ_ALL_FIELDS);

// The same in pieces, so that a chunk of any size is decoded into buffers
// of a fixed size: lazStartChunk checks the chunk's `n` bytes (which must
// outlive the decoder) and sets *decoder, or says why it cannot be
// decoded; lazChunkPoints decodes its next `count` points into `records`
// (count * recordLength bytes), "" or why they cannot be decoded.
struct LazChunkDecoder;
LazStatus lazStartChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                        uint64_t points, uint32_t fields, LazChunkDecoder **decoder);
LazStatus lazChunkPoints(LazChunkDecoder *c, uint64_t count, unsigned char *records);
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

#endif
