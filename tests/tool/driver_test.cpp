// The tool end to end: argument and input checks, list mode, Format texts.
// Each case runs the built TREVLIN in a fresh directory and compares its
// standard output, exit status and every file in the directory.
#include "las_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sys/stat.h>

namespace
{

const char *const USAGE =
    "Usage: TREVLIN <LAS File | ASCII List> <Format>\n\n"
    "          Format:  0: All\n                   1: X\n                   2: Y\n"
    "                   3: Z\n                   4: Intensity\n"
    "                   5: Return Number\n                   6: Number of Returns\n"
    "                   7: Scan Direction\n                   8: Edge of Flight Line\n"
    "                   9: Classification\n                  10: Scan Angle Rank\n"
    "                  11: File Marker / User Data\n"
    "                  12: User Bit Field / Point Source ID\n"
    "                  13: GPSTime (if available)\n                  14: RGB (if available)\n"
    "                  15: X Y Z\n                  16: X Y Z Intensity\n"
    "                  17: X Y Z GPSTime\n                  18: X Y Z Intensity GPSTime\n"
    "                  19: X Y Z RGB\n"
    "                  20: X Y Z Intensity PointSourceID RGB\n";

const std::string MISSING_ARGUMENTS =
    std::string("\n\nMissing, or excessive number of, arguments\n\n") + USAGE;
const std::string FORMAT_ERROR = std::string("\nError in Format specified\n\n") + USAGE;

void writeLas(const TempDir &dir, const std::string &name, int16_t type, size_t points = 3)
{
    writeFile(dir / name, lasFileBytes(headerForType(type), varietyOfPoints(1, points), type));
}

// An odd header: LAS 1.0 or 1.1 declaring a format without a LASType.
void writeUnsupportedPair(const TempDir &dir, const std::string &name, uint8_t minor,
                          uint8_t format)
{
    LAS12Header h = headerForType(LASTYPE_12_FM0);
    h.VersionMinor = minor, h.PointDataFormatID = format;
    h.PointDataRecordLength = format == 2 ? 26 : 34;
    writeFile(dir / name, headerBytes(h));
}

struct FailureCase {
    const char *what;
    std::function<void(const TempDir &)> setUp;
    std::vector<std::string> args;
    std::string out;
    Environment env = {};
    std::string err = ""; // what standard error says of the refusal
};

// A failure prints its message, exits with 255 and writes no file.
void expectFailure(const FailureCase &c)
{
    TempDir dir;
    c.setUp(dir);
    const auto before = filesIn(dir.path);
    const RunResult r = runTool(dir.path, c.args, c.env);
    EXPECT_EQ(r.status, 255) << c.what;
    EXPECT_EQ(r.out, c.out) << c.what;
    EXPECT_EQ(r.err, c.err) << c.what;
    EXPECT_EQ(filesIn(dir.path), before) << c.what;
}

const auto NOTHING = [](const TempDir &) {};

// The header of a compressed LAS file, and nothing after it.
std::string lazHeaderOnly()
{
    LAS12Header h = headerForType(LASTYPE_12_FM0);
    h.PointDataFormatID = 0x80 | 3, h.PointDataRecordLength = 34;
    return headerBytes(h);
}

const std::string LOWER_CASE_ADVICE =
    "LAS files are recognised by the lower-case extension .las; rename it (on Windows, typing "
    "the name with .las is enough)\n";

std::string refusedThreads(const std::string &value, const std::string &setting = "TREVLIN_THREADS")
{
    return "\n" + setting + " is \"" + value + "\"; it must be a whole number from 1 to 256\n";
}

std::string refusedDelimiter(const std::string &option, const std::string &value)
{
    return "\n" + option + " is \"" + value +
           "\"; it must be one printable character other than a digit, a letter, -, +, . or \", "
           "or tab (also written \\t)\n";
}

const std::string GZIP_LEVELS =
    "TREVLIN: --gzip takes a level from 1 (fast) to 9 (small), as --gzip=9, or none for 1\n";

std::string optionAfterInput(const std::string &word)
{
    return "TREVLIN: " + word +
           " comes after the input: options go in front of it (TREVLIN [options] <LAS File | "
           "ASCII List> <Format>)\n";
}

std::string unknownOption(const std::string &word)
{
    return "\nUnknown option, or option without its value: " + word + "\n\n" + USAGE;
}

TEST(Driver, RefusesBadCommandLinesBeforeWritingAnything)
{
    const auto oneLas = [](const TempDir &d) { writeLas(d, "a.las", LASTYPE_12_FM0); };
    const FailureCase table[] = {
        {"no argument", NOTHING, {}, MISSING_ARGUMENTS},
        {"one argument", oneLas, {"a.las"}, MISSING_ARGUMENTS},
        {"three arguments", oneLas, {"a.las", "0", "1"}, MISSING_ARGUMENTS},
        {"name of four characters", NOTHING, {"list", "0"}, "\nFile name (list) is too short\n"},
        {"no dot fourth from the end",
         NOTHING,
         {"lists", "0"},
         "\nExtension of file lists should be preceeded by a dot (.)\n"},
        {"a list named .list",
         [](const TempDir &d) { writeFile(d / "tiles.list", "a.las\n"); },
         {"tiles.list", "0"},
         "\nExtension of file tiles.list should be preceeded by a dot (.)\n",
         {},
         "TREVLIN: a list's name must end in a dot and three characters other than las "
         "(tiles.txt); tiles.list does not\n"},
        {"missing LAS file",
         NOTHING,
         {"a.las", "0"},
         "Unable to open file a.las in file_access()\n\nFile a.las does NOT exist\n"},
        {"LAS 1.0 with format 3 says why on standard error only",
         [](const TempDir &d) { writeUnsupportedPair(d, "a.las", 0, 3); },
         {"a.las", "0"},
         "",
         {},
         "TREVLIN: a.las is LAS 1.0 with point data format 3, which LAS 1.0 does not define\n"},
        {"Format fails the character test",
         oneLas,
         {"a.las", "abc"},
         "\nInvalid argument value (abc)\n"},
        {"Format 7.5", oneLas, {"a.las", "7.5"}, FORMAT_ERROR},
        {"Format -1", oneLas, {"a.las", "-1"}, FORMAT_ERROR},
        {"Format 21", oneLas, {"a.las", "21"}, FORMAT_ERROR},
        {"Format .5", oneLas, {"a.las", ".5"}, FORMAT_ERROR},
        {"Format beyond int", oneLas, {"a.las", "99999999999999999999"}, FORMAT_ERROR},
        {"Format 2147483668", oneLas, {"a.las", "2147483668"}, FORMAT_ERROR},
        {"GPS time of format 0 records",
         oneLas,
         {"a.las", "13"},
         "\na.las does not contain GPS Time data\n"},
        {"RGB of format 0 records", oneLas, {"a.las", "14"}, "\na.las does not contain RGB data\n"},
        {"Format 17 without GPS time",
         oneLas,
         {"a.las", "17"},
         "\na.las does not contain GPS Time data\n"},
        {"Format 19 on format 1 records",
         [](const TempDir &d) { writeLas(d, "a.las", LASTYPE_12_FM1); },
         {"a.las", "19"},
         "\na.las does not contain RGB data\n"},
        {"Format 20 on LAS 1.1 records",
         [](const TempDir &d) { writeLas(d, "a.las", LASTYPE_11_FM1); },
         {"a.las", "20"},
         "\na.las does not contain RGB data\n"},
        // Two arguments are never options.
        {"-q, and the Format forgotten",
         oneLas,
         {"-q", "a.las"},
         "\nFile name (-q) is too short\n",
         {},
         "TREVLIN: -q looks like an option: options come before the two arguments (TREVLIN -q "
         "<file> <Format>)\n"},
        {"a folder without an extension",
         [](const TempDir &d) { std::filesystem::create_directory(d / "survey_tiles"); },
         {"survey_tiles", "0"},
         "\nExtension of file survey_tiles should be preceeded by a dot (.)\n",
         {},
         "TREVLIN: survey_tiles is a directory\n"},
        {"a folder named .las",
         [](const TempDir &d) { std::filesystem::create_directory(d / "adir2.las"); },
         {"adir2.las", "0"},
         "\nadir2.las is not a valid .las file\n\n",
         {},
         "TREVLIN: adir2.las is a directory\n"},
        {"a compressed LAS file",
         [](const TempDir &d) {
             LAS12Header h = headerForType(LASTYPE_12_FM0);
             h.PointDataFormatID = 0x80 | 3, h.PointDataRecordLength = 34;
             writeFile(d / "t.laz", headerBytes(h));
         },
         {"t.laz", "0"},
         "\nA name listed in t.laz contains a NUL byte\n",
         {},
         "TREVLIN: t.laz is compressed LAS (LAZ); TREVLIN -x t.laz <Format> converts it\n"},
        {"a compressed LAS file named .LAZ",
         [](const TempDir &d) { writeFile(d / "T.LAZ", lazHeaderOnly()); },
         {"T.LAZ", "0"},
         "\nA name listed in T.LAZ contains a NUL byte\n",
         {},
         "TREVLIN: T.LAZ is compressed LAS (LAZ); TREVLIN -x T.LAZ <Format> converts it\n"},
        {"a compressed LAS file whose name needs quotes",
         [](const TempDir &d) { writeFile(d / "Zurich Ost.laz", lazHeaderOnly()); },
         {"Zurich Ost.laz", "0"},
         "\nA name listed in Zurich Ost.laz contains a NUL byte\n",
         {},
         "TREVLIN: Zurich Ost.laz is compressed LAS (LAZ); TREVLIN -x 'Zurich Ost.laz' <Format> "
         "converts it\n"},
        {"-x, and a compressed LAS file under a list's name",
         [](const TempDir &d) { writeFile(d / "t.dat", lazHeaderOnly()); },
         {"-x", "t.dat", "0"},
         "\nA name listed in t.dat contains a NUL byte\n",
         {},
         "TREVLIN: t.dat is compressed LAS (LAZ) under a name that is not .laz or .las; a list's "
         "name is anything else\n"},
        {"a compressed LAS file named .las: its format byte as a number",
         [](const TempDir &d) { writeFile(d / "z.las", lazHeaderOnly()); },
         {"z.las", "0"},
         "\nPointDataFormatID in z.las is 131. Only 0, 1, 2, or 3 is accepted\n",
         {},
         "TREVLIN: z.las is compressed LAS (LAZ); TREVLIN -x z.las <Format> converts it\n"},
        {"LAS 1.5 without -x",
         [](const TempDir &d) { writeFile(d / "g.las", extendedLasBytes(5, 6, 0, {})); },
         {"g.las", "0"},
         "\nCannot handle las files of version 1.5\n",
         {},
         "TREVLIN: g.las is a LAS 1.5 file of point data format 6; TREVLIN -x g.las <Format> "
         "converts it\n"},
        {"-x: a file that cannot be opened, in one line with the reason",
         NOTHING,
         {"-x", "gone.las", "0"},
         "\nCannot open gone.las: No such file or directory\n"},
        {"an output that cannot be created, with the reason",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_12_FM0);
             std::filesystem::create_directory(d / "a_hdr.asc");
         },
         {"-q", "a.las", "0"},
         "\nFailed to open file a_hdr.asc for writing\n",
         {},
         "TREVLIN: a_hdr.asc cannot be created: Is a directory\n"},
        {"-o alone before the Format", oneLas, {"-o", "0"}, "\nFile name (-o) is too short\n"},
        {"-z alone before the Format", oneLas, {"-z", "0"}, "\nFile name (-z) is too short\n"},
        {"-- alone before the Format", oneLas, {"--", "0"}, "\nFile name (--) is too short\n"},
        {"--quiet.las as the input",
         NOTHING,
         {"--quiet.las", "0"},
         "Unable to open file --quiet.las in file_access()\n\nFile --quiet.las does NOT exist\n"},
        // More arguments may begin with options.
        {"unknown option", oneLas, {"--frobnicate", "a.las", "0"}, unknownOption("--frobnicate")},
        {"a negative number taken for an option",
         oneLas,
         {"-1", "a.las", "0"},
         unknownOption("-1")},
        {"option after the first argument",
         oneLas,
         {"a.las", "0", "-q"},
         MISSING_ARGUMENTS,
         {},
         optionAfterInput("-q")},
        {"option after --", oneLas, {"--", "-q", "a.las", "0"}, MISSING_ARGUMENTS},
        {"-o with nothing after it",
         oneLas,
         {"-q", "a.las", "0", "-o"},
         MISSING_ARGUMENTS,
         {},
         optionAfterInput("-o")},
        {"-o of an empty name",
         oneLas,
         {"-o", "", "a.las", "0"},
         unknownOption("-o"),
         {},
         "TREVLIN: -o takes a folder\n"},
        // An empty thread count would silently override TREVLIN_THREADS.
        {"-j of nothing",
         oneLas,
         {"-j", "", "a.las", "0"},
         unknownOption("-j"),
         {},
         "TREVLIN: -j takes a number of threads from 1 to 256\n"},
        {"--threads= of nothing",
         oneLas,
         {"--threads=", "a.las", "0"},
         unknownOption("--threads="),
         {},
         "TREVLIN: --threads takes a number of threads from 1 to 256\n"},
        {"-o of a missing folder",
         oneLas,
         {"-o", "nowhere", "a.las", "0"},
         "\nnowhere is not a directory\n"},
        {"--output-dir of a file",
         oneLas,
         {"--output-dir=a.las", "a.las", "0"},
         "\na.las is not a directory\n"},
        {"-q keeps the failure's message",
         oneLas,
         {"-q", "a.las", "13"},
         "\na.las does not contain GPS Time data\n"},
        {"--gzip=0",
         oneLas,
         {"--gzip=0", "a.las", "0"},
         unknownOption("--gzip=0"),
         {},
         GZIP_LEVELS},
        {"--gzip=10",
         oneLas,
         {"--gzip=10", "a.las", "0"},
         unknownOption("--gzip=10"),
         {},
         GZIP_LEVELS},
        {"-j 0", oneLas, {"-j", "0", "a.las", "0"}, refusedThreads("0", "-j")},
        {"--threads=257 wins over a valid TREVLIN_THREADS",
         oneLas,
         {"--threads=257", "a.las", "0"},
         refusedThreads("257", "--threads"),
         {{"TREVLIN_THREADS", "2"}}},
        {"TREVLIN_SYNC=2",
         oneLas,
         {"a.las", "0"},
         "\nTREVLIN_SYNC is \"2\"; it must be empty, 0 or 1\n",
         {{"TREVLIN_SYNC", "2"}}},
        {"--sync=yes",
         oneLas,
         {"--sync=yes", "a.las", "0"},
         "\n--sync is \"yes\"; it must be empty, 0 or 1\n"},
        // Columns by name take the Format's place; each must be the file's.
        {"-c with a Format",
         oneLas,
         {"-c", "X", "a.las", "0"},
         "\n-c (--columns) takes the place of the Format: give the input alone\n"},
        {"-c without the input", oneLas, {"-q", "-c", "X"}, MISSING_ARGUMENTS},
        {"-c naming a column the file lacks",
         oneLas,
         {"-c", "X,Red", "a.las"},
         "\na.las has no column Red; its columns are X, Y, Z, Intensity, ReturnNum, NumReturns, "
         "ScanDirection, EdgeOfFlightLine, Class, ScanAngleRank, UserData, PointSourceID\n"},
        {"-c naming a column twice",
         oneLas,
         {"-c", "Z,x,z", "a.las"},
         "\n-c names the column z twice\n"},
        {"-c with an empty name",
         oneLas,
         {"--columns=X,,Y", "--", "a.las"},
         "\n-c holds an empty column name\n"},
        {"-c over a list whose second file lacks a column",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_12_FM3);
             writeLas(d, "b.las", LASTYPE_12_FM1);
             writeFile(d / "l.txt", "a.las b.las");
         },
         {"-x", "-c", "X,blue", "l.txt"},
         "\nb.las has no column blue; its columns are X, Y, Z, Intensity, ReturnNum, NumReturns, "
         "ScanDirection, EdgeOfFlightLine, Class, ScanAngleRank, UserData, PointSourceID, "
         "GPSTime\n"},
        {"-d of two characters", oneLas, {"-d", "ab", "a.las", "0"}, refusedDelimiter("-d", "ab")},
        {"-d of a digit",
         oneLas,
         {"--delimiter=5", "a.las", "0"},
         refusedDelimiter("--delimiter", "5")},
        {"-d of a quote", oneLas, {"-d", "\"", "a.las", "0"}, refusedDelimiter("-d", "\"")},
        {"-d of a point", oneLas, {"-d", ".", "a.las", "0"}, refusedDelimiter("-d", ".")},
        {"-d of nothing", oneLas, {"-d", "", "a.las", "0"}, refusedDelimiter("-d", "")},
        {"--stdout with a list",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "a.las");
         },
         {"--stdout", "l.txt", "0"},
         "",
         {},
         "\n--stdout writes the points of one file; l.txt is a list\n"},
        {"--stdout sends refusals to standard error",
         oneLas,
         {"--stdout", "-c", "Foo", "a.las"},
         "",
         {},
         "\na.las has no column Foo; its columns are X, Y, Z, Intensity, ReturnNum, NumReturns, "
         "ScanDirection, EdgeOfFlightLine, Class, ScanAngleRank, UserData, PointSourceID\n"},
    };
    for (const FailureCase &c : table)
        expectFailure(c);
    // A test setting out of bounds is refused, never obeyed: a job of
    // 542551296285575048 records once wrapped its byte count to 16.
    for (const char *records : {"542551296285575048", "0", "-5", "65537", "7x"})
        expectFailure({records,
                       oneLas,
                       {"a.las", "0"},
                       "\nTREVLIN_TEST_JOB_RECORDS is \"" + std::string(records) +
                           "\"; it must be a whole number from 1 to 65536\n",
                       {{"TREVLIN_THREADS", "2"}, {"TREVLIN_TEST_JOB_RECORDS", records}}});
    for (const char *threads : {"0", "-1", "abc", "2x", " 2", "257", "99999999999"})
        expectFailure({threads,
                       oneLas,
                       {"a.las", "0"},
                       refusedThreads(threads),
                       {{"TREVLIN_THREADS", threads}}});
}

