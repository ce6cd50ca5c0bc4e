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

bool lazVariableChunks(const LazLayout &layout);

struct LazChunk {
    uint64_t start; // in the file
    uint64_t bytes;
    uint64_t points;
};

// The chunks of the point data. `pointData` is where the chunks begin
// (OffsetToData + 8), `table` and `tableBytes` what the file holds from the
// chunk table on (nothing when there is none: fixed chunks follow one
// another then, and their ends are found as they are decoded), `fileSize`
// and `points` the file's size and point count.
std::string lazChunksOf(const LazLayout &layout, uint64_t pointData, const unsigned char *table,
                        size_t tableBytes, uint64_t fileSize, uint64_t points,
                        std::vector<LazChunk> *chunks);

// Decodes a chunk of `points` records from its `n` bytes into `records`
// (points * recordLength bytes): "" or why the chunk cannot be decoded. In
// *used, how many of the bytes the chunk took.
std::string lazDecodeChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                           uint64_t points, unsigned char *records, size_t *used);

#endif
