// LAZ: the item decoders of WAVEPACKET13 and WAVEPACKET14: the wave packet fields of formats 4,
// 5, 9 and 10.
#include "item_wave_packet.h"

#include "record_bytes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

void startWaveContext(LazWavePacket14Context *c, const unsigned char *last)
{
    lazInitWavePacketModels(&c->models);
    std::memcpy(c->last, last, 29);
    c->used = true;
}

void startWaveFrom(LazWavePacket14Context *c, const LazWavePacket14Context &from)
{
    startWaveContext(c, from.last);
}

} // namespace

void lazInitWavePacketModels(LazWavePacketModels *m)
{
    m->lastOffsetCode = 0;
    m->lastOffsetDiff = 0;
    lazStartSymbolModel(&m->packetIndex, 256);
    for (LazSymbolModel &code : m->offsetCode)
        lazStartSymbolModel(&code, 4);
    lazStartIntegerModel(&m->offsetDiff, 32, 1);
    lazStartIntegerModel(&m->packetSize, 32, 1);
    lazStartIntegerModel(&m->returnPoint, 32, 1);
    lazStartIntegerModel(&m->xyz, 32, 3);
}

// The packet's offset is the last one, the end of the last packet, the last
// offset plus a difference, or stored raw; its size, return point and
// direction are predicted from the last packet's.
void lazDecodeWavePacket(LazStream *d, LazWavePacketModels *m, unsigned char *last,
                         unsigned char *out)
{
    out[0] = static_cast<uint8_t>(lazSymbol(d, &m->packetIndex));
    const uint64_t lastOffset = lazLoad<uint64_t>(last + 1);
    const uint32_t lastSize = lazLoad<uint32_t>(last + 9);
    m->lastOffsetCode = lazSymbol(d, &m->offsetCode[m->lastOffsetCode]);
    uint64_t offset = lastOffset;
    if (m->lastOffsetCode == 1) {
        offset = lastOffset + lastSize;
    } else if (m->lastOffsetCode == 2) {
        m->lastOffsetDiff = lazInteger(d, &m->offsetDiff, m->lastOffsetDiff, 0);
        offset = lastOffset + static_cast<uint64_t>(static_cast<int64_t>(m->lastOffsetDiff));
    } else if (m->lastOffsetCode == 3) {
        offset = lazRaw64(d);
    }
    lazStore<uint64_t>(out + 1, offset);
    lazStore<int32_t>(out + 9, lazInteger(d, &m->packetSize, static_cast<int32_t>(lastSize), 0));
    lazStore<int32_t>(out + 13, lazInteger(d, &m->returnPoint, lazLoad<int32_t>(last + 13), 0));
    for (uint32_t axis = 0; axis < 3; ++axis)
        lazStore<int32_t>(out + 17 + 4 * axis,
                          lazInteger(d, &m->xyz, lazLoad<int32_t>(last + 17 + 4 * axis), axis));
    std::memcpy(last, out, 29);
}

void lazStartWavePacket14(LazWavePacket14Decoder *w, const unsigned char *first, unsigned context)
{
    for (LazWavePacket14Context &x : w->context)
        x.used = false;
    std::memcpy(w->unchanged, first, 29);
    w->channel = context;
    startWaveContext(&w->context[context], first);
}

void lazReadWavePacket14(LazWavePacket14Decoder *w, unsigned char *out, unsigned context)
{
    LazWavePacket14Context *predicted = nullptr;
    LazWavePacket14Context *x =
        lazSwitchContext(w->version, &w->channel, w->context, context, startWaveFrom, &predicted);
    if (w->layer.decoded)
        lazDecodeWavePacket(&w->layer.d, &x->models, predicted->last, out);
    else
        std::memcpy(out, w->unchanged, 29);
}