// The single arguments the tool answers, and their near misses, which
// get the usual verdict on a command line.
TEST(Driver, AnswersVersionAndHelpAlone)
{
    const std::pair<std::vector<std::string>, std::string> answered[] = {
        {{"--version"}, "TREVLIN " TREVLIN_VERSION "\n"},
        {{"--help"}, USAGE},
        {{"-h"}, USAGE},
    };
    for (const auto &[args, out] : answered) {
        const RunResult r = runTool(TempDir().path, args);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.out.substr(0, out.size()), out) << args[0];
        EXPECT_EQ(r.err, "") << args[0];
        if (args[0] == "--version")
            EXPECT_EQ(r.out, "TREVLIN 1.3.0\n");
        else
            for (const char *topic : {"\nList files: ", "\nOutput files: ", "\nTREVLIN_THREADS: ",
                                      "\n--version ", "\nExit status: ", "man TREVLIN"})
                EXPECT_NE(r.out.find(topic, out.size()), std::string::npos) << args[0] << topic;
    }
    const FailureCase nearMisses[] = {
        {"--versions", NOTHING, {"--versions"}, MISSING_ARGUMENTS},
        {"-v", NOTHING, {"-v"}, MISSING_ARGUMENTS},
        {"--help with an argument",
         NOTHING,
         {"--help", "extra"},
         "\nExtension of file --help should be preceeded by a dot (.)\n"},
        {"--version and two more", NOTHING, {"--version", "0", "0"}, unknownOption("--version")},
    };
    for (const FailureCase &c : nearMisses)
        expectFailure(c);
}

