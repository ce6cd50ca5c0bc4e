// The files only -x reads: LAS 1.3 and 1.4, point formats 4 to 10 and
// records with extra bytes, built byte by byte with edge values, converted
// by the tool and judged by an independent reading of the bytes.
#include "extended_reference.h"
#include "las_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace
{

// The version a point format first appears in.
uint8_t minorOf(uint8_t format)
{
    return format <= 3 ? 2 : format <= 5 ? 3 : 4;
}

bool serves(int Format, uint8_t format)
{
    if (Format == 13 || Format == 17 || Format == 18)
        return las_format_has_gps_time(format);
    if (Format == 14 || Format == 19 || Format == 20)
        return las_format_has_rgb(format);
    return true;
}

// Every field at its extremes, in the widths of formats 6-10; formats 4
// and 5 take what their narrower fields hold.
std::vector<ExtendedPoint> edgePoints(uint8_t format)
{
    const bool wide = las_format_is_extended(format);
    std::vector<ExtendedPoint> points;
    const int16_t angles[] = {-30000, -1, 0, 1, 30000};
    for (int k = 0; k < 5; ++k) {
        ExtendedPoint p;
        p.X = k == 0 ? INT32_MIN : k == 4 ? INT32_MAX : -150 + 100 * k, p.Y = 17 * k, p.Z = -k;
        p.Intensity = k == 4 ? 65535 : static_cast<uint16_t>(k);
        p.ReturnNumber = static_cast<uint8_t>(wide ? 15 - k : 7 - k);
        p.NumberOfReturns = static_cast<uint8_t>(wide ? 15 : 7);
        p.ClassFlags = static_cast<uint8_t>(k == 0 ? 15 : 1 << (k - 1) & 15);
        p.ScannerChannel = static_cast<uint8_t>(k & 3);
        p.ScanDirection = static_cast<uint8_t>(k & 1), p.EdgeOfFlightLine = k >= 3;
        p.Classification = k == 0 ? 255 : static_cast<uint8_t>(k * 31);
        p.UserData = static_cast<uint8_t>(250 + k);
        p.ScanAngle = wide ? angles[k] : static_cast<int16_t>(-128 + 60 * k);
        p.PointSourceID = k == 2 ? 65535 : static_cast<uint16_t>(k);
        p.GPSTime = k == 1 ? 12.5 : 1e9 + 0.123456789 * k;
        p.Red = 65535, p.Green = static_cast<uint16_t>(k), p.Blue = 256;
        p.NIR = k == 0 ? 65535 : static_cast<uint16_t>(1000 * k);
        points.push_back(p);
    }
    return points;
}

// Formats 6 to 10 also in LAS 1.5, whose points are 1.4's.
TEST(Extended, EveryFormatPrintsEveryRecordAsItsBytesSay)
{
    for (uint8_t format = 4; format <= LAS_MAX_POINT_FORMAT; ++format) {
        for (unsigned variant : {0u, 1u, 2u}) {
            const unsigned extra = variant == 1 ? 7u : 0u;
            const uint8_t minor = variant == 2 ? 5 : minorOf(format);
            if (minor == 5 && format < 6)
                continue;
            TempDir dir;
            writeFile(dir / "e.las", extendedLasBytes(minor, format, extra, edgePoints(format)));
            for (int Format = 0; Format <= 20; ++Format) {
                const RunResult r = runTool(dir.path, {"-x", "-q", "e.las", std::to_string(Format)},
                                            {{"TREVLIN_TEST_JOB_RECORDS", "2"}});
                if (!serves(Format, format)) {
                    EXPECT_EQ(r.status, 255) << int(format) << " F" << Format;
                    continue;
                }
                ASSERT_EQ(r.status, 0) << int(format) << " F" << Format << r.out << r.err;
                EXPECT_EQ(r.err, "");
                EXPECT_EQ(readFile(dir / "e.asc"), extendedReferencePoints(Format, dir / "e.las"))
                    << int(format) << "+" << extra << " 1." << int(minor) << " F" << Format;
            }
            EXPECT_EQ(readFile(dir / "e_hdr.asc"), extendedReferenceHeader(dir / "e.las"));
        }
    }
}

// The new columns, spelled out: 4-bit returns, the whole classification
// byte, the scan angle in exact thousandths, NIR and the flags.
TEST(Extended, NewColumnsReadAsTheStandardSays)
{
    TempDir dir;
    writeFile(dir / "e.las", extendedLasBytes(4, 8, 0, edgePoints(8)));
    ASSERT_EQ(runTool(dir.path, {"-x", "-q", "e.las", "10"}).status, 0);
    EXPECT_EQ(readFile(dir / "e.asc"), "\"ScanAngle\"\n-180.000\n-0.006\n0.000\n0.006\n180.000\n");
    ASSERT_EQ(runTool(dir.path, {"-x", "-q", "e.las", "0"}).status, 0);
    const std::string text = readFile(dir / "e.asc");
    EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
              "\"X\" \"Y\" \"Z\" \"Intensity\" \"ReturnNum\" \"NumReturns\" \"ScanDirection\" "
              "\"EdgeOfFlightLine\" \"Class\" \"ScanAngle\" \"UserData\" \"PointSourceID\" "
              "\"GPSTime\" \"Red\" \"Green\" \"Blue\" \"NIR\" \"ClassFlags\" \"ScannerChannel\"\n"
              "-21074836.48 4500000.00 0.000 0 15 15 0 0 255 -180.000 250 0 1000000000.0000000 "
              "65535 0 256 65535 15 0\n");
    ASSERT_EQ(runTool(dir.path, {"-x", "-q", "e.las", "11"}).status, 0);
    EXPECT_EQ(readFile(dir / "e.asc").substr(0, 14), "\"UserData\"\n250");
}

