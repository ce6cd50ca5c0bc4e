// TREVLIN: the LASzip VLR and the chunk table of a LAZ input.
#include "laz_input.h"

#include "platform.h"

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

// Where the chunk table is: at the offset that OffsetToData holds, or,
// when that is -1, at the offset the file's last 8 bytes hold.
LazReadOutcome tableStart(FILE *fin, uint64_t pointData, uint64_t size, uint64_t *start,
                          std::string *why)
{
    int64_t at = 0;
    if (!readAt(fin, pointData, &at, sizeof at)) {
        *why = "it ends before its chunk table's offset";
        return LAZ_DAMAGED;
    }
    if (at == -1 && (size < 8 || !readAt(fin, size - 8, &at, sizeof at))) {
        *why = "its chunk table's offset is missing from its end";
        return LAZ_DAMAGED;
    }
    if (static_cast<uint64_t>(at) == pointData) {
        *start = 0; // no table: its writer was interrupted
        return LAZ_READ;
    }
    if (at < 0 || static_cast<uint64_t>(at) < pointData + 8 || static_cast<uint64_t>(at) > size) {
        *why = "its chunk table's offset, " + std::to_string(at) + ", lies outside its point data";
        return LAZ_DAMAGED;
    }
    *start = static_cast<uint64_t>(at);
    return LAZ_READ;
}

// Layered chunks that no table lists: each chunk's first bytes give its
// size, so the chunks are found by hopping from one to the next.
LazReadOutcome hopLayeredChunks(FILE *fin, const LazLayout &layout, uint64_t pointData,
                                uint64_t end, uint64_t points, LazFile *laz, std::string *why)
{
    std::vector<unsigned char> header(lazLayeredChunkHeaderBytes(layout));
    uint64_t start = pointData + 8;
    for (uint64_t left = points; left > 0 && start < end;) {
        const std::string chunk = "chunk " + std::to_string(laz->chunks.size());
        if (start + header.size() > end || !readAt(fin, start, header.data(), header.size())) {
            *why = chunk + ": it ends within its layer sizes";
            return LAZ_DAMAGED;
        }
        const uint64_t bytes = lazLayeredChunkBytes(layout, header.data());
        if (bytes > end - start) {
            *why = chunk + ": its layers run past the end of the file";
            return LAZ_DAMAGED;
        }
        const uint64_t n = left < layout.chunkSize ? left : layout.chunkSize;
        laz->chunks.push_back(LazChunk{start, bytes, n});
        start += bytes;
        left -= n;
    }
    return LAZ_READ;
}

// Points with no chunk table: fixed layered chunks are found in turn;
// pointwise ones are decoded in turn.
LazReadOutcome readWithoutTable(FILE *fin, const LAS14Header &h, const RecordType &type,
                                LazFile *laz, std::string *why)
{
    const LazLayout &layout = laz->layout;
    const uint64_t pointData = h.Public.OffsetToData, points = declaredPointCount(h, type);
    if (layout.compressor != LAZ_POINTWISE && lazVariableChunks(layout)) {
        *why = "its chunks differ in size and no chunk table lists them";
        return LAZ_DAMAGED;
    }
    // Chunks end where extended VLRs or stored waveforms begin, if they do.
    const uint64_t size = fileSizeOf(fin), end = pointDataEnd(h, type);
    if (layout.compressor == LAZ_LAYERED_CHUNKED)
        return hopLayeredChunks(fin, layout, pointData, end < size ? end : size, points, laz, why);
    laz->sequential = true;
    // Compressor 1 has no table offset: its stream begins with the points.
    laz->sequenceStart = pointData + (layout.compressor == LAZ_POINTWISE ? 0 : 8);
    laz->sequencePoints = points;
    return LAZ_READ;
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
    *why = lazLayoutOf(payload.data(), payload.size(), type.RecordLength, &laz->layout);
    if (!why->empty())
        return LAZ_DAMAGED;
    *why = lazUnreadItems(laz->layout);
    if (!why->empty())
        return LAZ_NOT_DECODED;
    const uint64_t size = fileSizeOf(fin), pointData = h.Public.OffsetToData;
    // Chunks too large for a job are read as if no table listed them.
    const LazLayout &layout = laz->layout;
    if (layout.compressor == LAZ_POINTWISE ||
        (layout.compressor == LAZ_POINTWISE_CHUNKED && !lazVariableChunks(layout) &&
         layout.chunkSize > MAX_CHUNK_POINTS))
        return readWithoutTable(fin, h, type, laz, why);
    uint64_t start = 0;
    const LazReadOutcome found = tableStart(fin, pointData, size, &start, why);
    if (found != LAZ_READ)
        return found;
    if (start == 0)
        return readWithoutTable(fin, h, type, laz, why);
    const uint64_t n = size - start < MAX_TABLE_BYTES ? size - start : MAX_TABLE_BYTES;
    std::vector<unsigned char> table(static_cast<size_t>(n));
    if (!readAt(fin, start, table.data(), table.size())) {
        *why = "its chunk table cannot be read";
        return LAZ_DAMAGED;
    }
    *why = lazChunksOf(laz->layout, pointData + 8, table.data(), table.size(), start,
                       declaredPointCount(h, type), &laz->chunks);
    return why->empty() ? LAZ_READ : LAZ_DAMAGED;
}

const char *lazRefusalMessage(LazReadOutcome outcome)
{
    return outcome == LAZ_NOT_DECODED ? "\nLAZ file %s holds %s, which TREVLIN does not decode\n"
                                      : "\nLAZ file %s is damaged: %s\n";
}
