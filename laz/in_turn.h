// LAZ: points decoded one after another from bytes read in pieces, where
// no chunk table lists the chunks.
#ifndef HOLVANE_LAZ_IN_TURN_H
#define HOLVANE_LAZ_IN_TURN_H

#include "laszip_vlr.h"

// Points whose chunks are not listed, decoded one after another from
// bytes read in pieces: compressor 1's single stream, or fixed chunks of a
// writer interrupted before its table. `read` returns the bytes it put at
// `to`, fewer than `n` only at the end of the data.
using LazReadBytes = size_t (*)(void *source, unsigned char *to, size_t n);
struct LazSequence;
// Null when the layout's points cannot be read so (variable chunks).
LazSequence *lazStartSequence(const LazLayout &layout, LazReadBytes read, void *source);
// Decodes up to `points` records into `records`, *decoded of them: fewer
// only where the data ends, between two chunks or within one (then
// lazSequenceCut says where; the points before are whole). "" or why the
// data cannot be decoded.
LazStatus lazSequencePoints(LazSequence *s, uint64_t points, unsigned char *records,
                            uint64_t *decoded);
const std::string &lazSequenceCut(const LazSequence *s);
void lazEndSequence(LazSequence *s);

#endif