struct Refusal {
    const char *what;
    std::string bytes;
    std::string out;
    std::string err = "";
};

std::string withHeader(std::string bytes, size_t offset, const void *value, size_t n)
{
    bytes.replace(offset, n, static_cast<const char *>(value), n);
    return bytes;
}

// Every file -x refuses gets a line naming the file and the value, and
// nothing is written.
TEST(Extended, RefusesWhatNoVersionDefines)
{
    const std::string las14 = extendedLasBytes(4, 6, 0, edgePoints(6));
    const std::string las15 = extendedLasBytes(5, 7, 0, edgePoints(7));
    const uint8_t sixth = 6, two = 2, ten = 10, six = 6, three = 3, other = 29;
    const uint16_t short227 = 227, short375 = 375, length20 = 20;
    const uint32_t offset300 = 300;
    const Refusal table[] = {
        {"LAS 1.6", withHeader(las14, 25, &sixth, 1), "\nCannot handle las files of version 1.6\n"},
        {"format 3 in LAS 1.5", withHeader(las15, 104, &three, 1),
         "\nPointDataFormatID in f.las is 3. LAS 1.5 accepts 6 to 10\n"},
        {"LAS 1.5 header of 375 bytes", withHeader(las15, 94, &short375, 2),
         "\nHeaderSize of f.las (375) is below the 393 bytes of a LAS 1.5 header\n"},
        {"cut inside a LAS 1.5 header", las15.substr(0, 380),
         "\nFile f.las ends within its 393-byte header\n"},
        {"LAS 2.4", withHeader(las14, 24, &two, 1), "\nCannot handle las files of version 2.x\n"},
        {"format 10 in LAS 1.3", withHeader(extendedLasBytes(3, 5, 0, {}), 104, &ten, 1),
         "\nPointDataFormatID in f.las is 10. LAS 1.3 accepts 0 to 5\n"},
        {"format 6 in LAS 1.2", withHeader(extendedLasBytes(2, 3, 0, {}), 104, &six, 1),
         "\nPointDataFormatID in f.las is 6. Only 0, 1, 2, or 3 is accepted\n"},
        {"format 29 in LAS 1.4", withHeader(las14, 104, &other, 1),
         "\nPointDataFormatID in f.las is 29. LAS 1.4 accepts 0 to 10\n"},
        {"record shorter than format 6's", withHeader(las14, 105, &length20, 2),
         "\nData format of f.las (6) is incompatible with Length of Data Record (20)\n"},
        {"LAS 1.4 header of 227 bytes", withHeader(las14, 94, &short227, 2),
         "\nHeaderSize of f.las (227) is below the 375 bytes of a LAS 1.4 header\n"},
        {"points inside the header", withHeader(las14, 96, &offset300, 4),
         "\nOffsetToData of f.las (300) lies within its 375-byte header\n"},
        {"cut inside the header", las14.substr(0, 300),
         "\nFile f.las ends within its 375-byte header\n"},
        {"LAS 1.1 with format 2", extendedLasBytes(1, 2, 0, {}), "",
         "TREVLIN: f.las is LAS 1.1 with point data format 2, which LAS 1.1 does not define\n"},
    };
    for (const Refusal &c : table) {
        for (const char *input : {"f.las", "l.txt"}) {
            TempDir dir;
            writeFile(dir / "f.las", c.bytes);
            writeFile(dir / "l.txt", "f.las\n");
            const RunResult r = runTool(dir.path, {"-x", input, "0"});
            const std::string listed =
                input[0] == 'l' ? "f.las (listed in l.txt) is not a valid LAS file\n" : "";
            EXPECT_EQ(r.status, 255) << c.what;
            EXPECT_EQ(r.out, c.out + listed) << c.what << " " << input;
            EXPECT_EQ(r.err, c.err) << c.what;
            EXPECT_EQ(filesIn(dir.path).size(), 2u) << c.what;
        }
    }
}

