// LAZ: the chunk table, which lists where each chunk of the point data
// begins and how many points it holds, and where the table itself is.
#ifndef HOLVANE_LAZ_CHUNK_TABLE_H
#define HOLVANE_LAZ_CHUNK_TABLE_H

#include "laszip_vlr.h"

struct LazChunk {
    uint64_t start; // in the file
    uint64_t bytes;
    uint64_t points;
};

// The chunks of the point data: every chunk the table lists, with the
// points it holds: variable chunks by the table's counts; fixed ones by
// the chunk size and the header's count `points` (the last one holding the
// rest), which alone decides for pointwise chunks (those past the count
// are listed with no points); layered chunks past that count get the chunk
// size, and their first bytes say their true count
// (lazLayeredChunkPoints), which a caller that reads them uses. `pointData` is where the chunks
// begin (OffsetToData + 8), `table` and `tableBytes` what the file holds from the chunk table on
// (nothing when there is none: fixed chunks follow one another then, and their ends are found as
// they are decoded), `fileSize` and `points` the file's size and point count.
LazStatus lazChunksOf(const LazLayout &layout, uint64_t pointData, const unsigned char *table,
                      size_t tableBytes, uint64_t fileSize, uint64_t points,
                      std::vector<LazChunk> *chunks);

// Where the chunk table begins, from the 8 bytes at OffsetToData
// (`offsetField`) and, when those are -1, the file's last 8 bytes
// (`lastField`; `hasLast` false when the file has none): LAZ_TABLE_AT with
// *start set; LAZ_NO_TABLE when the writer was interrupted before writing
// one (the offset points at itself) or when it lies past the file's end,
// cut away with it (then *shortfall says so); LAZ_TABLE_DAMAGED with
// *why.
enum LazTableWhere { LAZ_TABLE_AT, LAZ_NO_TABLE, LAZ_TABLE_DAMAGED };
LazTableWhere lazChunkTableAt(int64_t offsetField, bool hasLast, int64_t lastField,
                              uint64_t pointData, uint64_t fileSize, uint64_t *start,
                              std::string *why, std::string *shortfall);

#endif
