// Test support: LAS files built byte by byte, temporary directories, and
// child processes with captured output.
#include "las_fixture.h"

#include "reference_writer.h"
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

LAS12Header headerForType(int16_t LASType, double scale[3], double offset[3], uint32_t vlrBytes)
{
    static const uint8_t minor[9] = {0, 0, 0, 1, 1, 2, 2, 2, 2};
    static const uint8_t format[9] = {0, 0, 1, 0, 1, 0, 1, 2, 3};
    LAS12Header h;
    std::memset(&h, 0, sizeof h);
    std::memcpy(h.LASF, "LASF", 4);
    h.VersionMajor = 1;
    h.VersionMinor = minor[LASType];
    std::memcpy(h.SystemIdentifier, "TEST SYSTEM", 11);
    std::memcpy(h.GeneratingSoftware, "fixture", 7);
    h.FileCreationDay = 123;
    h.FileCreationYear = 2024;
    h.HeaderSize = 227;
    h.OffsetToData = 227 + vlrBytes;
    h.PointDataFormatID = format[LASType];
    h.PointDataRecordLength = static_cast<uint16_t>(las_record_size(LASType));
    h.XScaleFactor = scale[0], h.YScaleFactor = scale[1], h.ZScaleFactor = scale[2];
    h.XOffset = offset[0], h.YOffset = offset[1], h.ZOffset = offset[2];
    return h;
}

LAS12Header headerForType(int16_t LASType)
{
    double scale[3] = {0.01, 0.01, 0.001};
    double offset[3] = {400000.0, 4500000.0, 0.0};
    return headerForType(LASType, scale, offset);
}

std::string pointBytes(const TestPoint &p, int16_t LASType)
{
    LAS12fm3 r;
    std::memset(&r, 0, sizeof r);
    r.X = p.X, r.Y = p.Y, r.Z = p.Z, r.Intensity = p.Intensity;
    r.bitfield = p.bitfield, r.Classification = p.Classification;
    std::memcpy(&r.ScanAngleRank, &p.ScanAngleByte, 1);
    r.UserData = p.UserData, r.PointSourceID = p.PointSourceID;
    std::string bytes(reinterpret_cast<const char *>(&r), 20);
    if (las_type_has_gps_time(LASType))
        bytes.append(reinterpret_cast<const char *>(&p.GPSTime), 8);
    if (las_type_has_rgb(LASType)) {
        const uint16_t rgb[3] = {p.Red, p.Green, p.Blue};
        bytes.append(reinterpret_cast<const char *>(rgb), 6);
    }
    return bytes;
}

std::string extendedPointBytes(uint8_t format, unsigned extraBytes, const ExtendedPoint &p)
{
    std::string r(las_format_record_size(format) + extraBytes, '\xEE');
    const auto put = [&r](size_t offset, const auto &value) {
        std::memcpy(&r[offset], &value, sizeof value);
    };
    put(0, p.X), put(4, p.Y), put(8, p.Z), put(12, p.Intensity);
    if (las_format_is_extended(format)) {
        put(14, static_cast<uint8_t>(p.ReturnNumber | p.NumberOfReturns << 4));
        put(15, static_cast<uint8_t>(p.ClassFlags | p.ScannerChannel << 4 | p.ScanDirection << 6 |
                                     p.EdgeOfFlightLine << 7));
        put(16, p.Classification), put(17, p.UserData), put(18, p.ScanAngle);
        put(20, p.PointSourceID), put(22, p.GPSTime);
    } else {
        put(14, static_cast<uint8_t>(p.ReturnNumber | p.NumberOfReturns << 3 |
                                     p.ScanDirection << 6 | p.EdgeOfFlightLine << 7));
        put(15, p.Classification), put(16, static_cast<int8_t>(p.ScanAngle));
        put(17, p.UserData), put(18, p.PointSourceID);
        if (las_format_has_gps_time(format))
            put(20, p.GPSTime);
    }
    const size_t rgb = format == 2 ? 20 : las_format_is_extended(format) ? 30 : 28;
    if (las_format_has_rgb(format))
        put(rgb, p.Red), put(rgb + 2, p.Green), put(rgb + 4, p.Blue);
    if (las_format_has_nir(format))
        put(36, p.NIR);
    // Wave packets of formats 4, 5, 9 and 10 stay as filler: no column
    // prints them.
    return r;
}

