// Real LAS files from other software: every accepted file converts with one
// line per whole record; every rejected one is refused with its message.
#include "extended_reference.h"
#include "las_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace
{

struct Sample {
    std::string file, version, category;
    int format = 0, recordLength = 0, wholeRecords = 0;
};

std::vector<Sample> samples()
{
    std::ifstream tsv(std::string(TREVLIN_TEST_DATA) + "/SOURCES.tsv");
    std::string line;
    std::getline(tsv, line); // column names
    std::vector<Sample> list;
    while (std::getline(tsv, line)) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');)
            cells.push_back(cell);
        Sample s;
        s.file = cells[0], s.version = cells[5], s.category = cells[9];
        s.format = std::stoi(cells[6]), s.recordLength = std::stoi(cells[7]);
        s.wholeRecords = std::stoi(cells[8]);
        list.push_back(s);
    }
    return list;
}

int16_t typeOf(const Sample &s)
{
    const int minor = s.version[2] - '0';
    return static_cast<int16_t>(minor <= 1 ? 1 + 2 * minor + s.format : 5 + s.format);
}

std::string rejection(const Sample &s)
{
    if (s.version != "1.0" && s.version != "1.1" && s.version != "1.2")
        return "\nCannot handle las files of version " + s.version + "\n";
    return "\nData format of " + s.file + " (" + std::to_string(s.format) +
           ") is incompatible with Length of Data Record (" + std::to_string(s.recordLength) +
           ")\n";
}

TEST(Samples, EveryRealFileIsConvertedOrRefusedAsItShouldBe)
{
    const std::vector<Sample> list = samples();
    ASSERT_GE(list.size(), 25u);
    for (const Sample &s : list) {
        TempDir dir;
        std::filesystem::copy_file(std::string(TREVLIN_TEST_DATA) + "/" + s.file, dir / s.file);
        const std::string stem = s.file.substr(0, s.file.size() - 4);
        const RunResult r = runTool(dir.path, {s.file, "0"});
        if (s.category == "reject") {
            EXPECT_EQ(r.status, 255) << s.file;
            EXPECT_EQ(r.out, rejection(s)) << s.file;
            EXPECT_EQ(filesIn(dir.path).size(), 1u) << s.file;
            continue;
        }
        ASSERT_EQ(r.status, 0) << s.file << r.out;
        EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progressLines(s.file, stem + ".asc")));
        const std::string text = readFile(dir / (stem + ".asc"));
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), s.wholeRecords + 1) << s.file;
        EXPECT_EQ(text, referencePointText(0, typeOf(s), dir / s.file)) << s.file;
        EXPECT_EQ(readFile(dir / (stem + "_hdr.asc")), referenceHeaderText(dir / s.file, typeOf(s)))
            << s.file;
    }
}

// With -x every sample of LAS 1.0-1.4 converts, whatever its version,
// point format or extra bytes, and every value is the one an independent
// reading of the record gives.
TEST(Samples, WithExtendedEveryRealFileConverts)
{
    for (const Sample &s : samples()) {
        TempDir dir;
        std::filesystem::copy_file(std::string(TREVLIN_TEST_DATA) + "/" + s.file, dir / s.file);
        const std::string stem = s.file.substr(0, s.file.size() - 4);
        const bool hasTime = s.format == 1 || s.format >= 3;
        const bool hasColour = s.format == 2 || s.format == 3 || s.format == 5 || s.format == 7 ||
                               s.format == 8 || s.format == 10;
        for (int Format : {0, 10, 13, 14, 15}) {
            if ((Format == 13 && !hasTime) || (Format == 14 && !hasColour))
                continue;
            const RunResult r = runTool(dir.path, {"-x", "-q", s.file, std::to_string(Format)});
            ASSERT_EQ(r.status, 0) << s.file << r.out;
            const std::string text = readFile(dir / (stem + ".asc"));
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), s.wholeRecords + 1) << s.file;
            EXPECT_EQ(text, extendedReferencePoints(Format, dir / s.file)) << s.file << Format;
        }
        EXPECT_EQ(readFile(dir / (stem + "_hdr.asc")), extendedReferenceHeader(dir / s.file))
            << s.file;
    }
}

// A few -x conversions against texts fixed once (and read independently):
// a LAS 1.4 scan angle in degrees and the 1.4 report, LAS 1.3 format 4
// with waveforms inside the file, extra-bytes columns.
TEST(Samples, ExtendedFilesMatchTheirGoldenTexts)
{
    const std::string data = TREVLIN_TEST_DATA;
    const struct {
        const char *stem;
        int Format;
        bool report;
    } table[] = {{"PDAL__PDAL__test1_4", 10, true},
                 {"laspy__laspy__simple1_3", 0, true},
                 {"hobuinc__laz-perf__extrabytes", 0, false}};
    for (const auto &c : table) {
        TempDir dir;
        std::filesystem::copy_file(data + "/" + c.stem + ".las", dir / "p.las");
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "p.las", std::to_string(c.Format)}).status, 0);
        const std::string golden =
            data + "/golden/" + c.stem + ".x.F" + std::to_string(c.Format) + ".asc";
        EXPECT_EQ(readFile(dir / "p.asc"), readFile(golden)) << golden;
        EXPECT_EQ(readFile(golden), extendedReferencePoints(c.Format, dir / "p.las")) << golden;
        if (c.report) {
            EXPECT_EQ(readFile(dir / "p_hdr.asc"),
                      readFile(data + "/golden/" + c.stem + ".x_hdr.asc"));
        }
    }
}

