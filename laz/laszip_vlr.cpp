// LAZ: the LASzip VLR's description of the records, and what of it this
// decoder reads.
#include "laszip_vlr.h"

#include "record_bytes.h"

#include <string>

namespace
{

constexpr size_t VLR_FIXED_BYTES = 34;
constexpr uint32_t VARIABLE_CHUNKS = 0xFFFFFFFFu;

// The size an item of a type must have; 0 for the extra bytes, whose size
// is the record's to say.
unsigned itemSize(uint16_t type)
{
    switch (type) {
    case LAZ_ITEM_POINT10: return 20;
    case LAZ_ITEM_GPSTIME11: return 8;
    case LAZ_ITEM_RGB12: return 6;
    case LAZ_ITEM_WAVEPACKET13: return 29;
    case LAZ_ITEM_POINT14: return 30;
    case LAZ_ITEM_RGB14: return 6;
    case LAZ_ITEM_RGBNIR14: return 8;
    case LAZ_ITEM_WAVEPACKET14: return 29;
    default: return 0;
    }
}

bool knownType(uint16_t type)
{
    return type == LAZ_ITEM_BYTE || (type >= LAZ_ITEM_POINT10 && type <= LAZ_ITEM_BYTE14);
}

std::string itemName(uint16_t type)
{
    static const char *const names[] = {"POINT10",      "GPSTIME11",    "RGB12",
                                        "WAVEPACKET13", "POINT14",      "RGB14",
                                        "RGBNIR14",     "WAVEPACKET14", "BYTE14"};
    if (type == LAZ_ITEM_BYTE)
        return "BYTE";
    return type >= LAZ_ITEM_POINT10 && type <= LAZ_ITEM_BYTE14 ? names[type - LAZ_ITEM_POINT10]
                                                               : "type " + std::to_string(type);
}

} // namespace

LazStatus lazLayoutOf(const unsigned char *payload, size_t n, uint16_t recordLength,
                      LazLayout *layout)
{
    if (n < VLR_FIXED_BYTES)
        return "its LASzip VLR holds " + std::to_string(n) + " bytes, fewer than 34";
    LazLayout l;
    l.compressor = lazLoad<uint16_t>(payload);
    const uint16_t coder = lazLoad<uint16_t>(payload + 2);
    l.options = lazLoad<uint32_t>(payload + 8);
    l.chunkSize = lazLoad<uint32_t>(payload + 12);
    const uint16_t count = lazLoad<uint16_t>(payload + 32);
    l.recordLength = recordLength;
    if (coder != 0)
        return "its LASzip VLR names coder " + std::to_string(coder) + ", not the arithmetic one";
    if (l.compressor < LAZ_POINTWISE || l.compressor > LAZ_LAYERED_CHUNKED)
        return "its LASzip VLR names compressor " + std::to_string(l.compressor);
    if (n < VLR_FIXED_BYTES + 6u * count)
        return "its LASzip VLR lists " + std::to_string(count) + " items in " + std::to_string(n) +
               " bytes";
    unsigned total = 0;
    for (uint16_t k = 0; k < count; ++k) {
        const unsigned char *at = payload + VLR_FIXED_BYTES + 6u * k;
        const LazItem item{lazLoad<uint16_t>(at), lazLoad<uint16_t>(at + 2),
                           lazLoad<uint16_t>(at + 4)};
        if (!knownType(item.type))
            return "its LASzip VLR lists an item of unknown type " + std::to_string(item.type);
        const unsigned size = itemSize(item.type);
        if ((size != 0 && item.size != size) || item.size == 0)
            return "its LASzip VLR gives " + itemName(item.type) + " " + std::to_string(item.size) +
                   " bytes";
        total += item.size;
        l.items.push_back(item);
    }
    if (l.items.empty() || total != recordLength)
        return "the items of its LASzip VLR take " + std::to_string(total) +
               " bytes, its records " + std::to_string(recordLength);
    *layout = l;
    return {};
}

namespace
{

// Whether this decoder reads an item of this type and version in records
// of this compressor.
bool itemDecoded(uint16_t compressor, const LazItem &item)
{
    if (compressor == LAZ_LAYERED_CHUNKED) {
        if (item.type == LAZ_ITEM_WAVEPACKET14)
            return item.version == 3 || item.version == 4;
        return item.type >= LAZ_ITEM_POINT14 && item.version >= 2 && item.version <= 4;
    }
    if (item.type == LAZ_ITEM_WAVEPACKET13)
        return item.version == 1;
    return item.type <= LAZ_ITEM_RGB12 && (item.version == 1 || item.version == 2);
}

} // namespace

LazStatus lazUnreadItems(const LazLayout &layout)
{
    const uint16_t first =
        layout.compressor == LAZ_LAYERED_CHUNKED ? LAZ_ITEM_POINT14 : LAZ_ITEM_POINT10;
    if (layout.items.front().type != first)
        return "records that do not start with " + itemName(first) + " (compressor " +
               std::to_string(layout.compressor) + ")";
    unsigned seen = 0;
    for (const LazItem &item : layout.items) {
        if (!itemDecoded(layout.compressor, item))
            return itemName(item.type) + " version " + std::to_string(item.version) +
                   " (compressor " + std::to_string(layout.compressor) + ")";
        if (seen & (1u << item.type))
            return "two " + itemName(item.type) + " items in each record";
        seen |= 1u << item.type;
    }
    return {};
}

bool lazCompatibilityLayout(const LazLayout &layout)
{
    return (layout.options & 1) != 0;
}

bool lazVariableChunks(const LazLayout &layout)
{
    return layout.chunkSize == 0 || layout.chunkSize == VARIABLE_CHUNKS;
}
