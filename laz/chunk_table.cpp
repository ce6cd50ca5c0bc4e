// LAZ: the chunk table and where it is.
#include "chunk_table.h"

#include "coder.h"
#include "record_bytes.h"

#include <algorithm>

LazStatus lazChunksOf(const LazLayout &layout, uint64_t pointData, const unsigned char *table,
                      size_t tableBytes, uint64_t fileSize, uint64_t points,
                      std::vector<LazChunk> *chunks)
{
    chunks->clear();
    if (tableBytes < 8)
        return "its chunk table is cut short";
    const uint32_t version = lazLoad<uint32_t>(table), count = lazLoad<uint32_t>(table + 4);
    if (version != 0)
        return "its chunk table has version " + std::to_string(version);
    // Variable chunks say their points in the table, layered ones in their
    // own first bytes: the chunks decide, whatever the header declares.
    // Only fixed pointwise chunks have nothing but the header's count.
    const bool variable = lazVariableChunks(layout);
    const bool byHeader = !variable && layout.compressor != LAZ_LAYERED_CHUNKED;
    // Each chunk holds a point, and takes a record's bytes of the file at
    // least; where the chunks say their points, a header's count may be
    // short of them.
    const uint64_t recordBytes = layout.recordLength > 0 ? layout.recordLength : 1;
    const uint64_t most =
        byHeader ? points + 1 : std::max(points + 1, (fileSize - pointData) / recordBytes);
    if (count > fileSize - pointData || count > most)
        return "its chunk table lists " + std::to_string(count) + " chunks for " +
               std::to_string(points) + " points";
    // Entries are decoded and checked one at a time: nothing is set aside
    // by a count before the file's bytes bear it out. Every entry must
    // decode, even past the points the header declares, as before.
    LazInput in{table + 8, table + tableBytes, false};
    LazStream d;
    if (count > 0)
        lazOpenStream(&d, &in);
    LazIntegerModel ic;
    lazStartIntegerModel(&ic, 32, 2);
    uint32_t lastCount = 0, lastSize = 0;
    uint64_t start = pointData, left = points;
    std::string outside;
    for (uint32_t i = 0; i < count && !in.damaged && outside.empty(); ++i) {
        if (variable)
            lastCount =
                static_cast<uint32_t>(lazInteger(&d, &ic, static_cast<int32_t>(lastCount), 0));
        lastSize = static_cast<uint32_t>(lazInteger(&d, &ic, static_cast<int32_t>(lastSize), 1));
        // Past the declared points, fixed pointwise chunks are listed with
        // no points: only the header says what they hold, and the caller
        // tells the user of them.
        // A size is a signed 32-bit number in the table.
        const int64_t size = static_cast<int32_t>(lastSize);
        if (size <= 0 || start + static_cast<uint64_t>(size) > fileSize) {
            outside = "its chunk table places chunk " + std::to_string(i) + " outside the file";
            continue;
        }
        uint64_t n = variable ? lastCount : layout.chunkSize;
        if (!variable && left > 0)
            n = n < left ? n : left;
        else if (byHeader)
            n = 0;
        chunks->push_back(LazChunk{start, static_cast<uint64_t>(size), n});
        start += static_cast<uint64_t>(size);
        left -= n < left ? n : left;
    }
    if (in.damaged || !outside.empty())
        chunks->clear();
    return in.damaged ? "its chunk table is cut short" : outside;
}

// A chunk decoded in pieces: its first record stored raw, then either one
// stream of whole records (pointwise) or a stream a layer (layered).

LazTableWhere lazChunkTableAt(int64_t offsetField, bool hasLast, int64_t lastField,
                              uint64_t pointData, uint64_t fileSize, uint64_t *start,
                              std::string *why, std::string *shortfall)
{
    int64_t at = offsetField;
    if (at == -1) {
        if (!hasLast) {
            *why = "its chunk table's offset is missing from its end";
            return LAZ_TABLE_DAMAGED;
        }
        at = lastField;
    }
    if (static_cast<uint64_t>(at) == pointData)
        return LAZ_NO_TABLE; // its writer was interrupted
    // A table past the file's end was cut away with the end of the file.
    if (at >= 0 && static_cast<uint64_t>(at) > fileSize) {
        *shortfall = "its chunk table's offset, " + std::to_string(at) + ", lies past its end, " +
                     std::to_string(fileSize) + ": the file is cut short (or the offset damaged)";
        return LAZ_NO_TABLE;
    }
    if (at < 0 || static_cast<uint64_t>(at) < pointData + 8) {
        *why = "its chunk table's offset, " + std::to_string(at) + ", lies outside its point data";
        return LAZ_TABLE_DAMAGED;
    }
    *start = static_cast<uint64_t>(at);
    return LAZ_TABLE_AT;
}
