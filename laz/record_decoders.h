// LAZ: one record's item decoders, for the pointwise chunks of formats 0
// to 5 and the layered chunks of formats 6 to 10: what the chunk decoder
// and the in-turn decoder share. Internal to the LAZ unit.
#ifndef HOLVANE_LAZ_RECORD_DECODERS_H
#define HOLVANE_LAZ_RECORD_DECODERS_H

#include "chunk_decoder.h"
#include "coder.h"
#include "item_bytes.h"
#include "item_gps_time.h"
#include "item_point10.h"
#include "item_point14.h"
#include "item_rgb.h"
#include "item_wave_packet.h"

// One record's item decoders for formats 0 to 5, versions 1 and 2. A
// layout lists each item type at most once.
struct PointwiseDecoders {
    LazPoint10Decoder point;
    LazPoint10V1Decoder pointV1;
    LazGpsTimeDecoder time;
    LazGpsTimeV1Decoder timeV1;
    LazRgbDecoder rgb;
    LazRgbV1Decoder rgbV1;
    LazBytesDecoder bytes;
    LazBytesV1Decoder bytesV1;
    unsigned char waveLast[29];
    LazWavePacketModels wave;
};

// Every item's decoder started from the chunk's first record.
void lazStartPointwise(const LazLayout &layout, PointwiseDecoders *items,
                       const unsigned char *first);
// One record, item after item; false when its GPS time cannot be decoded.
bool lazReadPointwise(const LazLayout &layout, LazStream *d, PointwiseDecoders *items,
                      unsigned char *out);

// One record's item decoders for formats 6 to 10.
struct LayeredDecoders {
    LazPoint14Decoder point;
    LazRgb14Decoder rgb;
    LazWavePacket14Decoder wave;
    LazByte14Decoder bytes;
};

// Layers of a layered chunk, all items together.
size_t lazLayersOf(const LazLayout &layout);
// Each layer's stream over its bytes, started when its field is wanted
// and changes within the chunk.
void lazSetUpLayers(const LazLayout &layout, LayeredDecoders *items, const unsigned char *sizes,
                    const unsigned char *body, uint32_t fields);
void lazStartLayered(const LazLayout &layout, LayeredDecoders *items, const unsigned char *first);
// One record; false when its GPS time cannot be decoded.
bool lazReadLayered(const LazLayout &layout, LayeredDecoders *items, unsigned char *out);
// Whether a layer has been read past its bytes.
bool lazAnyLayerOverrun(const LayeredDecoders &items);

#endif
