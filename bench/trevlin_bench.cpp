// TREVLIN benchmark: converts a generated LAS 1.2 point-format-3 file in
// Formats 15 and 0 with the TREVLIN executable at several thread counts,
// alternating with the I/O floor (two whole processes: `cat big.las
// >/dev/null`, then `cat big.asc >copy`), round after round with no sync
// between runs. For each thread count it reports the tool's time against
// the floor and against a plain fprintf converter, its peak resident
// memory, and whether its text is byte-identical to the fprintf text; then
// the cost per point of each stage (reading, formatting, writing), from
// which the speed on a machine with more cores is estimated. Then the same
// points as LAS 1.4 format 6 against LAS 1.2 format 1, read with -x.
//
// Usage: trevlin_bench [--points N] [--runs R] [--threads N] [--dir DIR]
//                      [--tool TREVLIN]
//        trevlin_bench --shape-only 1 [--points N] [--runs R]   (only -c X,Y,Z
//        and --stdout against Format 15)
//        trevlin_bench --points N --make FILE   (only writes the test file,
//        for profiling the tool by hand)
//        trevlin_bench --extended-only 1 [--points N] [--runs R]   (only LAS
//        1.4 format 6 against LAS 1.2 format 1)
#include "coordinate_precision.h"
#include "las_input.h"
#include "laz_decoder.h"
#include "reference_writer.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

struct Options {
    uint64_t points = 10000000;
    int runs = 9;
    std::vector<int> threads{1, 2};
    std::string dir;
    std::string make;
    bool extendedOnly = false;           // --extended-only 1: just the LAS 1.4 comparison
    std::string laz = TREVLIN_BENCH_LAZ; // --laz FILE: the LAZ file of the LAZ runs
    bool lazOnly = false;                // --laz-only 1: just the LAZ runs
    bool shapeOnly = false;              // --shape-only 1: just -c and --stdout
    std::string tool = TREVLIN_PATH;     // another build, to compare with
};

Options parseOptions(int argc, char **argv)
{
    Options o;
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string flag = argv[k];
        if (flag == "--points")
            o.points = std::stoull(argv[k + 1]);
        else if (flag == "--runs")
            o.runs = std::max(1, std::stoi(argv[k + 1]));
        else if (flag == "--threads")
            o.threads.push_back(std::max(1, std::stoi(argv[k + 1])));
        else if (flag == "--dir")
            o.dir = argv[k + 1];
        else if (flag == "--tool")
            o.tool = std::filesystem::absolute(argv[k + 1]).string();
        else if (flag == "--make")
            o.make = argv[k + 1];
        else if (flag == "--extended-only")
            o.extendedOnly = std::string(argv[k + 1]) == "1";
        else if (flag == "--laz")
            o.laz = argv[k + 1];
        else if (flag == "--laz-only")
            o.lazOnly = std::string(argv[k + 1]) == "1";
        else if (flag == "--shape-only")
            o.shapeOnly = std::string(argv[k + 1]) == "1";
    }
    return o;
}

LAS12Header benchHeader(uint64_t points)
{
    LAS12Header h;
    std::memset(&h, 0, sizeof h);
    std::memcpy(h.LASF, "LASF", 4);
    h.VersionMajor = 1, h.VersionMinor = 2;
    h.HeaderSize = 227, h.OffsetToData = 227;
    h.PointDataFormatID = 3, h.PointDataRecordLength = 34;
    h.NumberOfPointReturns = static_cast<uint32_t>(std::min<uint64_t>(points, UINT32_MAX));
    h.XScaleFactor = 0.01, h.YScaleFactor = 0.01, h.ZScaleFactor = 0.001;
    h.XOffset = 494000.0, h.YOffset = 5420000.0, h.ZOffset = 0.0;
    return h;
}

