// Point text of every Format for every record type, end to end, against
// the fprintf reference; plus literal lines and the record-loop rules.
#include "las_fixture.h"
#include "reference_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace
{

TEST(Export, EveryFormatOnEveryRecordTypeMatchesPrintf)
{
    for (int16_t type = 1; type <= 8; ++type) {
        TempDir dir;
        // 5 bytes of a partial record at the end must be ignored.
        writeFile(dir / "p.las", lasFileBytes(headerForType(type), varietyOfPoints(type, 200), type,
                                              "\x01\x02\x03\x04\x05"));
        const std::string header = referenceHeaderText(dir / "p.las", type);
        for (int Format = 0; Format <= 20; ++Format) {
            const RunResult r = runTool(dir.path, {"p.las", std::to_string(Format)});
            if (!referenceServes(Format, type)) {
                EXPECT_EQ(r.status, 255) << "type " << type << " Format " << Format;
                continue;
            }
            ASSERT_EQ(r.status, 0) << "type " << type << " Format " << Format;
            EXPECT_EQ(readFile(dir / "p.asc"), referencePointText(Format, type, dir / "p.las"))
                << "type " << type << " Format " << Format;
            EXPECT_EQ(readFile(dir / "p_hdr.asc"), header);
        }
    }
}

std::string convert(const std::string &bytes, const char *Format)
{
    TempDir dir;
    writeFile(dir / "w.las", bytes);
    const RunResult r = runTool(dir.path, {"w.las", Format});
    EXPECT_EQ(r.status, 0) << r.out;
    return readFile(dir / "w.asc");
}

std::string lineAt(const std::string &text, int n)
{
    std::istringstream lines(text);
    std::string line;
    for (int k = 0; k <= n; ++k)
        std::getline(lines, line);
    return line;
}

TEST(Export, WorkedFormat0Line)
{
    double scale[3] = {0.01, 0.01, 0.001}, offset[3] = {100, 200, 0};
    TestPoint p;
    p.X = 123, p.Y = -987, p.Z = 456, p.Intensity = 200, p.bitfield = 0x52;
    p.Classification = 2, p.ScanAngleByte = 0xFB, p.UserData = 0, p.PointSourceID = 7;
    const std::string text = convert(
        lasFileBytes(headerForType(LASTYPE_12_FM0, scale, offset), {p}, LASTYPE_12_FM0), "0");
    EXPECT_EQ(text, "\"X\" \"Y\" \"Z\" \"Intensity\" \"ReturnNum\" \"NumReturns\" "
                    "\"ScanDirection\" \"EdgeOfFlightLine\" \"Class\" \"ScanAngleRank\" "
                    "\"UserData\" \"PointSourceID\"\n"
                    "101.23 190.13 0.456 200 2 2 1 0 2 -5 0 7\n");
}

TEST(Export, FieldsPrintWithoutSignExceptScanAngle)
{
    double scale[3] = {1, 0.01, 1}, offset[3] = {0, 0, 0};
    std::vector<TestPoint> points(6);
    const uint8_t angles[] = {0x00, 0x5A, 0x7F, 0x80, 0xA6, 0xFF};
    for (int k = 0; k < 6; ++k)
        points[k].ScanAngleByte = angles[k], points[k].X = 17, points[k].Y = -150;
    points[0].bitfield = 0xFF, points[1].bitfield = 0x09, points[2].bitfield = 0x80;
    points[0].Intensity = 0xFFFF, points[0].PointSourceID = 0xFFFF, points[0].Classification = 0xC8;
    points[0].GPSTime = 12.5;
    const std::string bytes =
        lasFileBytes(headerForType(LASTYPE_10_FM1, scale, offset), points, LASTYPE_10_FM1);
    EXPECT_EQ(convert(bytes, "10"), "\"ScanAngleRank\"\n0\n90\n127\n-128\n-90\n-1\n");
    EXPECT_EQ(lineAt(convert(bytes, "0"), 1), "17 -1.50 0 65535 7 7 1 1 200 0 0 65535 12.5000000");
    EXPECT_EQ(convert(bytes, "11").substr(0, 13), "\"FileMarker\"\n");
    EXPECT_EQ(convert(bytes, "12").substr(0, 15), "\"UserBitField\"\n");
    EXPECT_EQ(convert(bytes, "5"), "\"ReturnNum\"\n7\n1\n0\n0\n0\n0\n");
    EXPECT_EQ(convert(bytes, "8"), "\"EdgeOfFlightLine\"\n1\n0\n1\n0\n0\n0\n");
}

TEST(Export, ReadsEveryWholeRecordPresentAndNothingElse)
{
    LAS12Header h = headerForType(LASTYPE_12_FM1);
    h.NumberOfPointReturns = 2; // the file holds 10: all are converted
    const auto points = varietyOfPoints(9, 10);
    const std::string text = convert(lasFileBytes(h, points, LASTYPE_12_FM1, "12345"), "13");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);
}

