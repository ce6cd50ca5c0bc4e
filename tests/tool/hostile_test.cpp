// Hostile inputs end to end: every one gets a correct conversion or a
// clear message with exit status 255 and no stray file.
#include "las_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

const std::string CONVERTING = progressLines("a.las", "a.asc");

std::string header(const LAS12Header &h)
{
    return headerBytes(h);
}

LAS12Header withOffset(uint32_t offset)
{
    LAS12Header h = headerForType(LASTYPE_12_FM1);
    h.OffsetToData = offset;
    return h;
}

struct ByteCase {
    const char *what;
    std::string bytes;
    std::string out; // empty: a complete run compared with the reference
    std::string err; // standard error of a complete run
};

std::string warning(int holds, int declares)
{
    return "TREVLIN: warning: a.las holds " + std::to_string(holds) +
           " point records; its header declares " + std::to_string(declares) + "\n";
}

TEST(Hostile, DamagedFilesAreConvertedOrRefused)
{
    const std::string valid =
        lasFileBytes(headerForType(LASTYPE_12_FM1), varietyOfPoints(4, 5), LASTYPE_12_FM1);
    const std::string notLas = "\na.las is not a valid .las file\n\n";
    const std::string cut =
        bannerText() + CONVERTING + "\nFile a.las ends within its 227-byte header\n";
    LAS12Header zeroLength = headerForType(LASTYPE_12_FM0), hugeLength = zeroLength;
    zeroLength.PointDataRecordLength = 0, hugeLength.PointDataRecordLength = 65535;
    const ByteCase table[] = {
        {"empty file", "", notLas, ""},
        {"1 byte", "L", notLas, ""},
        {"106 bytes", valid.substr(0, 106), notLas, ""},
        {"107 bytes", valid.substr(0, 107), cut, ""},
        {"226 bytes", valid.substr(0, 226), cut, ""},
        {"header only", valid.substr(0, 227), "", warning(0, 7)},
        {"cut short inside its fourth record", valid.substr(0, 227 + 3 * 28 + 10), "",
         warning(3, 7)},
        {"OffsetToData 0", header(withOffset(0)) + valid.substr(227),
         bannerText() + CONVERTING +
             "\nOffsetToData of a.las (0) lies within its 227-byte header\n",
         ""},
        {"OffsetToData 100", header(withOffset(100)) + valid.substr(227),
         bannerText() + CONVERTING +
             "\nOffsetToData of a.las (100) lies within its 227-byte header\n",
         ""},
        {"OffsetToData inside the variable-length records (more records than declared)",
         header(withOffset(240)) + std::string(40, '\x07') + valid.substr(227), "", warning(7, 0)},
        {"OffsetToData at the end of the file",
         header(withOffset(227 + 5 * 28)) + valid.substr(227), "", warning(2, 0)},
        {"OffsetToData 0xFFFFFFFF", header(withOffset(0xFFFFFFFFu)) + valid.substr(227), "", ""},
        {"record length 0", header(zeroLength),
         "\nData format of a.las (0) is incompatible with Length of Data Record (0)\n", ""},
        {"record length 65535", header(hugeLength),
         "\nData format of a.las (0) is incompatible with Length of Data Record (65535)\n", ""},
    };
    for (const ByteCase &c : table) {
        TempDir dir;
        writeFile(dir / "a.las", c.bytes);
        const RunResult r = runTool(dir.path, {"a.las", "0"});
        if (!c.out.empty()) {
            EXPECT_EQ(r.status, 255) << c.what;
            EXPECT_EQ(r.out, c.out) << c.what;
            EXPECT_EQ(filesIn(dir.path).size(), 1u) << c.what;
            continue;
        }
        const int16_t type =
            las_type_of_header(*reinterpret_cast<const LAS12Header *>(c.bytes.data()));
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(r.err, c.err) << c.what;
        EXPECT_EQ(maskElapsed(r.out), completeRunOutput(CONVERTING)) << c.what;
        EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(0, type, dir / "a.las")) << c.what;
        EXPECT_EQ(readFile(dir / "a_hdr.asc"), referenceHeaderText(dir / "a.las", type)) << c.what;
    }
}

TEST(Hostile, EveryVersionAndFormatByteGetsItsVerdict)
{
    TempDir dir;
    const std::string path = dir / "v.las";
    for (int field : {24, 25, 104}) {
        for (int value = 0; value < 256; ++value) {
            LAS12Header h = headerForType(LASTYPE_12_FM0);
            std::string bytes = headerBytes(h);
            bytes[static_cast<size_t>(field)] = static_cast<char>(value);
            writeFile(path, bytes);
            int16_t result = 99;
            const std::string out = captureStdout([&] { result = check_las(path.c_str()); });
            // A byte that would print as a control or non-ASCII character
            // prints as its number.
            const unsigned char c = static_cast<unsigned char>(value + 48);
            const std::string digit =
                c >= 32 && c < 127 ? std::string(1, static_cast<char>(c)) : std::to_string(value);
            std::string expected;
            if (field == 24 && value != 1)
                expected = "\nCannot handle las files of version " + digit + ".x\n";
            else if (field == 25 && value > 2)
                expected = "\nCannot handle las files of version 1." + digit + "\n";
            else if (field == 104 && value > 3)
                expected = "\nPointDataFormatID in " + path + " is " + digit +
                           ". Only 0, 1, 2, or 3 is accepted\n";
            else if (field == 104 && value != 0)
                expected = "\nData format of " + path + " (" + digit +
                           ") is incompatible with Length of Data Record (20)\n";
            else if (field == 25 && value != 2)
                expected = ""; // LAS 1.0 and 1.1 format 0: also 20 bytes
            EXPECT_EQ(out, expected) << field << " " << value;
            const int16_t expectedResult =
                expected.empty() ? (field == 25 ? static_cast<int16_t>(1 + 2 * value) : 5) : -1;
            EXPECT_EQ(result, expectedResult) << field << " " << value;
        }
    }
}