TEST(Driver, RefusesBadListsBeforeWritingAnything)
{
    const FailureCase table[] = {
        {"list cannot be opened",
         NOTHING,
         {"l.txt", "0"},
         "\nCannot open input ASCII file l.txt for reading\n"},
        {"empty list",
         [](const TempDir &d) { writeFile(d / "l.txt", ""); },
         {"l.txt", "0"},
         "\nFile l.txt contains no valid .las files\n"},
        {"list of white space",
         [](const TempDir &d) { writeFile(d / "l.txt", " \n\t\r\n "); },
         {"l.txt", "0"},
         "\nFile l.txt contains no valid .las files\n"},
        {"list of a byte-order mark alone",
         [](const TempDir &d) { writeFile(d / "l.txt", "\xEF\xBB\xBF\r\n"); },
         {"l.txt", "0"},
         "\nFile l.txt contains no valid .las files\n"},
        {"list starting with half a byte-order mark",
         [](const TempDir &d) { writeFile(d / "l.txt", "\xEF\xBBx.las"); },
         {"l.txt", "0"},
         "Unable to open file \xEF\xBBx.las in file_access()\n\nFile \xEF\xBBx.las does NOT "
         "exist\n\xEF\xBBx.las (listed in l.txt) is not a valid LAS file\n",
         {},
         "TREVLIN: l.txt is not UTF-8: a list must be UTF-8, or UTF-16 with its byte-order mark\n"},
        {"third file of another type",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_12_FM0), writeLas(d, "b.las", LASTYPE_12_FM0);
             writeLas(d, "c.las", LASTYPE_12_FM1);
             writeFile(d / "l.txt", "a.las\nb.las\nc.las\n");
         },
         {"l.txt", "0"},
         "\nType of file c.las differs from that of previous files in l.txt\n",
         {},
         "TREVLIN: c.las is LAS 1.2 point format 1, the files before it are LAS 1.2 point format "
         "0\n"},
        {"a name with blanks, unquoted",
         [](const TempDir &d) {
             writeLas(d, "PSME 2019 tile.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "PSME 2019 tile.las\n");
         },
         {"l.txt", "0"},
         "Unable to open file PSME in file_access()\n\nFile PSME does NOT exist\n"
         "PSME (listed in l.txt) is not a valid LAS file\n",
         {},
         "TREVLIN: PSME does not exist, but \"PSME 2019 tile.las\" does: quote names that hold "
         "blanks\n"},
        {"UTF-16 without a byte-order mark",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", std::string("a\0.\0l\0a\0s\0\r\0\n\0", 14));
         },
         {"l.txt", "0"},
         "\nA name listed in l.txt contains a NUL byte\n",
         {},
         "TREVLIN: l.txt looks like UTF-16 without a byte-order mark: save the list as UTF-8, or "
         "as UTF-16 with a byte-order mark\n"},
        {"a folder, listed",
         [](const TempDir &d) {
             std::filesystem::create_directory(d / "adir2.las");
             writeFile(d / "l.txt", "adir2.las\n");
         },
         {"l.txt", "0"},
         "\nadir2.las is not a valid .las file\n\nadir2.las (listed in l.txt) is not a valid LAS "
         "file\n",
         {},
         "TREVLIN: adir2.las is a directory\n"},
        {"listed file missing",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "a.las gone.las");
         },
         {"l.txt", "0"},
         "Unable to open file gone.las in file_access()\n\nFile gone.las does NOT exist\n"
         "gone.las (listed in l.txt) is not a valid LAS file\n"},
        {"listed LAS 1.1 with format 2",
         [](const TempDir &d) {
             writeUnsupportedPair(d, "odd.las", 1, 2);
             writeFile(d / "l.txt", "odd.las");
         },
         {"l.txt", "0"},
         "odd.las (listed in l.txt) is not a valid LAS file\n",
         {},
         "TREVLIN: odd.las is LAS 1.1 with point data format 2, which LAS 1.1 does not "
         "define\n"},
        {"listed upper-case .LAS",
         [](const TempDir &d) {
             writeLas(d, "TILE.LAS", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "TILE.LAS TILE.LAS");
         },
         {"l.txt", "0"},
         "\nFile extension of TILE.LAS is not .las\nTILE.LAS (listed in l.txt) is not a valid "
         "LAS file\n",
         {},
         "TREVLIN: TILE.LAS is listed with an upper-case extension: " + LOWER_CASE_ADVICE},
        {"listed text file",
         [](const TempDir &d) {
             writeFile(d / "x.txt", "x");
             writeFile(d / "l.txt", "x.txt");
         },
         {"l.txt", "0"},
         "\nFile extension of x.txt is not .las\nx.txt (listed in l.txt) is not a valid LAS "
         "file\n"},
        {"Format 18 on a list of LAS 1.0 format 0",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_10_FM0);
             writeFile(d / "l.txt", "a.las a.las");
         },
         {"l.txt", "18"},
         "\nl.txt does not contain GPS Time data\n"},
        // What the conversion would refuse on the header alone is found
        // before anything is written.
        {"second file's point data inside its header",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_12_FM0);
             LAS12Header h = headerForType(LASTYPE_12_FM0);
             h.OffsetToData = 100;
             writeFile(d / "b.las", lasFileBytes(h, varietyOfPoints(1, 3), LASTYPE_12_FM0));
             writeFile(d / "l.txt", "a.las b.las");
         },
         {"l.txt", "0"},
         "\nOffsetToData of b.las (100) lies within its 227-byte header\n"},
        {"third file's header cut at 150 bytes",
         [](const TempDir &d) {
             writeLas(d, "a.las", LASTYPE_12_FM0), writeLas(d, "b.las", LASTYPE_12_FM0);
             writeFile(d / "c.las", headerBytes(headerForType(LASTYPE_12_FM0)).substr(0, 150));
             writeFile(d / "l.txt", "a.las b.las c.las");
         },
         {"l.txt", "0"},
         "\nFile c.las ends within its 227-byte header\n"},
        {"two listed files with one last name, with an output folder",
         [](const TempDir &d) {
             for (const char *folder : {"a", "b", "out"})
                 std::filesystem::create_directory(d / folder);
             writeLas(d, "a/t.las", LASTYPE_12_FM0), writeLas(d, "b/t.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "a/t.las a/t.las b/t.las");
         },
         {"-o", "out", "l.txt", "0"},
         "\na/t.las and b/t.las, listed in l.txt, would both be written as out/t.asc\n"},
        {"a point file and a header report of one name",
         [](const TempDir &d) {
             writeLas(d, "x.las", LASTYPE_12_FM0), writeLas(d, "x_hdr.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "x.las\nx_hdr.las\n");
         },
         {"l.txt", "15"},
         "\nx.las and x_hdr.las, listed in l.txt, would both be written as x_hdr.asc\n"},
        {"a point file and a header report of one name, in an output folder",
         [](const TempDir &d) {
             for (const char *folder : {"a", "b", "out"})
                 std::filesystem::create_directory(d / folder);
             writeLas(d, "a/x_hdr.las", LASTYPE_12_FM0), writeLas(d, "b/x.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "a/x_hdr.las b/x.las");
         },
         {"-q", "-o", "out", "l.txt", "15"},
         "\na/x_hdr.las and b/x.las, listed in l.txt, would both be written as out/x_hdr.asc\n"},
        {"a LAS and a LAZ file of one stem, spelled apart",
         [](const TempDir &d) {
             writeLas(d, "x.las", LASTYPE_12_FM0);
             std::filesystem::copy_file(
                 std::string(TREVLIN_TEST_DATA) + "/hobuinc__laz-perf__point10.laz", d / "x.laz");
             writeFile(d / "l.txt", "x.las ./x.laz");
         },
         {"-x", "l.txt", "15"},
         "\nx.las and ./x.laz, listed in l.txt, would both be written as ./x.asc\n"},
        {"one folder reached by two paths",
         [](const TempDir &d) {
             std::filesystem::create_directory(d / "a");
             std::filesystem::create_directory_symlink("a", d / "b");
             writeLas(d, "a/t.las", LASTYPE_12_FM0);
             writeLas(d, "a/t_hdr.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "a/t.las b/t_hdr.las");
         },
         {"l.txt", "15"},
         "\na/t.las and b/t_hdr.las, listed in l.txt, would both be written as b/t_hdr.asc\n"},
        {"an output onto the list itself",
         [](const TempDir &d) {
             writeLas(d, "x.las", LASTYPE_12_FM0);
             writeFile(d / "x.asc", "x.las\n");
         },
         {"x.asc", "0"},
         "\nx.las, listed in x.asc, would be written as x.asc, the list itself\n"},
        {"a header report onto the list itself, in an output folder",
         [](const TempDir &d) {
             std::filesystem::create_directory(d / "out");
             writeLas(d, "x.las", LASTYPE_12_FM0);
             writeFile(d / "out/x_hdr.asc", "x.las\n");
         },
         {"-o", "out", "out/x_hdr.asc", "0"},
         "\nx.las, listed in out/x_hdr.asc, would be written as out/x_hdr.asc, the list itself\n"},
        {"a list in Latin-1",
         [](const TempDir &d) {
             writeLas(d, "Z\xC3\xBCrich.las", LASTYPE_12_FM0);
             writeFile(d / "l.txt", "Z\xFCrich.las\r\n");
         },
         {"l.txt", "0"},
         "Unable to open file Z\xFCrich.las in file_access()\n\nFile Z\xFCrich.las does NOT exist\n"
         "Z\xFCrich.las (listed in l.txt) is not a valid LAS file\n",
         {},
         "TREVLIN: l.txt is not UTF-8: a list must be UTF-8, or UTF-16 with its byte-order mark\n"},
        {"upper-case .LAS is read as a list",
         [](const TempDir &d) { writeLas(d, "scan.LAS", LASTYPE_12_FM0); },
         {"scan.LAS", "0"},
         "\nA name listed in scan.LAS contains a NUL byte\n",
         {},
         "TREVLIN: scan.LAS is a LAS file, not a list: " + LOWER_CASE_ADVICE},
    };
    for (const FailureCase &c : table)
        expectFailure(c);
}

// A run that succeeds prints banner, progress and elapsed time and writes
// each input's two files with the reference texts.
void expectConverted(const TempDir &dir, const std::vector<std::string> &args,
                     const std::string &progress, const std::vector<std::string> &lasNames,
                     int Format, int16_t type)
{
    const auto before = filesIn(dir.path);
    const RunResult r = runTool(dir.path, args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progress));
    EXPECT_EQ(r.err, "");
    auto expected = before;
    for (const std::string &las : lasNames) {
        const std::string stem = las.substr(0, las.size() - 4);
        expected[stem + ".asc"] = referencePointText(Format, type, dir / las);
        expected[stem + "_hdr.asc"] = referenceHeaderText(dir / las, type);
    }
    EXPECT_EQ(filesIn(dir.path), expected);
}

TEST(Driver, ConvertsASingleFileBesideItself)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "survey");
    writeLas(dir, "survey/a.b.las", LASTYPE_12_FM3);
    expectConverted(dir, {"survey/a.b.las", "0"}, progressLines("survey/a.b.las", "survey/a.b.asc"),
                    {"survey/a.b.las"}, 0, LASTYPE_12_FM3);
}

