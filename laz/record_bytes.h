// LAZ: fields of a point record read and written at any byte offset, in
// the file's little-endian order (the order of every machine TREVLIN is
// built for), and bytes decoded with the model their last value selects.
#ifndef HOLVANE_LAZ_RECORD_BYTES_H
#define HOLVANE_LAZ_RECORD_BYTES_H

#include "coder.h"

#include <cstring>

template <typename T> T lazLoad(const unsigned char *at)
{
    T v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

template <typename T> void lazStore(unsigned char *at, T v)
{
    std::memcpy(at, &v, sizeof v);
}

// A byte decoded with the model that its previous value selects.
inline uint8_t lazDecodeByteAfter(LazStream *d, LazSymbolModel *model)
{
    return static_cast<uint8_t>(lazSymbolStartingAt(d, model, 256));
}

#endif