TEST(Export, EmptyPointDataGivesTheHeaderLineOnly)
{
    LAS12Header h = headerForType(LASTYPE_12_FM3);
    EXPECT_EQ(convert(lasFileBytes(h, {}, LASTYPE_12_FM3), "19"),
              "\"X\" \"Y\" \"Z\" \"R\" \"G\" \"B\"\n");
    h.OffsetToData = 5000; // beyond the end of the file
    EXPECT_EQ(convert(headerBytes(h), "20"),
              "\"X\" \"Y\" \"Z\" \"Intensity\" \"PointSourceID\" \"R\" \"G\" \"B\"\n");
}

TEST(Export, FirstPointIsTheOneAtOffsetToData)
{
    double scale[3] = {1, 1, 1}, offset[3] = {0, 0, 0};
    TestPoint p;
    p.X = 42;
    // 54 bytes of variable-length records between header and points.
    const LAS12Header h = headerForType(LASTYPE_11_FM0, scale, offset, 54);
    EXPECT_EQ(convert(lasFileBytes(h, {p}, LASTYPE_11_FM0), "1"), "\"X\"\n42\n");
}

// A full disk, met by the one-thread loop and by the pipeline's writer
// while its workers are busy: the same message, and the run ends.
TEST(Export, WriteFailureIsReported)
{
    TempDir dir;
    writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM0), varietyOfPoints(2, 200000),
                                          LASTYPE_12_FM0));
    std::filesystem::create_symlink("/dev/full", dir / "a.asc");
    for (const char *threads : {"1", "4"}) {
        const RunResult r = runTool(dir.path, {"a.las", "0"}, {{"TREVLIN_THREADS", threads}});
        EXPECT_EQ(r.status, 255) << threads;
        EXPECT_EQ(r.out,
                  bannerText() + progressLines("a.las", "a.asc") + "\nFailed to write file a.asc\n")
            << threads;
        EXPECT_EQ(r.err, "") << threads;
    }
}

TEST(Export, HeaderReportWriteFailureIsReported)
{
    TempDir dir;
    writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM0), {}, LASTYPE_12_FM0));
    std::filesystem::create_symlink("/dev/full", dir / "a_hdr.asc");
    const RunResult r = runTool(dir.path, {"a.las", "0"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, bannerText() + progressLines("a.las", "a.asc") +
                         "\nFailed to write file a_hdr.asc\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.asc"));
}

} // namespace

namespace
{

// Real files of every record type against texts fixed once and for all.
TEST(Export, PermutationFilesMatchTheirGoldenTexts)
{
    const std::string data = TREVLIN_TEST_DATA;
    int compared = 0;
    for (const char *version :
         {"1.0_0", "1.0_1", "1.1_0", "1.1_1", "1.2_0", "1.2_1", "1.2_2", "1.2_3"}) {
        const std::string stem = std::string("PDAL__PDAL__") + version;
        const int16_t type = static_cast<int16_t>(version[2] == '2' ? 5 + (version[4] - '0')
                                                                    : 1 + 2 * (version[2] - '0') +
                                                                          (version[4] - '0'));
        TempDir dir;
        std::filesystem::copy_file(data + "/" + stem + ".las", dir / "p.las");
        for (int Format = 0; Format <= 20; ++Format) {
            const std::string golden =
                data + "/golden/" + stem + ".F" + std::to_string(Format) + ".asc";
            if (!referenceServes(Format, type)) {
                EXPECT_FALSE(std::filesystem::exists(golden)) << golden;
                continue;
            }
            ASSERT_EQ(runTool(dir.path, {"p.las", std::to_string(Format)}).status, 0) << golden;
            EXPECT_EQ(readFile(dir / "p.asc"), readFile(golden)) << golden;
            EXPECT_EQ(readFile(golden), referencePointText(Format, type, dir / "p.las")) << golden;
            ++compared;
        }
        EXPECT_EQ(readFile(dir / "p_hdr.asc"), readFile(data + "/golden/" + stem + "_hdr.asc"));
    }
    EXPECT_EQ(compared, 138);
}

} // namespace
