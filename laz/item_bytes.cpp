// LAZ: the item decoders of BYTE (versions 1 and 2) and BYTE14: the extra bytes of a record.
#include "item_bytes.h"

#include "record_bytes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

void startByteContext(LazByte14Context *c, const unsigned char *last, size_t count)
{
    c->byte.resize(count);
    for (LazSymbolModel &m : c->byte)
        lazStartSymbolModel(&m, 256);
    c->last.assign(last, last + count);
    c->used = true;
}

void startByteFrom(LazByte14Context *c, const LazByte14Context &from)
{
    startByteContext(c, from.last.data(), from.last.size());
}

} // namespace

void lazStartBytesV1(LazBytesV1Decoder *b, const unsigned char *first, size_t count)
{
    b->last.assign(first, first + count);
    lazStartIntegerModel(&b->bytes, 8, static_cast<uint32_t>(count));
}

void lazReadBytesV1(LazStream *d, LazBytesV1Decoder *b, unsigned char *out)
{
    for (size_t i = 0; i < b->last.size(); ++i) {
        b->last[i] =
            static_cast<uint8_t>(lazInteger(d, &b->bytes, b->last[i], static_cast<uint32_t>(i)));
        out[i] = b->last[i];
    }
}

void lazStartBytes(LazBytesDecoder *b, const unsigned char *first, size_t count)
{
    b->last.assign(first, first + count);
    b->byte.resize(count);
    for (LazSymbolModel &m : b->byte)
        lazStartSymbolModel(&m, 256);
}

void lazReadBytes(LazStream *d, LazBytesDecoder *b, unsigned char *out)
{
    for (size_t i = 0; i < b->last.size(); ++i) {
        b->last[i] = lazFold(b->last[i] + static_cast<int32_t>(lazSymbol(d, &b->byte[i])));
        out[i] = b->last[i];
    }
}

void lazStartByte14(LazByte14Decoder *b, const unsigned char *first, unsigned context)
{
    for (LazByte14Context &x : b->context)
        x.used = false;
    b->channel = context;
    startByteContext(&b->context[context], first, b->layer.size());
}

void lazReadByte14(LazByte14Decoder *b, unsigned char *out, unsigned context)
{
    LazByte14Context *predicted = nullptr;
    LazByte14Context *x =
        lazSwitchContext(b->version, &b->channel, b->context, context, startByteFrom, &predicted);
    unsigned char *last = predicted->last.data();
    for (size_t i = 0; i < b->layer.size(); ++i) {
        if (b->layer[i].decoded)
            last[i] =
                lazFold(last[i] + static_cast<int32_t>(lazSymbol(&b->layer[i].d, &x->byte[i])));
        out[i] = last[i];
    }
}
