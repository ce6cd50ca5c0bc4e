// LAZ: the LASzip VLR (user ID "laszip encoded", record ID 22204): how a
// file's point records are compressed, item by item.
#ifndef HOLVANE_LAZ_LASZIP_VLR_H
#define HOLVANE_LAZ_LASZIP_VLR_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What a LAZ routine found: all well, or why not, in words for the user
// ("its chunk table is cut short").
struct LazStatus {
    LazStatus() = default;
    LazStatus(std::string reason) : why(std::move(reason))
    {
    }
    LazStatus(const char *reason) : why(reason)
    {
    }
    bool ok() const
    {
        return why.empty();
    }
    std::string why; // empty when all is well
};

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
LazStatus lazLayoutOf(const unsigned char *payload, size_t n, uint16_t recordLength,
                      LazLayout *layout);

// "" when this decoder reads every item of the layout, or what it lacks.
LazStatus lazUnreadItems(const LazLayout &layout);

bool lazVariableChunks(const LazLayout &layout);

// Points of formats 6 to 10 stored as format 1, 3, 4 or 5 with their
// LAS 1.4 fields in extra bytes, which older readers can take.
bool lazCompatibilityLayout(const LazLayout &layout);

#endif
