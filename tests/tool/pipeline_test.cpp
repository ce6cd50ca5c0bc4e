// The conversion pipeline in this process, with jobs of a few records and
// text buffers of a few lines, so that job boundaries fall everywhere and
// jobs outgrow their text: every number of workers writes the bytes of the
// fprintf reference. Built with ThreadSanitizer, this is also the race test.
#include "coordinate_precision.h"
#include "las_fixture.h"
#include "pipeline.h"
#include "point_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>

namespace
{

constexpr size_t JOB_RECORDS = 5;
const PipelineSettings SMALL_JOBS{0, JOB_RECORDS, 2 * MAX_LINE_BYTES};

// writePoints of `in` into `outPath`, with the header `h`.
PointsOutcome convertInput(const PointInput &in, const LAS12Header &h, const std::string &outPath,
                           int Format, int16_t type, int gzipLevel = 0)
{
    FILE *fout = std::fopen(outPath.c_str(), "wb");
    uint64_t records = 0;
    PointsOutcome outcome =
        writePoints(Format, recordTypeOf(type), in, PointOutput{fout, gzipLevel}, &h,
                    determineCoordinatePrecision(&h), &records);
    if (std::fclose(fout) != 0 && outcome == POINTS_WRITTEN)
        outcome = POINTS_WRITE_FAILED;
    return outcome;
}

// writePoints on the file, into `outPath`; false when writing failed.
bool convertHere(const std::string &lasPath, const std::string &outPath, int Format, int16_t type,
                 int gzipLevel = 0)
{
    LAS12Header h;
    std::memcpy(&h, readFile(lasPath).data(), sizeof h);
    FILE *fin = std::fopen(lasPath.c_str(), "rb");
    seek_from_start(fin, h.OffsetToData);
    const PointInput in = pointInputOf(lasPath.c_str(), fin, &h);
    const PointsOutcome outcome = convertInput(in, h, outPath, Format, type, gzipLevel);
    std::fclose(fin);
    return outcome == POINTS_WRITTEN;
}

struct PipelineFile {
    const char *what;
    size_t records;
    std::string trailing; // bytes after the last whole record
    bool longerLater;     // lines of hundreds of digits after the first 60
};

std::string fileBytes(const PipelineFile &f, int16_t type)
{
    std::vector<TestPoint> points = varietyOfPoints(11, f.records);
    if (!f.longerLater)
        return lasFileBytes(headerForType(type), points, type, f.trailing);
    double scale[3] = {1e290, 1e290, 1e290}, offset[3] = {0, 0, 0};
    for (size_t k = 0; k < points.size(); ++k) {
        const bool small = k < 60;
        points[k].X = small ? 0 : -2000000000, points[k].Y = small ? 1 : 2000000000;
        points[k].Z = small ? 2 : 1999999999;
        points[k].GPSTime = small ? 0.5 : -1e300;
    }
    return lasFileBytes(headerForType(type, scale, offset), points, type, f.trailing);
}

TEST(Pipeline, AnyNumberOfWorkersWritesTheReferenceBytes)
{
    const PipelineFile files[] = {
        {"no point records", 0, "", false},
        {"one record", 1, "", false},
        {"boundaries inside the data", 23, "", false},
        {"data ending at a job boundary", 20, "", false},
        {"partial record right after a boundary", 20, "1234567", false},
        {"partial record inside the last job", 22, "1234567", false},
        {"lines that outgrow a job's text", 90, "12", true},
    };
    TempDir dir;
    for (int16_t type : {LASTYPE_12_FM3, LASTYPE_10_FM1})
        for (size_t k = 0; k < std::size(files); ++k)
            writeFile(dir / (std::to_string(type) + "_" + std::to_string(k) + ".las"),
                      fileBytes(files[k], type));
    std::map<std::string, std::string> packedByCase; // gzip bytes, the same for every count
    for (int workers : {1, 2, 3, 7}) {
        PipelineSettings settings = SMALL_JOBS;
        // One thread is the writer alone; workers serve every file in turn.
        settings.workers = workers == 1 ? 0 : workers;
        ASSERT_TRUE(startPipeline(settings));
        for (int16_t type : {LASTYPE_12_FM3, LASTYPE_10_FM1})
            for (size_t k = 0; k < std::size(files); ++k)
                for (int Format : {0, 15, 13}) {
                    const std::string las =
                        dir / (std::to_string(type) + "_" + std::to_string(k) + ".las");
                    ASSERT_TRUE(convertHere(las, dir / "out.asc", Format, type));
                    const std::string reference = referencePointText(Format, type, las);
                    EXPECT_EQ(readFile(dir / "out.asc"), reference)
                        << files[k].what << ", Format " << Format << ", " << workers << " workers";
                    ASSERT_TRUE(convertHere(las, dir / "out.asc.gz", Format, type, 6));
                    const std::string packed = readFile(dir / "out.asc.gz");
                    EXPECT_EQ(gunzip(packed), reference) << files[k].what << ", Format " << Format;
                    auto [first, isNew] =
                        packedByCase.emplace(las + std::to_string(Format), packed);
                    EXPECT_TRUE(isNew || first->second == packed)
                        << files[k].what << ", Format " << Format << ", " << workers << " workers";
                }
        stopPipeline();
    }
}

// A write that fails stops the file's jobs; the workers then serve the
// next file as if nothing had happened.
TEST(Pipeline, AFailedWriteLeavesTheWorkersReady)
{
    TempDir dir;
    writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM0), varietyOfPoints(3, 5000),
                                          LASTYPE_12_FM0));
    PipelineSettings settings = SMALL_JOBS;
    settings.workers = 4;
    ASSERT_TRUE(startPipeline(settings));
    EXPECT_FALSE(convertHere(dir / "a.las", "/dev/full", 0, LASTYPE_12_FM0));
    EXPECT_TRUE(convertHere(dir / "a.las", dir / "a.asc", 0, LASTYPE_12_FM0));
    EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(0, LASTYPE_12_FM0, dir / "a.las"));
    stopPipeline();
}

} // namespace

