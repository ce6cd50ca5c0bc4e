// TREVLIN: one input's point file, written through the pipeline.
#include "point_file.h"

#include "gzip_member.h"
#include "pipeline.h"

namespace
{

// The column header line, plain or as the member's first piece.
bool writeColumnHeader(const std::string &header, const PointOutput &out, GzipMember *member)
{
    if (out.gzipLevel == 0)
        return writeAll(out.stream, header.data(), header.size());
    TextPacker *packer = newTextPacker(out.gzipLevel);
    PackedText piece;
    const bool packed = packer && packBegin(packer, &piece) &&
                        packMore(packer, header.data(), header.size(), &piece) &&
                        packEnd(packer, &piece);
    freeTextPacker(packer);
    if (!packed || !writeGzipHeader(out.stream, out.gzipLevel))
        return false;
    addPiece(member, piece);
    return writeAll(out.stream, reinterpret_cast<const char *>(piece.bytes.data()), piece.used);
}

} // namespace

PointsOutcome writePoints(int Format, const RecordType &type, const PointInput &in,
                          const PointOutput &out, const LAS12Header *ph12,
                          const CoordinateDigits &digits, uint64_t *records,
                          const ExtraColumns *extras, const TextShape &shape)
{
    *records = 0;
    GzipMember member{0, 0};
    const FileText text = fileTextOf(Format, type, ph12, digits, extras, shape);
    if (!writeColumnHeader(text.header, out, &member))
        return POINTS_WRITE_FAILED;
    const PointsOutcome outcome = pipelineConvert(in, text.records, out, &member, records);
    if (outcome == POINTS_WRITTEN && out.gzipLevel > 0 && !writeGzipTrailer(out.stream, member))
        return POINTS_WRITE_FAILED;
    return outcome;
}
