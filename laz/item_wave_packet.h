// LAZ: the item decoders of WAVEPACKET13 and WAVEPACKET14: the wave packet fields of formats 4,
// 5, 9 and 10.
#ifndef HOLVANE_LAZ_ITEM_WAVE_PACKET_H
#define HOLVANE_LAZ_ITEM_WAVE_PACKET_H

#include "item_common.h"

#include <vector>

struct LazWavePacketModels {
    uint32_t lastOffsetCode; // how the last offset was coded: the context of the next
    int32_t lastOffsetDiff;
    LazSymbolModel packetIndex, offsetCode[4];
    LazIntegerModel offsetDiff, packetSize, returnPoint, xyz;
};

struct LazWavePacket14Context {
    bool used;
    unsigned char last[29];
    LazWavePacketModels models;
};

struct LazWavePacket14Decoder {
    unsigned version;
    unsigned channel;
    LazLayer layer;
    unsigned char unchanged[29]; // the first record's, when the layer is not decoded
    LazWavePacket14Context context[4];
};

// The 29 bytes of a wave packet: its descriptor index, then 28 bytes
// predicted from `last`'s, which become the new ones.
void lazInitWavePacketModels(LazWavePacketModels *m);
void lazDecodeWavePacket(LazStream *d, LazWavePacketModels *m, unsigned char *last,
                         unsigned char *out);
void lazStartWavePacket14(LazWavePacket14Decoder *w, const unsigned char *first, unsigned context);
void lazReadWavePacket14(LazWavePacket14Decoder *w, unsigned char *out, unsigned context);

#endif