TEST(Hostile, OddScaleFactorsPrintAsPrintfWould)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double sub = std::numeric_limits<double>::denorm_min();
    const double scales[][3] = {{nan, -nan, 0.01},
                                {inf, -inf, 0.0},
                                {0.0, -0.0, 1.0},
                                {-0.01, -0.001, -1},
                                {sub, 1e-10, 0.0003}};
    for (const auto &scale : scales) {
        TempDir dir;
        double s[3] = {scale[0], scale[1], scale[2]}, offset[3] = {1.5, -2.25, nan};
        writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM3, s, offset),
                                              varietyOfPoints(8, 30), LASTYPE_12_FM3));
        const RunResult r = runTool(dir.path, {"a.las", "0"});
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(0, LASTYPE_12_FM3, dir / "a.las"));
        EXPECT_EQ(readFile(dir / "a_hdr.asc"), referenceHeaderText(dir / "a.las", LASTYPE_12_FM3));
    }
}

void writeOnePointLas(const TempDir &dir, const std::string &name)
{
    writeFile(dir / name,
              lasFileBytes(headerForType(LASTYPE_12_FM0), varietyOfPoints(1, 1), LASTYPE_12_FM0));
}

TEST(Hostile, ListsOfAnyContentAreReadSafely)
{
    struct ListCase {
        const char *what;
        std::string list;
        std::string out;
    };
    const std::string longWord(100000, 'w');
    const ListCase table[] = {
        {"binary bytes", "\x01\x7f\xfe\xff.las",
         "Unable to open file \x01\x7f\xfe\xff.las in file_access()\n\nFile \x01\x7f\xfe\xff.las "
         "does NOT exist\n\x01\x7f\xfe\xff.las (listed in l.txt) is not a valid LAS file\n"},
        {"NUL byte", std::string("a.las\0b.las", 11),
         "\nA name listed in l.txt contains a NUL byte\n"},
        {"100,000-character word", longWord,
         "Unable to open file " + longWord + " in file_access()\n\nFile " + longWord +
             " does NOT exist\n" + longWord + " (listed in l.txt) is not a valid LAS file\n"},
        {"directory", "d.las",
         "\nd.las is not a valid .las file\n\nd.las (listed in l.txt) is not a valid LAS file\n"},
    };
    for (const ListCase &c : table) {
        TempDir dir;
        fs::create_directory(dir / "d.las");
        writeFile(dir / "l.txt", c.list);
        const auto before = filesIn(dir.path);
        const RunResult r = runTool(dir.path, {"l.txt", "0"});
        EXPECT_EQ(r.status, 255) << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(filesIn(dir.path), before) << c.what;
    }
}

TEST(Hostile, TenThousandListedNamesAreAllConverted)
{
    TempDir dir;
    writeOnePointLas(dir, "a.las");
    std::string list;
    for (int k = 0; k < 10000; ++k)
        list += "a.las\n";
    writeFile(dir / "l.txt", list);
    const RunResult r = runTool(dir.path, {"l.txt", "15"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(CONVERTING + "10000 / 10000\n\n\nElapsed time: "), std::string::npos);
    EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(15, LASTYPE_12_FM0, dir / "a.las"));
}

