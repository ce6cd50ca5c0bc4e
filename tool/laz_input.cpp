// TREVLIN: the LASzip VLR and the chunk table of a LAZ input.
#include "laz_input.h"

#include "platform.h"

#include <algorithm>
#include <cstring>

namespace
{

#pragma pack(push, 1)
struct VlrHeader {
    uint16_t Reserved; // writers put 0xAABB here; any value is taken
    char UserID[16];
    uint16_t RecordID;
    uint16_t RecordLengthAfterHeader;
    char Description[32];
};
#pragma pack(pop)
static_assert(sizeof(VlrHeader) == 54);

constexpr uint16_t LASZIP_RECORD = 22204;
// The table is a few bytes a chunk; nothing larger is read as one.
constexpr uint64_t MAX_TABLE_BYTES = 64u << 20;

bool isLaszipVlr(const VlrHeader &v)
{
    char id[sizeof v.UserID + 1] = {};
    std::memcpy(id, v.UserID, sizeof v.UserID);
    return v.RecordID == LASZIP_RECORD && std::strcmp(id, "laszip encoded") == 0;
}

bool readAt(FILE *f, uint64_t at, void *to, size_t n)
{
    return seek_from_start(f, at) && read_exact(f, to, n);
}

// The payload of the LASzip VLR; false when there is none.
bool laszipPayload(FILE *fin, const LAS12Header &h, std::vector<unsigned char> *payload)
{
    uint64_t at = h.HeaderSize;
    for (uint32_t k = 0; k < h.NumberOfVariableLengthRecords; ++k) {
        VlrHeader v;
        if (at + sizeof v > h.OffsetToData || !readAt(fin, at, &v, sizeof v))
            return false;
        at += sizeof v;
        if (isLaszipVlr(v)) {
            payload->resize(v.RecordLengthAfterHeader);
            return at + v.RecordLengthAfterHeader <= h.OffsetToData &&
                   read_exact(fin, payload->data(), payload->size());
        }
        at += v.RecordLengthAfterHeader;
    }
    return false;
}

// Where the chunk table is, by the offset at OffsetToData or the file's
// last 8 bytes: *start, or 0 when the chunks are to be found without it.
LazReadOutcome tableStart(FILE *fin, uint64_t pointData, uint64_t size, uint64_t *start,
                          std::string *why, std::string *shortfall)
{
    int64_t offset = 0, last = 0;
    if (!readAt(fin, pointData, &offset, sizeof offset)) {
        *why = "it ends before its chunk table's offset";
        return LAZ_DAMAGED;
    }
    const bool hasLast = size >= 8 && readAt(fin, size - 8, &last, sizeof last);
    *start = 0;
    switch (lazChunkTableAt(offset, hasLast, last, pointData, size, start, why, shortfall)) {
    case LAZ_TABLE_DAMAGED: return LAZ_DAMAGED;
    case LAZ_NO_TABLE: *start = 0; return LAZ_READ;
    default: return LAZ_READ;
    }
}

// Layered chunks that no table lists: each chunk's first bytes give its
// size and its points, so the chunks are found by hopping from one to the
// next. A chunk that the data's end cuts ends them: the whole ones before
// it are converted, and the shortfall said.
LazReadOutcome hopLayeredChunks(FILE *fin, const LazLayout &layout, uint64_t pointData,
                                uint64_t end, LazFile *laz)
{
    std::vector<unsigned char> header(lazLayeredChunkHeaderBytes(layout));
    for (uint64_t start = pointData + 8; start < end;) {
        const std::string chunk = "chunk " + std::to_string(laz->chunks.size());
        if (start + header.size() > end || !readAt(fin, start, header.data(), header.size())) {
            laz->shortfall = chunk + " ends within its layer sizes: the file is cut short";
            break;
        }
        const uint64_t bytes = lazLayeredChunkBytes(layout, header.data());
        if (bytes > end - start) {
            laz->shortfall =
                chunk + "'s layers run past the end of its data: the file is cut short";
            break;
        }
        laz->chunks.push_back(LazChunk{start, bytes, lazLayeredChunkPoints(layout, header.data())});
        start += bytes;
    }
    return LAZ_READ;
}

// Layered chunks hold the points their first bytes say, whatever the
// header declares.
bool readLayeredCounts(FILE *fin, const LazLayout &layout, LazFile *laz)
{
    std::vector<unsigned char> header(lazLayeredChunkHeaderBytes(layout));
    for (LazChunk &chunk : laz->chunks) {
        if (chunk.bytes < header.size())
            continue; // the chunk's decoding says what is wrong
        if (!readAt(fin, chunk.start, header.data(), header.size()))
            return false;
        chunk.points = lazLayeredChunkPoints(layout, header.data());
    }
    return true;
}

// Points with no chunk table: fixed layered chunks are found in turn;
// pointwise ones are decoded in turn.
LazReadOutcome readWithoutTable(FILE *fin, const LAS14Header &h, const RecordType &type,
                                uint64_t tableStart, LazFile *laz, std::string *why)
{
    const LazLayout &layout = laz->layout;
    const uint64_t pointData = h.Public.OffsetToData, points = declaredPointCount(h, type);
    if (layout.compressor != LAZ_POINTWISE && lazVariableChunks(layout)) {
        *why = "its chunks differ in size and no chunk table lists them";
        return LAZ_DAMAGED;
    }
    // Chunks end where extended VLRs or stored waveforms begin, if they do,
    // or a chunk table that lost its end.
    const uint64_t end = std::min({fileSizeOf(fin), pointDataEnd(h, type), tableStart});
    if (layout.compressor == LAZ_LAYERED_CHUNKED)
        return hopLayeredChunks(fin, layout, pointData, end, laz);
    laz->sequential = true;
    // Compressor 1 has no table offset: its stream begins with the points.
    laz->sequenceStart = pointData + (layout.compressor == LAZ_POINTWISE ? 0 : 8);
    laz->sequencePoints = points;
    return LAZ_READ;
}

// Pointwise chunks past the points the header declares hold points that
// nothing counts: they are not converted, and the user hears of them.
void setAsideUncountedChunks(const LAS14Header &h, const RecordType &type, LazFile *laz)
{
    if (laz->layout.compressor != LAZ_POINTWISE_CHUNKED || lazVariableChunks(laz->layout))
        return;
    size_t counted = laz->chunks.size();
    while (counted > 0 && laz->chunks[counted - 1].points == 0)
        --counted;
    const size_t uncounted = laz->chunks.size() - counted;
    if (uncounted == 0)
        return;
    laz->chunks.resize(counted);
    laz->shortfall = "its chunk table lists " + std::to_string(uncounted) +
                     (uncounted == 1 ? " chunk" : " chunks") + " past the " +
                     std::to_string(declaredPointCount(h, type)) +
                     " points its header declares, which are not converted";
}

} // namespace

