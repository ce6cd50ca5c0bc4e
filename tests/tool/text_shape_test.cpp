// The text shaped for the next program: columns chosen by name (-c), a
// delimiter other than a blank (-d, --csv), and the points on standard
// output (--stdout). The oracle is the tool's own Format 0 text, checked
// against the reference writer elsewhere: a chosen column is that column,
// byte for byte, and a delimiter only replaces the separators.
#include "las_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace
{

std::string dataFile(const std::string &name)
{
    return std::string(TREVLIN_TEST_DATA) + "/" + name;
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The quoted names of a header line.
std::vector<std::string> namesOf(const std::string &header)
{
    std::vector<std::string> names;
    for (size_t at = header.find('"'); at != std::string::npos;) {
        const size_t end = header.find('"', at + 1);
        names.push_back(header.substr(at + 1, end - at - 1));
        at = header.find('"', end + 1);
    }
    return names;
}

std::vector<std::string> valuesOf(const std::string &line)
{
    std::vector<std::string> values;
    std::istringstream in(line);
    for (std::string v; in >> v;)
        values.push_back(v);
    return values;
}

std::string joined(const std::vector<std::string> &parts, const std::string &between)
{
    std::string text;
    for (size_t k = 0; k < parts.size(); ++k)
        text += (k > 0 ? between : "") + parts[k];
    return text;
}

// Format 0's text with the columns `order` picks (indices of its columns).
std::string pickedColumns(const std::string &format0, const std::vector<size_t> &order,
                          const std::string &delimiter = " ")
{
    const std::vector<std::string> lines = linesOf(format0);
    const std::vector<std::string> names = namesOf(lines[0]);
    std::vector<std::string> header;
    for (size_t k : order)
        header.push_back('"' + names[k] + '"');
    std::string text = joined(header, delimiter) + "\n";
    for (size_t n = 1; n < lines.size(); ++n) {
        const std::vector<std::string> values = valuesOf(lines[n]);
        std::vector<std::string> picked;
        for (size_t k : order)
            picked.push_back(values[k]);
        text += joined(picked, delimiter) + "\n";
    }
    return text;
}

// Names typed as a user might: every other one in lower case.
std::string typedList(const std::vector<std::string> &names, const std::vector<size_t> &order)
{
    std::vector<std::string> typed;
    for (size_t k = 0; k < order.size(); ++k) {
        std::string name = names[order[k]];
        if (k % 2 == 1)
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        typed.push_back(name);
    }
    return joined(typed, ",");
}

std::string converted(const TempDir &dir, const std::vector<std::string> &args,
                      const std::string &pointFile, const Environment &env = {})
{
    const RunResult r = runTool(dir.path, args, env);
    EXPECT_EQ(r.status, 0) << joined(args, " ") << "\n" << r.out << r.err;
    return readFile(dir / pointFile);
}

} // namespace

// Every column of point data formats 0 to 10 (and of extra bytes), all at
// once in reverse order, equals its Format 0 column; X,Y,Z equals Format
// 15, whose writer serves it.
TEST(TextShape, ChosenColumnsAreFormatZerosColumnsInTheirOrder)
{
    const char *const samples[] = {
        "PDAL__PDAL__1.0_0.las",
        "PDAL__PDAL__1.2_1.las",
        "PDAL__PDAL__1.2_2.las",
        "PDAL__PDAL__1.2_3.las",
        "visgl__loaders.gl__pdrf4-1.3.las",
        "visgl__loaders.gl__pdrf5-1.3.las",
        "visgl__loaders.gl__pdrf6-1.4.las",
        "visgl__loaders.gl__pdrf7-v4-1.4.las",
        "visgl__loaders.gl__pdrf8-1.4.las",
        "visgl__loaders.gl__pdrf9-1.4.las",
        "visgl__loaders.gl__pdrf10-1.4.las",
        "hobuinc__laz-perf__extrabytes.las",
        "hobuinc__laz-perf__point-color-time.laz",
    };
    for (const char *sample : samples) {
        SCOPED_TRACE(sample);
        TempDir dir;
        const std::string name = fs::path(sample).extension() == ".laz" ? "t.laz" : "t.las";
        fs::copy_file(dataFile(sample), dir / name);
        const std::string format0 = converted(dir, {"-x", "-q", name, "0"}, "t.asc");
        const std::vector<std::string> names = namesOf(linesOf(format0)[0]);
        std::vector<size_t> reversed(names.size());
        for (size_t k = 0; k < names.size(); ++k)
            reversed[k] = names.size() - 1 - k;
        EXPECT_EQ(converted(dir, {"-x", "-q", "-c", typedList(names, reversed), name}, "t.asc"),
                  pickedColumns(format0, reversed));
        const std::string format15 = converted(dir, {"-x", "-q", name, "15"}, "t.asc");
        EXPECT_EQ(converted(dir, {"-x", "-q", "--columns=x,Y,z", name}, "t.asc"), format15);
        EXPECT_EQ(converted(dir, {"-x", "-q", "-c", "Z,Intensity", name}, "t.asc"),
                  pickedColumns(format0, {2, 3}));
    }
}

// Between columns and between the header line's names; a blank inside an
// extra-bytes name stays.
TEST(TextShape, ADelimiterReplacesOnlyTheSeparators)
{
    struct Case {
        std::vector<std::string> options;
        std::string delimiter;
    };
    const Case cases[] = {
        {{"-d", ","}, ","},          {{"--csv"}, ","},   {{"-d", "\\t"}, "\t"},
        {{"--delimiter=tab"}, "\t"}, {{"-d", ";"}, ";"}, {{"--delimiter=|"}, "|"},
    };
    TempDir dir;
    fs::copy_file(dataFile("PDAL__PDAL__1.2_3.las"), dir / "t.las");
    const std::string format0 = converted(dir, {"-q", "t.las", "0"}, "t.asc");
    std::vector<size_t> all(namesOf(linesOf(format0)[0]).size());
    for (size_t k = 0; k < all.size(); ++k)
        all[k] = k;
    for (const Case &c : cases) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-q", "t.las", "0"});
        EXPECT_EQ(converted(dir, args, "t.asc"), pickedColumns(format0, all, c.delimiter))
            << joined(c.options, " ");
        args = c.options;
        args.insert(args.end(), {"-q", "-c", "Blue,X", "t.las"});
        EXPECT_EQ(converted(dir, args, "t.asc"), pickedColumns(format0, {15, 0}, c.delimiter))
            << joined(c.options, " ");
    }
    TempDir named;
    fs::copy_file(dataFile("hobuinc__laz-perf__extrabytes.las"), named / "e.las");
    const std::string text = converted(named, {"-x", "-q", "--csv", "e.las", "0"}, "e.asc");
    const std::string header = linesOf(text)[0];
    EXPECT_EQ(header.find("\" \""), std::string::npos) << header;
    EXPECT_EQ(namesOf(header),
              namesOf(linesOf(converted(named, {"-x", "-q", "e.las", "0"}, "e.asc"))[0]));
}

