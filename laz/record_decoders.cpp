// LAZ: one record's item decoders, started from a chunk's first record and
// read record after record.
#include "record_decoders.h"

#include "record_bytes.h"

#include <cstring>

namespace
{

// An item's decoder, by type and version, as one number to switch on.
constexpr unsigned kind(uint16_t type, uint16_t version)
{
    return type * 8u + version;
}

// Layers of an item in a layered chunk.
size_t layersOf(const LazItem &item)
{
    switch (item.type) {
    case LAZ_ITEM_POINT14: return LAZ_POINT14_LAYERS;
    case LAZ_ITEM_RGBNIR14: return 2;
    case LAZ_ITEM_BYTE14: return item.size;
    default: return 1;
    }
}

// The field each layer of an item holds, as the caller names fields.
uint32_t fieldOfLayer(const LazItem &item, size_t layer)
{
    switch (item.type) {
    case LAZ_ITEM_POINT14: return layer == LAZ_LAYER_XY ? 0 : 1u << (layer - 1);
    case LAZ_ITEM_RGB14: return LAZ_FIELD_RGB;
    case LAZ_ITEM_RGBNIR14: return layer == 0 ? LAZ_FIELD_RGB : LAZ_FIELD_NIR;
    case LAZ_ITEM_WAVEPACKET14: return LAZ_FIELD_WAVE_PACKET;
    default: return LAZ_FIELD_EXTRA_BYTES;
    }
}

// The item's layers, in the order the chunk stores them.
LazLayer *layerOf(LayeredDecoders *items, const LazItem &item, size_t layer)
{
    switch (item.type) {
    case LAZ_ITEM_POINT14: return &items->point.layer[layer];
    case LAZ_ITEM_RGB14:
    case LAZ_ITEM_RGBNIR14: return &items->rgb.layer[layer];
    case LAZ_ITEM_WAVEPACKET14: return &items->wave.layer;
    default: return &items->bytes.layer[layer];
    }
}

} // namespace

void lazStartPointwise(const LazLayout &layout, PointwiseDecoders *items,
                       const unsigned char *first)
{
    for (const LazItem &item : layout.items) {
        switch (kind(item.type, item.version)) {
        case kind(LAZ_ITEM_POINT10, 1): lazStartPoint10V1(&items->pointV1, first); break;
        case kind(LAZ_ITEM_POINT10, 2): lazStartPoint10(&items->point, first); break;
        case kind(LAZ_ITEM_GPSTIME11, 1): lazStartGpsTimeV1(&items->timeV1, first); break;
        case kind(LAZ_ITEM_GPSTIME11, 2): lazStartGpsTime(&items->time, first); break;
        case kind(LAZ_ITEM_RGB12, 1): lazStartRgbV1(&items->rgbV1, first); break;
        case kind(LAZ_ITEM_RGB12, 2): lazStartRgb(&items->rgb, first); break;
        case kind(LAZ_ITEM_BYTE, 1): lazStartBytesV1(&items->bytesV1, first, item.size); break;
        case kind(LAZ_ITEM_BYTE, 2): lazStartBytes(&items->bytes, first, item.size); break;
        default:
            std::memcpy(items->waveLast, first, 29);
            lazInitWavePacketModels(&items->wave);
            break;
        }
        first += item.size;
    }
}

// One record, item after item; false when its GPS time cannot be decoded.
bool lazReadPointwise(const LazLayout &layout, LazStream *d, PointwiseDecoders *items,
                      unsigned char *out)
{
    for (const LazItem &item : layout.items) {
        switch (kind(item.type, item.version)) {
        case kind(LAZ_ITEM_POINT10, 1): lazReadPoint10V1(d, &items->pointV1, out); break;
        case kind(LAZ_ITEM_POINT10, 2): lazReadPoint10(d, &items->point, out); break;
        case kind(LAZ_ITEM_GPSTIME11, 1): lazReadGpsTimeV1(d, &items->timeV1, out); break;
        case kind(LAZ_ITEM_GPSTIME11, 2):
            if (!lazReadGpsTime(d, &items->time, out))
                return false;
            break;
        case kind(LAZ_ITEM_RGB12, 1): lazReadRgbV1(d, &items->rgbV1, out); break;
        case kind(LAZ_ITEM_RGB12, 2): lazReadRgb(d, &items->rgb, out); break;
        case kind(LAZ_ITEM_BYTE, 1): lazReadBytesV1(d, &items->bytesV1, out); break;
        case kind(LAZ_ITEM_BYTE, 2): lazReadBytes(d, &items->bytes, out); break;
        default: lazDecodeWavePacket(d, &items->wave, items->waveLast, out); break;
        }
        out += item.size;
    }
    return true;
}