std::string extendedLasBytes(uint8_t minor, uint8_t format, unsigned extraBytes,
                             const std::vector<ExtendedPoint> &points, uint32_t vlrBytes)
{
    LAS15Header whole{};
    LAS14Header &h = whole.Base;
    h.Public = headerForType(LASTYPE_12_FM0);
    h.Public.VersionMinor = minor, h.Public.PointDataFormatID = format;
    h.Public.PointDataRecordLength =
        static_cast<uint16_t>(las_format_record_size(format) + extraBytes);
    h.Public.HeaderSize = static_cast<uint16_t>(las_header_size_of_version(minor));
    h.Public.OffsetToData = h.Public.HeaderSize + vlrBytes;
    // LAS 1.4 writers leave the legacy count 0 for formats 6-10.
    if (!las_format_is_extended(format))
        h.Public.NumberOfPointReturns = static_cast<uint32_t>(points.size());
    h.NumberOfPointRecords = points.size();
    if (minor >= 5) {
        // GPS time type, WKT and the time offset flag, as LAS 1.5 writers set them.
        h.Public.GlobalEncoding = 1 | 16 | 64;
        whole.MaxGPSTime = 1e9 + 0.5, whole.MinGPSTime = 12.5, whole.TimeOffset = 1000;
    }
    std::string bytes(reinterpret_cast<const char *>(&whole), h.Public.HeaderSize);
    bytes.resize(h.Public.OffsetToData, '\xCC');
    for (const ExtendedPoint &p : points)
        bytes += extendedPointBytes(format, extraBytes, p);
    return bytes;
}

std::string headerBytes(const LAS12Header &h)
{
    return std::string(reinterpret_cast<const char *>(&h), sizeof h);
}

std::string lasFileBytes(const LAS12Header &h, const std::vector<TestPoint> &points,
                         int16_t LASType, const std::string &trailing)
{
    // A header that declares no points is taken to declare those given, as
    // a sound file does; a test of a wrong count declares one.
    LAS12Header declared = h;
    if (declared.NumberOfPointReturns == 0)
        declared.NumberOfPointReturns = static_cast<uint32_t>(points.size());
    std::string bytes = headerBytes(declared);
    if (h.OffsetToData > bytes.size())
        bytes.resize(h.OffsetToData, '\xCC');
    for (const TestPoint &p : points)
        bytes += pointBytes(p, LASType);
    return bytes + trailing;
}

std::vector<TestPoint> varietyOfPoints(unsigned seed, size_t count)
{
    std::vector<TestPoint> points;
    // Fixed edge cases first: bit patterns, signed scan angles, extremes.
    const uint8_t bits[] = {0xFF, 0x09, 0x80, 0x52, 0x00, 0x7F};
    const uint8_t angles[] = {0x00, 0x5A, 0x7F, 0x80, 0xA6, 0xFF};
    for (int k = 0; k < 6; ++k) {
        TestPoint p;
        p.X = k * 1000 - 2500, p.Y = -987 + k, p.Z = 456 * k - 1000;
        p.Intensity = k == 0 ? 0xFFFF : static_cast<uint16_t>(k * 17);
        p.bitfield = bits[k], p.ScanAngleByte = angles[k];
        p.Classification = k == 1 ? 0xC8 : static_cast<uint8_t>(k);
        p.UserData = k == 2 ? 0xFF : static_cast<uint8_t>(k);
        p.PointSourceID = k == 3 ? 0xFFFF : static_cast<uint16_t>(k * 7);
        p.GPSTime = k == 0 ? 12.5 : 1.0e8 + k * 0.123456789;
        p.Red = 0xFFFF, p.Green = static_cast<uint16_t>(k), p.Blue = 0x8000;
        points.push_back(p);
    }
    TestPoint extreme;
    extreme.X = INT32_MIN, extreme.Y = INT32_MAX, extreme.Z = -1;
    extreme.GPSTime = -0.0;
    points.push_back(extreme);
    std::mt19937 rng(seed);
    while (points.size() < count) {
        TestPoint p;
        p.X = static_cast<int32_t>(rng()), p.Y = static_cast<int32_t>(rng());
        p.Z = static_cast<int32_t>(rng() % 2000000) - 1000000;
        p.Intensity = static_cast<uint16_t>(rng()), p.bitfield = static_cast<uint8_t>(rng());
        p.Classification = static_cast<uint8_t>(rng());
        p.ScanAngleByte = static_cast<uint8_t>(rng()), p.UserData = static_cast<uint8_t>(rng());
        p.PointSourceID = static_cast<uint16_t>(rng());
        p.GPSTime = static_cast<double>(rng()) / 1024.0 + static_cast<double>(rng() % 1000000);
        p.Red = static_cast<uint16_t>(rng()), p.Green = static_cast<uint16_t>(rng());
        p.Blue = static_cast<uint16_t>(rng());
        points.push_back(p);
    }
    return points;
}

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "trevlin-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