uint32_t lazFieldsOfFormat(int Format)
{
    // Formats 1 to 20 by number; Format 0 prints every field.
    static const uint32_t fields[21] = {
        LAZ_ALL_FIELDS,
        0,
        0,
        LAZ_FIELD_Z,
        LAZ_FIELD_INTENSITY,
        0,
        0,
        LAZ_FIELD_FLAGS,
        LAZ_FIELD_FLAGS,
        LAZ_FIELD_CLASSIFICATION,
        LAZ_FIELD_SCAN_ANGLE,
        LAZ_FIELD_USER_DATA,
        LAZ_FIELD_POINT_SOURCE,
        LAZ_FIELD_GPS_TIME,
        LAZ_FIELD_RGB,
        LAZ_FIELD_Z,
        LAZ_FIELD_Z | LAZ_FIELD_INTENSITY,
        LAZ_FIELD_Z | LAZ_FIELD_GPS_TIME,
        LAZ_FIELD_Z | LAZ_FIELD_INTENSITY | LAZ_FIELD_GPS_TIME,
        LAZ_FIELD_Z | LAZ_FIELD_RGB,
        LAZ_FIELD_Z | LAZ_FIELD_INTENSITY | LAZ_FIELD_POINT_SOURCE | LAZ_FIELD_RGB,
    };
    return Format >= 0 && Format <= 20 ? fields[Format] : LAZ_ALL_FIELDS;
}

LazReadOutcome readLazFile(FILE *fin, const LAS14Header &h, const RecordType &type, LazFile *laz,
                           std::string *why)
{
    std::vector<unsigned char> payload;
    if (!laszipPayload(fin, h.Public, &payload)) {
        *why = "it has no LASzip VLR";
        return LAZ_DAMAGED;
    }
    *why = lazLayoutOf(payload.data(), payload.size(), type.RecordLength, &laz->layout).why;
    if (!why->empty())
        return LAZ_DAMAGED;
    *why = lazUnreadItems(laz->layout).why;
    if (!why->empty())
        return LAZ_NOT_DECODED;
    const uint64_t size = fileSizeOf(fin), pointData = h.Public.OffsetToData;
    // Chunks too large for a job are read as if no table listed them.
    const LazLayout &layout = laz->layout;
    if (layout.compressor == LAZ_POINTWISE ||
        (layout.compressor == LAZ_POINTWISE_CHUNKED && !lazVariableChunks(layout) &&
         layout.chunkSize > MAX_CHUNK_POINTS))
        return readWithoutTable(fin, h, type, UINT64_MAX, laz, why);
    uint64_t start = 0;
    const LazReadOutcome found = tableStart(fin, pointData, size, &start, why, &laz->shortfall);
    if (found != LAZ_READ)
        return found;
    if (start == 0)
        return readWithoutTable(fin, h, type, UINT64_MAX, laz, why);
    const uint64_t n = size - start < MAX_TABLE_BYTES ? size - start : MAX_TABLE_BYTES;
    std::vector<unsigned char> table(static_cast<size_t>(n));
    if (!readAt(fin, start, table.data(), table.size())) {
        *why = "its chunk table cannot be read";
        return LAZ_DAMAGED;
    }
    *why = lazChunksOf(laz->layout, pointData + 8, table.data(), table.size(), start,
                       declaredPointCount(h, type), &laz->chunks)
               .why;
    // A table that runs into the file's end lost its end with the file's:
    // the chunks before it are found as if there were no table.
    if (*why == "its chunk table is cut short" && n == size - start) {
        laz->shortfall = "its chunk table is cut short: the file is cut short";
        why->clear();
        laz->chunks.clear();
        return readWithoutTable(fin, h, type, start, laz, why);
    }
    if (!why->empty())
        return LAZ_DAMAGED;
    if (layout.compressor == LAZ_LAYERED_CHUNKED && !readLayeredCounts(fin, layout, laz)) {
        *why = "its chunks cannot be read";
        return LAZ_DAMAGED;
    }
    setAsideUncountedChunks(h, type, laz);
    return LAZ_READ;
}

const char *lazRefusalMessage(LazReadOutcome outcome)
{
    return outcome == LAZ_NOT_DECODED ? "\nLAZ file %s holds %s, which TREVLIN does not decode\n"
                                      : "\nLAZ file %s is damaged: %s\n";
}
