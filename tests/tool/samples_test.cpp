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

// Where each line of the header report that two files' headers may differ
// in reads its value: a LAZ file's report differs from its twin's only on
// those lines whose bytes differ, and on its compression line.
struct ReportField {
    const char *label;
    size_t offset, size;
};
const ReportField REPORT_FIELDS[] = {
    {"Generating Software ", 58, 32}, {"Header Size ", 94, 2},
    {"Offset to Data", 96, 4},        {"Number of Variable Length Records", 100, 4},
    {"Start of first EVLR", 235, 8},  {"Number of EVLRs", 243, 4},
};

std::vector<std::string> reportLinesThatMayDiffer(const std::string &a, const std::string &b)
{
    std::vector<std::string> labels{"Compression"};
    const auto field = [](const std::string &bytes, const ReportField &f) {
        return f.offset < bytes.size() ? bytes.substr(f.offset, f.size) : std::string();
    };
    for (const ReportField &f : REPORT_FIELDS)
        if (field(a, f) != field(b, f))
            labels.push_back(f.label);
    return labels;
}

std::vector<std::string> differingReportLines(const std::string &a, const std::string &b)
{
    std::istringstream one(a), two(b);
    std::vector<std::string> differing;
    for (std::string x, y; std::getline(one, x);)
        if (!std::getline(two, y) || x != y)
            differing.push_back(x.substr(0, x.find(':')));
    return differing;
}

// The lines of a text in order, the column line kept first.
std::string sortedLines(const std::string &text)
{
    std::istringstream in(text);
    std::string first, line;
    std::getline(in, first);
    std::vector<std::string> lines;
    while (std::getline(in, line))
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    std::string out = first + "\n";
    for (const std::string &l : lines)
        out += l + "\n";
    return out;
}

// LAZ with -x: the point text of every LAZ sample is the text of its
// uncompressed twin, byte for byte, at any thread count and with jobs of a
// few records; its report differs only where the headers do and in the
// compression line. Damaged ones are refused with a line naming the file.
// The COPC twins were written by a reader that orders points by their
// place in space, not by chunk: TREVLIN, like every LAZ decompressor,
// writes the file's order, so those are compared as sets of lines.
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
        if (las.empty()) {
            EXPECT_EQ(probe.status, 255) << laz;
            EXPECT_TRUE(probe.out.rfind("\nLAZ file a.laz ", 0) == 0) << laz << probe.out;
            EXPECT_EQ(filesIn(dir.path).size(), 1u) << laz;
            continue;
        }
        ASSERT_EQ(probe.status, 0) << laz << probe.out;
        std::filesystem::copy_file(std::string(TREVLIN_TEST_DATA) + "/" + las, dir / "b.las");
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "b.las", "0"}).status, 0) << las;
        const bool spatialOrder = laz.find(".copc") != std::string::npos;
        const auto same = [&](const std::string &text) {
            const std::string twin = readFile(dir / "b.asc");
            return spatialOrder ? sortedLines(text) == sortedLines(twin) : text == twin;
        };
        for (const char *threads : {"1", "2", "4"}) {
            ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-j", threads, "a.laz", "0"}).status, 0);
            EXPECT_TRUE(same(readFile(dir / "a.asc"))) << laz << threads;
        }
        const std::string text = readFile(dir / "a.asc");
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-j", "3", "a.laz", "0"},
                          {{"TREVLIN_TEST_JOB_RECORDS", "3"}})
                      .status,
                  0);
        EXPECT_EQ(readFile(dir / "a.asc"), text) << laz;
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-z", "-j", "2", "a.laz", "0"}).status, 0);
        EXPECT_EQ(gunzip(readFile(dir / "a.asc.gz")), text) << laz;
        const std::string lazBytes = readFile(dir / "a.laz"), lasBytes = readFile(dir / "b.las");
        const std::vector<std::string> mayDiffer = reportLinesThatMayDiffer(lazBytes, lasBytes);
        for (const std::string &label :
             differingReportLines(readFile(dir / "a_hdr.asc"), readFile(dir / "b_hdr.asc")))
            EXPECT_NE(std::find(mayDiffer.begin(), mayDiffer.end(), label), mayDiffer.end())
                << laz << ": " << label;
        ++compared;
    }
    EXPECT_GE(compared, 20);
}