// A 1 km tile at centimetre resolution, heights of a few hundred metres,
// GPS times of one flight, realistic attribute ranges.
void writeBenchFile(const std::string &path, uint64_t points)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    const LAS12Header h = benchHeader(points);
    std::fwrite(&h, sizeof h, 1, f);
    std::mt19937_64 rng(20261208);
    std::vector<LAS12fm3> chunk(65536);
    for (uint64_t done = 0; done < points;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), points - done));
        for (size_t k = 0; k < n; ++k) {
            LAS12fm3 &r = chunk[k];
            const uint64_t bits = rng();
            r.X = static_cast<int32_t>(bits % 100000);
            r.Y = static_cast<int32_t>((bits >> 20) % 100000);
            r.Z = static_cast<int32_t>((bits >> 40) % 400000) + 100000;
            r.Intensity = static_cast<uint16_t>(bits >> 3);
            r.bitfield = static_cast<uint8_t>(bits >> 11);
            r.Classification = static_cast<uint8_t>((bits >> 17) % 19);
            r.ScanAngleRank = static_cast<int8_t>(static_cast<int>((bits >> 23) % 61) - 30);
            r.UserData = 0;
            r.PointSourceID = static_cast<uint16_t>(7 + (done + k) / 1000000);
            r.GPSTime = 171234567.0 + static_cast<double>(done + k) * 0.0000123;
            r.Red = static_cast<uint16_t>(bits >> 29), r.Green = static_cast<uint16_t>(bits >> 37);
            r.Blue = static_cast<uint16_t>(bits >> 45);
        }
        std::fwrite(chunk.data(), sizeof(LAS12fm3), n, f);
        done += n;
    }
    std::fclose(f);
}

// The same points as a LAS 1.2 format-1 file (28-byte records) and as a
// LAS 1.4 format-6 file (30-byte records, the 64-bit count), so that the
// cost of the newer records is seen apart from the size of the data.
void writeTwinFiles(const std::string &las12, const std::string &las14, uint64_t points)
{
    LAS12Header h = benchHeader(points);
    h.PointDataFormatID = 1, h.PointDataRecordLength = 28;
    LAS14Header h14{};
    h14.Public = benchHeader(points);
    h14.Public.VersionMinor = 4, h14.Public.HeaderSize = 375, h14.Public.OffsetToData = 375;
    h14.Public.PointDataFormatID = 6, h14.Public.PointDataRecordLength = 30;
    h14.Public.NumberOfPointReturns = 0;
    h14.NumberOfPointRecords = points;
    FILE *f12 = std::fopen(las12.c_str(), "wb"), *f14 = std::fopen(las14.c_str(), "wb");
    std::fwrite(&h, sizeof h, 1, f12);
    std::fwrite(&h14, sizeof h14, 1, f14);
    std::mt19937_64 rng(20261209);
    std::vector<LAS12fm1> chunk12(65536);
    std::vector<LAS14fm6> chunk14(65536);
    for (uint64_t done = 0; done < points;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk12.size(), points - done));
        for (size_t k = 0; k < n; ++k) {
            LAS12fm1 &a = chunk12[k];
            LAS14fm6 &b = chunk14[k];
            const uint64_t bits = rng();
            a.X = b.X = static_cast<int32_t>(bits % 100000);
            a.Y = b.Y = static_cast<int32_t>((bits >> 20) % 100000);
            a.Z = b.Z = static_cast<int32_t>((bits >> 40) % 400000) + 100000;
            a.Intensity = b.Intensity = static_cast<uint16_t>(bits >> 3);
            const unsigned ret = 1 + (bits >> 11) % 5, count = ret + (bits >> 14) % 3;
            a.bitfield = static_cast<uint8_t>(ret | count << 3 | ((bits >> 17) & 1) << 6);
            b.ReturnBits = static_cast<uint8_t>(ret | count << 4);
            b.FlagBits = static_cast<uint8_t>(((bits >> 17) & 1) << 6);
            a.Classification = b.Classification = static_cast<uint8_t>((bits >> 18) % 19);
            const int angle = static_cast<int>((bits >> 23) % 61) - 30;
            a.ScanAngleRank = static_cast<int8_t>(angle);
            b.ScanAngle = static_cast<int16_t>(angle * 1000 / 6);
            a.UserData = b.UserData = 0;
            a.PointSourceID = b.PointSourceID = static_cast<uint16_t>(7 + (done + k) / 1000000);
            a.GPSTime = b.GPSTime = 171234567.0 + static_cast<double>(done + k) * 0.0000123;
        }
        std::fwrite(chunk12.data(), sizeof(LAS12fm1), n, f12);
        std::fwrite(chunk14.data(), sizeof(LAS14fm6), n, f14);
        done += n;
    }
    std::fclose(f12);
    std::fclose(f14);
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string slurp(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    std::string bytes;
    if (!f)
        return bytes;
    char chunk[1 << 16];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        bytes.append(chunk, n);
    std::fclose(f);
    return bytes;
}

