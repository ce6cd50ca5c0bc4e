// LAZ: the item decoders of RGB12 (versions 1 and 2), and RGB14 and RGBNIR14 of formats 6 to 10:
// colour and near infrared.
#ifndef HOLVANE_LAZ_ITEM_RGB_H
#define HOLVANE_LAZ_ITEM_RGB_H

#include "item_common.h"

#include <vector>

struct LazRgbV1Decoder {
    uint16_t last[3];
    LazSymbolModel byteUsed;
    LazIntegerModel rgb;
};

struct LazRgbModels {
    LazSymbolModel byteUsed;
    LazSymbolModel diff[6];
};

struct LazRgbDecoder {
    uint16_t last[3];
    LazRgbModels models;
};

struct LazRgb14Context {
    bool used;
    uint16_t last[4]; // red, green, blue, near infrared
    LazRgbModels rgb;
    LazSymbolModel nirUsed, nirDiff[2];
};

struct LazRgb14Decoder {
    unsigned version;
    unsigned channel;
    bool nir; // RGBNIR14: a second layer, near infrared
    LazLayer layer[2];
    LazRgb14Context context[4];
};

void lazStartRgbV1(LazRgbV1Decoder *c, const unsigned char *first);
void lazReadRgbV1(LazStream *d, LazRgbV1Decoder *c, unsigned char *out);
void lazInitRgbModels(LazRgbModels *m);
void lazStartRgb(LazRgbDecoder *c, const unsigned char *first);
void lazReadRgb(LazStream *d, LazRgbDecoder *c, unsigned char *out);
// A colour predicted from `last`, which becomes it.
void lazDecodeRgb(LazStream *d, LazRgbModels *m, uint16_t *last, unsigned char *out);
void lazStartRgb14(LazRgb14Decoder *c, const unsigned char *first, unsigned context);
void lazReadRgb14(LazRgb14Decoder *c, unsigned char *out, unsigned context);

#endif