// Without -x a file of LAS 1.3 or 1.4 is refused as before, with a word on
// standard error saying that -x converts it.
TEST(Extended, WithoutTheOptionTheRefusalSaysWhatConvertsIt)
{
    TempDir dir;
    writeFile(dir / "f.las", extendedLasBytes(4, 7, 0, edgePoints(7)));
    writeFile(dir / "g.las", extendedLasBytes(3, 4, 0, edgePoints(4)));
    writeFile(dir / "l.txt", "g.las f.las");
    RunResult r = runTool(dir.path, {"f.las", "0"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "\nCannot handle las files of version 1.4\n");
    EXPECT_EQ(r.err, "TREVLIN: f.las is a LAS 1.4 file of point data format 7; TREVLIN -x f.las "
                     "<Format> converts it\n");
    r = runTool(dir.path, {"l.txt", "0"});
    EXPECT_EQ(r.out,
              "\nCannot handle las files of version 1.3\ng.las (listed in l.txt) is not a valid "
              "LAS file\n");
    EXPECT_EQ(r.err, "TREVLIN: g.las is a LAS 1.3 file of point data format 4; TREVLIN -x l.txt "
                     "<Format> converts it\n");
    EXPECT_EQ(filesIn(dir.path).size(), 3u);
}

// With -x a list may mix versions and formats: each file gets its own
// columns, and a Format one file cannot serve refuses the list, naming it.
TEST(Extended, AListMixesTypesAndEachFileKeepsItsColumns)
{
    TempDir dir;
    writeFile(dir / "a.las", extendedLasBytes(2, 0, 0, edgePoints(0)));
    writeFile(dir / "b.las", extendedLasBytes(4, 6, 3, edgePoints(6)));
    writeFile(dir / "c.las", extendedLasBytes(3, 5, 0, edgePoints(5)));
    writeFile(dir / "l.txt", "a.las b.las c.las");
    const RunResult refused = runTool(dir.path, {"-x", "l.txt", "13"});
    EXPECT_EQ(refused.status, 255);
    EXPECT_EQ(refused.out, "\na.las does not contain GPS Time data\n");
    EXPECT_EQ(filesIn(dir.path).size(), 4u);
    const RunResult r = runTool(dir.path, {"-x", "l.txt", "0"}, {{"TREVLIN_THREADS", "3"}});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progressLines("a.las", "a.asc") + "1 / 3\n\n" +
                                                    progressLines("b.las", "b.asc") + "2 / 3\n\n" +
                                                    progressLines("c.las", "c.asc") + "3 / 3\n\n"));
    for (const char *stem : {"a", "b", "c"}) {
        const std::string las = dir / (std::string(stem) + ".las");
        EXPECT_EQ(readFile(dir / (std::string(stem) + ".asc")), extendedReferencePoints(0, las));
        EXPECT_EQ(readFile(dir / (std::string(stem) + "_hdr.asc")), extendedReferenceHeader(las));
    }
    // Without -x the same list is refused at its first LAS 1.4 file.
    EXPECT_EQ(runTool(dir.path, {"l.txt", "0"}).status, 255);
}