template <typename T> T fieldOf(const std::string &bytes, size_t offset)
{
    T v{};
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

// The uncompressed twin of the benchmark's LAZ file, made as its README
// says: 91 copies of autzen_trim's records side by side, 1 m apart.
bool writeLazTwin(const std::string &path)
{
    const std::string source =
        slurp(std::string(TREVLIN_TEST_DATA) + "/PDAL__PDAL__autzen_trim.las");
    if (source.size() < LAS_HEADER_SIZE)
        return false;
    LAS12Header h;
    std::memcpy(&h, source.data(), sizeof h);
    const size_t length = h.PointDataRecordLength;
    const int32_t shift = static_cast<int32_t>((h.MaxX - h.MinX) / h.XScaleFactor) + 100;
    std::string header = source.substr(0, h.OffsetToData);
    LAS12Header twin = h;
    twin.NumberOfPointReturns *= 91;
    for (uint32_t &n : twin.NumberOfPointsByReturn)
        n *= 91;
    twin.MaxX = h.MaxX + shift * h.XScaleFactor * 90;
    std::memcpy(&header[0], &twin, sizeof twin);
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fwrite(header.data(), 1, header.size(), f);
    const std::string records = source.substr(h.OffsetToData, length * h.NumberOfPointReturns);
    for (int32_t k = 0; k < 91; ++k) {
        std::string copy = records;
        for (size_t r = 0; r + length <= copy.size(); r += length) {
            const int32_t x = fieldOf<int32_t>(copy, r) + k * shift;
            std::memcpy(&copy[r], &x, 4);
        }
        std::fwrite(copy.data(), 1, copy.size(), f);
    }
    return std::fclose(f) == 0;
}

// Decoding alone, on one thread, in this process: every chunk of the
// file, read whole first. Negative when a chunk cannot be decoded.
double decodeOnce(const std::string &laz, uint64_t *points)
{
    const std::string file = slurp(laz);
    const auto start = std::chrono::steady_clock::now();
    const auto *bytes = reinterpret_cast<const unsigned char *>(file.data());
    const uint16_t length = fieldOf<uint16_t>(file, 105);
    const uint32_t data = fieldOf<uint32_t>(file, 96);
    size_t vlr = fieldOf<uint16_t>(file, 94);
    LazLayout layout;
    for (uint32_t k = 0; k < fieldOf<uint32_t>(file, 100); ++k) {
        const size_t n = fieldOf<uint16_t>(file, vlr + 20);
        if (file.compare(vlr + 2, 14, "laszip encoded") == 0)
            lazLayoutOf(bytes + vlr + 54, n, length, &layout);
        vlr += 54 + n;
    }
    const uint64_t table = fieldOf<uint64_t>(file, data);
    std::vector<LazChunk> chunks;
    lazChunksOf(layout, data + 8, bytes + table, file.size() - table, table,
                fieldOf<uint32_t>(file, 107), &chunks);
    std::vector<unsigned char> records;
    *points = 0;
    for (const LazChunk &c : chunks) {
        records.resize(c.points * length);
        size_t used = 0;
        if (!lazDecodeChunk(layout, bytes + c.start, c.bytes, c.points, records.data(), &used).ok())
            return -1;
        *points += c.points;
    }
    return secondsSince(start);
}

// How a child process is started: its program and arguments, where its
// standard output goes, TREVLIN_THREADS, and whether its standard error
// is a pseudo-terminal (where the progress line is drawn) or /dev/null.
struct Child {
    std::vector<std::string> argv;
    std::string stdoutPath = "/dev/null";
    int threads = 0; // 0: TREVLIN_THREADS left as it is
    bool terminal = false;
    std::vector<std::pair<std::string, std::string>> env = {}; // further variables
};

struct ChildRun {
    double seconds; // wall time; negative when the child failed
    double peakMiB; // peak resident memory
};

// The child's side: redirections, then exec; never returns.
[[noreturn]] void becomeChild(const Child &c, const std::string &dir, int terminal)
{
    const int out = open(c.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = terminal >= 0 ? open(ptsname(terminal), O_WRONLY) : open("/dev/null", O_WRONLY);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(dir.c_str()) != 0)
        _exit(120);
    if (c.threads > 0)
        setenv("TREVLIN_THREADS", std::to_string(c.threads).c_str(), 1);
    for (const auto &[name, value] : c.env)
        setenv(name.c_str(), value.c_str(), 1);
    std::vector<char *> argv;
    for (const std::string &a : c.argv)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(121);
}

// A pseudo-terminal whose output is read and thrown away, so that a
// progress line never blocks the child; -1 when none can be had.
int openTerminal()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    return master;
}

