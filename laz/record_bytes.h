// LAZ: fields of a point record read and written at any byte offset, in
// the file's little-endian order (the order of every machine TREVLIN is
// built for), and the models made when a value first calls for them.
#ifndef HOLVANE_LAZ_RECORD_BYTES_H
#define HOLVANE_LAZ_RECORD_BYTES_H

#include "arithmetic_decoder.h"

#include <cstring>
#include <memory>

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

// The model of `symbols` symbols in *model, made and started on first use:
// a record's byte selects one of 256 models, and most are never needed.
inline LazSymbolModel *lazLazyModel(std::unique_ptr<LazSymbolModel> *model, uint32_t symbols)
{
    if (!*model) {
        *model = std::make_unique<LazSymbolModel>();
        lazInitSymbolModel(model->get(), symbols);
    }
    return model->get();
}

// A byte decoded with the model that its previous value selects.
inline uint8_t lazDecodeByteAfter(LazDecoder *d, std::unique_ptr<LazSymbolModel> *model)
{
    return static_cast<uint8_t>(lazDecodeSymbol(d, lazLazyModel(model, 256)));
}

#endif