namespace
{

// A read that fails (a directory read as a file fails with EISDIR on
// Linux) is a failure, not the end of the data, with one thread as with
// several; the workers then serve the next file.
TEST(Pipeline, AFailedReadIsAFailureNotTheEnd)
{
    TempDir dir;
    writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM0), varietyOfPoints(3, 5000),
                                          LASTYPE_12_FM0));
    const LAS12Header h = headerForType(LASTYPE_12_FM0);
    for (int workers : {1, 4}) {
        PipelineSettings settings = SMALL_JOBS;
        settings.workers = workers;
        settings.workers = workers == 1 ? 0 : workers;
        ASSERT_TRUE(startPipeline(settings));
        FILE *directory = std::fopen(dir.path.c_str(), "rb");
        ASSERT_NE(directory, nullptr);
        const PointInput unreadable{dir.path.c_str(), directory, 0, 1 << 20, UINT64_MAX};
        EXPECT_EQ(convertInput(unreadable, h, dir / "out.asc", 0, LASTYPE_12_FM0),
                  POINTS_READ_FAILED)
            << workers << " workers";
        std::fclose(directory);
        EXPECT_TRUE(convertHere(dir / "a.las", dir / "a.asc", 0, LASTYPE_12_FM0));
        EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(0, LASTYPE_12_FM0, dir / "a.las"));
        stopPipeline();
    }
}

} // namespace

namespace
{

// LAZ: every chunk is decoded in pieces of a few points, a job a piece. A
// file of eight copies of a real chunk, and a ninth cut short, converts to
// eight copies of the chunk's text at any number of workers, then stops in
// the ninth naming it (the caller discards what came before), and the
// workers serve the next file.
TEST(Pipeline, LazChunksAreJobsWrittenInOrder)
{
    const std::string laz =
        readFile(std::string(TREVLIN_TEST_DATA) + "/hobuinc__laz-perf__point-color-time.laz");
    LAS12Header h;
    std::memcpy(&h, laz.data(), sizeof h);
    LazFile file;
    size_t vlr = h.HeaderSize;
    for (uint32_t k = 0; k < h.NumberOfVariableLengthRecords; ++k) {
        uint16_t length = 0;
        std::memcpy(&length, laz.data() + vlr + 20, 2);
        if (laz.compare(vlr + 2, 14, "laszip encoded") == 0) {
            ASSERT_EQ(lazLayoutOf(reinterpret_cast<const unsigned char *>(laz.data()) + vlr + 54,
                                  length, h.PointDataRecordLength, &file.layout)
                          .why,
                      "");
        }
        vlr += 54 + length;
    }
    int64_t table = 0;
    std::memcpy(&table, laz.data() + h.OffsetToData, 8);
    const uint64_t chunkBytes = static_cast<uint64_t>(table) - h.OffsetToData - 8;
    const std::string chunk = laz.substr(h.OffsetToData + 8, chunkBytes);
    TempDir dir;
    std::string copies;
    for (int k = 0; k < 9; ++k) {
        file.chunks.push_back(LazChunk{copies.size(), k < 8 ? chunkBytes : chunkBytes / 2, 1065});
        copies += k < 8 ? chunk : chunk.substr(0, chunkBytes / 2);
    }
    writeFile(dir / "chunks.bin", copies);
    const std::string twin = dir / "twin.las";
    std::filesystem::copy_file(
        std::string(TREVLIN_TEST_DATA) + "/hobuinc__laz-perf__point-color-time.las", twin);
    const std::string once = referencePointText(15, LASTYPE_12_FM3, twin);
    const std::string header = once.substr(0, once.find('\n') + 1);
    std::string eight = header;
    for (int k = 0; k < 8; ++k)
        eight += once.substr(header.size());
    const RecordType type{2, 3, 34, true};
    for (int workers : {1, 2, 3}) {
        PipelineSettings settings = SMALL_JOBS;
        settings.workers = workers == 1 ? 0 : workers;
        ASSERT_TRUE(startPipeline(settings));
        const std::string chunks = dir / "chunks.bin";
        FILE *fin = std::fopen(chunks.c_str(), "rb");
        std::string failure;
        PointInput in{chunks.c_str(), fin, 0, copies.size(), UINT64_MAX};
        in.laz = &file, in.failure = &failure;
        FILE *fout = std::fopen((dir / "out.asc").c_str(), "wb");
        uint64_t records = 0;
        EXPECT_EQ(writePoints(15, type, in, PointOutput{fout, 0}, &h,
                              determineCoordinatePrecision(&h), &records),
                  POINTS_DECODE_FAILED)
            << failure;
        std::fclose(fout);
        std::fclose(fin);
        EXPECT_EQ(failure, "chunk 8: it decodes past its bytes") << workers;
        EXPECT_GE(records, 8u * 1065u) << workers;
        EXPECT_LT(records, 9u * 1065u) << workers;
        const std::string written = readFile(dir / "out.asc");
        EXPECT_GE(written.size(), eight.size()) << workers << " workers";
        EXPECT_TRUE(written.compare(0, eight.size(), eight) == 0) << workers << " workers";
        EXPECT_TRUE(convertHere(twin, dir / "b.asc", 15, LASTYPE_12_FM3));
        EXPECT_TRUE(readFile(dir / "b.asc") == once);
        stopPipeline();
    }
}

} // namespace