ChildRun run(const Child &c, const std::string &dir)
{
    const int terminal = c.terminal ? openTerminal() : -1;
    std::fflush(stdout); // or the child would print our buffered lines again
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
        becomeChild(c, dir, terminal);
    int status = 0;
    struct rusage usage {
    };
    char drain[4096];
    while (terminal >= 0 && waitpid(pid, &status, WNOHANG) == 0)
        if (read(terminal, drain, sizeof drain) <= 0)
            break;
    wait4(pid, &status, 0, &usage);
    const double seconds = secondsSince(start);
    if (terminal >= 0)
        close(terminal);
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return ChildRun{ok ? seconds : -1.0, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

// The fprintf reference conversion, timed from opening the input to
// closing the output.
double referenceOnce(const std::string &las, const std::string &out, int Format)
{
    const auto start = std::chrono::steady_clock::now();
    FILE *fin = std::fopen(las.c_str(), "rb");
    FILE *fout = std::fopen(out.c_str(), "w");
    LAS12Header h;
    read_exact(fin, &h, sizeof h);
    const CoordinateDigits d = determineCoordinatePrecision(&h);
    seek_from_start(fin, h.OffsetToData);
    referenceWritePoints(Format, LASTYPE_12_FM3, fin, fout, &h, d.x, d.y, d.z);
    std::fclose(fin);
    std::fclose(fout);
    return secondsSince(start);
}

bool sameBytes(const std::string &a, const std::string &b)
{
    FILE *fa = std::fopen(a.c_str(), "rb"), *fb = std::fopen(b.c_str(), "rb");
    static char ba[1 << 16], bb[1 << 16];
    bool same = fa && fb;
    while (same) {
        const size_t na = std::fread(ba, 1, sizeof ba, fa), nb = std::fread(bb, 1, sizeof bb, fb);
        same = na == nb && std::memcmp(ba, bb, na) == 0;
        if (na == 0)
            break;
    }
    if (fa)
        std::fclose(fa);
    if (fb)
        std::fclose(fb);
    return same;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One way of running the tool, and what its runs gave.
struct Config {
    std::string label;
    int threads;
    bool terminal;
    std::vector<double> seconds, perFloor;
    double peakMiB = 0;
    bool identical = true;
};

// The floor of one round: reading the LAS file and writing the text, as
// two whole processes; their times, read and write.
std::pair<double, double> floorOnce(const std::string &dir, const std::string &text)
{
    const double read = run(Child{{"cat", "bench.las"}}, dir).seconds;
    const double write = run(Child{{"cat", text}, dir + "/copy.asc"}, dir).seconds;
    // Gone at once, so that the dirty pages the next runs meet are their own.
    std::filesystem::remove(dir + "/copy.asc");
    return {read, write};
}

// The tool's whole run, its output removed first so that every run starts
// alike; its text is then compared with the reference.
void toolOnce(const Options &o, const std::string &Format, const std::string &refText, Config *c,
              double floorSeconds)
{
    const std::string out = o.dir + "/bench.asc";
    std::filesystem::remove(out);
    const ChildRun r =
        run(Child{{o.tool, "bench.las", Format}, "/dev/null", c->threads, c->terminal}, o.dir);
    c->identical = c->identical && r.seconds > 0 && sameBytes(out, refText);
    c->seconds.push_back(r.seconds);
    c->perFloor.push_back(r.seconds / floorSeconds);
    c->peakMiB = std::max(c->peakMiB, r.peakMiB);
}

// Reading and formatting without writing: the one-thread tool with its
// output a link to /dev/null.
double readAndFormatOnce(const Options &o, const std::string &Format)
{
    const std::string out = o.dir + "/bench.asc";
    std::filesystem::remove(out);
    std::filesystem::create_symlink("/dev/null", out);
    const double seconds = run(Child{{o.tool, "bench.las", Format}, "/dev/null", 1}, o.dir).seconds;
    std::filesystem::remove(out);
    return seconds;
}

Config configOf(const std::string &label, int threads, bool terminal)
{
    Config c;
    c.label = label, c.threads = threads, c.terminal = terminal;
    return c;
}

std::vector<Config> configsFor(const Options &o)
{
    std::vector<Config> configs;
    for (int t : o.threads)
        configs.push_back(
            configOf(std::to_string(t) + (t == 1 ? " thread" : " threads"), t, false));
    configs.push_back(configOf("1 thread, stderr a terminal", 1, true));
    return configs;
}

void printTable(int Format, const Options &o, const std::vector<Config> &configs,
                double floorMedian, double fprintfSeconds)
{
    std::printf("  %-30s %10s %13s %9s %10s\n", "", "tool/floor", "tool/fprintf", "peak MiB",
                "identical");
    for (const Config &c : configs)
        std::printf("  %-30s %10.2f %13.3f %9.1f %10s\n", c.label.c_str(), median(c.perFloor),
                    median(c.seconds) / fprintfSeconds, c.peakMiB, c.identical ? "yes" : "NO");
    std::vector<double> twoAgainstOne;
    for (size_t k = 0; k < configs[0].seconds.size() && configs.size() > 2; ++k)
        twoAgainstOne.push_back(configs[1].seconds[k] / configs[0].seconds[k]);
    std::printf("  Format %d: floor %.3f s, fprintf %.3f s, 1 thread %.3f s", Format, floorMedian,
                fprintfSeconds, median(configs[0].seconds));
    if (!twoAgainstOne.empty())
        std::printf("; %s against 1 thread: %.2f", configs[1].label.c_str(), median(twoAgainstOne));
    std::printf(" (medians of %d rounds)\n", o.runs);
}

// Per point: reading, formatting and writing, each on one core. The writes
// into one file are serial, so with C cores a run takes at least the write,
// and at least the work of all three stages shared by the C cores.
void printStages(const Options &o, double read, double readAndFormat, double write)
{
    const double n = static_cast<double>(o.points) / 1e9;
    const double format = std::max(0.0, readAndFormat - read);
    std::printf("  per point: reading %.1f ns, formatting %.1f ns, writing %.1f ns\n", read / n,
                format / n, write / n);
    for (int cores : {2, 8}) {
        const double estimate = std::max(write, (read + format + write) / cores);
        std::printf("  estimate for %d cores: %.3f s, %.2f x the floor\n", cores, estimate,
                    estimate / (read + write));
    }
}

bool benchGzip(const Options &o, int Format, const std::string &refText);
void benchSync(const Options &o);

// Peak memory of one conversion (Format 0) at 1, 2 and 256 threads, plain
// and with -z, of the LAZ file and of its uncompressed twin: the budget a
// batch job must give, whatever the file says of its chunks.
void benchMemory(const Options &o)
{
    std::printf("  peak memory, MiB, Format 0      -j 1    -j 2  -j 256\n");
    for (const char *name : {"bench.laz", "twin.las"})
        for (const bool gzip : {false, true}) {
            std::printf("  %-9s %-20s", name[0] == 'b' ? "LAZ" : "LAS", gzip ? "-z" : "plain");
            for (const char *threads : {"1", "2", "256"}) {
                std::vector<std::string> args{o.tool, "-x", "-q", "-j", threads};
                if (gzip)
                    args.push_back("-z");
                args.insert(args.end(), {name, "0"});
                std::printf(" %7.1f", run(Child{args, "/dev/null"}, o.dir).peakMiB);
            }
            std::printf("\n");
        }
}

// LAZ: decoding alone, then LAZ to text in Formats 15 and 0 at 1 and 2
// threads, against the same text of the uncompressed twin; peak memory.
bool benchLaz(const Options &o)
{
    if (slurp(o.laz).size() < LAS_HEADER_SIZE) {
        std::printf("  no LAZ file at %s: skipped\n", o.laz.c_str());
        return true;
    }
    // The header's count; the tool's runs come first, while this process
    // is small, since a child's peak memory counts what it shares at fork.
    const uint64_t points = fieldOf<uint32_t>(slurp(o.laz).substr(0, LAS_HEADER_SIZE), 107);
    std::filesystem::copy_file(o.laz, o.dir + "/bench.laz",
                               std::filesystem::copy_options::overwrite_existing);
    if (!writeLazTwin(o.dir + "/twin.las"))
        return false;
    bool identical = true;
    for (int Format : {15, 0}) {
        const std::string formatText = std::to_string(Format);
        run(Child{{o.tool, "-x", "-q", "twin.las", formatText}}, o.dir);
        double oneThread = 0;
        for (int threads : {1, 2}) {
            std::vector<double> seconds;
            double peak = 0;
            for (int round = 0; round < o.runs; ++round) {
                std::filesystem::remove(o.dir + "/bench.asc");
                const ChildRun r =
                    run(Child{{o.tool, "-x", "-q", "bench.laz", formatText}, "/dev/null", threads},
                        o.dir);
                seconds.push_back(r.seconds);
                peak = std::max(peak, r.peakMiB);
            }
            identical = identical && sameBytes(o.dir + "/bench.asc", o.dir + "/twin.asc");
            if (threads == 1)
                oneThread = median(seconds);
            std::printf("  LAZ to text, Format %2d, %d %s: %.3f s, %.2f M points/s, peak %.1f MiB",
                        Format, threads, threads == 1 ? "thread " : "threads", median(seconds),
                        static_cast<double>(points) / median(seconds) / 1e6, peak);
            if (threads == 2)
                std::printf(", %.2f x one thread", oneThread / median(seconds));
            std::printf("\n");
        }
    }
    benchMemory(o);
    for (const char *f : {"/bench.laz", "/twin.las", "/bench.asc", "/twin.asc", "/bench_hdr.asc",
                          "/twin_hdr.asc", "/bench.asc.gz", "/twin.asc.gz"})
        std::filesystem::remove(o.dir + f);
    uint64_t decoded = 0;
    std::vector<double> decoding;
    for (int round = 0; round < o.runs; ++round)
        decoding.push_back(decodeOnce(o.laz, &decoded));
    identical = identical && median(decoding) > 0 && decoded == points;
    std::printf("  decoding alone, 1 thread: %.3f s, %.2f M points/s (%" PRIu64 " points)\n",
                median(decoding), static_cast<double>(decoded) / median(decoding) / 1e6, decoded);
    if (!identical)
        std::printf("  the LAZ text differs from its twin's\n");
    return identical;
}

// LAS 1.4 format 6 against LAS 1.2 format 1 of the same points, with -x,
// in Formats 0 and 15 at 1 and 2 threads, alternating round by round;
// Format 15 of both must be the same text.
bool benchExtended(const Options &o)
{
    writeTwinFiles(o.dir + "/twin12.las", o.dir + "/twin14.las", o.points);
    bool identical = true;
    for (int Format : {15, 0}) {
        for (int threads : {1, 2}) {
            std::vector<double> las12, las14;
            for (int round = 0; round < o.runs; ++round)
                for (const char *name : {"twin12.las", "twin14.las"})
                    (name[5] == '2' ? las12 : las14)
                        .push_back(run(Child{{o.tool, "-x", "-q", name, std::to_string(Format)},
                                             "/dev/null",
                                             threads},
                                       o.dir)
                                       .seconds);
            std::printf("  Format %2d, %d %s: LAS 1.2 format 1 %.3f s, LAS 1.4 format 6 %.3f s "
                        "(%.2f x)\n",
                        Format, threads, threads == 1 ? "thread " : "threads", median(las12),
                        median(las14), median(las14) / median(las12));
            if (Format == 15)
                identical = identical && sameBytes(o.dir + "/twin12.asc", o.dir + "/twin14.asc");
        }
    }
    for (const char *f : {"/twin12.las", "/twin14.las", "/twin12.asc", "/twin14.asc",
                          "/twin12_hdr.asc", "/twin14_hdr.asc"})
        std::filesystem::remove(o.dir + f);
    if (!identical)
        std::printf("  the Format 15 texts of the two files differ\n");
    return identical;
}

bool benchFormat(const Options &o, int Format)
{
    const std::string formatText = std::to_string(Format), refText = o.dir + "/reference.asc";
    const double fprintfSeconds = referenceOnce(o.dir + "/bench.las", refText, Format);
    sync(); // once: the reference stays, and its writeback must not fall into the runs
    std::vector<Config> configs = configsFor(o);
    std::vector<double> floors, reads, writes, readFormats;
    for (int round = 0; round < o.runs; ++round) {
        const auto [read, write] = floorOnce(o.dir, refText);
        reads.push_back(read), writes.push_back(write), floors.push_back(read + write);
        // Each round starts with another configuration, so that none of
        // them always meets what the one before it left in the page cache.
        for (size_t k = 0; k < configs.size(); ++k)
            toolOnce(o, formatText, refText,
                     &configs[(k + static_cast<size_t>(round)) % configs.size()], floors.back());
        readFormats.push_back(readAndFormatOnce(o, formatText));
    }
    std::printf("\nFormat %d, %" PRIu64 " points, %.1f MB of text\n", Format, o.points,
                static_cast<double>(std::filesystem::file_size(refText)) / 1e6);
    printTable(Format, o, configs, median(floors), fprintfSeconds);
    printStages(o, median(reads), median(readFormats), median(writes));
    const bool packedIdentical = benchGzip(o, Format, refText);
    for (const char *f : {"/reference.asc", "/copy.asc", "/bench.asc"})
        std::filesystem::remove(o.dir + f);
    return packedIdentical &&
           std::all_of(configs.begin(), configs.end(), [](const Config &c) { return c.identical; });
}

// Gzip output: the tool's -z against the plain tool followed by gzip -1
// of its text, at each thread count, with the size of the text against
// that of the .asc.gz; the .asc.gz must hold the reference text.
bool benchGzip(const Options &o, int Format, const std::string &refText)
{
    const std::string formatText = std::to_string(Format);
    const double textBytes = static_cast<double>(std::filesystem::file_size(refText));
    bool identical = true;
    for (int threads : {1, 2}) {
        std::vector<double> packed, plainThenGzip;
        double gzBytes = 0;
        for (int round = 0; round < o.runs; ++round) {
            std::filesystem::remove(o.dir + "/bench.asc.gz");
            packed.push_back(
                run(Child{{o.tool, "-z", "bench.las", formatText}, "/dev/null", threads}, o.dir)
                    .seconds);
            if (packed.back() < 0) // a build without -z
                return true;
            gzBytes = static_cast<double>(std::filesystem::file_size(o.dir + "/bench.asc.gz"));
            const double plain =
                run(Child{{o.tool, "bench.las", formatText}, "/dev/null", threads}, o.dir).seconds;
            const double gzip =
                run(Child{{"gzip", "-1", "-c", "bench.asc"}, o.dir + "/plain.asc.gz"}, o.dir)
                    .seconds;
            plainThenGzip.push_back(plain + gzip);
        }
        identical =
            identical &&
            run(Child{{"sh", "-c", "gzip -dc bench.asc.gz | cmp -s - reference.asc"}}, o.dir)
                    .seconds > 0;
        std::printf("  gzip, %d %s: -z %.3f s, plain then gzip -1 %.3f s, ratio %.2f; "
                    "text %.1f MB, .asc.gz %.1f MB (%.2f x smaller)\n",
                    threads, threads == 1 ? "thread" : "threads", median(packed),
                    median(plainThenGzip), median(packed) / median(plainThenGzip), textBytes / 1e6,
                    gzBytes / 1e6, textBytes / gzBytes);
    }
    for (const char *f : {"/bench.asc.gz", "/plain.asc.gz", "/bench.asc"})
        std::filesystem::remove(o.dir + f);
    return identical;
}

// Columns chosen by name and the points on standard output against the
// Format that prints the same text: -c X,Y,Z against Format 15, and
// --stdout into /dev/null against the point file, alternating round by
// round at 1 and 2 threads. All three must write the same text.
bool benchTextShape(const Options &o)
{
    struct Way {
        const char *what;
        std::vector<std::string> args;
    };
    const std::string shaped = o.dir + "/shaped.asc";
    const Way ways[] = {
        {"Format 15", {"-q", "bench.las", "15"}},
        {"-c X,Y,Z", {"-q", "-c", "X,Y,Z", "bench.las"}},
        {"--stdout, Format 15, into /dev/null", {"-q", "--stdout", "bench.las", "15"}},
    };
    bool identical = true;
    for (int threads : {1, 2}) {
        std::vector<std::vector<double>> seconds(std::size(ways));
        for (int round = 0; round < o.runs; ++round)
            for (size_t k = 0; k < std::size(ways); ++k) {
                std::vector<std::string> argv = ways[k].args;
                argv.insert(argv.begin(), o.tool);
                seconds[k].push_back(run(Child{argv, "/dev/null", threads}, o.dir).seconds);
            }
        for (size_t k = 0; k < std::size(ways); ++k)
            std::printf("  %s, %d %s: %.3f s (%.2f x Format 15)\n", ways[k].what, threads,
                        threads == 1 ? "thread" : "threads", median(seconds[k]),
                        median(seconds[k]) / median(seconds[0]));
    }
    // The texts, once more: the file of -c and that of --stdout.
    run(Child{{o.tool, "-q", "bench.las", "15"}}, o.dir);
    std::filesystem::rename(o.dir + "/bench.asc", shaped);
    run(Child{{o.tool, "-q", "-c", "X,Y,Z", "bench.las"}}, o.dir);
    identical = sameBytes(o.dir + "/bench.asc", shaped);
    run(Child{{o.tool, "-q", "--stdout", "bench.las", "15"}, o.dir + "/bench.asc"}, o.dir);
    identical = identical && sameBytes(o.dir + "/bench.asc", shaped);
    for (const char *f : {"/bench.asc", "/shaped.asc"})
        std::filesystem::remove(o.dir + f);
    if (!identical)
        std::printf("  the texts of Format 15, -c X,Y,Z and --stdout differ\n");
    return identical;
}

// What durable outputs (TREVLIN_SYNC=1) cost: one large file, and a list
// of small ones, where the wait for the disk comes once per output.
void benchSync(const Options &o)
{
    const std::string smallDir = o.dir + "/small";
    std::filesystem::create_directory(smallDir);
    std::string list;
    for (int k = 0; k < 200; ++k) {
        // Appended piece by piece: GCC 12 warns falsely on a chain of operator+.
        std::string name = "t";
        name += std::to_string(k);
        name += ".las";
        writeBenchFile(smallDir + "/" + name, 2000);
        list += name;
        list += '\n';
    }
    FILE *f = std::fopen((smallDir + "/l.txt").c_str(), "w");
    std::fputs(list.c_str(), f);
    std::fclose(f);
    struct SyncCase {
        const char *what, *dir, *input;
    };
    for (const SyncCase &c : {SyncCase{"one file", "", "bench.las"},
                              SyncCase{"200 files of 2000 points", "/small", "l.txt"}}) {
        std::vector<double> plain, durable;
        for (int round = 0; round < o.runs; ++round) {
            const std::string where = o.dir + c.dir;
            plain.push_back(run(Child{{o.tool, c.input, "15"}}, where).seconds);
            durable.push_back(
                run(Child{{o.tool, c.input, "15"}, "/dev/null", 0, false, {{"TREVLIN_SYNC", "1"}}},
                    where)
                    .seconds);
        }
        std::printf("  TREVLIN_SYNC=1, Format 15, %s: %.3f s against %.3f s (%.2f x)\n", c.what,
                    median(durable), median(plain), median(durable) / median(plain));
    }
    std::filesystem::remove_all(smallDir);
}

} // namespace

int main(int argc, char **argv)
{
    Options o = parseOptions(argc, argv);
    if (!o.make.empty()) {
        writeBenchFile(o.make, o.points);
        return 0;
    }
    const bool ownDir = o.dir.empty();
    if (ownDir) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "trevlin-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return 1;
        o.dir = pattern;
    }
    if (o.lazOnly) {
        std::printf("LAZ (-x), %s\n", o.laz.c_str());
        const bool same = benchLaz(o);
        if (ownDir)
            std::filesystem::remove_all(o.dir);
        return same ? 0 : 1;
    }
    if (o.extendedOnly) {
        std::printf("LAS 1.4 records (-x), %" PRIu64 " points\n", o.points);
        const bool same = benchExtended(o);
        if (ownDir)
            std::filesystem::remove_all(o.dir);
        return same ? 0 : 1;
    }
    std::printf("Writing %" PRIu64 " points of LAS 1.2 point data format 3 to %s/bench.las\n",
                o.points, o.dir.c_str());
    writeBenchFile(o.dir + "/bench.las", o.points);
    if (o.shapeOnly) {
        const bool same = benchTextShape(o);
        if (ownDir)
            std::filesystem::remove_all(o.dir);
        else
            std::filesystem::remove(o.dir + "/bench.las");
        return same ? 0 : 1;
    }
    bool identical = benchFormat(o, 15);
    identical = benchFormat(o, 0) && identical;
    std::printf("\nColumns by name and standard output\n");
    identical = benchTextShape(o) && identical;
    std::printf("\nLAS 1.4 records (-x)\n");
    identical = benchExtended(o) && identical;
    std::printf("\nLAZ (-x), %s\n", o.laz.c_str());
    identical = benchLaz(o) && identical;
    std::printf("\nDurable outputs\n");
    benchSync(o);
    if (ownDir)
        std::filesystem::remove_all(o.dir);
    else
        for (const char *f : {"/bench.las", "/bench_hdr.asc"})
            std::filesystem::remove(o.dir + f);
    return identical ? 0 : 1;
}
