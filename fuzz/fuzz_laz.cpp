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

// A layout of every item decoder: pointwise (formats 0 to 5, versions 1
// and 2, with a wave packet) or layered (formats 6 to 10, versions 3 and
// 4), as the bits of `pick` choose.
LazLayout layoutFor(uint8_t pick)
{
    LazLayout l;
    l.chunkSize = 50000;
    const bool layered = pick & 32;
    if (layered) {
        const uint16_t v = pick & 64 ? 4 : 3;
        l.compressor = LAZ_LAYERED_CHUNKED;
        l.items.push_back(LazItem{LAZ_ITEM_POINT14, 30, v});
        if (pick & 2)
            l.items.push_back(pick & 128 ? LazItem{LAZ_ITEM_RGBNIR14, 8, v}
                                         : LazItem{LAZ_ITEM_RGB14, 6, v});
        if (pick & 16)
            l.items.push_back(LazItem{LAZ_ITEM_WAVEPACKET14, 29, v});
        if (pick & 4)
            l.items.push_back(LazItem{LAZ_ITEM_BYTE14, 3, v});
    } else {
        const uint16_t v = pick & 8 ? 1 : 2;
        l.compressor = pick & 64 ? LAZ_POINTWISE : LAZ_POINTWISE_CHUNKED;
        l.items.push_back(LazItem{LAZ_ITEM_POINT10, 20, v});
        if (pick & 1)
            l.items.push_back(LazItem{LAZ_ITEM_GPSTIME11, 8, v});
        if (pick & 2)
            l.items.push_back(LazItem{LAZ_ITEM_RGB12, 6, v});
        if (pick & 16)
            l.items.push_back(LazItem{LAZ_ITEM_WAVEPACKET13, 29, 1});
        if (pick & 4)
            l.items.push_back(LazItem{LAZ_ITEM_BYTE, 2, v});
    }
    l.recordLength = 0;
    for (const LazItem &i : l.items)
        l.recordLength = static_cast<uint16_t>(l.recordLength + i.size);
    return l;
}

struct Source {
    const unsigned char *next, *end;
};

// The input handed out a few bytes at a time, as a file read in turn.
size_t readSome(void *source, unsigned char *to, size_t n)
{
    Source *s = static_cast<Source *>(source);
    const size_t left = static_cast<size_t>(s->end - s->next);
    n = n < 97 ? n : 97;
    n = n < left ? n : left;
    std::memcpy(to, s->next, n);
    s->next += n;
    return n;
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
    if (!lazUnreadItems(layout).why.empty())
        std::abort();
    std::vector<LazChunk> chunks;
    // A file as long as the input, as a real one bounds its chunk count.
    lazChunksOf(layout, 8, bytes, n, 8 + n, 1u << 16, &chunks);
    const uint64_t points = 1 + pick % 64;
    std::vector<unsigned char> records(points * layout.recordLength);
    size_t used = 0;
    // Some fields left undecoded, as a Format that does not print them.
    const uint32_t fields = pick & 1 ? LAZ_ALL_FIELDS : LAZ_FIELD_Z | LAZ_FIELD_RGB;
    lazDecodeChunk(layout, bytes, n, points, records.data(), &used, fields);
    if (used > n)
        std::abort();
    Source source{bytes, bytes + n};
    if (LazSequence *s = lazStartSequence(layout, readSome, &source)) {
        uint64_t decoded = 0;
        lazSequencePoints(s, points, records.data(), &decoded);
        if (decoded > points)
            std::abort();
        lazEndSequence(s);
    }
    return 0;
}