// The list's text in UTF-16 with its byte-order mark, as Notepad's
// "Unicode" (little-endian) or its big-endian twin writes it.
std::string utf16(const std::string &ascii, bool littleEndian)
{
    std::string text = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : ascii)
        text += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
    return text;
}

TEST(Driver, ConvertsEveryListedFileWithCounterLines)
{
    // Lists as editors write them: mixed white space, CR LF line ends, the
    // byte-order mark a Windows editor puts before the first name, UTF-16,
    // and names in quotes.
    const std::string crlf = "a.las\r\ntiles/t_017.las\r\na.las\r\n";
    const std::string lists[] = {"  a.las\n\ttiles/t_017.las a.las\r\n", "\xEF\xBB\xBF" + crlf,
                                 utf16(crlf, true), utf16(crlf, false),
                                 "\"a.las\" \"tiles/t_017.las\"\r\na.las"};
    for (const std::string &list : lists) {
        TempDir dir;
        std::filesystem::create_directory(dir / "tiles");
        writeLas(dir, "a.las", LASTYPE_11_FM1), writeLas(dir, "tiles/t_017.las", LASTYPE_11_FM1);
        writeFile(dir / "l.txt", list);
        const std::string progress = progressLines("a.las", "a.asc") + "1 / 3\n\n" +
                                     progressLines("tiles/t_017.las", "tiles/t_017.asc") +
                                     "2 / 3\n\n" + progressLines("a.las", "a.asc") + "3 / 3\n\n";
        expectConverted(dir, {"l.txt", "16"}, progress, {"a.las", "tiles/t_017.las"}, 16,
                        LASTYPE_11_FM1);
    }
}