// Formats 6-10: each Format decodes only the layers of the fields it
// prints, and prints what the whole record's text does.
TEST(Samples, EveryFormatOfLayeredLazIsItsTwinsText)
{
    const char *const stems[] = {"visgl__loaders.gl__pdrf8-1.4", "visgl__loaders.gl__pdrf7-v4-1.4",
                                 "visgl__loaders.gl__pdrf10-1.4", "laspy__laspy__1_4_w_evlr"};
    for (const char *stem : stems) {
        TempDir dir;
        const std::string data = std::string(TREVLIN_TEST_DATA) + "/" + stem;
        std::filesystem::copy_file(data + ".laz", dir / "a.laz");
        std::filesystem::copy_file(data + ".las", dir / "b.las");
        for (int Format = 1; Format <= 20; ++Format) {
            const std::string F = std::to_string(Format);
            // A Format the record type cannot serve is refused alike.
            const int twin = runTool(dir.path, {"-x", "-q", "b.las", F}).status;
            ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-j", "2", "a.laz", F}).status, twin) << stem;
            if (twin == 0) {
                EXPECT_EQ(readFile(dir / "a.asc"), readFile(dir / "b.asc"))
                    << stem << " Format " << F;
            }
        }
    }
}

// A LAZ file as an interrupted writer leaves it: the chunk table's offset
// points at itself and no table follows the chunks. Layered chunks are
// found by their sizes and decoded on every thread; pointwise ones are
// decoded in turn. The text is the whole file's, at any thread count and
// job size; cut, each converts as far as its whole points go, its text the
// first lines of its twin's, and a warning says why it ends early.
TEST(Samples, LazFilesWithoutAChunkTable)
{
    const struct {
        const char *stem;
        const char *cutMessage;
    } cases[] = {
        {"visgl__loaders.gl__pdrf4-1.3", ": its point data ends within point "},
        {"hobuinc__laz-perf__point-color-time", ": its point data ends within point "},
        {"visgl__loaders.gl__pdrf10-1.4",
         ": chunk 3's layers run past the end of its data: the file is cut short\n"},
        {"PDAL__PDAL__simple-laszip-compressor-version-1.2r0",
         ": its point data ends within point "},
    };
    for (const auto &c : cases) {
        const std::string data = std::string(TREVLIN_TEST_DATA) + "/" + c.stem;
        std::string bytes = readFile(data + ".laz");
        uint32_t pointData = 0;
        int64_t table = 0;
        std::memcpy(&pointData, bytes.data() + 96, 4);
        std::memcpy(&table, bytes.data() + pointData, 8);
        const bool pointwise = bytes[bytes.find("laszip encoded") + 52] == 1;
        if (!pointwise) {
            const int64_t self = pointData;
            bytes.replace(pointData, 8, reinterpret_cast<const char *>(&self), 8);
            bytes.resize(static_cast<size_t>(table));
        }
        TempDir dir;
        std::filesystem::copy_file(data + ".las", dir / "b.las");
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "b.las", "0"}).status, 0) << c.stem;
        writeFile(dir / "a.laz", bytes);
        for (const char *threads : {"1", "3"}) {
            ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-j", threads, "a.laz", "0"},
                              {{"TREVLIN_TEST_JOB_RECORDS", "7"}})
                          .status,
                      0)
                << c.stem;
            EXPECT_EQ(readFile(dir / "a.asc"), readFile(dir / "b.asc")) << c.stem << threads;
        }
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-z", "a.laz", "0"}).status, 0) << c.stem;
        EXPECT_EQ(gunzip(readFile(dir / "a.asc.gz")), readFile(dir / "b.asc")) << c.stem;
        std::filesystem::remove(dir / "a.asc");
        writeFile(dir / "a.laz", bytes.substr(0, bytes.size() - 700));
        const RunResult r = runTool(dir.path, {"-x", "-q", "a.laz", "0"});
        EXPECT_EQ(r.status, 0) << c.stem;
        EXPECT_EQ(r.out, "") << c.stem;
        EXPECT_EQ(r.err.rfind("TREVLIN: warning: a.laz holds ", 0), 0u) << c.stem << r.err;
        EXPECT_NE(r.err.find(c.cutMessage), std::string::npos) << c.stem << r.err;
        const std::string cut = readFile(dir / "a.asc"), whole = readFile(dir / "b.asc");
        EXPECT_TRUE(cut.size() < whole.size() && whole.compare(0, cut.size(), cut) == 0 &&
                    cut.back() == '\n')
            << c.stem;
    }
}