// The point text alone on standard output, the same bytes at every thread
// count and job size, plain or packed; the messages on standard error; the
// header report beside the input; no point file.
TEST(TextShape, StandardOutputTakesThePointText)
{
    TempDir dir;
    fs::copy_file(dataFile("PDAL__PDAL__autzen_trim.las"), dir / "a.las");
    const std::string text = converted(dir, {"-q", "a.las", "0"}, "a.asc");
    const std::string report = readFile(dir / "a_hdr.asc");
    fs::remove(dir / "a.asc");
    fs::remove(dir / "a_hdr.asc");
    for (const char *threads : {"1", "2", "3", "4"}) {
        for (bool gzip : {false, true}) {
            std::vector<std::string> args = {"--stdout", "a.las", "0"};
            if (gzip)
                args.insert(args.begin(), "-z");
            const RunResult r = runTool(
                dir.path, args, {{"TREVLIN_THREADS", threads}, {"TREVLIN_TEST_JOB_RECORDS", "7"}});
            const std::string what = std::string(threads) + (gzip ? " threads, -z" : " threads");
            EXPECT_EQ(r.status, 0) << what;
            EXPECT_EQ(gzip ? gunzip(r.out) : r.out, text) << what;
            EXPECT_EQ(maskElapsed(r.err),
                      completeRunOutput(progressLines("a.las", "(standard output)")))
                << what;
            EXPECT_EQ(filesIn(dir.path),
                      (std::map<std::string, std::string>{{"a.las", readFile(dir / "a.las")},
                                                          {"a_hdr.asc", report}}))
                << what;
        }
    }
    const RunResult quiet = runTool(dir.path, {"-q", "--stdout", "-c", "X,Y,Z", "a.las"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, pickedColumns(text, {0, 1, 2}));
}

// A reader that stops early (head) ends the run as any command of a
// pipeline ends: by the broken pipe, without a word, and leaving no
// partial file, nor a new report for text that was never whole.
TEST(TextShape, AClosedPipeEndsTheRunQuietly)
{
    TempDir dir;
    fs::copy_file(dataFile("PDAL__PDAL__autzen_trim.las"), dir / "a.las");
    for (const char *threads : {"1", "3"}) {
        writeFile(dir / "run.sh", "TREVLIN_THREADS=" + std::string(threads) + " '" + TREVLIN_PATH +
                                      "' -q --stdout a.las 0 2>err.txt | head -c 100 >/dev/null\n"
                                      "echo \"${PIPESTATUS[0]}\" >status.txt\n");
        EXPECT_EQ(std::system(("cd '" + dir.path + "' && bash run.sh").c_str()), 0) << threads;
        fs::remove(dir / "run.sh");
        EXPECT_EQ(readFile(dir / "status.txt"), "141\n") << threads;
        EXPECT_EQ(readFile(dir / "err.txt"), "") << threads;
        fs::remove(dir / "status.txt");
        fs::remove(dir / "err.txt");
        std::vector<std::string> left;
        for (const auto &[name, bytes] : filesIn(dir.path))
            left.push_back(name);
        EXPECT_EQ(left, (std::vector<std::string>{"a.las"})) << threads;
    }
}

// Any other failure to write standard output is a failed run, named.
TEST(TextShape, AStandardOutputThatCannotBeWrittenFailsTheRun)
{
    TempDir dir;
    fs::copy_file(dataFile("PDAL__PDAL__autzen_trim.las"), dir / "a.las");
    Launch full;
    full.standardOutput = "/dev/full";
    const RunResult r = finishTool(startTool(dir.path, {"-q", "--stdout", "a.las", "0"}, full));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "\nFailed to write file (standard output)\n");
    EXPECT_FALSE(fs::exists(dir / "a.asc"));
}