TEST(Hostile, AThreeHundredCharacterNameIsConverted)
{
    TempDir dir;
    const std::string folder(150, 'd'), file = std::string(145, 'f') + ".las";
    fs::create_directory(dir / folder);
    const std::string name = folder + "/" + file;
    ASSERT_EQ(name.size(), 300u);
    writeOnePointLas(dir, name);
    const std::string stem = name.substr(0, 296);
    const RunResult r = runTool(dir.path, {name, "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progressLines(name, stem + ".asc")));
    EXPECT_EQ(readFile(dir / (stem + ".asc")), referencePointText(0, LASTYPE_12_FM0, dir / name));
}

// `a.las 0` in `dir` as user nobody, where the tests run as root.
RunResult convertAsNobody(const TempDir &dir)
{
    Launch asNobody;
    asNobody.unprivileged = true;
    return finishTool(startTool(dir.path, {"a.las", "0"}, asNobody));
}

// Temporaries left in a directory: names ending in ".incomplete".
size_t temporariesIn(const std::string &dir)
{
    size_t n = 0;
    for (const auto &entry : fs::directory_iterator(dir))
        n += entry.path().extension() == ".incomplete" ? 1 : 0;
    return n;
}

// Takes the temporaries out of a listing of files; how many there were.
size_t withoutTemporaries(std::map<std::string, std::string> *files)
{
    size_t n = 0;
    for (auto f = files->begin(); f != files->end();) {
        const bool temporary = fs::path(f->first).extension() == ".incomplete";
        n += temporary ? 1 : 0;
        f = temporary ? files->erase(f) : std::next(f);
    }
    return n;
}

TEST(Hostile, OutputsThatCannotBeCreatedAreReported)
{
    const std::string failedHeader =
        bannerText() + CONVERTING + "\nFailed to open file a_hdr.asc for writing\n";
    {
        TempDir dir;
        writeOnePointLas(dir, "a.las");
        fs::create_directory(dir / "a_hdr.asc");
        const RunResult r = runTool(dir.path, {"a.las", "0"});
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, failedHeader);
    }
    {
        TempDir dir;
        writeOnePointLas(dir, "a.las");
        fs::create_directory(dir / "a.asc");
        const RunResult r = runTool(dir.path, {"a.las", "0"});
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, bannerText() + CONVERTING + "\nFailed to open file a.asc for writing\n");
        // The report waited for the points, and went with them.
        EXPECT_FALSE(fs::exists(dir / "a_hdr.asc"));
        EXPECT_EQ(temporariesIn(dir.path), 0u);
    }
    {
        TempDir dir;
        writeOnePointLas(dir, "a.las");
        fs::permissions(dir.path, fs::perms::owner_read | fs::perms::owner_exec |
                                      fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
        fs::permissions(dir / "a.las", fs::perms::others_read, fs::perm_options::add);
        const std::string problem = whyNobodyCannotRunIn(dir.path);
        if (!problem.empty())
            GTEST_SKIP() << problem;
        const RunResult r = convertAsNobody(dir);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, failedHeader);
        EXPECT_EQ(filesIn(dir.path).size(), 1u);
    }
    {
        // A sticky directory lets user nobody create files but not replace
        // root's a.asc: the rename is refused, a.asc keeps what it held,
        // and the temporary is gone.
        TempDir dir;
        writeOnePointLas(dir, "a.las");
        writeFile(dir / "a.asc", "an earlier a.asc\n");
        fs::permissions(dir.path, fs::perms::all | fs::perms::sticky_bit);
        fs::permissions(dir / "a.las", fs::perms::others_read, fs::perm_options::add);
        const std::string problem =
            geteuid() != 0 ? "needs root to own a.asc" : whyNobodyCannotRunIn(dir.path);
        if (!problem.empty())
            GTEST_SKIP() << problem;
        const RunResult r = convertAsNobody(dir);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, bannerText() + CONVERTING +
                             "\nFailed to rename the complete text of a.asc into place\n");
        EXPECT_EQ(readFile(dir / "a.asc"), "an earlier a.asc\n");
        EXPECT_FALSE(fs::exists(dir / "a_hdr.asc"));
        EXPECT_EQ(filesIn(dir.path).size(), 2u);
    }
}

// A point file that cannot be written whole (a file-size limit makes the
// writes fail part-way, as a full disk does) leaves its final name, and
// the report's, as they were: absent, or the complete files of an earlier
// run, byte for byte; and no temporary.
TEST(Hostile, FailedWritesLeaveTheFinalNamesAsTheyWere)
{
    struct WriteFailureCase {
        const char *threads;
        bool convertedBefore;
        bool gzip;
    };
    const WriteFailureCase table[] = {{"1", false, false}, {"4", false, false}, {"1", true, false},
                                      {"4", true, false},  {"1", false, true},  {"4", true, true}};
    for (const WriteFailureCase &c : table) {
        const std::string what = std::string(c.threads) + " threads" +
                                 (c.convertedBefore ? ", converted before" : "") +
                                 (c.gzip ? ", gzip" : "");
        const std::vector<std::string> args =
            c.gzip ? std::vector<std::string>{"--gzip=9", "--", "a.las", "0"}
                   : std::vector<std::string>{"a.las", "0"};
        const std::string pointFile = c.gzip ? "a.asc.gz" : "a.asc";
        TempDir dir;
        writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM3),
                                              varietyOfPoints(5, 20000), LASTYPE_12_FM3));
        std::map<std::string, std::string> before = {{"a.las", readFile(dir / "a.las")}};
        if (c.convertedBefore) {
            ASSERT_EQ(runTool(dir.path, args).status, 0);
            before = filesIn(dir.path);
        }
        Launch limited;
        limited.env = {{"TREVLIN_THREADS", c.threads}};
        limited.fileSizeLimit = c.gzip ? 16 * 1024 : 64 * 1024;
        const RunResult r = finishTool(startTool(dir.path, args, limited));
        EXPECT_EQ(r.status, 255) << what;
        EXPECT_EQ(r.out, bannerText() + progressLines("a.las", pointFile) +
                             "\nFailed to write file " + pointFile + "\n")
            << what;
        EXPECT_EQ(r.err, "") << what;
        // The report too: absent, or the earlier run's.
        EXPECT_EQ(filesIn(dir.path), before) << what;
        EXPECT_EQ(temporariesIn(dir.path), 0u) << what;
    }
}

// A buffer that cannot grow, on a worker or on the writer: the run ends in
// order with one line on standard error, and no point file is left,
// whole or partial.
TEST(Hostile, RunningOutOfMemoryEndsTheRunInOrder)
{
    const struct {
        const char *threads, *failingJob;
        bool gzip;
    } table[] = {{"1", "0", false}, {"1", "5", false}, {"4", "0", false},
                 {"4", "9", false}, {"4", "3", true},  {"8", "30", true}};
    for (const auto &c : table) {
        const std::string what = std::string(c.threads) + " threads, job " + c.failingJob;
        TempDir dir;
        writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM3),
                                              varietyOfPoints(5, 3000), LASTYPE_12_FM3));
        const std::vector<std::string> args = c.gzip ? std::vector<std::string>{"-z", "a.las", "0"}
                                                     : std::vector<std::string>{"a.las", "0"};
        const std::string pointFile = c.gzip ? "a.asc.gz" : "a.asc";
        const RunResult r = runTool(dir.path, args,
                                    {{"TREVLIN_THREADS", c.threads},
                                     {"TREVLIN_TEST_JOB_RECORDS", "50"},
                                     {"TREVLIN_TEST_OUT_OF_MEMORY_AT_JOB", c.failingJob}});
        EXPECT_EQ(r.status, 255) << what;
        EXPECT_EQ(r.out, bannerText() + progressLines("a.las", pointFile)) << what;
        EXPECT_EQ(r.err, "TREVLIN: out of memory\n") << what;
        EXPECT_EQ(filesIn(dir.path).count(pointFile), 0u) << what;
        EXPECT_EQ(temporariesIn(dir.path), 0u) << what;
    }
}

