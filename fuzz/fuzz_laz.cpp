// The LAZ decoder on arbitrary bytes: as a LASzip VLR's payload, as a
// chunk table, and as a chunk of every item layout it reads. Nothing may
// crash, hang or read outside its input (the harness runs under
// AddressSanitizer), and a chunk never claims more bytes than it was given.
#include "laz_decoder.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

// The layouts of point formats 0 to 3 with two extra bytes, version 2.
LazLayout layoutFor(uint8_t pick)
{
    LazLayout l;
    l.compressor = LAZ_POINTWISE_CHUNKED;
    l.chunkSize = 50000;
    l.items.push_back(LazItem{LAZ_ITEM_POINT10, 20, 2});
    if (pick & 1)
        l.items.push_back(LazItem{LAZ_ITEM_GPSTIME11, 8, 2});
    if (pick & 2)
        l.items.push_back(LazItem{LAZ_ITEM_RGB12, 6, 2});
    if (pick & 4)
        l.items.push_back(LazItem{LAZ_ITEM_BYTE, 2, 2});
    l.recordLength = 0;
    for (const LazItem &i : l.items)
        l.recordLength = static_cast<uint16_t>(l.recordLength + i.size);
    return l;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t pick = data[0];
    const unsigned char *bytes = data + 1;
    const size_t n = size - 1;
    LazLayout parsed;
    lazLayoutOf(bytes, n, static_cast<uint16_t>(pick * 3), &parsed);
    const LazLayout layout = layoutFor(pick);
    std::vector<LazChunk> chunks;
    lazChunksOf(layout, 8, bytes, n, 1u << 20, 1u << 16, &chunks);
    const uint64_t points = 1 + pick % 64;
    std::vector<unsigned char> records(points * layout.recordLength);
    size_t used = 0;
    lazDecodeChunk(layout, bytes, n, points, records.data(), &used);
    if (used > n)
        std::abort();
    return 0;
}