// LAZ with -x: the point text of every LAZ sample the decoder reads is the
// text of its uncompressed twin, byte for byte, at any thread count; its
// report differs only where the headers do (the LASzip VLR) and in the
// compression line. Those it does not read yet, and damaged ones, are
// refused with a line naming the file and what it holds.
TEST(Samples, LazTextIsTheTextOfTheUncompressedTwin)
{
    std::ifstream tsv(std::string(TREVLIN_TEST_DATA) + "/LAZ-SOURCES.tsv");
    std::string line;
    std::getline(tsv, line);
    int compared = 0;
    while (std::getline(tsv, line)) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');)
            cells.push_back(cell);
        const std::string laz = cells[0], las = cells.size() > 8 ? cells[8] : "";
        TempDir dir;
        std::filesystem::copy_file(std::string(TREVLIN_TEST_DATA) + "/" + laz, dir / "a.laz");
        const RunResult probe = runTool(dir.path, {"-x", "-q", "a.laz", "15"});
        if (probe.status != 0) {
            EXPECT_EQ(probe.status, 255) << laz;
            EXPECT_TRUE(probe.out.rfind("\nLAZ file a.laz ", 0) == 0) << laz << probe.out;
            EXPECT_EQ(filesIn(dir.path).size(), 1u) << laz;
            continue;
        }
        ASSERT_FALSE(las.empty()) << laz;
        std::filesystem::copy_file(std::string(TREVLIN_TEST_DATA) + "/" + las, dir / "b.las");
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "b.las", "0"}).status, 0) << las;
        for (const char *threads : {"1", "2", "4"}) {
            ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-j", threads, "a.laz", "0"}).status, 0);
            EXPECT_EQ(readFile(dir / "a.asc"), readFile(dir / "b.asc")) << laz << threads;
        }
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-z", "-j", "2", "a.laz", "0"}).status, 0);
        EXPECT_EQ(gunzip(readFile(dir / "a.asc.gz")), readFile(dir / "b.asc")) << laz;
        std::istringstream lazReport(readFile(dir / "a_hdr.asc")),
            lasReport(readFile(dir / "b_hdr.asc"));
        std::vector<std::string> differing;
        for (std::string a, b; std::getline(lazReport, a);)
            if (!std::getline(lasReport, b) || a != b)
                differing.push_back(a.substr(0, a.find(':')));
        EXPECT_EQ(differing,
                  (std::vector<std::string>{"Offset to Data", "Number of Variable Length Records",
                                            "Compression"}))
            << laz;
        ++compared;
    }
    EXPECT_GE(compared, 10);
}

// A LAZ file cut or damaged anywhere ends with a message and status 255,
// never a signal, and never leaves a point file under its final name; a
// byte flipped inside a chunk, which the scheme cannot always tell, may
// also decode.
TEST(Samples, CutAndDamagedLazFilesEndWithAMessage)
{
    const std::string whole =
        readFile(std::string(TREVLIN_TEST_DATA) + "/hobuinc__laz-perf__point-color-time.laz");
    uint32_t data = 0;
    int64_t table = 0;
    std::memcpy(&data, whole.data() + 96, 4);
    std::memcpy(&table, whole.data() + data, 8);
    const auto flipped = [&whole](size_t at) {
        std::string bytes = whole;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        return bytes;
    };
    const struct {
        const char *what;
        std::string bytes;
        std::string out; // the start of the message; "" where decoding may succeed
    } cases[] = {
        {"cut in the header", whole.substr(0, 100), "\na.laz is not a valid .las file"},
        {"cut in the LASzip VLR", whole.substr(0, 300), "\nLAZ file a.laz is damaged: "},
        {"cut in the first chunk", whole.substr(0, data + 2000), "\nLAZ file a.laz is damaged: "},
        {"cut in the chunk table", whole.substr(0, static_cast<size_t>(table) + 6),
         "\nLAZ file a.laz is damaged: "},
        {"an item of the LASzip VLR", flipped(data - 8), "\nLAZ file a.laz "},
        {"chunk table's offset", flipped(data + 5), "\nLAZ file a.laz is damaged: "},
        {"chunk table's version", flipped(whole.size() - 20), ""},
        {"the first chunk", flipped(data + 100), ""},
        {"the middle of the chunk", flipped(data + 15000), ""},
    };
    for (const auto &c : cases) {
        TempDir dir;
        writeFile(dir / "a.laz", c.bytes);
        const RunResult r = runTool(dir.path, {"-x", "-q", "a.laz", "0"});
        EXPECT_EQ(r.signal, 0) << c.what;
        if (!c.out.empty() || r.status != 0) {
            EXPECT_EQ(r.status, 255) << c.what << r.out;
            EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << c.what << r.out;
            EXPECT_FALSE(std::filesystem::exists(dir / "a.asc")) << c.what;
        }
        EXPECT_EQ(filesIn(dir.path).count("a.asc.incomplete"), 0u) << c.what;
    }
}

} // namespace