// A batch keeps standard output as its record: one that cannot be written
// fails the run, and the outputs, written whole, stay.
TEST(Hostile, StandardOutputThatCannotBeWrittenFailsTheRun)
{
    for (const char *threads : {"1", "4"}) {
        TempDir dir;
        writeOnePointLas(dir, "a.las");
        Launch how;
        how.env = {{"TREVLIN_THREADS", threads}};
        how.standardOutput = "/dev/full";
        const RunResult r = finishTool(startTool(dir.path, {"a.las", "0"}, how));
        EXPECT_EQ(r.status, 255) << threads;
        EXPECT_EQ(r.err, "TREVLIN: standard output could not be written: No space left on device\n")
            << threads;
        EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(0, LASTYPE_12_FM0, dir / "a.las"));
        EXPECT_EQ(filesIn(dir.path).size(), 3u);
    }
}

// Tiles on a read-only share, DVD or bind mount convert into an output
// folder, and nothing is written beside them; without -o, the run is
// refused at its first output, as before.
TEST(Hostile, AReadOnlyInputFolderConvertsIntoAnOutputFolder)
{
    TempDir dir;
    for (const char *folder : {"source", "tiles", "out"})
        fs::create_directory(dir / folder);
    writeOnePointLas(dir, "source/a.las");
    // As root, permissions do not stop a write: a read-only bind mount does.
    const bool mounted =
        geteuid() == 0 &&
        std::system(("mount --bind '" + dir / "source" + "' '" + dir / "tiles" + "' && " +
                     "mount -o remount,ro,bind '" + dir / "tiles" + "' 2>/dev/null")
                        .c_str()) == 0;
    if (geteuid() == 0 && !mounted)
        GTEST_SKIP() << "no read-only bind mount here";
    const std::string tiles = mounted ? "tiles" : "source";
    if (!mounted)
        fs::permissions(dir / "source", fs::perms::owner_read | fs::perms::owner_exec);
    const RunResult refused = runTool(dir.path, {tiles + "/a.las", "0"});
    const RunResult r = runTool(dir.path, {"-o", "out", tiles + "/a.las", "0"});
    if (mounted)
        std::system(("umount '" + dir / "tiles" + "'").c_str());
    else
        fs::permissions(dir / "source", fs::perms::owner_all);
    EXPECT_EQ(refused.status, 255);
    EXPECT_EQ(refused.out, bannerText() + progressLines(tiles + "/a.las", tiles + "/a.asc") +
                               "\nFailed to open file " + tiles + "/a_hdr.asc for writing\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progressLines(tiles + "/a.las", "out/a.asc")));
    const std::string las = dir / "source/a.las";
    EXPECT_EQ(filesIn(dir.path), (std::map<std::string, std::string>{
                                     {"source", "<dir>"},
                                     {"tiles", "<dir>"},
                                     {"out", "<dir>"},
                                     {"source/a.las", readFile(las)},
                                     {"out/a.asc", referencePointText(0, LASTYPE_12_FM0, las)},
                                     {"out/a_hdr.asc", referenceHeaderText(las, LASTYPE_12_FM0)}}));
}

// A re-run replaces an output with a new file, which takes the old one's
// permission bits: a tile kept private stays private.
TEST(Hostile, ARerunKeepsTheOutputsPermissions)
{
    TempDir dir;
    writeOnePointLas(dir, "a.las");
    writeFile(dir / "a.asc", "earlier\n");
    writeFile(dir / "a_hdr.asc", "earlier\n");
    fs::permissions(dir / "a.asc", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(dir / "a_hdr.asc", fs::perms::owner_read | fs::perms::group_read);
    ASSERT_EQ(runTool(dir.path, {"a.las", "0"}).status, 0);
    EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(0, LASTYPE_12_FM0, dir / "a.las"));
    EXPECT_EQ(fs::status(dir / "a.asc").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(dir / "a_hdr.asc").permissions(),
              fs::perms::owner_read | fs::perms::group_read);
}

// Two runs converting the same tile at the same moment write temporaries
// of their own: both succeed, and the final files are whole.
TEST(Hostile, TwoRunsOfOneTileAtOnceBothSucceed)
{
    for (const char *threads : {"1", "4"}) {
        TempDir dir;
        writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM3),
                                              varietyOfPoints(9, 100000), LASTYPE_12_FM3));
        Launch how;
        how.env = {{"TREVLIN_THREADS", threads}};
        const StartedTool first = startTool(dir.path, {"a.las", "0"}, how);
        const StartedTool second = startTool(dir.path, {"a.las", "0"}, how);
        EXPECT_EQ(finishTool(first).status, 0) << threads;
        EXPECT_EQ(finishTool(second).status, 0) << threads;
        EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(0, LASTYPE_12_FM3, dir / "a.las"))
            << threads;
        EXPECT_EQ(readFile(dir / "a_hdr.asc"), referenceHeaderText(dir / "a.las", LASTYPE_12_FM3))
            << threads;
        EXPECT_EQ(temporariesIn(dir.path), 0u) << threads;
    }
}

