// TREVLIN benchmark: converts a generated LAS 1.2 point-format-3 file in
// Formats 15 and 0 with the TREVLIN executable, with a plain fprintf
// reference and against the I/O floor (reading the same LAS file and
// writing the same text from memory), alternating. It reports points per
// second, the tool's time against the floor and the reference, whether the
// texts are byte-identical, and the peak resident memory of the executable
// on a 1-million and an N-point file.
//
// Usage: trevlin_bench [--points N] [--runs R] [--dir DIR] [--tool TREVLIN]
//        trevlin_bench --points N --make FILE   (only writes the test file,
//        for profiling the tool by hand)
#include "TREVLIN_tool.h"
#include "reference_writer.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#ifdef __GLIBC__
#include <malloc.h>
#endif
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
    int runs = 5;
    std::string dir;
    std::string make;
    std::string tool = TREVLIN_PATH; // another build, to compare with
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
        else if (flag == "--dir")
            o.dir = argv[k + 1];
        else if (flag == "--tool")
            o.tool = std::filesystem::absolute(argv[k + 1]).string();
        else if (flag == "--make")
            o.make = argv[k + 1];
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

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One run of the TREVLIN executable in `dir`, as a user starts it; its
// wall time and peak resident memory (KiB), or a negative time on failure.
struct ToolRun {
    double seconds;
    long peakKiB;
};

ToolRun runTool(const Options &o, const std::string &lasName, const char *Format)
{
    std::fflush(stdout); // or the child would print our buffered lines again
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(o.dir.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout))
            _exit(120);
        execl(o.tool.c_str(), o.tool.c_str(), lasName.c_str(), Format,
              static_cast<char *>(nullptr));
        _exit(121);
    }
    int status = 0;
    struct rusage usage {
    };
    wait4(pid, &status, 0, &usage);
    const double seconds = secondsSince(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return ToolRun{-1.0, -1};
    return ToolRun{seconds, usage.ru_maxrss};
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
    determineCoordinatePrecision(&h);
    seek_from_start(fin, h.OffsetToData);
    referenceWritePoints(Format, LASTYPE_12_FM3, fin, fout, &h, _digitsX, _digitsY, _digitsZ);
    std::fclose(fin);
    std::fclose(fout);
    return secondsSince(start);
}

// The I/O floor: what merely reading the LAS file in the tool's chunk size
// and writing the tool's text, already in memory, in 1 MiB pieces costs.
double floorOnce(const std::string &las, const std::string &text, const std::string &out)
{
    const auto start = std::chrono::steady_clock::now();
    const size_t chunk = RECORD_CHUNK_RECORDS * sizeof(LAS12fm3);
    std::vector<char> records(chunk);
    FILE *fin = std::fopen(las.c_str(), "rb");
    while (std::fread(records.data(), 1, chunk, fin) == chunk) {
    }
    std::fclose(fin);
    FILE *fout = std::fopen(out.c_str(), "w");
    const size_t piece = size_t{1} << 20;
    for (size_t at = 0; at < text.size(); at += piece)
        std::fwrite(text.data() + at, 1, std::min(piece, text.size() - at), fout);
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

std::string wholeFile(const std::string &path)
{
    std::string text;
    FILE *f = std::fopen(path.c_str(), "rb");
    static char chunk[1 << 16];
    for (size_t n; f && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        text.append(chunk, n);
    if (f)
        std::fclose(f);
    return text;
}

// Every timed run starts alike: its output does not exist yet, and the
// previous runs' text is on disk, not waiting in the page cache.
void settle(const std::string &output)
{
    std::filesystem::remove(output);
    sync();
}

// A forked child starts with the pages of its parent, so the memory the
// text held must really go back to the system before the next tool run.
void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Alternating runs of the fprintf reference, the tool and the I/O floor;
// the ratios are taken per run, then their medians reported.
bool benchFormat(const Options &o, const std::string &lasName, int Format)
{
    const std::string las = o.dir + "/" + lasName, formatText = std::to_string(Format);
    const std::string toolOut = o.dir + "/" + lasName.substr(0, lasName.size() - 4) + ".asc";
    const std::string refOut = o.dir + "/reference.asc", floorOut = o.dir + "/floor.asc";
    std::vector<double> tool, reference, floor, perFloor, perReference;
    size_t textBytes = 0;
    bool identical = true;
    long peakKiB = 0;
    for (int run = 0; run < o.runs; ++run) {
        settle(refOut);
        reference.push_back(referenceOnce(las, refOut, Format));
        settle(toolOut);
        const ToolRun t = runTool(o, lasName, formatText.c_str());
        identical = identical && t.seconds > 0 && sameBytes(toolOut, refOut);
        {
            // Held only for the floor: a forked tool would count it as its own memory.
            const std::string toolText = wholeFile(toolOut);
            textBytes = toolText.size();
            settle(floorOut);
            floor.push_back(floorOnce(las, toolText, floorOut));
        }
        releaseFreedMemory();
        tool.push_back(t.seconds);
        peakKiB = std::max(peakKiB, t.peakKiB);
        perFloor.push_back(tool.back() / floor.back());
        perReference.push_back(reference.back() / tool.back());
    }
    const double points = static_cast<double>(o.points);
    const double toolRate = points / median(tool), refRate = points / median(reference);
    std::printf("Format %2d: TREVLIN %12.0f points/s   fprintf %12.0f points/s   ratio %5.2fx   "
                "byte-identical in %d runs: %s\n",
                Format, toolRate, refRate, toolRate / refRate, o.runs, identical ? "yes" : "NO");
    std::printf("Format %2d: %.1f MB of text; medians of %d runs: tool %.3f s, I/O floor %.3f s, "
                "fprintf %.3f s; tool/floor %.2f, fprintf/tool %.2fx, peak %.1f MiB\n",
                Format, static_cast<double>(textBytes) / 1e6, o.runs, median(tool), median(floor),
                median(reference), median(perFloor), median(perReference),
                static_cast<double>(peakKiB) / 1024.0);
    for (const std::string &f : {toolOut, refOut, floorOut})
        std::filesystem::remove(f);
    return identical;
}

void reportMemory(const Options &o)
{
    const uint64_t sizes[2] = {std::min<uint64_t>(1000000, o.points), o.points};
    for (uint64_t n : sizes) {
        const std::string stem = "mem_" + std::to_string(n);
        writeBenchFile(o.dir + "/" + stem + ".las", n);
        const ToolRun t = runTool(o, stem + ".las", "0");
        std::printf("Peak resident memory of TREVLIN, Format 0, %" PRIu64 " points: %.1f MiB\n", n,
                    static_cast<double>(t.peakKiB) / 1024.0);
        for (const char *suffix : {".las", ".asc", "_hdr.asc"})
            std::filesystem::remove(o.dir + "/" + stem + suffix);
    }
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
    const std::string las = o.dir + "/bench.las";
    std::printf("Writing %" PRIu64 " points of LAS 1.2 point data format 3 to %s\n", o.points,
                las.c_str());
    writeBenchFile(las, o.points);
    bool identical = benchFormat(o, "bench.las", 15);
    identical = benchFormat(o, "bench.las", 0) && identical;
    std::filesystem::remove(las);
    std::filesystem::remove(o.dir + "/bench_hdr.asc");
    reportMemory(o);
    if (ownDir)
        std::filesystem::remove_all(o.dir);
    return identical ? 0 : 1;
}
