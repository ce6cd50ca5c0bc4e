// LAZ: what the item decoders of every family share: a layer of a layered
// chunk, the models made on first use, and the wraps of byte arithmetic.
// Internal to the LAZ unit.
#ifndef HOLVANE_LAZ_ITEM_COMMON_H
#define HOLVANE_LAZ_ITEM_COMMON_H

#include "coder.h"

#include <array>

// One layer of a chunk: its own stream, and whether it is decoded (it is
// when it has bytes, which means the field changes within the chunk, and
// its field is wanted).
struct LazLayer {
    LazInput in{nullptr, nullptr, false};
    LazStream d{};
    bool decoded = false;
};

enum {
    LAZ_LAYER_XY, // scanner channel, returns, X and Y
    LAZ_LAYER_Z,
    LAZ_LAYER_CLASSIFICATION,
    LAZ_LAYER_FLAGS,
    LAZ_LAYER_INTENSITY,
    LAZ_LAYER_SCAN_ANGLE,
    LAZ_LAYER_USER_DATA,
    LAZ_LAYER_POINT_SOURCE,
    LAZ_LAYER_GPS_TIME,
    LAZ_POINT14_LAYERS
};

using LazLazyModels16 = std::array<LazSymbolModel, 16>;
using LazLazyModels64 = std::array<LazSymbolModel, 64>;

// A difference of two bytes, wrapped into a byte as the writers' 8-bit
// arithmetic wraps it.
inline uint8_t lazFold(int32_t n)
{
    return static_cast<uint8_t>(n < 0 ? n + 256 : n > 255 ? n - 256 : n);
}

// Version 3 goes on predicting from the context it leaves unless the new
// one starts there; version 4 always predicts from the new one's.
template <typename Context>
inline Context *lazSwitchContext(unsigned version, unsigned *channel, Context *contexts,
                                 unsigned context, void (*start)(Context *, const Context &),
                                 Context **predicted)
{
    *predicted = &contexts[*channel];
    if (context != *channel) {
        *channel = context;
        if (!contexts[context].used) {
            start(&contexts[context], **predicted);
            *predicted = &contexts[context];
        } else if (version >= 4) {
            *predicted = &contexts[context];
        }
    }
    return &contexts[*channel];
}

#endif