// A list is read once, whole, before any name is checked: it may be a
// named pipe that another program fills.
TEST(Driver, AListMayBeANamedPipe)
{
    TempDir dir;
    writeLas(dir, "a.las", LASTYPE_12_FM0, 5), writeLas(dir, "b.las", LASTYPE_12_FM0, 3);
    ASSERT_EQ(mkfifo((dir / "l.txt").c_str(), 0600), 0);
    StartedTool started = startTool(dir.path, {"-q", "l.txt", "15"});
    {
        std::ofstream fifo(dir / "l.txt");
        fifo << "a.las\nb.las\n";
    }
    const RunResult r = finishTool(started);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(15, LASTYPE_12_FM0, dir / "a.las"));
    EXPECT_EQ(readFile(dir / "b.asc"), referencePointText(15, LASTYPE_12_FM0, dir / "b.las"));
}

// A batch job converts one tile a run, so no run sees two tiles: the job
// asks --check-names, with its options, before it converts any, and
// --print-outputs for the names it records. The batch script's two questions: do two tiles write
// one output
// (--check-names), and which outputs does a tile write (--print-outputs).
TEST(Driver, CheckNamesRefusesTilesThatWouldWriteOneOutput)
{
    const struct {
        std::vector<std::string> args;
        std::string tiles, out;
        int status = -1; // 0 when `out` is empty, else 255, unless given
    } table[] = {
        {{"--check-names", "t.txt"}, "a/t.las\nb/t.las\n\n", ""},
        {{"-o", "out", "--check-names", "t.txt"},
         "a/t.las\r\nb/t.las\r\n",
         "\na/t.las and b/t.las, listed in t.txt, would both be written as out/t.asc\n"},
        {{"--check-names", "t.txt"},
         "x.las\nx_hdr.las\n",
         "\nx.las and x_hdr.las, listed in t.txt, would both be written as x_hdr.asc\n"},
        {{"-z", "--check-names", "t.txt"}, "x.las\nx_hdr.las\n", ""},
        {{"-z", "-o", "out", "--check-names", "t.txt"},
         "Survey Data/t.las\nt.las\n",
         "\nSurvey Data/t.las and t.las, listed in t.txt, would both be written as "
         "out/t.asc.gz\n"},
        {{"-q", "-o", "out", "--check-names=t.txt"},
         "a/t.las\nb/t.las\n",
         "\na/t.las and b/t.las, listed in t.txt, would both be written as out/t.asc\n"},
        // After "--" it is a file name, as any word there.
        {{"--", "--check-names", "t.txt"},
         "",
         "\nExtension of file --check-names should be preceeded by a dot (.)\n"},
        {{"--check-names", "t.txt", "0"}, "", MISSING_ARGUMENTS},
        {{"--print-outputs", "a/t.las"}, "", "a/t.asc\na/t_hdr.asc\n", 0},
        {{"-x", "-z", "-o", "out", "--print-outputs", "a/T.LAZ"},
         "",
         "out/T.asc.gz\nout/T_hdr.asc\n",
         0},
        {{"--print-outputs", "t.txt"}, "", "\nt.txt does not end in .las or .laz\n"},
    };
    for (const auto &c : table) {
        TempDir dir;
        writeFile(dir / "t.txt", c.tiles);
        const RunResult r = runTool(dir.path, c.args);
        EXPECT_EQ(r.status, c.status >= 0 ? c.status : c.out.empty() ? 0 : 255) << c.tiles;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(filesIn(dir.path).size(), 1u);
    }
}

// -k: every listed file is judged, those that pass are converted, and the
// closing line names the refused; a clash still refuses the whole list.
TEST(Driver, KeepGoingConvertsWhatPassesAndNamesTheRest)
{
    const struct {
        const char *what;
        std::vector<std::string> args;
        std::string list, out, err;
        std::vector<std::string> converted;
    } table[] = {
        {"a missing file and one of another version",
         {"-k", "-q", "l.txt", "0"},
         "a.las missing.las g.las \"b 2.las\"\n",
         "Unable to open file missing.las in file_access()\n\nFile missing.las does NOT exist\n"
         "missing.las (listed in l.txt) is not a valid LAS file\n"
         "\nCannot handle las files of version 1.4\ng.las (listed in l.txt) is not a valid LAS "
         "file\n",
         "TREVLIN: g.las is a LAS 1.4 file of point data format 6; TREVLIN -x l.txt <Format> "
         "converts it\n"
         "TREVLIN: 2 of 4 files of l.txt converted; refused: missing.las, g.las\n",
         {"a", "b 2"}},
        {"with -x only the missing one, in one line",
         {"-x", "--keep-going", "-q", "l.txt", "0"},
         "a.las missing.las g.las\n",
         "\nmissing.las (listed in l.txt) cannot be opened: No such file or directory\n",
         "TREVLIN: 2 of 3 files of l.txt converted; refused: missing.las\n",
         {"a", "g"}},
        {"another type than the first",
         {"-k", "-q", "l.txt", "0"},
         "a.las c.las\n",
         "\nType of file c.las differs from that of previous files in l.txt\n",
         "TREVLIN: c.las is LAS 1.2 point format 1, the files before it are LAS 1.2 point format "
         "0\nTREVLIN: 1 of 2 files of l.txt converted; refused: c.las\n",
         {"a"}},
        {"a Format that one file cannot serve",
         {"-x", "-k", "-q", "l.txt", "13"},
         "a.las g.las\n",
         "\na.las does not contain GPS Time data\n",
         "TREVLIN: 1 of 2 files of l.txt converted; refused: a.las\n",
         {"g"}},
        {"nothing refused",
         {"-k", "-q", "l.txt", "0"},
         "a.las\n",
         "",
         "TREVLIN: 1 of 1 files of l.txt converted\n",
         {"a"}},
        {"a clash refuses the list",
         {"-k", "-q", "l.txt", "0"},
         "a.las missing.las a_hdr.las\n",
         "Unable to open file missing.las in file_access()\n\nFile missing.las does NOT exist\n"
         "missing.las (listed in l.txt) is not a valid LAS file\n"
         "\na.las and a_hdr.las, listed in l.txt, would both be written as a_hdr.asc\n",
         "",
         {}},
        {"every file refused",
         {"-k", "-q", "l.txt", "0"},
         "missing.las\n",
         "Unable to open file missing.las in file_access()\n\nFile missing.las does NOT exist\n"
         "missing.las (listed in l.txt) is not a valid LAS file\n"
         "\nFile l.txt contains no valid .las files\n",
         "",
         {}},
    };
    for (const auto &c : table) {
        TempDir dir;
        writeLas(dir, "a.las", LASTYPE_12_FM0), writeLas(dir, "b 2.las", LASTYPE_12_FM0);
        writeLas(dir, "a_hdr.las", LASTYPE_12_FM0), writeLas(dir, "c.las", LASTYPE_12_FM1);
        writeFile(dir / "g.las", extendedLasBytes(4, 6, 0, {ExtendedPoint{}}));
        writeFile(dir / "l.txt", c.list);
        auto expected = filesIn(dir.path);
        const RunResult r = runTool(dir.path, c.args);
        EXPECT_EQ(r.status,
                  c.err.find("refused:") == std::string::npos && !c.converted.empty() ? 0 : 255)
            << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(r.err, c.err) << c.what;
        for (const std::string &stem : c.converted)
            expected[stem + ".asc"] = readFile(dir / (stem + ".asc")),
                            expected[stem + "_hdr.asc"] = readFile(dir / (stem + "_hdr.asc"));
        EXPECT_EQ(filesIn(dir.path), expected) << c.what;
    }
}