// Whether a file that the tool makes appears within a minute; a tool that
// ended early must not leave the test waiting for ever.
// The temporary that the tool writes `finalName` under, once it exists;
// "" when none appears within a minute.
std::string temporaryOf(const std::string &dir, const std::string &finalName)
{
    for (int waited = 0; waited < 60000; ++waited) {
        for (const auto &entry : fs::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(finalName + ".", 0) == 0 && name.size() > finalName.size() + 11 &&
                name.compare(name.size() - 11, 11, ".incomplete") == 0)
                return name;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return "";
}

TEST(Hostile, InputRemovedAfterValidationStopsTheRun)
{
    // a.asc is a FIFO: the tool waits in its creation, after validating all
    // inputs, until this test has removed b.las and starts reading.
    TempDir dir;
    writeOnePointLas(dir, "a.las"), writeOnePointLas(dir, "b.las"), writeOnePointLas(dir, "c.las");
    writeFile(dir / "l.txt", "a.las b.las c.las");
    ASSERT_EQ(mkfifo((dir / "a.asc").c_str(), 0600), 0);
    const StartedTool tool = startTool(dir.path, {"l.txt", "0"});
    ASSERT_NE(temporaryOf(dir.path, "a_hdr.asc"), "");
    fs::remove(dir / "b.las");
    const std::string pointText = readFile(dir / "a.asc"); // until the tool closes it
    const RunResult r = finishTool(tool);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, bannerText() + CONVERTING + "1 / 3\n\n" +
                         "\nCannot open binary file b.las for reading\n\n");
    EXPECT_EQ(pointText, referencePointText(0, LASTYPE_12_FM0, dir / "a.las"));
    EXPECT_EQ(readFile(dir / "a_hdr.asc"), referenceHeaderText(dir / "a.las", LASTYPE_12_FM0));
    EXPECT_FALSE(fs::exists(dir / "c.asc"));
    EXPECT_FALSE(fs::exists(dir / "c_hdr.asc"));
}

// b.las loses its last records and half a record after validation, before
// its conversion (a.asc is a FIFO that holds the tool back): its text ends
// at the last whole record left, with one thread as with several.
TEST(Hostile, InputTruncatedAfterValidationEndsAtItsLastWholeRecord)
{
    for (const char *threads : {"1", "4"}) {
        TempDir dir;
        writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM3), varietyOfPoints(5, 1),
                                              LASTYPE_12_FM3));
        writeFile(dir / "b.las", lasFileBytes(headerForType(LASTYPE_12_FM3),
                                              varietyOfPoints(5, 120000), LASTYPE_12_FM3));
        writeFile(dir / "l.txt", "a.las b.las");
        ASSERT_EQ(mkfifo((dir / "a.asc").c_str(), 0600), 0);
        Launch how;
        how.env = {{"TREVLIN_THREADS", threads}};
        const StartedTool tool = startTool(dir.path, {"l.txt", "0"}, how);
        ASSERT_NE(temporaryOf(dir.path, "a_hdr.asc"), "");
        fs::resize_file(dir / "b.las", 227 + 70000 * 34 + 17);
        readFile(dir / "a.asc"); // until the tool closes it
        const RunResult r = finishTool(tool);
        EXPECT_EQ(r.status, 0) << threads;
        const std::string text = readFile(dir / "b.asc");
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 70001) << threads;
        EXPECT_EQ(text, referencePointText(0, LASTYPE_12_FM3, dir / "b.las")) << threads;
    }
}

// The test's end of a FIFO, opened without waiting for the tool's end.
struct FifoEnd {
    int fd;
    explicit FifoEnd(const std::string &path, int flags)
        : fd(open(path.c_str(), flags | O_NONBLOCK))
    {
    }
    ~FifoEnd()
    {
        if (fd >= 0)
            close(fd);
    }
};

// Waits until the tool has written some of the point file that `reader`
// reads, and takes a little of it, so that the tool is in mid-file.
bool toolIsWriting(const FifoEnd &reader)
{
    pollfd ready{reader.fd, POLLIN, 0};
    char some[4096];
    return poll(&ready, 1, 60000) == 1 && read(reader.fd, some, sizeof some) > 0;
}

// Reads what the tool still writes until it has closed its end. A tool
// built with ThreadSanitizer takes a signal only once its write returns.
void drainUntilClosed(const FifoEnd &reader)
{
    char chunk[65536];
    for (int idle = 0; idle < 600;) {
        const ssize_t n = read(reader.fd, chunk, sizeof chunk);
        if (n == 0)
            return;
        if (n < 0) {
            pollfd ready{reader.fd, POLLIN, 0};
            poll(&ready, 1, 100);
            ++idle;
        }
    }
}