std::map<std::string, std::string> filesIn(const std::string &dir)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(dir)) {
        const std::string name = fs::relative(entry.path(), dir).string();
        if (entry.is_symlink())
            files[name] = "<link>";
        else if (entry.is_directory())
            files[name] = "<dir>";
        else if (!entry.is_regular_file())
            files[name] = "<special>"; // a FIFO would block the read
        else
            files[name] = readFile(entry.path().string());
    }
    return files;
}

namespace
{

// Waits for a child whose stdout and stderr went to the two files.
RunResult collect(pid_t pid, const std::string &outPath, const std::string &errPath)
{
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

// Everything written to the terminal, until the last writer has closed it.
std::string drainTerminal(int master)
{
    std::string shown;
    char chunk[4096];
    for (ssize_t n; (n = read(master, chunk, sizeof chunk)) > 0;)
        shown.append(chunk, static_cast<size_t>(n));
    close(master);
    return shown;
}

int openTerminal()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    return master;
}

void redirect(const std::string &path, int fd)
{
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, fd);
    close(file);
}

} // namespace

namespace
{

const uid_t NOBODY = 65534;

bool becomeNobody()
{
    return setgid(NOBODY) == 0 && setuid(NOBODY) == 0;
}

// Whether user nobody may execute `program` with `dir` as working directory.
bool nobodyCanRun(const std::string &program, const std::string &dir)
{
    const pid_t pid = fork();
    if (pid == 0)
        _exit(becomeNobody() && access(program.c_str(), X_OK) == 0 && chdir(dir.c_str()) == 0 ? 0
                                                                                              : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The built tool, or a copy of it in a fresh directory that everyone may
// enter when nobody cannot reach the build; "" when neither works.
struct NobodysTool {
    std::string path;
    std::string copyDir;
    explicit NobodysTool(const char *built)
    {
        if (nobodyCanRun(built, "/")) {
            path = built;
            return;
        }
        std::string pattern = (fs::temp_directory_path() / "trevlin-tool-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return;
        copyDir = pattern;
        const std::string copy = copyDir + "/TREVLIN";
        std::error_code failed;
        fs::copy_file(built, copy, failed);
        const fs::perms everyoneMayRun = fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec;
        fs::permissions(copyDir, everyoneMayRun);
        fs::permissions(copy, everyoneMayRun);
        if (!failed && nobodyCanRun(copy, "/"))
            path = copy;
    }
    ~NobodysTool()
    {
        std::error_code ignored;
        if (!copyDir.empty())
            fs::remove_all(copyDir, ignored);
    }
};

// The settings that only the test build reads, by their prefix.
bool isTestSetting(const std::string &name)
{
    return name.rfind("TREVLIN_TEST_", 0) == 0;
}

// The release build, or the test build where a test setting is given to
// the run or inherited from the tests' own environment (as CI sets them
// for whole passes).
bool needsTestBuild(const Environment &env)
{
    for (const char *inherited : {"TREVLIN_TEST_JOB_RECORDS", "TREVLIN_TEST_PROGRESS_DELAY_MS"})
        if (std::getenv(inherited))
            return true;
    for (const auto &[name, value] : env)
        if (value && isTestSetting(name))
            return true;
    return false;
}

const std::string &toolForNobody(bool testBuild)
{
    static const NobodysTool release(TREVLIN_PATH), test(TREVLIN_TEST_PATH);
    return testBuild ? test.path : release.path;
}

// What the child reports through the pipe when it cannot become the tool.
void failLaunch(int pipeEnd, const char *step)
{
    const int error = errno;
    const std::string message = std::string(step) + ": " + std::strerror(error);
    [[maybe_unused]] const ssize_t n = write(pipeEnd, message.data(), message.size());
    _exit(127);
}

} // namespace

std::string whyNobodyCannotRunIn(const std::string &dir)
{
    if (geteuid() != 0)
        return "";
    if (toolForNobody(false).empty())
        return "user nobody can run neither " + std::string(TREVLIN_PATH) + " nor a copy of it";
    if (!nobodyCanRun(toolForNobody(false), dir))
        return "user nobody cannot enter " + dir;
    return "";
}

namespace
{

// An open end of the terminal, so that its state outlives the call.
int openSlave(const std::string &slave)
{
    const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + slave);
    return fd;
}

} // namespace

void holdTerminalOutput(const std::string &slave, bool held)
{
    const int fd = openSlave(slave);
    const bool done = tcflow(fd, held ? TCOOFF : TCOON) == 0;
    close(fd);
    if (!done)
        throw std::runtime_error("tcflow failed");
}

StartedTool startTool(const std::string &dir, const std::vector<std::string> &args,
                      const Launch &how)
{
    auto capture = std::make_shared<TempDir>();
    const std::string outPath = *capture / "stdout";
    if (!how.standardOutput.empty())
        writeFile(outPath, "");
    const int terminal = how.terminal ? openTerminal() : -1;
    if (terminal >= 0 && how.terminalColumns > 0) {
        const winsize size{24, how.terminalColumns, 0, 0};
        if (ioctl(terminal, TIOCSWINSZ, &size) != 0)
            throw std::runtime_error("cannot size the pseudo-terminal");
    }
    const std::string errPath = terminal >= 0 ? ptsname(terminal) : *capture / "stderr";
    // Held open until the tool has its own end of the terminal.
    const int heldEnd = terminal >= 0 && how.outputHeld ? openSlave(errPath) : -1;
    if (heldEnd >= 0 && tcflow(heldEnd, TCOOFF) != 0)
        throw std::runtime_error("tcflow failed");
    const bool asNobody = how.unprivileged && geteuid() == 0;
    const bool testBuild = needsTestBuild(how.env);
    std::string program = asNobody    ? toolForNobody(testBuild)
                          : testBuild ? TREVLIN_TEST_PATH
                                      : TREVLIN_PATH;
    std::vector<char *> argv;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string &a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // The child writes why it could not start the tool into this pipe;
    // a successful exec closes it empty.
    int report[2];
    if (pipe(report) != 0 || fcntl(report[1], F_SETFD, FD_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        close(report[0]);
        redirect(how.standardOutput.empty() ? outPath : how.standardOutput, 1);
        redirect(errPath, 2);
        if (asNobody && !becomeNobody())
            failLaunch(report[1], "setuid nobody");
        if (chdir(dir.c_str()) != 0)
            failLaunch(report[1], ("chdir " + dir).c_str());
        if (how.fileSizeLimit > 0) {
            const rlimit limit{how.fileSizeLimit, how.fileSizeLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || signal(SIGXFSZ, SIG_IGN) == SIG_ERR)
                failLaunch(report[1], "file size limit");
        }
        for (const auto &[name, value] : how.env)
            if (value ? setenv(name.c_str(), value, 1) != 0 : unsetenv(name.c_str()) != 0)
                failLaunch(report[1], ("setenv " + name).c_str());
        execv(program.c_str(), argv.data());
        failLaunch(report[1], ("exec " + program).c_str());
    }
    close(report[1]);
    char why[512];
    const ssize_t n = read(report[0], why, sizeof why);
    close(report[0]);
    if (heldEnd >= 0)
        close(heldEnd);
    if (n > 0) {
        waitpid(pid, nullptr, 0);
        throw std::runtime_error("the tool could not be started: " +
                                 std::string(why, static_cast<size_t>(n)));
    }
    return StartedTool{pid, outPath, errPath, capture, terminal};
}

RunResult finishTool(StartedTool started)
{
    if (started.terminal < 0)
        return collect(started.pid, started.outPath, started.errPath);
    const std::string shown = drainTerminal(started.terminal);
    RunResult r = collect(started.pid, started.outPath, "/dev/null");
    r.err = shown;
    return r;
}

RunResult runTool(const std::string &dir, const std::vector<std::string> &args,
                  const Environment &env)
{
    Launch how;
    how.env = env;
    return finishTool(startTool(dir, args, how));
}

RunResult runCaptured(const std::function<void()> &body)
{
    TempDir capture;
    const std::string outPath = capture / "stdout", errPath = capture / "stderr";
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        redirect(outPath, 1);
        redirect(errPath, 2);
        body();
        std::fflush(stdout);
        _exit(0);
    }
    return collect(pid, outPath, errPath);
}

std::string captureStdout(const std::function<void()> &body)
{
    TempDir capture;
    const std::string outPath = capture / "stdout";
    std::fflush(stdout);
    const int saved = dup(1);
    redirect(outPath, 1);
    body();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return readFile(outPath);
}

std::string bannerText()
{
    return "\nHOLVANE LiDAR Utilities\n\nDeveloped by the HOLVANE LiDAR Utilities team\n"
           "HOLVANE Geospatial Laboratory\n1 Survey Lane, Trevlin\n\n"
           "* * No warranty regarding script behavior is given or implied * *\n\n"
           "* * Please acknowledge the author's efforts whenever possible * *\n\n";
}

std::string maskElapsed(const std::string &out)
{
    const std::string label = "\nElapsed time: ";
    const size_t at = out.rfind(label);
    if (at == std::string::npos)
        return out;
    const size_t end = out.find(" seconds\n\n", at);
    if (end == std::string::npos)
        return out;
    const std::string figure = out.substr(at + label.size(), end - at - label.size());
    const size_t point = figure.find('.');
    if (point == std::string::npos || figure.size() - point != 4)
        return out; // not three decimals: left as it is, so the compare fails
    return out.substr(0, at + label.size()) + "#" + out.substr(end);
}

std::string completeRunOutput(const std::string &progress)
{
    return bannerText() + progress + "\nElapsed time: # seconds\n\n";
}

std::string progressLines(const std::string &lasName, const std::string &ascName)
{
    return "Input LAS File:     " + lasName + "\nOutput ASCII File:  " + ascName + "\n";
}

namespace
{

// Independent transcription of the decimal-count rule for the oracle.
int referenceDecimals(double s)
{
    int32_t count = 0;
    uint32_t m = 1;
    while (count < 32 &&
           !(static_cast<int32_t>(m) * s == std::floor(static_cast<int32_t>(m) * s))) {
        m *= 10;
        ++count;
    }
    return count;
}

std::string captureToString(const std::function<void(FILE *)> &write)
{
    FILE *tmp = std::tmpfile();
    write(tmp);
    std::fflush(tmp);
    std::rewind(tmp);
    std::string text;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, tmp)) > 0)
        text.append(chunk, n);
    std::fclose(tmp);
    return text;
}