// Windows paths are full of blanks: in quotes, a listed name holds them,
// in a UTF-16 list too.
TEST(Driver, AQuotedListedNameHoldsBlanks)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "Survey Data");
    const std::string las = "Survey Data/Kachel 01.las";
    writeLas(dir, las, LASTYPE_12_FM0);
    writeFile(dir / "l.txt", utf16("\"" + las + "\"\r\n", true));
    expectConverted(dir, {"l.txt", "15"},
                    progressLines(las, "Survey Data/Kachel 01.asc") + "1 / 1\n\n", {las}, 15,
                    LASTYPE_12_FM0);
}

TEST(Driver, FormatTextsNameTheSameFormat)
{
    const std::pair<const char *, int> table[] = {
        {"7", 7},  {"07", 7},  {"7.", 7},  {"7.0", 7},   {"", 0},   {"-0", 0},
        {"3-", 3}, {"1-2", 1}, {"20", 20}, {"0.000", 0}, {"-.", 0},
    };
    for (const auto &[text, Format] : table) {
        TempDir dir;
        writeLas(dir, "a.las", LASTYPE_12_FM2);
        expectConverted(dir, {"a.las", text}, progressLines("a.las", "a.asc"), {"a.las"}, Format,
                        LASTYPE_12_FM2);
    }
}

// Every thread count converts a list of files of different sizes (one of
// them several jobs long) into the same files and the same console output.
TEST(Driver, EveryThreadCountWritesTheSameFiles)
{
    TempDir dir;
    writeLas(dir, "none.las", LASTYPE_12_FM1, 0), writeLas(dir, "one.las", LASTYPE_12_FM1, 1);
    writeLas(dir, "many.las", LASTYPE_12_FM1, 100001);
    writeFile(dir / "l.txt", "many.las none.las one.las many.las");
    std::string progress;
    int position = 0;
    for (const char *name : {"many", "none", "one", "many"})
        progress += progressLines(name + std::string(".las"), name + std::string(".asc")) +
                    std::to_string(++position) + " / 4\n\n";
    for (const char *threads : {"1", "2", "3", "7", "256", ""}) {
        SCOPED_TRACE(std::string("TREVLIN_THREADS=") + threads);
        const auto before = filesIn(dir.path);
        const RunResult r =
            runTool(dir.path, {"l.txt", "18"},
                    {{"TREVLIN_THREADS", threads}, {"TREVLIN_TEST_JOB_RECORDS", nullptr}});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progress));
        for (const char *name : {"none", "one", "many"}) {
            const std::string las = dir / (name + std::string(".las"));
            EXPECT_EQ(readFile(dir / (name + std::string(".asc"))),
                      referencePointText(18, LASTYPE_12_FM1, las));
        }
        for (const auto &[name, content] : filesIn(dir.path))
            if (name.find(".asc") != std::string::npos)
                std::filesystem::remove(dir / name);
        EXPECT_EQ(filesIn(dir.path), before);
    }
}

// Options in front of the two arguments: where the outputs go, gzip, a
// quiet standard output, the thread count; the text is the same.
TEST(Driver, OptionsSayWhereAndHowOutputsAreWritten)
{
    struct OptionCase {
        const char *what;
        std::vector<std::string> args; // the input is survey/t.las or l.txt
        std::string progress;          // "" when quiet
        std::string pointFile, reportFile;
        bool gzip;
    };
    const std::string listed = progressLines("survey/t.las", "out/t.asc") + "1 / 2\n\n" +
                               progressLines("u.las", "out/u.asc") + "2 / 2\n\n";
    const OptionCase table[] = {
        {"-q", {"-q", "survey/t.las", "16"}, "", "survey/t.asc", "survey/t_hdr.asc", false},
        {"-o DIR",
         {"-o", "out", "survey/t.las", "16"},
         progressLines("survey/t.las", "out/t.asc"),
         "out/t.asc",
         "out/t_hdr.asc",
         false},
        {"--output-dir=DIR/ and a list",
         {"--output-dir=out/", "l.txt", "16"},
         listed,
         "out/t.asc",
         "out/t_hdr.asc",
         false},
        {"-z",
         {"-z", "survey/t.las", "16"},
         progressLines("survey/t.las", "survey/t.asc.gz"),
         "survey/t.asc.gz",
         "survey/t_hdr.asc",
         true},
        {"--gzip=9 -j 3 --quiet -o DIR --",
         {"--gzip=9", "-j", "3", "--quiet", "-o", "out", "--", "survey/t.las", "16"},
         "",
         "out/t.asc.gz",
         "out/t_hdr.asc",
         true},
    };
    for (const OptionCase &c : table) {
        TempDir dir;
        std::filesystem::create_directory(dir / "survey");
        std::filesystem::create_directory(dir / "out");
        writeLas(dir, "survey/t.las", LASTYPE_12_FM1, 40), writeLas(dir, "u.las", LASTYPE_12_FM1);
        writeFile(dir / "l.txt", "survey/t.las u.las");
        auto expected = filesIn(dir.path);
        const RunResult r = runTool(dir.path, c.args, {{"TREVLIN_TEST_JOB_RECORDS", "7"}});
        EXPECT_EQ(r.status, 0) << c.what;
        EXPECT_EQ(maskElapsed(r.out), c.progress.empty() ? "" : completeRunOutput(c.progress))
            << c.what;
        EXPECT_EQ(r.err, "") << c.what;
        const std::string text = referencePointText(16, LASTYPE_12_FM1, dir / "survey/t.las");
        const std::string written = readFile(dir / c.pointFile);
        EXPECT_EQ(c.gzip ? gunzip(written) : written, text) << c.what;
        expected[c.pointFile] = written;
        expected[c.reportFile] = referenceHeaderText(dir / "survey/t.las", LASTYPE_12_FM1);
        if (c.args[c.args.size() - 2] == "l.txt") {
            expected["out/u.asc"] = referencePointText(16, LASTYPE_12_FM1, dir / "u.las");
            expected["out/u_hdr.asc"] = referenceHeaderText(dir / "u.las", LASTYPE_12_FM1);
        }
        EXPECT_EQ(filesIn(dir.path), expected) << c.what;
    }
}

// Whether the text at `at` starts with `word`; if so, steps over it.
bool skipText(const std::string &text, size_t &at, const std::string &word)
{
    if (text.compare(at, word.size(), word) != 0)
        return false;
    at += word.size();
    return true;
}