// Windows software writes .LAS and .LAZ: with -x any case names a LAS or
// LAZ file, alone and in a list, and converts as the lower-case name does.
TEST(Extended, NamesInAnyCaseAreLasAndLazFiles)
{
    TempDir dir;
    const std::string data = TREVLIN_TEST_DATA;
    std::filesystem::copy_file(data + "/hobuinc__laz-perf__point-time.laz", dir / "ZURICH.LAZ");
    std::filesystem::copy_file(data + "/hobuinc__laz-perf__point-time.laz", dir / "zurich.laz");
    std::filesystem::copy_file(data + "/PDAL__PDAL__1.2_3.las", dir / "Bern.Las");
    std::filesystem::copy_file(data + "/PDAL__PDAL__1.2_3.las", dir / "bern.las");
    writeFile(dir / "l.txt", "ZURICH.LAZ Bern.Las");
    for (const char *input : {"ZURICH.LAZ", "zurich.laz", "bern.las"}) {
        const RunResult r = runTool(dir.path, {"-x", "-q", input, "0"});
        EXPECT_EQ(r.status, 0) << input << r.out << r.err;
    }
    const RunResult r = runTool(dir.path, {"-x", "-q", "l.txt", "0"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(readFile(dir / "ZURICH.asc"), readFile(dir / "zurich.asc"));
    EXPECT_EQ(readFile(dir / "Bern.asc"), readFile(dir / "bern.asc"));
    EXPECT_EQ(readFile(dir / "Bern_hdr.asc"), readFile(dir / "bern_hdr.asc"));
}

// The 64-bit count of LAS 1.4 is the one a short file is judged by, and
// the points end where the extended VLRs begin.
TEST(Extended, TheCountAndTheEndOfThePointsComeFromTheLas14Header)
{
    TempDir dir;
    std::string bytes = extendedLasBytes(4, 6, 0, edgePoints(6));
    const uint64_t declared = 4294967301ull; // more than 32 bits hold
    bytes.replace(247, 8, reinterpret_cast<const char *>(&declared), 8);
    writeFile(dir / "f.las", bytes);
    RunResult r = runTool(dir.path, {"-x", "-q", "f.las", "15"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "TREVLIN: warning: f.las holds 5 point records; its header declares "
                     "4294967301\n");

    // Three points, then an extended VLR of a 60-byte header and 30 bytes,
    // which would read as one more point.
    std::string evlr = extendedLasBytes(4, 6, 0, std::vector<ExtendedPoint>(3));
    const uint64_t evlrStart = evlr.size(), three = 3;
    const uint32_t oneEvlr = 1;
    evlr.replace(235, 8, reinterpret_cast<const char *>(&evlrStart), 8);
    evlr.replace(243, 4, reinterpret_cast<const char *>(&oneEvlr), 4);
    evlr.replace(247, 8, reinterpret_cast<const char *>(&three), 8);
    evlr += std::string(90, 'V');
    writeFile(dir / "f.las", evlr);
    r = runTool(dir.path, {"-x", "-q", "f.las", "4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir / "f.asc"), "\"Intensity\"\n0\n0\n0\n");
}

// One attribute of an Extra Bytes VLR: type, name, and scale and offset
// when given.
struct Attribute {
    uint8_t type;
    const char *name;
    uint8_t options = 0; // bit 3: scale, bit 4: offset; the byte count for type 0
    double scale = 0, offset = 0;
};

// The VLR (a 54-byte header, then 192 bytes per attribute), with
// `lengthSlack` bytes more declared than given.
std::string extraBytesVlr(const std::vector<Attribute> &attributes, int lengthSlack = 0)
{
    std::string data;
    for (const Attribute &a : attributes) {
        std::string d(192, '\0');
        d[2] = static_cast<char>(a.type), d[3] = static_cast<char>(a.options);
        d.replace(4, std::strlen(a.name), a.name);
        std::memcpy(&d[112], &a.scale, 8);
        std::memcpy(&d[136], &a.offset, 8);
        data += d;
    }
    std::string header(54, '\0');
    header.replace(2, 9, "LASF_Spec");
    const uint16_t id = 4, length = static_cast<uint16_t>(data.size() + lengthSlack);
    std::memcpy(&header[18], &id, 2);
    std::memcpy(&header[20], &length, 2);
    return header + data;
}

// A LAS 1.2 format-1 file of two points whose records carry `extra` bytes
// and whose VLR is `vlr`.
std::string fileWithExtraBytes(const std::string &vlr, const std::string &extra0,
                               const std::string &extra1, uint32_t vlrCount = 1)
{
    std::vector<ExtendedPoint> points(2);
    points[1].X = 100;
    std::string bytes = extendedLasBytes(2, 1, static_cast<unsigned>(extra0.size()), points,
                                         static_cast<uint32_t>(vlr.size()));
    bytes.replace(100, 4, reinterpret_cast<const char *>(&vlrCount), 4);
    bytes.replace(227, vlr.size(), vlr);
    const size_t first = 227 + vlr.size() + 28;
    bytes.replace(first, extra0.size(), extra0);
    bytes.replace(first + 28 + extra0.size(), extra1.size(), extra1);
    return bytes;
}

template <typename T> std::string bytesOf(T value)
{
    return std::string(reinterpret_cast<const char *>(&value), sizeof value);
}

// Described attributes become Format 0's last columns: integers as
// integers, reals as the shortest text that reads back, scaled values
// with their scale's decimals; undescribed bytes and arrays take none.
TEST(Extended, ExtraBytesAttributesBecomeColumns)
{
    const std::string vlr = extraBytesVlr({{6, "Height", 24, 0.01, 100.0},
                                           {0, "", 2},
                                           {1, "Echo"},
                                           {10, "Range"},
                                           {13, "Pair"},
                                           {9, "Gain"}});
    const std::string extra0 = bytesOf(int32_t{12345}) + "xx" + bytesOf(uint8_t{200}) +
                               bytesOf(0.1) + bytesOf(uint16_t{1}) + bytesOf(uint16_t{2}) +
                               bytesOf(0.1f);
    const std::string extra1 = bytesOf(int32_t{-1}) + "yy" + bytesOf(uint8_t{0}) + bytesOf(1e20) +
                               bytesOf(uint32_t{0}) + bytesOf(-2.5f);
    TempDir dir;
    writeFile(dir / "e.las", fileWithExtraBytes(vlr, extra0, extra1));
    const RunResult r = runTool(dir.path, {"-x", "-q", "e.las", "0"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.err, "");
    const std::string text = readFile(dir / "e.asc");
    EXPECT_EQ(text, extendedReferencePoints(0, dir / "e.las"));
    EXPECT_NE(text.find("\"Height\" \"Echo\" \"Range\" \"Gain\"\n"), std::string::npos);
    EXPECT_NE(text.find(" 223.45 200 0.1 0.1\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" 99.99 0 1e+20 -2.5\n"), std::string::npos) << text;
    // Other Formats print no extra column.
    ASSERT_EQ(runTool(dir.path, {"-x", "-q", "e.las", "4"}).status, 0);
    EXPECT_EQ(readFile(dir / "e.asc"), "\"Intensity\"\n0\n0\n");
}

// Several Extra Bytes records, among the VLRs or the extended VLRs after
// the points, are one description in file order, with a note saying so.
TEST(Extended, SeveralExtraBytesRecordsAreOneDescription)
{
    const std::vector<Attribute> first = {{6, "Height", 24, 0.01, 100.0}, {0, "", 2}, {1, "Echo"}};
    const std::vector<Attribute> second = {{10, "Range"}, {9, "Gain"}};
    const std::string extra =
        bytesOf(int32_t{12345}) + "xx" + bytesOf(uint8_t{200}) + bytesOf(0.1) + bytesOf(0.1f);
    std::vector<Attribute> all = first;
    all.insert(all.end(), second.begin(), second.end());
    const std::string wholeText = "\"Height\" \"Echo\" \"Range\" \"Gain\"\n";
    TempDir dir;
    writeFile(dir / "one.las", fileWithExtraBytes(extraBytesVlr(all), extra, extra));
    writeFile(dir / "two.las",
              fileWithExtraBytes(extraBytesVlr(first) + extraBytesVlr(second), extra, extra, 2));
    // LAS 1.4: the second record as an extended VLR after the points.
    std::vector<ExtendedPoint> points(2);
    std::string las14 = extendedLasBytes(4, 6, static_cast<unsigned>(extra.size()), points,
                                         static_cast<uint32_t>(extraBytesVlr(first).size()));
    const uint32_t one = 1;
    las14.replace(100, 4, reinterpret_cast<const char *>(&one), 4);
    las14.replace(375, extraBytesVlr(first).size(), extraBytesVlr(first));
    for (size_t k = 0; k < 2; ++k)
        las14.replace(375 + extraBytesVlr(first).size() + k * (30 + extra.size()) + 30,
                      extra.size(), extra);
    const uint64_t evlrAt = las14.size();
    las14.replace(235, 8, reinterpret_cast<const char *>(&evlrAt), 8);
    las14.replace(243, 4, reinterpret_cast<const char *>(&one), 4);
    std::string evlr = extraBytesVlr(second);
    const uint64_t evlrLength = evlr.size() - 54;
    evlr.insert(22, 6, '\0'); // a 64-bit length
    evlr.replace(20, 8, reinterpret_cast<const char *>(&evlrLength), 8);
    writeFile(dir / "ext.las", las14 + evlr);
    const struct {
        const char *name;
        std::string err;
    } table[] = {
        {"one.las", ""},
        {"two.las", "TREVLIN: two.las describes its extra bytes in 2 Extra Bytes records; their "
                    "attributes are read in file order\n"},
        {"ext.las", "TREVLIN: ext.las describes its extra bytes in 2 Extra Bytes records; their "
                    "attributes are read in file order\n"},
    };
    for (const auto &c : table) {
        const RunResult r = runTool(dir.path, {"-x", "-q", c.name, "0"});
        ASSERT_EQ(r.status, 0) << c.name << r.out;
        EXPECT_EQ(r.err, c.err);
        const std::string stem = std::string(c.name).substr(0, std::strlen(c.name) - 4);
        const std::string text = readFile(dir / (stem + ".asc"));
        EXPECT_EQ(text, extendedReferencePoints(0, dir / c.name)) << c.name;
        EXPECT_NE(text.find(wholeText), std::string::npos) << c.name << text;
        EXPECT_NE(text.find(" 223.45 200 0.1 0.1\n"), std::string::npos) << c.name << text;
    }
}

// A name stands between quotes on the header line: a quote, a backslash,
// a control character or a byte that is not UTF-8 gets a visible stand-in,
// so the line stays one line with its quotes balanced; -c finds a column
// by the name the header line shows.
TEST(Extended, ExtraBytesNamesStayInsideTheirQuotes)
{
    const std::string vlr = extraBytesVlr({{1, "Say \"hi\""},
                                           {1, "C:\\dir"},
                                           {1, "two\nlines\t"},
                                           {1, "bad\xff\xc3"},
                                           {1, "H\xc3\xb6he"}});
    const std::string extra = std::string(5, '\x07');
    TempDir dir;
    writeFile(dir / "e.las", fileWithExtraBytes(vlr, extra, extra));
    ASSERT_EQ(runTool(dir.path, {"-x", "-q", "e.las", "0"}).status, 0);
    const std::string text = readFile(dir / "e.asc");
    EXPECT_NE(text.find(" \"Say 'hi'\" \"C:/dir\" \"two?lines?\" \"bad??\" \"H\xc3\xb6he\"\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    ASSERT_EQ(runTool(dir.path, {"-x", "-q", "-c", "two?lines?,say 'HI'", "e.las"}).status, 0);
    EXPECT_EQ(readFile(dir / "e.asc"), "\"two?lines?\" \"Say 'hi'\"\n7 7\n7 7\n");
}

TEST(Extended, AnExtraBytesVlrThatCannotBeRightIsWarnedOfAndGivesNoColumn)
{
    const std::string extra = bytesOf(int32_t{7});
    const struct {
        std::string vlr, why;
    } table[] = {
        {extraBytesVlr({{6, "A"}}, 10),
         "its length, 202 bytes, is not a whole number of 192-byte descriptors within the "
         "header"},
        {extraBytesVlr({{10, "A"}}), "it describes more bytes than the 4 extra bytes of each "
                                     "record"},
        {extraBytesVlr({{31, "A"}}), "data type 31 is not defined"},
    };
    for (const auto &c : table) {
        TempDir dir;
        writeFile(dir / "e.las", fileWithExtraBytes(c.vlr, extra, extra));
        const RunResult r = runTool(dir.path, {"-x", "-q", "e.las", "0"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err,
                  "TREVLIN: warning: the Extra Bytes VLR of e.las is not used: " + c.why + "\n");
        EXPECT_EQ(readFile(dir / "e.asc"), extendedReferencePoints(0, dir / "e.las"));
        EXPECT_EQ(readFile(dir / "e.asc").find("\"A\""), std::string::npos);
    }
}

} // namespace