// A signal while a point file is being written removes its temporary and
// nothing else, says so on standard error and ends the tool by that signal;
// standard output is what it was, and no final name holds a part. The tool
// is held in mid-file by its terminal (its output suspended, as by Ctrl+S,
// before it starts), or, where the point file is
// a FIFO that the test reads slowly, by the FIFO, which it writes directly
// and so leaves alone. SIGKILL leaves the temporary, under a name that
// says what it is; the next run converts and leaves none of its own.
TEST(Hostile, InterruptedRunsLeaveNoHalfWrittenPointFile)
{
    struct InterruptCase {
        const char *what;
        int signal;
        const char *threads;
        std::string input;
        std::string pointFile; // being written when the signal comes
        bool fifo;             // the point file is a FIFO
        bool gzip = false;     // -z
    };
    const InterruptCase table[] = {
        {"SIGINT, one thread", SIGINT, "1", "a.las", "a.asc", false},
        {"SIGTERM, four threads", SIGTERM, "4", "a.las", "a.asc", false},
        {"SIGHUP, two threads", SIGHUP, "2", "a.las", "a.asc", false},
        {"SIGKILL, one thread", SIGKILL, "1", "a.las", "a.asc", false},
        {"SIGKILL, four threads", SIGKILL, "4", "a.las", "a.asc", false},
        {"SIGINT in the second file of a list, a FIFO", SIGINT, "4", "l.txt", "b.asc", true},
        {"SIGTERM in the second file of a list, a FIFO", SIGTERM, "1", "l.txt", "b.asc", true},
        {"SIGTERM, gzip, four threads", SIGTERM, "4", "a.las", "a.asc.gz", false, true},
    };
    for (const InterruptCase &c : table) {
        TempDir dir;
        for (const char *name : {"a.las", "b.las"})
            writeFile(dir / name, lasFileBytes(headerForType(LASTYPE_12_FM3),
                                               varietyOfPoints(7, 30000), LASTYPE_12_FM3));
        writeFile(dir / "l.txt", "a.las b.las");
        if (c.fifo) {
            ASSERT_EQ(mkfifo((dir / c.pointFile).c_str(), 0600), 0);
        }
        const FifoEnd reader(c.fifo ? dir / c.pointFile : "", O_RDONLY);
        Launch how;
        how.env = {{"TREVLIN_THREADS", c.threads}, {"TREVLIN_TEST_PROGRESS_DELAY_MS", "0"}};
        how.terminal = how.outputHeld = !c.fifo;
        const std::vector<std::string> args =
            c.gzip ? std::vector<std::string>{"-z", "--", c.input, "0"}
                   : std::vector<std::string>{c.input, "0"};
        const StartedTool tool = startTool(dir.path, args, how);
        std::string temporary;
        if (c.fifo) {
            ASSERT_TRUE(toolIsWriting(reader)) << c.what;
        } else {
            temporary = temporaryOf(dir.path, c.pointFile);
            ASSERT_NE(temporary, "") << c.what;
        }
        kill(tool.pid, c.signal);
        if (c.fifo) {
            drainUntilClosed(reader);
        } else {
            holdTerminalOutput(tool.errPath, false);
        }
        const RunResult r = finishTool(tool);
        EXPECT_EQ(r.signal, c.signal) << c.what;
        const std::string said =
            c.fifo ? "TREVLIN: interrupted\n"
                   : "TREVLIN: interrupted; removed incomplete " + c.pointFile + "\r\n";
        if (c.signal != SIGKILL) {
            EXPECT_TRUE(r.err.size() >= said.size() &&
                        r.err.compare(r.err.size() - said.size(), said.size(), said) == 0)
                << c.what << ": " << r.err;
        }
        std::map<std::string, std::string> left = {{"a.las", readFile(dir / "a.las")},
                                                   {"b.las", readFile(dir / "b.las")},
                                                   {"l.txt", "a.las b.las"}};
        std::string out = bannerText() + (c.gzip ? progressLines("a.las", "a.asc.gz") : CONVERTING);
        if (c.input == "l.txt") {
            out += "1 / 2\n\n" + progressLines("b.las", "b.asc") + "2 / 2\n\n";
            left["a.asc"] = referencePointText(0, LASTYPE_12_FM3, dir / "a.las");
            left["a_hdr.asc"] = referenceHeaderText(dir / "a.las", LASTYPE_12_FM3);
        }
        // The report of the file interrupted waited for its points, and
        // went with them.
        if (c.fifo)
            left[c.pointFile] = "<special>"; // written directly, and left alone
        EXPECT_EQ(r.out, out) << c.what;
        if (c.signal != SIGKILL) {
            EXPECT_EQ(filesIn(dir.path), left) << c.what;
            continue;
        }
        // A kill no handler sees leaves both temporaries, the points' and
        // the waiting report's, under names that say so.
        std::map<std::string, std::string> found = filesIn(dir.path);
        EXPECT_EQ(found.count(temporary), 1u) << c.what;
        EXPECT_EQ(withoutTemporaries(&found), 2u) << c.what;
        EXPECT_EQ(found, left) << c.what;
        const RunResult again = runTool(dir.path, {"a.las", "0"}, {{"TREVLIN_THREADS", c.threads}});
        EXPECT_EQ(again.status, 0) << c.what;
        left["a.asc"] = referencePointText(0, LASTYPE_12_FM3, dir / "a.las");
        left["a_hdr.asc"] = referenceHeaderText(dir / "a.las", LASTYPE_12_FM3);
        found = filesIn(dir.path);
        withoutTemporaries(&found);
        EXPECT_EQ(found, left) << c.what;
    }
}

