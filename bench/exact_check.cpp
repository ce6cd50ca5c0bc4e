// TREVLIN exhaustive coordinate check. A coordinate in a LAS file is a
// 32-bit raw integer times the file's scale plus its offset, so for one
// (scale, offset) pair there are only 2^32 values, and every one of them
// can be printed and checked. For each case this program sets up the point
// writer's coordinate routine exactly as a file with that header does
// (decimals from the scale, the same per-file set-up and path choice),
// prints raw * scale + offset for every raw value from -2^31 to 2^31-1 and
// compares the bytes with a reference text of the same double.
//
// The reference is exact by construction: the double is m * 2^e, so
// value * 10^d is m * 10^d / 2^-e, formed in 128-bit integers and rounded
// half to even, as glibc's printf rounds the exact binary value. It is
// itself compared with snprintf("%.*f") on a slice of every case, so it
// cannot be wrong in a way that hides a wrong writer.
//
// Usage: exact_check [--cases FILE] [--slice N] [--raw A:B] [--fault RAW]
//   --cases FILE  cases from FILE, one "scale offset" per line ('#' starts
//                 a comment; a scale may be a fraction such as 1/3)
//   --slice N     only every N-th raw value (for CI)
//   --raw A:B     only the raw values from A to B
//   --fault RAW   makes the writer's last digit wrong for RAW, to show that
//                 a wrong text is caught
// Exits 0 when every text matched, 1 on any mismatch, 2 on bad usage.
#include "coordinate_precision.h"
#include "number_text.h"

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

struct Case {
    double scale, offset;
    std::string label; // the scale and offset as the user wrote them
};

// What real files carry: the decimal scales of projected and geographic
// surveys, some binary and odd ones, and a scale with no finite decimal
// count; each with offset 0 and a projected offset. For 0.01 and 0.001
// also offsets that are not multiples of the scale, offsets either side of
// the point where the integral route stops applying, and offsets whose
// values cross zero (where "-0.00" appears).
const char BUILT_IN_CASES[] = "1 0\n1 500000\n"
                              "0.1 0\n0.1 4000000\n"
                              "0.01 0\n0.01 4000000\n0.01 0.005\n0.01 -0.004\n0.01 -500000\n"
                              "0.01 3700000000000\n0.01 3800000000000\n"
                              "0.001 0\n0.001 500000\n0.001 0.0005\n0.001 -0.0004\n"
                              "0.001 375000000000\n0.001 380000000000\n"
                              "0.0001 0\n0.0001 4000000\n"
                              "0.00001 0\n0.00001 500000\n"
                              "0.000001 0\n0.000001 500000\n"
                              "0.0000001 0\n0.0000001 500000\n"
                              "0.05 0\n0.05 500000\n"
                              "0.025 0\n0.025 4000000\n"
                              "0.125 0\n0.125 500000\n"
                              "0.0003 0\n0.0003 500000\n"
                              "1/3 0\n1/3 500000\n";

struct Options {
    std::vector<Case> cases;
    uint64_t slice = 1;
    int64_t first = INT32_MIN, last = INT32_MAX;
    bool faulty = false;
    int64_t faultRaw = 0;
};

[[noreturn]] void usageError(const char *what)
{
    std::fprintf(stderr,
                 "exact_check: %s\nUsage: exact_check [--cases FILE] [--slice N] [--raw A:B] "
                 "[--fault RAW]\n",
                 what);
    std::exit(2);
}

// "a" or "a/b", as a double; false when the text is neither.
bool parseNumber(const std::string &text, double *value)
{
    char *end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    if (end == text.c_str())
        return false;
    if (*end == '/') {
        const char *denominator = end + 1;
        *value /= std::strtod(denominator, &end);
        if (end == denominator)
            return false;
    }
    return *end == '\0';
}

