// LAZ: the item decoders of RGB12 (versions 1 and 2), and RGB14 and RGBNIR14 of formats 6 to 10:
// colour and near infrared.
#include "item_rgb.h"

#include "record_bytes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

uint8_t clampByte(int32_t n)
{
    return static_cast<uint8_t>(n <= 0 ? 0 : n >= 255 ? 255 : n);
}

void startRgbContext(LazRgb14Context *c, const uint16_t *last)
{
    lazInitRgbModels(&c->rgb);
    lazStartSymbolModel(&c->nirUsed, 4);
    lazStartSymbolModel(&c->nirDiff[0], 256);
    lazStartSymbolModel(&c->nirDiff[1], 256);
    std::memcpy(c->last, last, sizeof c->last);
    c->used = true;
}

void startRgbFrom(LazRgb14Context *c, const LazRgb14Context &from)
{
    startRgbContext(c, from.last);
}

} // namespace

void lazStartRgbV1(LazRgbV1Decoder *c, const unsigned char *first)
{
    lazStartSymbolModel(&c->byteUsed, 64);
    lazStartIntegerModel(&c->rgb, 8, 6);
    for (int i = 0; i < 3; ++i)
        c->last[i] = lazLoad<uint16_t>(first + 2 * i);
}

// Each byte of each colour that the symbol names, predicted from the last.
void lazReadRgbV1(LazStream *d, LazRgbV1Decoder *c, unsigned char *out)
{
    const uint32_t used = lazSymbol(d, &c->byteUsed);
    for (unsigned b = 0; b < 6; ++b) {
        const unsigned colour = b / 2, shift = 8 * (b % 2);
        uint32_t byte = (c->last[colour] >> shift) & 0xFF;
        if (used & (1u << b))
            byte =
                static_cast<uint32_t>(lazInteger(d, &c->rgb, static_cast<int32_t>(byte), b)) & 0xFF;
        c->last[colour] =
            static_cast<uint16_t>((c->last[colour] & (0xFF00u >> shift)) | byte << shift);
    }
    for (int i = 0; i < 3; ++i)
        lazStore<uint16_t>(out + 2 * i, c->last[i]);
}

void lazInitRgbModels(LazRgbModels *m)
{
    lazStartSymbolModel(&m->byteUsed, 128);
    for (LazSymbolModel &diff : m->diff)
        lazStartSymbolModel(&diff, 256);
}

void lazStartRgb(LazRgbDecoder *c, const unsigned char *first)
{
    lazInitRgbModels(&c->models);
    for (int i = 0; i < 3; ++i)
        c->last[i] = lazLoad<uint16_t>(first + 2 * i);
}

void lazReadRgb(LazStream *d, LazRgbDecoder *c, unsigned char *out)
{
    lazDecodeRgb(d, &c->models, c->last, out);
}

void lazDecodeRgb(LazStream *d, LazRgbModels *c, uint16_t *last, unsigned char *out)
{
    const uint32_t used = lazSymbol(d, &c->byteUsed);
    uint16_t rgb[3];
    const auto part = [d, c](int model, int32_t predicted) {
        return lazFold(static_cast<int32_t>(lazSymbol(d, &c->diff[model])) + predicted);
    };
    // Red: its low and high byte against the last red's.
    rgb[0] = used & 1 ? part(0, last[0] & 0xFF) : last[0] & 0xFF;
    rgb[0] |= (used & 2 ? part(1, last[0] >> 8) : last[0] >> 8) << 8;
    if (used & 64) {
        // Green and blue follow red's change, byte by byte.
        int32_t diff = (rgb[0] & 0xFF) - (last[0] & 0xFF);
        rgb[1] = used & 4 ? part(2, clampByte(diff + (last[1] & 0xFF))) : last[1] & 0xFF;
        if (used & 16) {
            diff = (diff + ((rgb[1] & 0xFF) - (last[1] & 0xFF))) / 2;
            rgb[2] = part(4, clampByte(diff + (last[2] & 0xFF)));
        } else {
            rgb[2] = last[2] & 0xFF;
        }
        diff = (rgb[0] >> 8) - (last[0] >> 8);
        rgb[1] |= (used & 8 ? part(3, clampByte(diff + (last[1] >> 8))) : last[1] >> 8) << 8;
        if (used & 32) {
            diff = (diff + ((rgb[1] >> 8) - (last[1] >> 8))) / 2;
            rgb[2] |= part(5, clampByte(diff + (last[2] >> 8))) << 8;
        } else {
            rgb[2] |= last[2] & 0xFF00;
        }
    } else {
        rgb[1] = rgb[2] = rgb[0];
    }
    for (int i = 0; i < 3; ++i) {
        last[i] = rgb[i];
        lazStore<uint16_t>(out + 2 * i, rgb[i]);
    }
}

void lazStartRgb14(LazRgb14Decoder *c, const unsigned char *first, unsigned context)
{
    for (LazRgb14Context &x : c->context)
        x.used = false;
    uint16_t last[4] = {0, 0, 0, 0};
    std::memcpy(last, first, c->nir ? 8 : 6);
    c->channel = context;
    startRgbContext(&c->context[context], last);
}

void lazReadRgb14(LazRgb14Decoder *c, unsigned char *out, unsigned context)
{
    LazRgb14Context *predicted = nullptr;
    LazRgb14Context *x =
        lazSwitchContext(c->version, &c->channel, c->context, context, startRgbFrom, &predicted);
    uint16_t *last = predicted->last;
    if (c->layer[0].decoded)
        lazDecodeRgb(&c->layer[0].d, &x->rgb, last, out);
    else
        std::memcpy(out, last, 6);
    if (!c->nir)
        return;
    if (c->layer[1].decoded) {
        LazStream *d = &c->layer[1].d;
        const uint32_t used = lazSymbol(d, &x->nirUsed);
        unsigned nir = last[3];
        if (used & 1)
            nir = (nir & 0xFF00u) |
                  lazFold(static_cast<int32_t>(lazSymbol(d, &x->nirDiff[0]) + (nir & 0xFF)));
        if (used & 2)
            nir = (nir & 0x00FFu) | static_cast<unsigned>(lazFold(static_cast<int32_t>(
                                        lazSymbol(d, &x->nirDiff[1]) + (nir >> 8))))
                                        << 8;
        last[3] = static_cast<uint16_t>(nir);
    }
    lazStore<uint16_t>(out + 6, last[3]);
}