// A final name whose last component is 250 bytes, near the 255 that Linux
// takes: the temporary, 17 or more bytes longer, would not fit, so its stem
// is shortened, keeping the process number and the ending; the outputs
// come out under their full names.
TEST(Hostile, ANameNearTheComponentLimitIsConverted)
{
    TempDir dir;
    const std::string stem(246, 'n'), name = stem + ".las";
    writeFile(dir / name, lasFileBytes(headerForType(LASTYPE_12_FM3), varietyOfPoints(7, 30000),
                                       LASTYPE_12_FM3));
    Launch how;
    how.env = {{"TREVLIN_THREADS", "2"}, {"TREVLIN_TEST_PROGRESS_DELAY_MS", "0"}};
    how.terminal = how.outputHeld = true;
    const StartedTool tool = startTool(dir.path, {name, "0"}, how);
    std::string temporary;
    for (int waited = 0; waited < 60000 && temporary.empty(); ++waited) {
        for (const auto &entry : fs::directory_iterator(dir.path))
            if (entry.path().extension() == ".incomplete")
                temporary = entry.path().filename().string();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    holdTerminalOutput(tool.errPath, false);
    const RunResult r = finishTool(tool);
    // The report's temporary and the points', shortened alike, are told
    // apart by the attempt number the second one takes ("-2").
    const std::string pid = "." + std::to_string(tool.pid);
    const size_t kept = temporary.find(pid);
    EXPECT_EQ(temporary.size(), 255u) << temporary;
    EXPECT_TRUE(kept != std::string::npos && stem.compare(0, kept, temporary, 0, kept) == 0 &&
                (temporary.compare(kept, std::string::npos, pid + ".incomplete") == 0 ||
                 temporary.compare(kept, std::string::npos, pid + "-2.incomplete") == 0))
        << temporary;
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir / (stem + ".asc")), referencePointText(0, LASTYPE_12_FM3, dir / name));
    EXPECT_EQ(readFile(dir / (stem + "_hdr.asc")), referenceHeaderText(dir / name, LASTYPE_12_FM3));
    EXPECT_EQ(filesIn(dir.path).size(), 3u);
}