// Fixed chunks larger than a job can hold are decoded in turn, by the
// writer, without the chunk table, rather than refused.
TEST(Samples, LazChunksTooLargeForAJobAreDecodedInTurn)
{
    const std::string data =
        std::string(TREVLIN_TEST_DATA) + "/hobuinc__laz-perf__point-color-time";
    std::string bytes = readFile(data + ".laz");
    const uint32_t chunkSize = 5000000;
    bytes.replace(bytes.find("laszip encoded") + 52 + 12, 4,
                  reinterpret_cast<const char *>(&chunkSize), 4);
    // The chunk table is not read: its version made one no reader takes.
    uint32_t pointData = 0;
    int64_t table = 0;
    std::memcpy(&pointData, bytes.data() + 96, 4);
    std::memcpy(&table, bytes.data() + pointData, 8);
    bytes[static_cast<size_t>(table)] = 7;
    TempDir dir;
    writeFile(dir / "a.laz", bytes);
    std::filesystem::copy_file(data + ".las", dir / "b.las");
    ASSERT_EQ(runTool(dir.path, {"-x", "-q", "b.las", "0"}).status, 0);
    for (const char *threads : {"1", "2"}) {
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-j", threads, "a.laz", "0"}).status, 0);
        EXPECT_EQ(readFile(dir / "a.asc"), readFile(dir / "b.asc")) << threads;
    }
}

// Points of formats 6-10 stored in LASzip's compatibility layout are
// converted as what they are stored as, and standard error says so.
TEST(Samples, TheCompatibilityLayoutIsConvertedAsStored)
{
    const std::string data = std::string(TREVLIN_TEST_DATA) + "/hobuinc__laz-perf__point-time";
    std::string bytes = readFile(data + ".laz");
    bytes[bytes.find("laszip encoded") + 52 + 8] |= 1; // the VLR's options
    TempDir dir;
    writeFile(dir / "a.laz", bytes);
    std::filesystem::copy_file(data + ".las", dir / "b.las");
    const RunResult r = runTool(dir.path, {"-x", "-q", "a.laz", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "TREVLIN: a.laz stores LAS 1.4 points as point data format 1 with their "
                     "LAS 1.4 fields in extra bytes (LASzip's compatibility layout); they are "
                     "converted as stored\n");
    ASSERT_EQ(runTool(dir.path, {"-x", "-q", "b.las", "0"}).status, 0);
    EXPECT_EQ(readFile(dir / "a.asc"), readFile(dir / "b.asc"));
}

// A LAZ file damaged anywhere ends with a message and status 255, never a
// signal, and never leaves a point file under its final name; a byte
// flipped inside a chunk, which the scheme cannot always tell, may also
// decode, and a cut file converts as far as it goes.
TEST(Samples, CutAndDamagedLazFilesEndWithAMessage)
{
    for (const char *sample :
         {"hobuinc__laz-perf__point-color-time.laz", "visgl__loaders.gl__pdrf10-1.4.laz"}) {
        const std::string whole = readFile(std::string(TREVLIN_TEST_DATA) + "/" + sample);
        uint32_t data = 0;
        int64_t table = 0;
        std::memcpy(&data, whole.data() + 96, 4);
        std::memcpy(&table, whole.data() + data, 8);
        // The first item's type in the LASzip VLR's payload.
        const size_t item = whole.find("laszip encoded") - 2 + 54 + 34;
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
            {"cut in the LASzip VLR", whole.substr(0, item), "\nLAZ file a.laz is damaged: "},
            // Cut files convert as far as they go.
            {"cut in the first chunk", whole.substr(0, data + 2000), ""},
            {"cut in the chunk table", whole.substr(0, static_cast<size_t>(table) + 6), ""},
            {"an item of the LASzip VLR", flipped(item), "\nLAZ file a.laz "},
            // An offset past the end reads as a cut file's.
            {"chunk table's offset", flipped(data + 5), ""},
            {"chunk table's version", flipped(whole.size() - 20), ""},
            {"the first chunk", flipped(data + 100), ""},
            {"the middle of a chunk", flipped(data + 15000), ""},
        };
        for (const auto &c : cases) {
            TempDir dir;
            writeFile(dir / "a.laz", c.bytes);
            const RunResult r = runTool(dir.path, {"-x", "-q", "a.laz", "0"});
            EXPECT_EQ(r.signal, 0) << sample << c.what;
            if (!c.out.empty() || r.status != 0) {
                EXPECT_EQ(r.status, 255) << sample << c.what << r.out;
                EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << sample << c.what << r.out;
                EXPECT_FALSE(std::filesystem::exists(dir / "a.asc")) << sample << c.what;
            }
            EXPECT_EQ(filesIn(dir.path).count("a.asc.incomplete"), 0u) << sample << c.what;
        }
    }
}

} // namespace
