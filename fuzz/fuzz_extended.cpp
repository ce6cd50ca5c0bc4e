// What -x reads, from arbitrary file bytes: validation never crashes, and
// every file it accepts converts in Format 0 (extra-bytes columns
// included) and one more Format, and gets its header report, exactly as
// an independent reading of the bytes says.
#include "coordinate_precision.h"
#include "extended_reference.h"
#include "extra_bytes.h"
#include "fuzz_support.h"
#include "header_report.h"
#include "pipeline.h"
#include "point_file.h"

#include <cstring>

namespace
{

std::string toolPoints(int Format, const RecordType &type, const LAS14Header &h)
{
    FILE *fin = std::fopen("f.las", "rb");
    FILE *fout = std::fopen("f.asc", "w");
    std::string problem;
    const ExtraColumns extras = extraColumnsOf(fin, h, type, &problem);
    seek_from_start(fin, h.Public.OffsetToData);
    uint64_t records = 0;
    writePoints(Format, type, pointInputOf("f.las", fin, &h.Public, pointDataEnd(h, type)),
                PointOutput{fout, 0}, &h.Public, determineCoordinatePrecision(&h.Public), &records,
                &extras);
    std::fclose(fin);
    std::fclose(fout);
    return readBytes("f.asc");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enterScratchDirectory();
    startPipeline(PipelineSettings{3, 5, 4 * MAX_LINE_BYTES + 2 * MAX_EXTRA_TEXT});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeBytes("f.las", data, size);
    RecordType type;
    // LAZ has a harness of its own.
    if (checkInput("f.las", true, &type) < 1 || type.compressed)
        return 0;
    LAS15Header whole{};
    std::memcpy(&whole, data, std::min(size, static_cast<size_t>(headerBytesToRead(type, true))));
    if (recordTypeOfHeader(whole, true) != type)
        std::abort();
    const LAS14Header &h = whole.Base;
    writeHeaderReport("f_hdr.asc", &h, type, determineCoordinatePrecision(&h.Public));
    requireSame(readBytes("f_hdr.asc"), extendedReferenceHeader("f.las"), "header report");
    for (int Format : {0, data[size - 1] % (MAX_FORMAT + 1)})
        if (formatServesType(Format, type))
            requireSame(toolPoints(Format, type, h), extendedReferencePoints(Format, "f.las"),
                        "point text");
    return 0;
}
