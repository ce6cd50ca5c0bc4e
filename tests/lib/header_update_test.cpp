// Header initialisation and in-place header update.
#include "las_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

// Streams whose reads fail: when failLargeReads is set, a read of a whole
// chunk of records (the header reads are smaller) goes to a directory's
// descriptor put in the stream's place, and fails with EISDIR as a broken
// disk would, setting the stream's error flag.
bool failLargeReads = false;

extern "C" size_t fread(void *buffer, size_t size, size_t count, FILE *stream)
{
    using Read = size_t (*)(void *, size_t, size_t, FILE *);
    static const Read realRead = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "fread"));
    if (failLargeReads && size * count >= 4096) {
        const int directory = open("/", O_RDONLY | O_DIRECTORY);
        dup2(directory, fileno(stream));
        close(directory);
    }
    return realRead(buffer, size, count, stream);
}

namespace
{

// ---------- initialisers ----------

// The 227-byte image a fresh header of the given minor version must have.
std::string freshHeaderImage(uint8_t minor)
{
    std::string image(227, '\0');
    image.replace(0, 4, "LASF");
    image[24] = 1;
    image[25] = static_cast<char>(minor);
    image.replace(58, 23, "HOLVANE LiDAR Utilities");
    image[94] = static_cast<char>(227); // HeaderSize, little-endian
    image[96] = static_cast<char>(227); // OffsetToData
    const double one = 1.0;
    for (int offset : {131, 139, 147})
        image.replace(static_cast<size_t>(offset), 8, reinterpret_cast<const char *>(&one), 8);
    return image;
}

template <typename Header> std::string imageAfter(void (*initialise)(Header *))
{
    Header h;
    std::memset(&h, 0xAB, sizeof h); // stale memory must not survive
    initialise(&h);
    return std::string(reinterpret_cast<const char *>(&h), sizeof h);
}

TEST(InitializeHeader, WritesEveryByteForEachVersion)
{
    EXPECT_EQ(imageAfter(initialize_header10), freshHeaderImage(0));
    EXPECT_EQ(imageAfter(initialize_header11), freshHeaderImage(1));
    EXPECT_EQ(imageAfter(initialize_header12), freshHeaderImage(2));
    LAS10Header h10;
    initialize_header10(&h10);
    EXPECT_EQ(uint32_t{h10.Reserved}, 0u);
    LAS12Header h12;
    initialize_header12(&h12);
    EXPECT_EQ(uint16_t{h12.PointDataRecordLength}, 0);
    EXPECT_STREQ(h12.GeneratingSoftware, "HOLVANE LiDAR Utilities");
}

// ---------- update_header ----------

struct Expected {
    uint32_t total = 0, byReturn[5] = {0, 0, 0, 0, 0};
    int32_t maxX = -2147483646, minX = 2147483646, maxY = -2147483646, minY = 2147483646;
    int32_t maxZ = -10000000, minZ = 10000000;
};

// Independent summary of the points, with the established starting values.
Expected summarize(const std::vector<TestPoint> &points)
{
    Expected e;
    for (const TestPoint &p : points) {
        e.maxX = std::max(e.maxX, p.X), e.minX = std::min(e.minX, p.X);
        e.maxY = std::max(e.maxY, p.Y), e.minY = std::min(e.minY, p.Y);
        e.maxZ = std::max(e.maxZ, p.Z), e.minZ = std::min(e.minZ, p.Z);
        const int r = p.bitfield & 7;
        if (r >= 1 && r <= 5)
            e.byReturn[r - 1]++;
        e.total++;
    }
    return e;
}

double real(int32_t raw, double scale, double offset)
{
    const double scaled = raw * scale;
    return scaled + offset;
}

// The file after update: header fields replaced, every other byte kept.
std::string expectedAfterUpdate(const std::string &before, const Expected &e)
{
    LAS12Header h;
    std::memcpy(&h, before.data(), sizeof h);
    h.NumberOfPointReturns = e.total;
    std::memcpy(h.NumberOfPointsByReturn, e.byReturn, sizeof e.byReturn);
    h.MaxX = real(e.maxX, h.XScaleFactor, h.XOffset),
    h.MinX = real(e.minX, h.XScaleFactor, h.XOffset);
    h.MaxY = real(e.maxY, h.YScaleFactor, h.YOffset),
    h.MinY = real(e.minY, h.YScaleFactor, h.YOffset);
    h.MaxZ = real(e.maxZ, h.ZScaleFactor, h.ZOffset),
    h.MinZ = real(e.minZ, h.ZScaleFactor, h.ZOffset);
    return headerBytes(h) + before.substr(sizeof h);
}

RunResult updateInPlace(const std::string &path)
{
    return runCaptured([&] { update_header(path.c_str()); });
}

std::vector<TestPoint> pointsWithEveryReturnNumber()
{
    std::vector<TestPoint> points = varietyOfPoints(5, 40);
    for (size_t k = 0; k < points.size(); ++k) {
        points[k].bitfield = static_cast<uint8_t>((points[k].bitfield & 0xF8) | (k % 8));
        points[k].Z = static_cast<int32_t>(k) * 1000 - 20000; // inside the narrow Z start
    }
    return points;
}

TEST(UpdateHeader, RecomputesCountsAndExtentsForEveryRecordType)
{
    for (int16_t type = 1; type <= 8; ++type) {
        TempDir dir;
        const std::string path = dir / "u.las";
        const std::vector<TestPoint> points = pointsWithEveryReturnNumber();
        // Stale summary, 54 bytes of VLRs and a partial record at the end.
        double scale[3] = {0.01, 0.02, 0.001}, offset[3] = {1000.5, -20, 3};
        LAS12Header h = headerForType(type, scale, offset, 54);
        h.NumberOfPointReturns = 999, h.MaxX = 1e9;
        const std::string before = lasFileBytes(h, points, type, "abc");
        writeFile(path, before);
        const RunResult r = updateInPlace(path);
        EXPECT_EQ(r.status, 0) << type;
        EXPECT_EQ(r.out, "\rHeader of file " + path + " has been updated    ") << type;
        EXPECT_EQ(readFile(path), expectedAfterUpdate(before, summarize(points))) << type;
    }
}

TEST(UpdateHeader, NoPointsGivesTheStartingExtents)
{
    TempDir dir;
    const std::string path = dir / "e.las";
    const std::string before = lasFileBytes(headerForType(LASTYPE_12_FM0), {}, LASTYPE_12_FM0);
    writeFile(path, before);
    EXPECT_EQ(updateInPlace(path).status, 0);
    const std::string after = readFile(path);
    EXPECT_EQ(after, expectedAfterUpdate(before, Expected{}));
    LAS12Header h;
    std::memcpy(&h, after.data(), sizeof h);
    EXPECT_EQ(double{h.MaxZ}, -10000000 * 0.001);
    EXPECT_LT(double{h.MaxX}, double{h.MinX});
}

TEST(UpdateHeader, ZBeyondTheNarrowStartKeepsTheStartValue)
{
    TempDir dir;
    const std::string path = dir / "z.las";
    std::vector<TestPoint> points(3);
    points[0].Z = 20000000, points[1].Z = 30000000, points[2].Z = 10000001;
    const std::string before = lasFileBytes(headerForType(LASTYPE_11_FM1), points, LASTYPE_11_FM1);
    writeFile(path, before);
    EXPECT_EQ(updateInPlace(path).status, 0);
    LAS12Header h;
    std::memcpy(&h, readFile(path).data(), sizeof h);
    EXPECT_EQ(double{h.MinZ}, 10000000 * 0.001);
    EXPECT_EQ(double{h.MaxZ}, 30000000 * 0.001);
}

TEST(UpdateHeader, LongerHeaderAndRecordsAfterItAreLeftAlone)
{
    TempDir dir;
    const std::string path = dir / "l.las";
    LAS12Header h = headerForType(LASTYPE_12_FM2);
    h.HeaderSize = 300, h.OffsetToData = 400;
    const std::vector<TestPoint> points = pointsWithEveryReturnNumber();
    const std::string before = lasFileBytes(h, points, LASTYPE_12_FM2);
    writeFile(path, before);
    EXPECT_EQ(updateInPlace(path).status, 0);
    EXPECT_EQ(readFile(path), expectedAfterUpdate(before, summarize(points)));
}

// A LAS 1.2 file of `records` records whose header puts them at `offset`.
std::string withOffsetToData(uint32_t offset, size_t records)
{
    LAS12Header h = headerForType(LASTYPE_12_FM0);
    const std::string file = lasFileBytes(h, varietyOfPoints(2, records), LASTYPE_12_FM0);
    h.OffsetToData = offset;
    return headerBytes(h) + file.substr(sizeof h);
}

TEST(UpdateHeader, RefusalsLeaveTheFileUntouched)
{
    struct Case {
        const char *what;
        std::string bytes;
        const char *message; // after the path
    };
    LAS12Header odd = headerForType(LASTYPE_11_FM0);
    odd.PointDataFormatID = 3, odd.PointDataRecordLength = 34;
    LAS12Header bad = headerForType(LASTYPE_12_FM0);
    bad.PointDataRecordLength = 21;
    const Case table[] = {
        {"LAS 1.1 declaring format 3", headerBytes(odd) + std::string(68, 'p'),
         ": point data formats 2 and 3 need LAS 1.2\n"},
        {"header cut short", headerBytes(headerForType(LASTYPE_12_FM0)).substr(0, 150),
         " ends within its 227-byte header\n"},
        {"record length of another format", headerBytes(bad),
         " (0) is incompatible with Length of Data Record (21)\n"},
        {"point data at offset 0", withOffsetToData(0, 2),
         " (0) lies within its 227-byte header\n"},
        {"point data at offset 100", withOffsetToData(100, 2),
         " (100) lies within its 227-byte header\n"},
        {"point data beyond the end", withOffsetToData(5000, 2), " (5000) lies beyond its end\n"},
    };
    for (const Case &c : table) {
        TempDir dir;
        const std::string path = dir / "r.las";
        writeFile(path, c.bytes);
        const RunResult r = updateInPlace(path);
        EXPECT_EQ(r.status, 255) << c.what;
        EXPECT_NE(r.out.find(path + c.message), std::string::npos) << c.what << ": " << r.out;
        EXPECT_EQ(readFile(path), c.bytes) << c.what;
    }
}

// A read that fails in the point pass is not the end of the points: the
// header is left as it was rather than given the counts of a part.
TEST(UpdateHeader, AFailedReadOfThePointsLeavesTheFileUntouched)
{
    TempDir dir;
    const std::string path = dir / "f.las";
    const std::string before =
        lasFileBytes(headerForType(LASTYPE_12_FM1), varietyOfPoints(4, 50), LASTYPE_12_FM1);
    writeFile(path, before);
    const RunResult r = runCaptured([&] {
        failLargeReads = true;
        update_header(path.c_str());
    });
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "\nFailed to read file " + path + "\n");
    EXPECT_EQ(readFile(path), before);
}

TEST(UpdateHeader, MissingFileIsRefusedByTheValidator)
{
    TempDir dir;
    const std::string path = dir / "gone.las";
    const RunResult r = updateInPlace(path);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Unable to open file " + path + " in file_access()\n\nFile " + path +
                         " does NOT exist\n");
}

} // namespace