LAS12Header readHeaderOf(const std::string &lasPath)
{
    LAS12Header h;
    const std::string bytes = readFile(lasPath);
    std::memcpy(&h, bytes.data(), sizeof h);
    return h;
}

} // namespace

std::string referencePointText(int Format, int16_t LASType, const std::string &lasPath)
{
    const LAS12Header h = readHeaderOf(lasPath);
    return captureToString([&](FILE *out) {
        FILE *in = std::fopen(lasPath.c_str(), "rb");
        std::fseek(in, static_cast<long>(h.OffsetToData), SEEK_SET);
        referenceWritePoints(Format, LASType, in, out, &h, referenceDecimals(h.XScaleFactor),
                             referenceDecimals(h.YScaleFactor), referenceDecimals(h.ZScaleFactor));
        std::fclose(in);
    });
}

std::string referenceHeaderText(const std::string &lasPath, int16_t LASType)
{
    const LAS12Header h = readHeaderOf(lasPath);
    return captureToString([&](FILE *out) {
        referenceWriteHeader(out, &h, LASType, referenceDecimals(h.XScaleFactor),
                             referenceDecimals(h.YScaleFactor), referenceDecimals(h.ZScaleFactor));
    });
}

// The text of a gzip file; "(not gzip)" when zlib cannot read all of it
// as one member.
std::string gunzip(const std::string &packed)
{
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return "(not gzip)";
    std::string text;
    char out[65536];
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef *>(out);
        z.avail_out = sizeof out;
        result = inflate(&z, Z_NO_FLUSH);
        text.append(out, sizeof out - z.avail_out);
    }
    const bool whole = result == Z_STREAM_END && z.avail_in == 0;
    inflateEnd(&z);
    return whole ? text : "(not gzip)";
}
