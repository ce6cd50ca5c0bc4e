// A whole conversion of arbitrary bytes: header read, decimal counts,
// header report and the Format writer, each compared with the fprintf
// reference.
#include "coordinate_precision.h"
#include "fuzz_support.h"
#include "header_report.h"
#include "pipeline.h"
#include "point_file.h"
#include "reference_writer.h"

#include <cstring>

namespace
{

std::string referencePoints(int Format, int16_t type, const LAS12Header &h)
{
    FILE *fin = std::fopen("in.las", "rb");
    FILE *fout = std::fopen("ref.asc", "w");
    seek_from_start(fin, h.OffsetToData);
    const CoordinateDigits d = determineCoordinatePrecision(&h);
    referenceWritePoints(Format, type, fin, fout, &h, d.x, d.y, d.z);
    std::fclose(fin);
    std::fclose(fout);
    return readBytes("ref.asc");
}

std::string toolPoints(int Format, int16_t type, const LAS12Header &h)
{
    FILE *fin = std::fopen("in.las", "rb");
    FILE *fout = std::fopen("in.asc", "w");
    seek_from_start(fin, h.OffsetToData);
    uint64_t records = 0;
    writePoints(Format, recordTypeOf(type), pointInputOf("in.las", fin, &h), PointOutput{fout, 0},
                &h, determineCoordinatePrecision(&h), &records);
    std::fclose(fin);
    std::fclose(fout);
    return readBytes("in.asc");
}

std::string referenceHeader(const LAS12Header &h, int16_t type)
{
    FILE *f = std::fopen("ref_hdr.asc", "w");
    const CoordinateDigits d = determineCoordinatePrecision(&h);
    referenceWriteHeader(f, &h, type, d.x, d.y, d.z);
    std::fclose(f);
    return readBytes("ref_hdr.asc");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enterScratchDirectory();
    // Jobs of a few records, so that the inputs the fuzzer makes go through
    // the pipeline too.
    startPipeline(PipelineSettings{3, 5, 4 * MAX_LINE_BYTES});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < sizeof(LAS12Header))
        return 0;
    LAS12Header h;
    std::memcpy(&h, data, sizeof h);
    // Point data far beyond the input would only be skipped: keep it near.
    h.OffsetToData %= static_cast<uint32_t>(size + 64);
    writeBytes("in.las", data, size);
    int16_t type = las_type_of_header(h);
    if (type < 1)
        type = static_cast<int16_t>(1 + data[0] % 8);
    const LAS14Header whole{h, 0, 0, 0, 0, {}};
    writeHeaderReport("in_hdr.asc", &whole, recordTypeOf(type), determineCoordinatePrecision(&h));
    requireSame(readBytes("in_hdr.asc"), referenceHeader(h, type), "header report");
    // Format 0 always, and one more chosen by the input, so that each run
    // stays short and every Format is reached across runs.
    for (int Format : {0, data[1] % (MAX_FORMAT + 1)})
        if (formatServesType(Format, recordTypeOf(type)))
            requireSame(toolPoints(Format, type, h), referencePoints(Format, type, h),
                        "point text");
    return 0;
}
