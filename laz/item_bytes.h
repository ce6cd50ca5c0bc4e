// LAZ: the item decoders of BYTE (versions 1 and 2) and BYTE14: the extra bytes of a record.
#ifndef HOLVANE_LAZ_ITEM_BYTES_H
#define HOLVANE_LAZ_ITEM_BYTES_H

#include "item_common.h"

#include <vector>

struct LazBytesV1Decoder {
    std::vector<unsigned char> last;
    LazIntegerModel bytes;
};

struct LazBytesDecoder {
    std::vector<unsigned char> last;
    std::vector<LazSymbolModel> byte;
};

struct LazByte14Context {
    bool used;
    std::vector<unsigned char> last;
    std::vector<LazSymbolModel> byte;
};

struct LazByte14Decoder {
    unsigned version;
    unsigned channel;
    std::vector<LazLayer> layer; // one a byte
    LazByte14Context context[4];
};

void lazStartBytesV1(LazBytesV1Decoder *b, const unsigned char *first, size_t count);
void lazReadBytesV1(LazStream *d, LazBytesV1Decoder *b, unsigned char *out);
void lazStartBytes(LazBytesDecoder *b, const unsigned char *first, size_t count);
void lazReadBytes(LazStream *d, LazBytesDecoder *b, unsigned char *out);
void lazStartByte14(LazByte14Decoder *b, const unsigned char *first, unsigned context);
void lazReadByte14(LazByte14Decoder *b, unsigned char *out, unsigned context);

#endif