std::vector<Case> parseCases(const std::string &text)
{
    std::vector<Case> cases;
    size_t at = 0;
    while (at < text.size()) {
        size_t eol = text.find('\n', at);
        if (eol == std::string::npos)
            eol = text.size();
        std::string line = text.substr(at, eol - at);
        at = eol + 1;
        line = line.substr(0, line.find('#'));
        char scaleText[128], offsetText[128];
        if (std::sscanf(line.c_str(), "%127s %127s", scaleText, offsetText) != 2) {
            if (line.find_first_not_of(" \t\r") == std::string::npos)
                continue;
            usageError(("a case must be \"scale offset\": " + line).c_str());
        }
        Case c{0, 0, std::string(scaleText) + " " + offsetText};
        if (!parseNumber(scaleText, &c.scale) || !parseNumber(offsetText, &c.offset) ||
            !std::isfinite(c.scale) || !std::isfinite(c.offset))
            usageError(("not a finite scale and offset: " + line).c_str());
        cases.push_back(c);
    }
    return cases;
}

std::string readFile(const char *name)
{
    FILE *f = std::fopen(name, "rb");
    if (!f)
        usageError((std::string("cannot read ") + name).c_str());
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        text.append(chunk, n);
    std::fclose(f);
    return text;
}

int64_t parseInteger(const char *text)
{
    char *end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (end == text || (*end != '\0' && *end != ':'))
        usageError((std::string("not a whole number: ") + text).c_str());
    return v;
}

Options parseOptions(int argc, char **argv)
{
    Options o;
    std::string cases = BUILT_IN_CASES;
    for (int k = 1; k < argc; k += 2) {
        const std::string flag = argv[k];
        if (k + 1 >= argc)
            usageError((flag + " needs a value").c_str());
        const char *value = argv[k + 1];
        if (flag == "--cases")
            cases = readFile(value);
        else if (flag == "--slice") {
            const int64_t n = parseInteger(value);
            if (n < 1)
                usageError("--slice takes a whole number of at least 1");
            o.slice = static_cast<uint64_t>(n);
        } else if (flag == "--raw") {
            const char *colon = std::strchr(value, ':');
            if (!colon)
                usageError("--raw takes A:B");
            o.first = parseInteger(value);
            o.last = parseInteger(colon + 1);
            if (o.first < INT32_MIN || o.last > INT32_MAX || o.first > o.last)
                usageError("--raw takes A:B with -2147483648 <= A <= B <= 2147483647");
        } else if (flag == "--fault") {
            o.faulty = true;
            o.faultRaw = parseInteger(value);
        } else
            usageError(("unknown option " + flag).c_str());
    }
    o.cases = parseCases(cases);
    if (o.cases.empty())
        usageError("no cases");
    return o;
}

// ====================== The reference ======================
using u128 = unsigned __int128;

// "00" to "99", for writing digits two at a time.
struct DigitPairs {
    char text[200];
    DigitPairs()
    {
        for (int n = 0; n < 100; ++n) {
            text[2 * n] = static_cast<char>('0' + n / 10);
            text[2 * n + 1] = static_cast<char>('0' + n % 10);
        }
    }
};
const DigitPairs PAIRS;

char *pairBackward(char *end, uint64_t pair)
{
    std::memcpy(end - 2, PAIRS.text + 2 * pair, 2);
    return end - 2;
}

// Exactly d digits of *f (d <= 19), then the point, written backward; *f
// keeps what is left, the whole part.
char *fractionBackward(char *end, uint64_t *f, int d)
{
    uint64_t w = *f;
    int k = 0;
    for (; k + 2 <= d; k += 2, w /= 100)
        end = pairBackward(end, w % 100);
    if (k < d) {
        *--end = static_cast<char>('0' + w % 10);
        w /= 10;
    }
    if (d > 0)
        *--end = '.';
    *f = w;
    return end;
}

// At least one digit of w, written backward.
char *wholeBackward(char *end, uint64_t w)
{
    for (; w >= 100; w /= 100)
        end = pairBackward(end, w % 100);
    if (w >= 10)
        return pairBackward(end, w);
    *--end = static_cast<char>('0' + w);
    return end;
}

// The decimal digits of v, with a point before the last d of them and at
// least one digit before the point, written backward so that they end
// before `end`; returns where they start. Values beyond 64 bits (only
// scales with many decimals reach them) are split at the point first.
char *fixedDigitsBackward(char *end, u128 v, int d, u128 p10)
{
    if (v <= UINT64_MAX) {
        uint64_t w = static_cast<uint64_t>(v);
        end = fractionBackward(end, &w, d);
        return wholeBackward(end, w);
    }
    const u128 whole = v / p10;
    uint64_t fraction = static_cast<uint64_t>(v - whole * p10);
    end = fractionBackward(end, &fraction, d);
    return wholeBackward(end, static_cast<uint64_t>(whole)); // coordinates stay below 2^64
}