size_t lazLayersOf(const LazLayout &layout)
{
    size_t n = 0;
    for (const LazItem &item : layout.items)
        n += layersOf(item);
    return n;
}

// Each layer's stream over its bytes, started when its field is wanted
// and changes within the chunk.
void lazSetUpLayers(const LazLayout &layout, LayeredDecoders *items, const unsigned char *sizes,
                    const unsigned char *body, uint32_t fields)
{
    for (const LazItem &item : layout.items) {
        // Version 2 was an early name of version 3.
        const unsigned version = item.version < 3 ? 3 : item.version;
        switch (item.type) {
        case LAZ_ITEM_POINT14: items->point.version = version; break;
        case LAZ_ITEM_RGB14:
        case LAZ_ITEM_RGBNIR14:
            items->rgb.version = version;
            items->rgb.nir = item.type == LAZ_ITEM_RGBNIR14;
            break;
        case LAZ_ITEM_WAVEPACKET14: items->wave.version = version; break;
        default:
            items->bytes.version = version;
            items->bytes.layer.resize(item.size);
            break;
        }
        for (size_t k = 0; k < layersOf(item); ++k) {
            const uint32_t size = lazLoad<uint32_t>(sizes);
            sizes += 4;
            LazLayer *layer = layerOf(items, item, k);
            const uint32_t field = fieldOfLayer(item, k);
            layer->in = LazInput{body, body + size, false};
            // X, Y and the returns are always decoded: a chunk of more than
            // one point whose layer for them is empty is cut.
            layer->decoded = field == 0 || (size > 0 && (fields & field) != 0);
            if (layer->decoded)
                lazOpenStream(&layer->d, &layer->in);
            body += size;
        }
    }
}

void lazStartLayered(const LazLayout &layout, LayeredDecoders *items, const unsigned char *first)
{
    unsigned context = 0;
    for (const LazItem &item : layout.items) {
        switch (item.type) {
        case LAZ_ITEM_POINT14: context = lazStartPoint14(&items->point, first); break;
        case LAZ_ITEM_RGB14:
        case LAZ_ITEM_RGBNIR14: lazStartRgb14(&items->rgb, first, context); break;
        case LAZ_ITEM_WAVEPACKET14: lazStartWavePacket14(&items->wave, first, context); break;
        default: lazStartByte14(&items->bytes, first, context); break;
        }
        first += item.size;
    }
}

bool lazReadLayered(const LazLayout &layout, LayeredDecoders *items, unsigned char *out)
{
    unsigned context = 0;
    for (const LazItem &item : layout.items) {
        switch (item.type) {
        case LAZ_ITEM_POINT14:
            if (!lazReadPoint14(&items->point, out, &context))
                return false;
            break;
        case LAZ_ITEM_RGB14:
        case LAZ_ITEM_RGBNIR14: lazReadRgb14(&items->rgb, out, context); break;
        case LAZ_ITEM_WAVEPACKET14: lazReadWavePacket14(&items->wave, out, context); break;
        default: lazReadByte14(&items->bytes, out, context); break;
        }
        out += item.size;
    }
    return true;
}

bool lazAnyLayerOverrun(const LayeredDecoders &items)
{
    for (const LazLayer &layer : items.point.layer)
        if (layer.in.damaged)
            return true;
    for (const LazLayer &layer : items.rgb.layer)
        if (layer.in.damaged)
            return true;
    for (const LazLayer &layer : items.bytes.layer)
        if (layer.in.damaged)
            return true;
    return items.wave.layer.in.damaged;
}
