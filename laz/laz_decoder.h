// LAZ: LAS point records compressed by the LASzip scheme, decoded by a
// unit of its own that knows nothing of text or of the tool: the LASzip
// VLR's description of the records, the chunk table, and each chunk's
// bytes turned into point records. Chunks are independent, so they can be
// decoded on as many threads as there are. Every count, size and offset
// taken from a file is checked before it is used; a corrupt stream gives a
// reason, never a read outside the buffers.
#ifndef HOLVANE_LAZ_DECODER_H
#define HOLVANE_LAZ_DECODER_H

#include "chunk_decoder.h"
#include "chunk_table.h"
#include "in_turn.h"
#include "laszip_vlr.h"

#endif