// Steps over a run of characters from `allowed`; false if there is none.
bool skipSome(const std::string &text, size_t &at, const char *allowed)
{
    const size_t end = text.find_first_not_of(allowed, at);
    const size_t stop = end == std::string::npos ? text.size() : end;
    const bool any = stop > at;
    at = stop;
    return any;
}

// One drawing of a progress line: "\r<shown>: P%, R [M ]records/s" padded.
bool skipProgressLine(const std::string &text, size_t &at, const std::string &shown)
{
    size_t next = at;
    if (!(skipText(text, next, "\r" + shown + ":") && skipSome(text, next, " ") &&
          skipSome(text, next, "0123456789") && skipText(text, next, "%, ") &&
          skipSome(text, next, "0123456789.") && skipText(text, next, " ")))
        return false;
    skipText(text, next, "M ");
    if (!skipText(text, next, "records/s"))
        return false;
    skipSome(text, next, " ");
    at = next;
    return true;
}

// Whether a terminal was shown these progress lines (place in the list and
// name), in order: each drawn at least once, then blanked.
bool showsProgress(const std::string &text, const std::vector<std::string> &shown)
{
    size_t at = 0;
    for (const std::string &line : shown) {
        if (!skipProgressLine(text, at, line))
            return false;
        while (skipProgressLine(text, at, line)) {
        }
        if (!(skipText(text, at, "\r") && skipSome(text, at, " ") && skipText(text, at, "\r")))
            return false;
    }
    return at == text.size();
}

// On a terminal the progress line comes and goes, leaving standard output
// and the files as they are; on anything else nothing at all is written.
TEST(Driver, ProgressShowsOnATerminalOnly)
{
    struct ProgressCase {
        const char *what;
        std::vector<std::string> args;
        bool terminal;
        Environment env;
        std::vector<std::string> shown; // progress lines expected, in order
    };
    const Environment soon = {{"TREVLIN_TEST_PROGRESS_DELAY_MS", "0"}};
    const Environment soonInJobs = {{"TREVLIN_TEST_PROGRESS_DELAY_MS", "0"},
                                    {"TREVLIN_THREADS", "3"},
                                    {"TREVLIN_TEST_JOB_RECORDS", "7"}};
    const ProgressCase table[] = {
        {"single file", {"a.las", "15"}, true, soon, {"a.las"}},
        {"list, three workers",
         {"l.txt", "15"},
         true,
         soonInJobs,
         {"1/3 a.las", "2/3 b.las", "3/3 a.las"}},
        {"short conversion", {"l.txt", "15"}, true, {}, {}},
        {"standard error a file", {"l.txt", "15"}, false, soonInJobs, {}},
    };
    for (const ProgressCase &c : table) {
        TempDir dir;
        writeLas(dir, "a.las", LASTYPE_12_FM0, 300), writeLas(dir, "b.las", LASTYPE_12_FM0, 50);
        writeFile(dir / "l.txt", "a.las b.las a.las");
        Launch how;
        how.env = c.env, how.terminal = c.terminal;
        const RunResult r = finishTool(startTool(dir.path, c.args, how));
        EXPECT_EQ(r.status, 0) << c.what;
        const std::string progress = c.args[0] == "a.las"
                                         ? progressLines("a.las", "a.asc")
                                         : progressLines("a.las", "a.asc") + "1 / 3\n\n" +
                                               progressLines("b.las", "b.asc") + "2 / 3\n\n" +
                                               progressLines("a.las", "a.asc") + "3 / 3\n\n";
        EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progress)) << c.what;
        EXPECT_TRUE(showsProgress(r.err, c.shown)) << c.what << ": " << r.err;
        const std::vector<std::string> converted = c.args[0] == "a.las"
                                                       ? std::vector<std::string>{"a"}
                                                       : std::vector<std::string>{"a", "b"};
        for (const std::string &name : converted)
            EXPECT_EQ(readFile(dir / (name + ".asc")),
                      referencePointText(15, LASTYPE_12_FM0, dir / (name + ".las")))
                << c.what;
    }
}

// Display columns of terminal text: CJK ideographs and kana take two.
size_t displayColumns(const std::string &text)
{
    size_t columns = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if ((c & 0xC0) == 0x80)
            continue;
        columns += c >= 0xE3 && c <= 0xE9 ? 2 : 1;
    }
    return columns;
}

// The widest drawing of the line on a terminal's output.
size_t widestDrawing(const std::string &shown)
{
    size_t widest = 0, start = 0;
    for (size_t end; (end = shown.find('\r', start)) != std::string::npos; start = end + 1)
        widest = std::max(widest, displayColumns(shown.substr(start, end - start)));
    return std::max(widest, displayColumns(shown.substr(start)));
}

// Whether the terminal's last drawing is blanks between two returns.
bool endsCleared(const std::string &shown)
{
    if (shown.size() < 3 || shown.back() != '\r')
        return false;
    const size_t start = shown.rfind('\r', shown.size() - 2);
    return start != std::string::npos && start + 2 < shown.size() &&
           shown.find_first_not_of(' ', start + 1) == shown.size() - 1;
}

// The line never reaches a terminal's last column, so it never wraps,
// whatever the name: it is shortened from the left, and the figures are
// cut when even they do not fit. It is cleared at the end, and standard
// output is as always.
TEST(Driver, ProgressLineFitsItsTerminal)
{
    const std::string longPath = "surveys-of-the-northern-coast-2026/flight-line-0412/"
                                 "a-tile-with-a-long-name.las";
    const std::string cjk = "東京都の航空測量データ.las";
    for (unsigned short columns : {40, 60, 80})
        for (const std::string &name : {std::string("a.las"), longPath, cjk}) {
            TempDir dir;
            std::filesystem::create_directories(dir / "surveys-of-the-northern-coast-2026/"
                                                      "flight-line-0412");
            writeLas(dir, name, LASTYPE_12_FM0, 3000);
            Launch how;
            how.env = {{"TREVLIN_TEST_PROGRESS_DELAY_MS", "0"}};
            how.terminal = true, how.terminalColumns = columns;
            const RunResult r = finishTool(startTool(dir.path, {name, "15"}, how));
            const std::string what = name + " in " + std::to_string(columns) + " columns";
            EXPECT_EQ(r.status, 0) << what;
            const std::string ascName = name.substr(0, name.size() - 4) + ".asc";
            EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progressLines(name, ascName))) << what;
            EXPECT_NE(r.err, "") << what;
            EXPECT_LE(widestDrawing(r.err), columns - 1u) << what << ": " << r.err;
            EXPECT_TRUE(endsCleared(r.err)) << what;
        }
}

// A list of files that each take less than the delay: the delay counts
// from the start of the run, so the line shows the place in the list.
TEST(Driver, ProgressShowsThePlaceInALongListOfShortFiles)
{
    TempDir dir;
    writeLas(dir, "a.las", LASTYPE_12_FM0, 2000);
    const int count = 4000;
    std::string list, progress;
    for (int k = 1; k <= count; ++k) {
        list += "a.las\n";
        progress += progressLines("a.las", "a.asc") + std::to_string(k) + " / " +
                    std::to_string(count) + "\n\n";
    }
    writeFile(dir / "l.txt", list);
    Launch how;
    how.terminal = true;
    const RunResult r = finishTool(startTool(dir.path, {"l.txt", "15"}, how));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(maskElapsed(r.out), completeRunOutput(progress));
    std::string last = "\r"; // built up: GCC 12 warns falsely on "text" + string
    last += std::to_string(count) + "/" + std::to_string(count) + " a.las:";
    EXPECT_NE(r.err.find(last), std::string::npos) << r.err.substr(0, 400);
    EXPECT_TRUE(endsCleared(r.err));
}