// Before any output exists (the list is a FIFO that never ends), a signal
// ends the run with nothing to remove.
TEST(Hostile, InterruptedBeforeAnyOutputRemovesNothing)
{
    TempDir dir;
    writeOnePointLas(dir, "a.las");
    ASSERT_EQ(mkfifo((dir / "l.txt").c_str(), 0600), 0);
    const StartedTool tool = startTool(dir.path, {"l.txt", "0"});
    // The FIFO takes a writer only once the tool has opened it to read;
    // the writer then stays, so that the tool waits for names.
    int writer = -1;
    for (int waited = 0; writer < 0 && waited < 60000; ++waited) {
        writer = open((dir / "l.txt").c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(writer, 0);
    kill(tool.pid, SIGTERM);
    const RunResult r = finishTool(tool);
    close(writer);
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_EQ(r.err, "TREVLIN: interrupted\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(filesIn(dir.path).size(), 2u);
}

// Point data that starts beyond 3 GB, with the last record crossing 4 GiB:
// positions must be 64-bit all the way. The file is sparse.
TEST(Hostile, PointDataBeyondFourGigabytesIsReached)
{
    TempDir dir;
    double scale[3] = {1, 1, 1}, offset[3] = {0, 0, 0};
    LAS12Header h = headerForType(LASTYPE_12_FM0, scale, offset);
    h.OffsetToData = 0xFFFFFFF0u;
    TestPoint p;
    p.X = -1294967295, p.Y = 7;
    const std::string path = dir / "a.las";
    writeFile(path, headerBytes(h));
    fs::resize_file(path, h.OffsetToData);
    {
        std::ofstream f(path, std::ios::binary | std::ios::app);
        f << pointBytes(p, LASTYPE_12_FM0) << pointBytes(p, LASTYPE_12_FM0);
    }
    const RunResult r = runTool(dir.path, {"a.las", "15"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir / "a.asc"), "\"X\" \"Y\" \"Z\"\n-1294967295 7 0\n-1294967295 7 0\n");
    const RunResult update = runCaptured([&] { update_header(path.c_str()); });
    EXPECT_EQ(update.status, 0);
    LAS12Header after;
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char *>(&after), sizeof after);
    EXPECT_EQ(uint32_t{after.NumberOfPointReturns}, 2u);
}

// A LAZ sample of the tests' data, and its uncompressed twin's text.
std::string lazSample(const std::string &stem)
{
    return readFile(std::string(TREVLIN_TEST_DATA) + "/" + stem + ".laz");
}

template <typename T> T fieldAt(const std::string &bytes, size_t at)
{
    T value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

template <typename T> std::string withField(std::string bytes, size_t at, T value)
{
    bytes.replace(at, sizeof value, reinterpret_cast<const char *>(&value), sizeof value);
    return bytes;
}

// Where the chunk table of a LAZ sample begins.
size_t tableOf(const std::string &laz)
{
    return static_cast<size_t>(fieldAt<int64_t>(laz, fieldAt<uint32_t>(laz, 96)));
}

// The LASzip VLR's payload of a LAZ sample, and where it is.
size_t laszipPayloadAt(const std::string &laz)
{
    return laz.find("laszip encoded") - 2 + 54;
}

// A pointwise sample whose extra-bytes item claims 1000 bytes and whose
// chunks and count claim 4,194,304 points: refused by its first piece, in
// a job's memory (the benchmark measures it), not after setting aside
// the points a count claims.
std::string hugeChunkOfLongRecords()
{
    std::string laz = lazSample("laz-rs__laz-rs__extra-bytes");
    const size_t payload = laszipPayloadAt(laz);
    const uint16_t items = fieldAt<uint16_t>(laz, payload + 32);
    uint16_t length = 0;
    for (uint16_t k = 0; k < items; ++k) {
        const size_t item = payload + 34 + 6 * k;
        if (fieldAt<uint16_t>(laz, item) == 0)
            laz = withField<uint16_t>(laz, item + 2, 1000);
        length = static_cast<uint16_t>(length + fieldAt<uint16_t>(laz, item + 2));
    }
    laz = withField<uint32_t>(laz, payload + 12, 4194304);
    laz = withField<uint16_t>(laz, 105, length);
    return withField<uint32_t>(laz, 107, 4194304);
}

// Crafted LAZ files: each converts as far as it goes, with a warning saying
// how far and why, or is refused with a message and nothing left; the text
// converted is always the first lines of the uncompressed twin's.
TEST(Hostile, CraftedLazFilesConvertAsFarAsTheyGoOrAreRefused)
{
    const std::string pointwise = lazSample("hobuinc__laz-perf__point-color-time");
    const std::string layered = lazSample("visgl__loaders.gl__pdrf7-v4-1.4");
    const size_t table = tableOf(pointwise), layeredTable = tableOf(layered);
    const std::string layeredData = layered.substr(0, fieldAt<uint32_t>(layered, 96));
    const struct {
        const char *what;
        std::string bytes;
        const char *twin; // the sample whose text the conversion begins with; null: refused
        std::string out, err;
        size_t lines; // points converted
    } table_[] = {
        {"an extra-bytes item of 1000 bytes in chunks of 4,194,304 points",
         hugeChunkOfLongRecords(), nullptr, "\nLAZ file a.laz is damaged: chunk 0: ", "", 0},
        {"a table claiming 0xFFFFFFFF chunks",
         withField<uint32_t>(pointwise, table + 4, 0xFFFFFFFFu), nullptr,
         "\nLAZ file a.laz is damaged: its chunk table lists 4294967295 chunks for 1065 points\n",
         "", 0},
        {"a header count of 0 over 1,065 points", withField<uint32_t>(pointwise, 107, 0),
         "hobuinc__laz-perf__point-color-time", "",
         "TREVLIN: warning: a.laz holds 0 point records; its header declares 0: its chunk table "
         "lists 1 chunk past the 0 points its header declares, which are not converted\n",
         0},
        {"a header count of 10 over 1,065 points", withField<uint32_t>(pointwise, 107, 10),
         "hobuinc__laz-perf__point-color-time", "",
         "TREVLIN: warning: a.laz holds 10 point records; its header declares 10: chunk 0 has ",
         10},
        {"a 64-bit count of 0 with a legacy count, layered", withField<uint64_t>(layered, 247, 0),
         "visgl__loaders.gl__pdrf7-v4-1.4", "",
         "TREVLIN: warning: a.laz holds 1024 point records; its header declares 0\n", 1024},
        {"cut at the table's start", pointwise.substr(0, table),
         "hobuinc__laz-perf__point-color-time", "",
         "TREVLIN: warning: a.laz holds 1065 point records; its header declares 1065: its chunk "
         "table is cut short: the file is cut short\n",
         1065},
        {"cut inside the table", layered.substr(0, layeredTable + 9),
         "visgl__loaders.gl__pdrf7-v4-1.4", "",
         "TREVLIN: warning: a.laz holds 1024 point records; its header declares 1024: its chunk "
         "table is cut short: the file is cut short\n",
         1024},
        {"cut inside the last chunk", layered.substr(0, layeredTable - 40),
         "visgl__loaders.gl__pdrf7-v4-1.4", "",
         "TREVLIN: warning: a.laz holds 768 point records; its header declares 1024: chunk 3's "
         "layers run past the end of its data: the file is cut short\n",
         768},
        {"cut halfway through the point data, pointwise", pointwise.substr(0, table / 2),
         "hobuinc__laz-perf__point-color-time", "", "TREVLIN: warning: a.laz holds ", 0},
        {"cut halfway through the point data, layered",
         layered.substr(0, (layeredData.size() + layeredTable) / 2),
         "visgl__loaders.gl__pdrf7-v4-1.4", "", "TREVLIN: warning: a.laz holds ", 0},
        {"a flipped byte inside a chunk", withField<uint8_t>(pointwise, table - 300, 0x5A), nullptr,
         "\nLAZ file a.laz is damaged: chunk 0: ", "", 0},
    };
    for (const auto &c : table_) {
        TempDir dir;
        writeFile(dir / "a.laz", c.bytes);
        // A report of an earlier run stays when the file is refused.
        writeFile(dir / "a_hdr.asc", "earlier\n");
        const RunResult r = runTool(dir.path, {"-x", "-q", "-j", "2", "a.laz", "0"},
                                    {{"TREVLIN_TEST_JOB_RECORDS", "100"}});
        EXPECT_EQ(r.signal, 0) << c.what;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << c.what << ": " << r.out;
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << c.what << ": " << r.err;
        if (!c.twin) {
            EXPECT_EQ(r.status, 255) << c.what;
            EXPECT_EQ(filesIn(dir.path).size(), 2u) << c.what;
            EXPECT_EQ(readFile(dir / "a_hdr.asc"), "earlier\n") << c.what;
            continue;
        }
        EXPECT_EQ(r.status, 0) << c.what;
        fs::copy_file(std::string(TREVLIN_TEST_DATA) + "/" + c.twin + ".las", dir / "t.las");
        ASSERT_EQ(runTool(dir.path, {"-x", "-q", "t.las", "0"}).status, 0) << c.what;
        const std::string text = readFile(dir / "a.asc"), twin = readFile(dir / "t.asc");
        const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) - 1;
        if (c.lines > 0 || c.err.find("holds 0 ") != std::string::npos) {
            EXPECT_EQ(lines, c.lines) << c.what;
        }
        EXPECT_TRUE(text.size() <= twin.size() && twin.compare(0, text.size(), text) == 0)
            << c.what;
    }
}

} // namespace
