// LAZ: the LASzip VLR, the chunk table, and the decoding of a chunk.
#include "laz_decoder.h"
#include "record_bytes.h"

#include "coder.h"
#include "items_v1.h"
#include "items_v2.h"
#include "items_v3.h"

#include <algorithm>
#include <cstring>
#include <memory>

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

// An item's decoder, by type and version, as one number to switch on.
constexpr unsigned kind(uint16_t type, uint16_t version)
{
    return type * 8u + version;
}

void startPointwise(const LazLayout &layout, PointwiseDecoders *items, const unsigned char *first)
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
bool readPointwise(const LazLayout &layout, LazStream *d, PointwiseDecoders *items,
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

size_t layersOf(const LazLayout &layout)
{
    size_t n = 0;
    for (const LazItem &item : layout.items)
        n += layersOf(item);
    return n;
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

// One record's item decoders for formats 6 to 10.
struct LayeredDecoders {
    LazPoint14Decoder point;
    LazRgb14Decoder rgb;
    LazWavePacket14Decoder wave;
    LazByte14Decoder bytes;
};

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

// Each layer's stream over its bytes, started when its field is wanted
// and changes within the chunk.
void setUpLayers(const LazLayout &layout, LayeredDecoders *items, const unsigned char *sizes,
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

void startLayered(const LazLayout &layout, LayeredDecoders *items, const unsigned char *first)
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

bool readLayered(const LazLayout &layout, LayeredDecoders *items, unsigned char *out)
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

bool anyLayerOverrun(const LayeredDecoders &items)
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

} // namespace

std::string lazLayoutOf(const unsigned char *payload, size_t n, uint16_t recordLength,
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
    return "";
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

std::string lazUnreadItems(const LazLayout &layout)
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
    return "";
}

bool lazCompatibilityLayout(const LazLayout &layout)
{
    return (layout.options & 1) != 0;
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
    const uint32_t version = lazLoad<uint32_t>(table), count = lazLoad<uint32_t>(table + 4);
    if (version != 0)
        return "its chunk table has version " + std::to_string(version);
    // Variable chunks say their points in the table, layered ones in their
    // own first bytes: the chunks decide, whatever the header declares.
    // Only fixed pointwise chunks have nothing but the header's count.
    const bool variable = lazVariableChunks(layout);
    const bool byHeader = !variable && layout.compressor != LAZ_LAYERED_CHUNKED;
    // Each chunk holds a point, and takes a record's bytes of the file at
    // least; where the chunks say their points, a header's count may be
    // short of them.
    const uint64_t recordBytes = layout.recordLength > 0 ? layout.recordLength : 1;
    const uint64_t most =
        byHeader ? points + 1 : std::max(points + 1, (fileSize - pointData) / recordBytes);
    if (count > fileSize - pointData || count > most)
        return "its chunk table lists " + std::to_string(count) + " chunks for " +
               std::to_string(points) + " points";
    // Entries are decoded and checked one at a time: nothing is set aside
    // by a count before the file's bytes bear it out. Every entry must
    // decode, even past the points the header declares, as before.
    LazInput in{table + 8, table + tableBytes, false};
    LazStream d;
    if (count > 0)
        lazOpenStream(&d, &in);
    LazIntegerModel ic;
    lazStartIntegerModel(&ic, 32, 2);
    uint32_t lastCount = 0, lastSize = 0;
    uint64_t start = pointData, left = points;
    std::string outside;
    for (uint32_t i = 0; i < count && !in.damaged && outside.empty(); ++i) {
        if (variable)
            lastCount =
                static_cast<uint32_t>(lazInteger(&d, &ic, static_cast<int32_t>(lastCount), 0));
        lastSize = static_cast<uint32_t>(lazInteger(&d, &ic, static_cast<int32_t>(lastSize), 1));
        // Past the declared points, fixed pointwise chunks are listed with
        // no points: only the header says what they hold, and the caller
        // tells the user of them.
        // A size is a signed 32-bit number in the table.
        const int64_t size = static_cast<int32_t>(lastSize);
        if (size <= 0 || start + static_cast<uint64_t>(size) > fileSize) {
            outside = "its chunk table places chunk " + std::to_string(i) + " outside the file";
            continue;
        }
        uint64_t n = variable ? lastCount : layout.chunkSize;
        if (!variable && left > 0)
            n = n < left ? n : left;
        else if (byHeader)
            n = 0;
        chunks->push_back(LazChunk{start, static_cast<uint64_t>(size), n});
        start += static_cast<uint64_t>(size);
        left -= n < left ? n : left;
    }
    if (in.damaged || !outside.empty())
        chunks->clear();
    return in.damaged ? "its chunk table is cut short" : outside;
}

// A chunk decoded in pieces: its first record stored raw, then either one
// stream of whole records (pointwise) or a stream a layer (layered).
struct LazChunkDecoder {
    const LazLayout *layout;
    const unsigned char *first; // the raw first record, in the chunk's bytes
    uint64_t points, done;
    uint32_t fields;
    size_t used; // bytes of the chunk the points took
    // Pointwise: the stream after the first record.
    LazInput in;
    LazStream d;
    std::unique_ptr<PointwiseDecoders> pointwise;
    // Layered: every layer's stream over its own bytes.
    const unsigned char *sizes, *body;
    std::unique_ptr<LayeredDecoders> layered;
};

namespace
{

// The chunk's first record, stored raw, and its decoders started from it.
void decodeFirstPoint(LazChunkDecoder *c, unsigned char *record)
{
    const LazLayout &layout = *c->layout;
    std::memcpy(record, c->first, layout.recordLength);
    if (c->points < 2)
        return;
    if (c->layered) {
        setUpLayers(layout, c->layered.get(), c->sizes, c->body, c->fields);
        startLayered(layout, c->layered.get(), record);
        return;
    }
    startPointwise(layout, c->pointwise.get(), record);
    lazOpenStream(&c->d, &c->in);
}

} // namespace

std::string lazStartChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                          uint64_t points, uint32_t fields, LazChunkDecoder **decoder)
{
    *decoder = nullptr;
    const size_t length = layout.recordLength;
    auto c = std::make_unique<LazChunkDecoder>();
    c->layout = &layout, c->first = bytes, c->points = points, c->done = 0, c->fields = fields;
    if (layout.compressor == LAZ_LAYERED_CHUNKED) {
        const size_t header = lazLayeredChunkHeaderBytes(layout);
        if (n < header)
            return n < length ? "it ends within its first point" : "it ends within its layer sizes";
        const uint64_t total = lazLayeredChunkBytes(layout, bytes);
        if (total > n)
            return "its layers run past its bytes";
        c->used = static_cast<size_t>(total);
        c->sizes = bytes + length + 4, c->body = bytes + header;
        if (points > 1)
            c->layered = std::make_unique<LayeredDecoders>();
    } else {
        if (n < length)
            return "it ends within its first point";
        // The stream that follows starts with four bytes, even when it
        // holds no point.
        c->used = std::min(n, length + 4);
        c->in = LazInput{bytes + length, bytes + n, false};
        if (points > 1)
            c->pointwise = std::make_unique<PointwiseDecoders>();
    }
    *decoder = c.release();
    return "";
}

std::string lazChunkPoints(LazChunkDecoder *c, uint64_t count, unsigned char *records)
{
    const LazLayout &layout = *c->layout;
    const size_t length = layout.recordLength;
    for (uint64_t k = 0; k < count && c->done < c->points; ++k, ++c->done) {
        unsigned char *record = records + k * length;
        if (c->done == 0) {
            decodeFirstPoint(c, record);
            continue;
        }
        if (c->layered) {
            if (!readLayered(layout, c->layered.get(), record))
                return "its GPS times cannot be decoded";
            continue;
        }
        if (!readPointwise(layout, &c->d, c->pointwise.get(), record))
            return "its GPS times cannot be decoded";
        if (c->in.damaged)
            return "it decodes past its bytes";
    }
    if (c->layered && anyLayerOverrun(*c->layered))
        return "it decodes past its bytes";
    if (c->pointwise && c->done > 1)
        c->used = static_cast<size_t>(c->in.next - c->first);
    return "";
}

size_t lazChunkBytesUsed(const LazChunkDecoder *c)
{
    return c->used;
}

void lazEndChunk(LazChunkDecoder *c)
{
    delete c;
}

std::string lazDecodeChunk(const LazLayout &layout, const unsigned char *bytes, size_t n,
                           uint64_t points, unsigned char *records, size_t *used, uint32_t fields)
{
    *used = 0;
    if (points == 0)
        return "";
    LazChunkDecoder *c = nullptr;
    const std::string problem = lazStartChunk(layout, bytes, n, points, fields, &c);
    if (!problem.empty())
        return problem;
    std::unique_ptr<LazChunkDecoder, void (*)(LazChunkDecoder *)> held(c, lazEndChunk);
    const std::string why = lazChunkPoints(c, points, records);
    if (why.empty())
        *used = lazChunkBytesUsed(c);
    return why;
}

size_t lazLayeredChunkHeaderBytes(const LazLayout &layout)
{
    return layout.recordLength + 4 + 4 * layersOf(layout);
}

uint64_t lazLayeredChunkPoints(const LazLayout &layout, const unsigned char *header)
{
    return lazLoad<uint32_t>(header + layout.recordLength);
}

uint64_t lazLayeredChunkBytes(const LazLayout &layout, const unsigned char *header)
{
    const size_t at = layout.recordLength + 4;
    uint64_t total = lazLayeredChunkHeaderBytes(layout);
    for (size_t k = 0; k < layersOf(layout); ++k)
        total += lazLoad<uint32_t>(header + at + 4 * k);
    return total;
}

struct LazSequence {
    LazLayout layout;
    LazReadBytes read;
    void *source;
    uint64_t chunkPoints; // points a chunk
    uint64_t leftInChunk; // points of the chunk in hand still to decode
    uint64_t done;        // points decoded so far
    std::vector<unsigned char> window;
    bool allRead;    // `read` has given every byte
    std::string cut; // why the points end before the chunk does: the data ended
    size_t margin;   // bytes a point may take, at most, with room to spare
    LazInput in;     // over the window
    LazStream d;
    PointwiseDecoders items;
};

namespace
{

// Keeps at least `margin` bytes ahead of the decoder in the window, so that
// a point never reads past what is in hand before the data's end.
void refill(LazSequence *s)
{
    const size_t ahead = static_cast<size_t>(s->in.end - s->in.next);
    if (ahead >= s->margin || s->allRead)
        return;
    unsigned char *w = s->window.data();
    std::memmove(w, s->in.next, ahead);
    size_t filled = ahead;
    while (filled < s->window.size() && !s->allRead) {
        const size_t got = s->read(s->source, w + filled, s->window.size() - filled);
        s->allRead = got == 0;
        filled += got;
    }
    s->in.next = w;
    s->in.end = w + filled;
}

// The next chunk's first record, stored raw, and its stream's start.
// Returns false at the clean end of the data, before any byte of a chunk.
bool startChunk(LazSequence *s, unsigned char *record)
{
    refill(s);
    const size_t length = s->layout.recordLength;
    const size_t ahead = static_cast<size_t>(s->in.end - s->in.next);
    if (ahead == 0)
        return false;
    if (ahead < length) {
        s->cut = "its point data ends within point " + std::to_string(s->done + 1);
        return false;
    }
    std::memcpy(record, s->in.next, length);
    s->in.next += length;
    startPointwise(s->layout, &s->items, record);
    lazOpenStream(&s->d, &s->in);
    s->leftInChunk = s->chunkPoints - 1;
    return true;
}

} // namespace

LazSequence *lazStartSequence(const LazLayout &layout, LazReadBytes read, void *source)
{
    if (layout.compressor == LAZ_LAYERED_CHUNKED ||
        (layout.compressor == LAZ_POINTWISE_CHUNKED && lazVariableChunks(layout)))
        return nullptr;
    auto s = std::make_unique<LazSequence>();
    s->layout = layout;
    s->read = read;
    s->source = source;
    s->chunkPoints = layout.compressor == LAZ_POINTWISE ? UINT64_MAX : layout.chunkSize;
    s->leftInChunk = 0;
    s->done = 0;
    // A symbol takes at most four bytes, an item at most a few dozen
    // symbols, an extra byte one.
    s->margin = 4096 + 16 * size_t{layout.recordLength};
    s->window.resize(std::max<size_t>(1u << 20, 4 * s->margin));
    s->allRead = false;
    s->in = LazInput{s->window.data(), s->window.data(), false};
    return s.release();
}

std::string lazSequencePoints(LazSequence *s, uint64_t points, unsigned char *records,
                              uint64_t *decoded)
{
    const size_t length = s->layout.recordLength;
    std::string why;
    for (*decoded = 0; *decoded < points; ++*decoded, ++s->done) {
        unsigned char *record = records + *decoded * length;
        if (s->leftInChunk == 0) {
            if (!startChunk(s, record))
                return why;
            continue;
        }
        refill(s);
        const bool timeDecoded = readPointwise(s->layout, &s->d, &s->items, record);
        const std::string point = "point " + std::to_string(s->done + 1);
        if (!timeDecoded)
            return "the GPS time of " + point + " cannot be decoded";
        // A point that needed bytes past the data's end is not one: the
        // points before it are whole, and the data was cut.
        if (s->in.damaged) {
            s->cut = "its point data ends within " + point;
            return "";
        }
        --s->leftInChunk;
    }
    return "";
}

const std::string &lazSequenceCut(const LazSequence *s)
{
    return s->cut;
}

void lazEndSequence(LazSequence *s)
{
    delete s;
}