TEST(Driver, ConvertsNamesOfAnyLength)
{
    TempDir dir;
    const std::string name = std::string(200, 'n') + " with spaces \xC3\xA9.las";
    writeLas(dir, name, LASTYPE_10_FM1);
    const std::string stem = name.substr(0, name.size() - 4);
    expectConverted(dir, {name, "0"}, progressLines(name, stem + ".asc"), {name}, 0,
                    LASTYPE_10_FM1);
}

TEST(Driver, EachListedInputGetsItsOwnDecimals)
{
    TempDir dir;
    double scale2[3] = {0.01, 0.01, 0.01}, scale3[3] = {0.001, 0.001, 0.001};
    double offset[3] = {0.005, 0, 0};
    const auto points = varietyOfPoints(3, 10);
    writeFile(dir / "a.las",
              lasFileBytes(headerForType(LASTYPE_12_FM0, scale2, offset), points, LASTYPE_12_FM0));
    writeFile(dir / "b.las",
              lasFileBytes(headerForType(LASTYPE_12_FM0, scale3, offset), points, LASTYPE_12_FM0));
    writeFile(dir / "l.txt", "a.las b.las");
    const RunResult r = runTool(dir.path, {"l.txt", "1"});
    ASSERT_EQ(r.status, 0);
    const std::string a = readFile(dir / "a.asc"), b = readFile(dir / "b.asc");
    EXPECT_EQ(a, referencePointText(1, LASTYPE_12_FM0, dir / "a.las"));
    EXPECT_EQ(b, referencePointText(1, LASTYPE_12_FM0, dir / "b.las"));
    // The offset's third decimal changes neither count.
    EXPECT_EQ(a.substr(0, a.find('\n', 5) + 1), "\"X\"\n-25.00\n");
    EXPECT_EQ(b.substr(0, b.find('\n', 5) + 1), "\"X\"\n-2.495\n");
}

TEST(Driver, StopsWhenTheHeaderEndsEarly)
{
    TempDir dir;
    writeFile(dir / "a.las", headerBytes(headerForType(LASTYPE_12_FM0)).substr(0, 200));
    const RunResult r = runTool(dir.path, {"a.las", "0"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, bannerText() + progressLines("a.las", "a.asc") +
                         "\nFile a.las ends within its 227-byte header\n");
    EXPECT_EQ(filesIn(dir.path).size(), 1u);
}

TEST(Driver, StopsWhenAListedFileChangedAfterValidation)
{
    // b.las is a link to a.asc, a valid LAS file until a.las's conversion
    // replaces it with point text.
    TempDir dir;
    writeLas(dir, "a.las", LASTYPE_12_FM0, 50);
    writeLas(dir, "a.asc", LASTYPE_12_FM0);
    std::filesystem::create_symlink("a.asc", dir / "b.las");
    writeFile(dir / "l.txt", "a.las b.las");
    const RunResult r = runTool(dir.path, {"l.txt", "3"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, bannerText() + progressLines("a.las", "a.asc") + "1 / 2\n\n" +
                         progressLines("b.las", "b.asc") + "2 / 2\n\n" +
                         "\nFile b.las has changed since it was validated\n");
    EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(3, LASTYPE_12_FM0, dir / "a.las"));
    EXPECT_FALSE(std::filesystem::exists(dir / "b_hdr.asc"));
}

} // namespace

namespace
{

// The decimal counts as a user sees them: in the header report's scale
// line and in every X value.
TEST(Driver, DecimalCountsShowInTheReportAndThePoints)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int> table[] = {
        {1, 0},
        {100, 0},
        {0, 0},
        {inf, 0},
        {0.1, 1},
        {0.5, 1},
        {1.1, 1},
        {0.01, 2},
        {-0.01, 2},
        {0.75, 2},
        {0.001, 3},
        {0.07, 3},
        {0.254, 3},
        {0.0001, 4},
        {0.3048, 4},
        {0.00025, 5},
        {0.0003, 6},
        {0.000000009, 9},
        {0.3333333333333333, 15},
        {1e-10, 32},
        {0.001000000001, 32},
        {std::numeric_limits<double>::denorm_min(), 32},
        {std::numeric_limits<double>::quiet_NaN(), 32},
    };
    for (const auto &[scale, count] : table) {
        TempDir dir;
        double scales[3] = {scale, 1, 1}, offsets[3] = {0.5, 0, 0};
        writeFile(dir / "a.las", lasFileBytes(headerForType(LASTYPE_12_FM0, scales, offsets),
                                              varietyOfPoints(6, 8), LASTYPE_12_FM0));
        const RunResult r = runTool(dir.path, {"a.las", "1"});
        ASSERT_EQ(r.status, 0) << scale;
        char line[512];
        std::snprintf(line, sizeof line, "X Scale Factor:              %12.*f\n", count, scale);
        EXPECT_NE(readFile(dir / "a_hdr.asc").find(line), std::string::npos) << scale;
        EXPECT_EQ(readFile(dir / "a.asc"), referencePointText(1, LASTYPE_12_FM0, dir / "a.las"))
            << scale;
    }
}

std::string headerWith(uint8_t major, uint8_t minor, uint8_t format, uint16_t length)
{
    LAS12Header h = headerForType(LASTYPE_12_FM0);
    h.VersionMajor = major, h.VersionMinor = minor;
    h.PointDataFormatID = format, h.PointDataRecordLength = length;
    return headerBytes(h);
}

// Each way the validator can refuse a file, seen from the command line in
// single-file mode and through a list.
TEST(Driver, EveryValidatorRejectionStopsTheRun)
{
    std::string badSignature = headerWith(1, 2, 0, 20);
    badSignature[3] = 'X';
    // The word on standard error, where there is one; "@" stands for the
    // command's input, the file or its list.
    const std::string undefined =
        "TREVLIN: f.las is LAS 1.1 with point data format 2, which LAS 1.1 does not define\n";
    const std::string extraBytes =
        "TREVLIN: f.las has 2 extra bytes in each point record; TREVLIN -x @ <Format> converts "
        "it\n";
    const struct {
        std::string bytes, message, err;
    } table[] = {
        {badSignature, "\nf.las is not a valid .las file\n\n", ""},
        {headerWith(1, 2, 0, 20).substr(0, 50), "\nf.las is not a valid .las file\n\n",
         "TREVLIN: f.las holds only 50 bytes; a LAS header has 227\n"},
        {headerWith(1, 3, 0, 20), "\nCannot handle las files of version 1.3\n", ""},
        {headerWith(2, 0, 0, 20), "\nCannot handle las files of version 2.x\n", ""},
        {headerWith(1, 2, 4, 20),
         "\nPointDataFormatID in f.las is 4. Only 0, 1, 2, or 3 is accepted\n", ""},
        {headerWith(1, 2, 3, 36),
         "\nData format of f.las (3) is incompatible with Length of Data Record (36)\n",
         extraBytes},
        {headerWith(1, 0, 1, 20),
         "\nData format of f.las (1) is incompatible with Length of Data Record (20)\n", ""},
        {headerWith(1, 1, 2, 26), "", undefined},
    };
    for (const auto &[bytes, message, word] : table) {
        const auto setUp = [&bytes](const TempDir &d) {
            writeFile(d / "f.las", bytes);
            writeFile(d / "l.txt", "f.las\n");
        };
        const auto err = [&word](const std::string &input) {
            const size_t at = word.find('@');
            return at == std::string::npos ? word
                                           : word.substr(0, at) + input + word.substr(at + 1);
        };
        expectFailure({message.c_str(), setUp, {"f.las", "0"}, message, {}, err("f.las")});
        expectFailure({message.c_str(),
                       setUp,
                       {"l.txt", "0"},
                       message + "f.las (listed in l.txt) is not a valid LAS file\n",
                       {},
                       err("l.txt")});
    }
}

} // namespace
