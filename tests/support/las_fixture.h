// Test support: LAS files built byte by byte, temporary directories, and
// running code or the built tool with its standard output captured.
#ifndef TREVLIN_LAS_FIXTURE_H
#define TREVLIN_LAS_FIXTURE_H

#include "HOLVANE_LiDAR.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct TestPoint {
    int32_t X = 0, Y = 0, Z = 0;
    uint16_t Intensity = 0;
    uint8_t bitfield = 0;
    uint8_t Classification = 0;
    uint8_t ScanAngleByte = 0;
    uint8_t UserData = 0;
    uint16_t PointSourceID = 0;
    double GPSTime = 0.0;
    uint16_t Red = 0, Green = 0, Blue = 0;
};

// A consistent header for LASType 1..8 with the given scales and offsets,
// OffsetToData right after the header and `vlrBytes` bytes of VLRs.
LAS12Header headerForType(int16_t LASType, double scale[3], double offset[3],
                          uint32_t vlrBytes = 0);
LAS12Header headerForType(int16_t LASType);

std::string pointBytes(const TestPoint &p, int16_t LASType);
std::string headerBytes(const LAS12Header &h);
// Header, `gap` filler bytes up to OffsetToData, records, then `trailing`.
std::string lasFileBytes(const LAS12Header &h, const std::vector<TestPoint> &points,
                         int16_t LASType, const std::string &trailing = "");

// Points that exercise every column: extremes, signs and bit patterns.
std::vector<TestPoint> varietyOfPoints(unsigned seed, size_t count);

// A point of any format 0-10, with the fields of formats 6-10: 4-bit
// return fields, the flag byte's parts, a 16-bit scan angle and NIR.
struct ExtendedPoint {
    int32_t X = 0, Y = 0, Z = 0;
    uint16_t Intensity = 0;
    uint8_t ReturnNumber = 0, NumberOfReturns = 0; // 0-7 in formats 0-5, 0-15 in 6-10
    uint8_t ClassFlags = 0, ScannerChannel = 0, ScanDirection = 0, EdgeOfFlightLine = 0;
    uint8_t Classification = 0, UserData = 0;
    int16_t ScanAngle = 0; // formats 0-5 store its low byte as ScanAngleRank
    uint16_t PointSourceID = 0;
    double GPSTime = 0.0;
    uint16_t Red = 0, Green = 0, Blue = 0, NIR = 0;
};

// A LAS 1.`minor` file of `format` whose records are `extraBytes` longer
// than the format's, filled with 0xEE; the header is the version's own
// size, with the 64-bit count of LAS 1.4 and `vlrBytes` of VLR space.
std::string extendedLasBytes(uint8_t minor, uint8_t format, unsigned extraBytes,
                             const std::vector<ExtendedPoint> &points, uint32_t vlrBytes = 0);
// The record bytes of one point.
std::string extendedPointBytes(uint8_t format, unsigned extraBytes, const ExtendedPoint &p);

void writeFile(const std::string &path, const std::string &bytes);
std::string readFile(const std::string &path);

// A fresh directory, removed with everything in it at the end of scope.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string path;
    std::string operator/(const std::string &name) const
    {
        return path + "/" + name;
    }
};

// Every regular file below a directory: relative name -> content.
std::map<std::string, std::string> filesIn(const std::string &dir);

struct RunResult {
    int status = -1; // exit status, or -1 when the process did not exit
    int signal = 0;  // the signal that ended the process, if one did
    std::string out; // standard output
    std::string err; // standard error, or what its terminal showed
};

// Variables set for the tool on top of the tests' own environment; a null
// value unsets the variable.
using Environment = std::vector<std::pair<std::string, const char *>>;

// Suspends or resumes the output of the pseudo-terminal `slave` (the path
// of a started tool's standard error), at once.
void holdTerminalOutput(const std::string &slave, bool held);

// Runs the built tool in `dir` with the given arguments (no shell).
RunResult runTool(const std::string &dir, const std::vector<std::string> &args,
                  const Environment &env = {});

// How the tool is started.
struct Launch {
    Environment env;
    // As user nobody when the tests run as root, so that permission bits
    // apply; check whyNobodyCannotRunIn first.
    bool unprivileged = false;
    // Standard error a pseudo-terminal instead of a file, of this many
    // columns (0: as the system sets it up).
    bool terminal = false;
    unsigned short terminalColumns = 0;
    // The terminal's output suspended (as by Ctrl+S) before the tool
    // starts, so that its first write to it waits; holdTerminalOutput lets
    // it go.
    bool outputHeld = false;
    // Largest file the tool may write (ulimit -f), with SIGXFSZ ignored so
    // that a write beyond it fails as on a full disk; 0: no limit.
    uint64_t fileSizeLimit = 0;
    // Standard output to this file (such as /dev/full) instead of the
    // capture; "" captures it.
    std::string standardOutput;
};

// The same in two halves, for tests that act while the tool runs. A tool
// that cannot be started at all throws, rather than report a status.
struct StartedTool {
    int pid;
    std::string outPath, errPath;
    std::shared_ptr<TempDir> capture; // holds stdout and stderr
    int terminal;                     // the pseudo-terminal's master side, or -1
};
StartedTool startTool(const std::string &dir, const std::vector<std::string> &args,
                      const Launch &how = {});
RunResult finishTool(StartedTool started);

// When the tests run as root: why user nobody cannot run the tool in `dir`
// (the build may lie in a directory only root can enter, and then a copy
// of the tool elsewhere is used), or "" when it can. Always "" otherwise.
std::string whyNobodyCannotRunIn(const std::string &dir);

// Standard output that `body` prints, captured in this process.
std::string captureStdout(const std::function<void()> &body);

// Runs `body` in a child process; its standard output and exit status.
RunResult runCaptured(const std::function<void()> &body);

// The banner the tool prints before converting.
std::string bannerText();
// Stdout with the elapsed-time figure replaced by "#".
std::string maskElapsed(const std::string &out);
// Stdout of a complete run: banner, `progress`, elapsed line masked.
std::string completeRunOutput(const std::string &progress);
std::string progressLines(const std::string &lasName, const std::string &ascName);

// Fixed temporary place for a reference text: the oracle's output.
std::string referencePointText(int Format, int16_t LASType, const std::string &lasPath);
std::string referenceHeaderText(const std::string &lasPath, int16_t LASType);

// The text of a gzip file; "(not gzip)" when zlib cannot read all of it
// as one member.
std::string gunzip(const std::string &packed);

#endif