u128 pow10_128(int d)
{
    u128 p = 1;
    while (d-- > 0)
        p *= 10;
    return p;
}

// "%.*f" of a finite value with d <= 19 decimals (m * 10^d then fits 127
// bits, and what follows the point 64), written backward to end before `end`; returns where it
// starts. Rounds the exact binary value half to even, as glibc does.
char *referenceText(char *end, double value, int d, u128 p10)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = bits >> 63;
    const int biased = static_cast<int>(bits >> 52 & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    const uint64_t m = biased == 0 ? fraction : fraction | uint64_t{1} << 52;
    const int e = (biased == 0 ? 1 : biased) - 1075;
    u128 q; // the value times 10^d, rounded
    if (e >= 0) {
        q = (static_cast<u128>(m) << e) * p10; // coordinates stay far below 2^74
    } else {
        const u128 P = static_cast<u128>(m) * p10;
        const int s = -e;
        if (s >= 128) {
            q = 0; // P < 2^127 <= half a unit
        } else {
            q = P >> s;
            const u128 rest = P - (q << s), half = static_cast<u128>(1) << (s - 1);
            if (rest > half || (rest == half && (q & 1) != 0))
                ++q;
        }
    }
    char *start = fixedDigitsBackward(end, q, d, p10);
    if (negative)
        *--start = '-';
    return start;
}

// Compares texts of n bytes in at most two overlapping words each way, which
// is what makes a full case take a minute rather than two.
bool sameText(const char *a, const char *b, size_t n)
{
    uint64_t x[2], y[2];
    if (n >= 8 && n <= 16) {
        std::memcpy(x, a, 8), std::memcpy(x + 1, a + n - 8, 8);
        std::memcpy(y, b, 8), std::memcpy(y + 1, b + n - 8, 8);
        return x[0] == y[0] && x[1] == y[1];
    }
    for (size_t k = 0; k < n; ++k)
        if (a[k] != b[k])
            return false;
    return true;
}

// ====================== One case ======================
constexpr int MAX_REFERENCE_DECIMALS = 19;
constexpr size_t MISMATCHES_SHOWN = 5;
// Every this-many-th value of a case is also printed by snprintf.
constexpr uint64_t SNPRINTF_STRIDE = 65537;
constexpr uint64_t BLOCK = 1 << 20; // values a thread takes at a time

struct Mismatch {
    int64_t raw;
    std::string expected, got;
    bool referenceWrong; // snprintf disagreed with the reference
};

struct CaseRun {
    const Case *c;
    CoordinateFormat format;
    int decimals;
    u128 p10; // 10^decimals
    const Options *o;
    uint64_t values; // raw values to check
    std::atomic<uint64_t> nextBlock{0}, checked{0}, mismatches{0}, referenceWrong{0};
    std::mutex lock; // guards `shown`
    std::vector<Mismatch> shown;
};

double valueOf(const CaseRun &run, int64_t raw)
{
    return static_cast<double>(raw) * run.c->scale + run.c->offset;
}

void record(CaseRun *run, int64_t raw, const char *expected, size_t n, const char *got, size_t g,
            bool referenceWrong)
{
    (referenceWrong ? run->referenceWrong : run->mismatches)++;
    std::lock_guard<std::mutex> held(run->lock);
    if (run->shown.size() < MISMATCHES_SHOWN)
        run->shown.push_back({raw, std::string(expected, n), std::string(got, g), referenceWrong});
}

// The writer under test, exactly as the point writer calls it, made wrong
// in its last digit for one raw value when asked to.
size_t writerText(const CaseRun &run, char *out, int32_t raw)
{
    const size_t n = static_cast<size_t>(put_coordinate(out, raw, run.format) - out);
    if (run.o->faulty && raw == run.o->faultRaw)
        out[n - 1] = out[n - 1] == '9' ? '0' : static_cast<char>(out[n - 1] + 1);
    return n;
}

