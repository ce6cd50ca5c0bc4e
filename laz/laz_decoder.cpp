// LAZ: the LASzip VLR, the chunk table, and the decoding of a chunk.
#include "laz_decoder.h"

#include "arithmetic_decoder.h"
#include "items_v2.h"

#include <cstring>
#include <memory>

namespace
{

template <typename T> T load(const unsigned char *at)
{
    T v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

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

// One record's item decoders for formats 0 to 5, version 2.
struct PointwiseDecoders {
    LazPoint10Decoder point;
    LazGpsTimeDecoder time;
    LazRgbDecoder rgb;
    LazBytesDecoder bytes;
};

std::string decodePointwise(const LazLayout &layout, const unsigned char *bytes, size_t n,
                            uint64_t points, unsigned char *records, size_t *used)
{
    const size_t length = layout.recordLength;
    if (n < length)
        return "it ends within its first point";
    std::memcpy(records, bytes, length);
    *used = length;
    if (points < 2)
        return "";
    auto items = std::make_unique<PointwiseDecoders>();
    size_t offset = 0;
    for (const LazItem &item : layout.items) {
        const unsigned char *first = records + offset;
        switch (item.type) {
        case LAZ_ITEM_POINT10: lazStartPoint10(&items->point, first); break;
        case LAZ_ITEM_GPSTIME11: lazStartGpsTime(&items->time, first); break;
        case LAZ_ITEM_RGB12: lazStartRgb(&items->rgb, first); break;
        default: lazStartBytes(&items->bytes, first, item.size); break;
        }
        offset += item.size;
    }
    LazInput in{bytes + length, bytes + n, false};
    LazDecoder d;
    lazStartDecoder(&d, &in);
    for (uint64_t p = 1; p < points; ++p) {
        unsigned char *record = records + p * length;
        offset = 0;
        for (const LazItem &item : layout.items) {
            unsigned char *out = record + offset;
            switch (item.type) {
            case LAZ_ITEM_POINT10: lazReadPoint10(&d, &items->point, out); break;
            case LAZ_ITEM_GPSTIME11:
                if (!lazReadGpsTime(&d, &items->time, out))
                    return "its GPS times cannot be decoded";
                break;
            case LAZ_ITEM_RGB12: lazReadRgb(&d, &items->rgb, out); break;
            default: lazReadBytes(&d, &items->bytes, out); break;
            }
            offset += item.size;
        }
        if (in.overrun)
            return "it decodes past its bytes";
    }
    *used = static_cast<size_t>(in.next - bytes);
    return "";
}

} // namespace

std::string lazLayoutOf(const unsigned char *payload, size_t n, uint16_t recordLength,
                        LazLayout *layout)
{
    if (n < VLR_FIXED_BYTES)
        return "its LASzip VLR holds " + std::to_string(n) + " bytes, fewer than 34";
    LazLayout l;
    l.compressor = load<uint16_t>(payload);
    const uint16_t coder = load<uint16_t>(payload + 2);
    l.options = load<uint32_t>(payload + 8);
    l.chunkSize = load<uint32_t>(payload + 12);
    const uint16_t count = load<uint16_t>(payload + 32);
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
        const LazItem item{load<uint16_t>(at), load<uint16_t>(at + 2), load<uint16_t>(at + 4)};
        if (!knownType(item.type))
            return "its LASzip VLR lists an item of unknown type " + std::to_string(item.type);
        if (itemSize(item.type) != 0 && item.size != itemSize(item.type))
            return "its LASzip VLR gives " + itemName(item.type) + " " + std::to_string(item.size) +
                   " bytes";
        total += item.size;
        l.items.push_back(item);
    }
    if (l.items.empty() || total != recordLength)
        return "the items of its LASzip VLR take " + std::to_string(total) +
               " bytes, its records " + std::to_string(recordLength);
    *layout = l;
    return "";
}

std::string lazUnreadItems(const LazLayout &layout)
{
    if (layout.compressor != LAZ_POINTWISE_CHUNKED)
        return layout.compressor == LAZ_POINTWISE ? "points compressed one stream (compressor 1)"
                                                  : "layered chunks (compressor 3)";
    for (const LazItem &item : layout.items)
        if (item.version != 2 || item.type > LAZ_ITEM_RGB12)
            return itemName(item.type) + " version " + std::to_string(item.version);
    if (layout.items.front().type != LAZ_ITEM_POINT10)
        return "records that do not start with POINT10";
    return "";
}

bool lazVariableChunks(const LazLayout &layout)
{
    return layout.chunkSize == 0 || layout.chunkSize == VARIABLE_CHUNKS;
}

std::string lazChunksOf(const LazLayout &layout, uint64_t pointData, const unsigned char *table,
                        size_t tableBytes, uint64_t fileSize, uint64_t points,
                        std::vector<LazChunk> *chunks)
{
    chunks->clear();
    if (tableBytes < 8)
        return "its chunk table is cut short";
    const uint32_t version = load<uint32_t>(table), count = load<uint32_t>(table + 4);
    if (version != 0)
        return "its chunk table has version " + std::to_string(version);
    // Each chunk takes at least a byte of the file.
    if (count > fileSize - pointData)
        return "its chunk table lists " + std::to_string(count) + " chunks";
    const bool variable = lazVariableChunks(layout);
    std::vector<uint32_t> counts(count), sizes(count);
    if (count > 0) {
        LazInput in{table + 8, table + tableBytes, false};
        LazDecoder d;
        lazStartDecoder(&d, &in);
        LazIntegerDecoder ic;
        lazInitIntegerDecoder(&ic, 32, 2);
        for (uint32_t i = 0; i < count; ++i) {
            if (variable)
                counts[i] = static_cast<uint32_t>(lazDecompressInteger(
                    &d, &ic, static_cast<int32_t>(i > 0 ? counts[i - 1] : 0), 0));
            sizes[i] = static_cast<uint32_t>(
                lazDecompressInteger(&d, &ic, static_cast<int32_t>(i > 0 ? sizes[i - 1] : 0), 1));
        }
        if (in.overrun)
            return "its chunk table is cut short";
    }
    uint64_t start = pointData, left = points;
    for (uint32_t i = 0; i < count && left > 0; ++i) {
        // A size is a signed 32-bit number in the table.
        const int64_t size = static_cast<int32_t>(sizes[i]);
        if (size <= 0 || start + static_cast<uint64_t>(size) > fileSize)
            return "its chunk table places chunk " + std::to_string(i) + " outside the file";
        uint64_t n = variable ? counts[i] : layout.chunkSize;
        n = n < left ? n : left;
        chunks->push_back(LazChunk{start, static_cast<uint64_t>(size), n});
        start += static_cast<uint64_t>(size);
        left -= n;
    }
    return "";
}

std::string lazDecodeChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                           uint64_t points, unsigned char *records, size_t *used)
{
    *used = 0;
    if (points == 0)
        return "";
    return decodePointwise(layout, bytes, n, points, records, used);
}