void checkValue(CaseRun *run, int64_t raw, uint64_t index)
{
    char got[MAX_FIXED_TEXT + FIXED_SCRATCH], reference[128];
    const size_t g = writerText(*run, got, static_cast<int32_t>(raw));
    const double value = valueOf(*run, raw);
    char *const end = reference + sizeof reference;
    const char *expected = referenceText(end, value, run->decimals, run->p10);
    const size_t n = static_cast<size_t>(end - expected);
    if (g != n || !sameText(got, expected, n))
        record(run, raw, expected, n, got, g, false);
    if (index % SNPRINTF_STRIDE == 0) {
        char printed[MAX_FIXED_TEXT];
        const int p = std::snprintf(printed, sizeof printed, "%.*f", run->decimals, value);
        if (static_cast<size_t>(p) != n || !sameText(printed, expected, n))
            record(run, raw, printed, static_cast<size_t>(p), expected, n, true);
    }
}

void checkBlocks(CaseRun *run)
{
    const uint64_t blocks = (run->values + BLOCK - 1) / BLOCK;
    for (uint64_t b; (b = run->nextBlock++) < blocks;) {
        const uint64_t end = std::min(run->values, (b + 1) * BLOCK);
        for (uint64_t i = b * BLOCK; i < end; ++i)
            checkValue(run, run->o->first + static_cast<int64_t>(i * run->o->slice), i);
        run->checked += end - b * BLOCK;
    }
}

void showProgress(const CaseRun &run, size_t number, size_t count)
{
    const double done = static_cast<double>(run.checked.load()) / static_cast<double>(run.values);
    std::fprintf(stderr, "\rcase %zu/%zu (%s): %5.1f%%", number, count, run.c->label.c_str(),
                 100 * done);
    std::fflush(stderr);
}

// Checks one case on every hardware thread; returns its mismatches.
uint64_t runCase(const Options &o, const Case &c, size_t number, size_t count)
{
    CaseRun run;
    run.c = &c;
    run.o = &o;
    run.decimals = decimalCount(c.scale);
    run.p10 = pow10_128(run.decimals);
    run.format = coordinate_format(c.scale, c.offset, run.decimals);
    run.values = static_cast<uint64_t>(o.last - o.first) / o.slice + 1;
    if (run.decimals > MAX_REFERENCE_DECIMALS) {
        std::printf("%-24s %2d decimals: beyond the reference's %d, not checked\n", c.label.c_str(),
                    run.decimals, MAX_REFERENCE_DECIMALS);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> workers;
    for (unsigned k = 0; k < threads; ++k)
        workers.emplace_back(checkBlocks, &run);
    const bool terminal = isatty(STDERR_FILENO) != 0;
    while (terminal && run.checked.load() < run.values) {
        showProgress(run, number, count);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    for (std::thread &t : workers)
        t.join();
    if (terminal)
        std::fprintf(stderr, "\r%60s\r", "");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-24s %2d  %-8s %13" PRIu64 " %10" PRIu64 " %9.1f\n", c.label.c_str(),
                run.decimals, run.format.integral ? "integral" : "double", run.values,
                run.mismatches.load() + run.referenceWrong.load(), seconds);
    for (const Mismatch &m : run.shown)
        std::printf("    %s raw %" PRId64
                    " scale %.17g offset %.17g: expected \"%s\", got \"%s\"\n",
                    m.referenceWrong ? "REFERENCE (snprintf, reference)" : "MISMATCH", m.raw,
                    c.scale, c.offset, m.expected.c_str(), m.got.c_str());
    std::fflush(stdout);
    return run.mismatches.load() + run.referenceWrong.load();
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = parseOptions(argc, argv);
    std::printf("raw values %" PRId64 " to %" PRId64 ", every %" PRIu64 ", on %u threads\n\n",
                o.first, o.last, o.slice, std::max(1u, std::thread::hardware_concurrency()));
    std::printf("%-24s %2s  %-8s %13s %10s %9s\n", "scale offset", "d", "route", "values",
                "mismatches", "seconds");
    uint64_t mismatches = 0, cases = 0;
    for (const Case &c : o.cases)
        mismatches += runCase(o, c, ++cases, o.cases.size());
    std::printf("\n%" PRIu64 " cases, %" PRIu64 " mismatches\n", cases, mismatches);
    return mismatches == 0 ? 0 : 1;
}
