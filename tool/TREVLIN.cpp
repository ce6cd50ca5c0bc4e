// TREVLIN: converts LAS point files into ASCII text: LAS 1.0-1.2, and with
// -x LAS 1.3-1.5 and LAZ.
// Usage: TREVLIN <LAS File | ASCII List> <Format>
// Every input and the Format are validated before anything is written; then
// each input gets <name>.asc (point text) and <name>_hdr.asc (header report).
#include "conversion.h"
#include "list_file.h"
#include "options.h"
#include "output_file.h"
#include "output_names.h"
#include "pipeline.h"
#include "platform.h"
#include "progress.h"
#include "refusal_words.h"
#include "settings.h"
#include "validation.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <vector>

void usage()
{
    static const char *const lines[] = {
        "Usage: TREVLIN <LAS File | ASCII List> <Format>\n",
        "          Format:  0: All",
        "                   1: X",
        "                   2: Y",
        "                   3: Z",
        "                   4: Intensity",
        "                   5: Return Number",
        "                   6: Number of Returns",
        "                   7: Scan Direction",
        "                   8: Edge of Flight Line",
        "                   9: Classification",
        "                  10: Scan Angle Rank",
        "                  11: File Marker / User Data",
        "                  12: User Bit Field / Point Source ID",
        "                  13: GPSTime (if available)",
        "                  14: RGB (if available)",
        "                  15: X Y Z",
        "                  16: X Y Z Intensity",
        "                  17: X Y Z GPSTime",
        "                  18: X Y Z Intensity GPSTime",
        "                  19: X Y Z RGB",
        "                  20: X Y Z Intensity PointSourceID RGB",
    };
    for (const char *line : lines)
        std::puts(line);
}

namespace
{

RunOptions options; // what the options ask for; the defaults without them

// --help: the usage, then what a newcomer needs to know before a first run.
void help()
{
    usage();
    static const char TEXT[] =
        "\n"
        "List files: an input whose name does not end in the lower-case .las is read\n"
        "  as a list, a text file of LAS file names separated by white space, taken\n"
        "  relative to the working directory. Every listed file must have the same\n"
        "  LAS version and point data format; all are checked before any is written.\n"
        "\n"
        "Output files: for each input <name>.las, <name>.asc (one line per point, the\n"
        "  Format's columns) and <name>_hdr.asc (the header report) are written beside\n"
        "  it, replacing earlier ones. Each is written as <name>.asc.<pid>.incomplete\n"
        "  and renamed only when complete, so a final name never holds a part.\n"
        "\n"
        "TREVLIN_THREADS: worker threads for one file, a whole number from 1 to 256;\n"
        "  when not set, the machine's hardware threads, at most 8.\n"
        "TREVLIN_SYNC: 1 flushes each output to the disk before it is renamed into\n"
        "  place, so that a power cut leaves the old file or the new one; empty or 0:\n"
        "  not (the default, faster for many small files).\n"
        "\n"
        "Options, only in front of the two arguments of a longer command line:\n"
        "  TREVLIN [options] <LAS File | ASCII List> <Format>\n"
        "  -o DIR, --output-dir=DIR  write both outputs into DIR, not beside the input\n"
        "  -z, --gzip[=LEVEL]        write the point text as <name>.asc.gz (level 1-9;\n"
        "                            1 when not given); the header report stays plain\n"
        "  -q, --quiet               standard output gets failure messages only\n"
        "  -j N, --threads=N         worker threads, as TREVLIN_THREADS\n"
        "  --sync[=0|1]              durable outputs, as TREVLIN_SYNC\n"
        "  -x, --extended            also read LAS 1.3 to 1.5, point data formats 4-10,\n"
        "                            records with extra bytes and LAZ (compressed LAS,\n"
        "                            <name>.laz); a list may then mix them\n"
        "  -c LIST, --columns=LIST   instead of a Format, the columns LIST names, in its\n"
        "                            order: names of Format 0's header line, in any\n"
        "                            case, separated by commas (TREVLIN -c X,Y,Z,Class\n"
        "                            <LAS File | ASCII List>)\n"
        "  -d CHAR, --delimiter=CHAR the character between columns, a blank when not\n"
        "                            given: one printable character other than a\n"
        "                            digit, a letter, -, +, . or \", or tab (\\t)\n"
        "  --csv                     -d ,\n"
        "  --stdout                  the point text of one file to standard output\n"
        "                            (gzip with -z); messages go to standard error\n"
        "  -k, --keep-going          a list goes on past a refused file, and names the\n"
        "                            refused files at the end (status 255 if any)\n"
        "  --check-names TILES       convert nothing: refuse a file of tile names, one a\n"
        "                            line, when two would write one output\n"
        "  --print-outputs NAME      convert nothing: print the two outputs NAME would\n"
        "                            write, one a line\n"
        "  --                        ends the options\n"
        "\n"
        "--version prints the version; --help or -h prints this text.\n"
        "\n"
        "Exit status: 0 after a complete run; 255 (-1) after any failure, with a\n"
        "  message on standard output. Warnings and the progress line go to standard\n"
        "  error. With --stdout, a reader that closes the pipe early (head) ends the\n"
        "  run as a broken pipe ends any command (141 in a POSIX shell; 255 on\n"
        "  Windows), without a message.\n"
        "\n";
    std::fputs(TEXT, stdout);
    std::fputs(WHERE_THE_MANUAL_IS, stdout);
}

// Every end of a run comes here: the workers are stopped and joined, so
// that no thread runs while the exit handlers (which remove the output
// being written) and static destructors do.
[[noreturn]] void endRun(int status)
{
    stopPipeline();
    std::exit(status);
}

int failWithUsage(const char *message)
{
    std::puts(message);
    usage();
    return -1;
}

// The Format is the leading integer of the text (as atoi reads it) when
// that equals the text's real value (as atof reads it) and lies in 0..20:
// 7, 07, 7. and 7.0 are Format 7; the empty text is Format 0. A leading
// integer too large for an int is simply not a Format.
int parseFormat(const char *text)
{
    const char *c = text;
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+')
        ++c;
    long long magnitude = 0;
    for (; *c >= '0' && *c <= '9'; ++c) {
        magnitude = magnitude * 10 + (*c - '0');
        if (magnitude > INT_MAX)
            return -1;
    }
    const long long F = negative ? -magnitude : magnitude;
    const double V = std::strtod(text, nullptr);
    if (static_cast<double>(F) != V || F < 0 || F > MAX_FORMAT)
        return -1;
    return static_cast<int>(F);
}

NamingRule namingRule()
{
    return NamingRule{options.outputDir, options.gzipLevel > 0};
}

// Batch jobs keep standard output as their record of what was converted:
// a record that could not be written is a failed run.
int checkStandardOutput()
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    const int error = errno;
    reportToStandardError("TREVLIN: standard output could not be written: %s\n",
                          error != 0 ? std::strerror(error) : "a write failed");
    return -1;
}

// The settings read before the banner, so that a setting refused leaves
// standard output as every refusal does: the pipeline's, durable outputs
// and the column separator.
bool setUpRun(PipelineSettings *settings, TestSettings *tests, char *separator)
{
    int threads = 0;
    bool durable = false;
    std::string refusal;
    if (!workerCount(options, &threads, &refusal) || !testSettings(tests, &refusal) ||
        !durableOutputs(options, &durable, &refusal) ||
        !columnDelimiter(options, separator, &refusal)) {
        std::fputs(refusal.c_str(), stdout);
        return false;
    }
    *settings =
        PipelineSettings{threads < 2 ? 0 : threads, tests->jobRecords, DEFAULT_JOB_TEXT_BYTES};
    setDurableOutputs(durable);
    return true;
}

// Options must all be known and have their values; -1 after the refusal.
int optionsEnd(int argc, char **argv, bool anyCount)
{
    const char *refused = nullptr;
    const int first = anyCount ? parseOptionWords(argc, argv, &options, &refused)
                               : parseOptions(argc, argv, &options, &refused);
    if (first >= 0)
        return first;
    explainRefusedOption(refused);
    std::printf("\nUnknown option, or option without its value: %s\n\n", refused);
    usage();
    return -1;
}

// Words after the arguments that look like options: where they belong.
void explainOptionsAfterArguments(int argc, char **argv, int first)
{
    for (int k = first + 1; k < argc; ++k)
        if (argv[k][0] == '-' && argv[k][1] != '\0' && (argv[k][1] < '0' || argv[k][1] > '9')) {
            reportToStandardError("TREVLIN: %s comes after the input: options go in front of it "
                                  "(TREVLIN [options] <LAS File | ASCII List> <Format>)\n",
                                  argv[k]);
            return;
        }
}

// A collection converted one run per tile (a batch job) is never seen
// whole by one run: `[options] --check-names TILES` judges the names of
// every tile of it, one a line as find prints them, by the rule of the
// options, and refuses it when two tiles would write one output.
int checkNamesOfTiles(const char *tilesName)
{
    FILE *f = openListFile(tilesName);
    std::string bytes;
    const bool read = f && readListBytes(f, &bytes);
    if (f)
        std::fclose(f);
    if (!read) {
        std::printf("\nCannot open input ASCII file %s for reading\n", tilesName);
        return -1;
    }
    NameCollision c;
    if (!findNameCollision(listLines(bytes), namingRule(), &c))
        return 0;
    std::printf("\n%s and %s, listed in %s, would both be written as %s\n", c.first.c_str(),
                c.second.c_str(), tilesName, c.output.c_str());
    return -1;
}

// `[options] --print-outputs NAME`: the point file and the header report
// that converting NAME would write, one a line, by the rule of the options;
// what a batch script needs to find them without copying the rule.
int printOutputsOf(const char *name)
{
    const bool lasName = hasExtensionInAnyCase(name, "las") || hasExtensionInAnyCase(name, "laz");
    if (!lasName) {
        std::printf("\n%s does not end in .las or .laz\n", name);
        return -1;
    }
    const OutputNames names = outputNamesOf(name, namingRule());
    std::printf("%s\n%s\n", names.points.c_str(), names.report.c_str());
    return 0;
}

// --stdout: one file's text, and the messages out of its way.
FILE *standardOutputForPoints()
{
    FILE *stream = takeStandardOutputForPoints();
    if (!stream)
        reportToStandardError("TREVLIN: standard output cannot take the point text\n");
    return stream;
}

// --version and --help, the only single arguments the tool answers.
bool answeredAlone(const char *argument)
{
    if (std::strcmp(argument, "--version") == 0) {
        std::puts("TREVLIN " TREVLIN_VERSION);
        return true;
    }
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0 ||
        isPlatformHelpWord(argument)) {
        help();
        return true;
    }
    return false;
}

} // namespace

int16_t checkFileExtension(const char *filename, const char *extension)
{
    switch (classify_file_extension(filename, extension)) {
    case EXTENSION_MATCHES: return 0;
    case EXTENSION_NAME_TOO_SHORT:
        std::printf("\nFile name (%s) is too short\n", filename);
        endRun(-1);
    case EXTENSION_NO_DOT:
        std::printf("\nExtension of file %s should be preceeded by a dot (.)\n", filename);
        endRun(-1);
    default: return -1;
    }
}

namespace
{

// Whether the input is a list: without -x, any name not ending in the
// lower-case .las; with -x, .las and .laz in any case name LAS and LAZ
// files.
bool isListName(const char *input)
{
    if (options.extended &&
        (hasExtensionInAnyCase(input, "las") || hasExtensionInAnyCase(input, "laz")))
        return false;
    return checkFileExtension(input, "las") != 0;
}

ValidationRules validationRules()
{
    ValidationRules rules;
    rules.extended = options.extended;
    rules.keepGoing = options.keepGoing;
    rules.naming = namingRule();
    rules.columns = options.columns;
    return rules;
}

// Every check before anything is written: the inputs, their columns, the
// Format and what it needs of them.
bool validateRun(const char *input, const char *FormatText, bool listMode, Inputs *inputs,
                 int *Format)
{
    const ValidationRules rules = validationRules();
    if (!(listMode ? validateList(input, rules, inputs) : validateFile(input, rules, inputs)))
        return false;
    if (options.columns && !checkColumnsOfAll(rules, inputs))
        return false;
    check_numeric_argument(FormatText);
    *Format = parseFormat(FormatText);
    if (*Format < 0) {
        failWithUsage("\nError in Format specified\n");
        return false;
    }
    return checkAvailabilityOfAll(*Format, input, rules, inputs);
}

// -k: how the list went, on standard error, after the last file.
void reportKeptGoing(const Inputs &inputs, size_t converted, const char *listName)
{
    std::string refused;
    for (const std::string &name : inputs.refused)
        refused += (refused.empty() ? "" : ", ") + quotedForCommandLine(name);
    const size_t listed = inputs.accepted.size() + inputs.refused.size();
    if (refused.empty())
        reportToStandardError("TREVLIN: %zu of %zu files of %s converted\n", converted, listed,
                              listName);
    else
        reportToStandardError("TREVLIN: %zu of %zu files of %s converted; refused: %s\n", converted,
                              listed, listName, refused.c_str());
}

// Converts every input in turn. Without -k the first failure ends the run;
// with it a file whose input fails is set aside and the list goes on.
int convertAll(int Format, bool listMode, const char *input, Inputs *inputs,
               const ConversionSettings &conversion)
{
    const int LASCount = static_cast<int>(inputs->accepted.size());
    size_t converted = 0;
    std::vector<std::string> failed;
    for (int t = 0; t < LASCount; ++t) {
        const ListPlace place{listMode ? t + 1 : 0, LASCount};
        const ConversionOutcome outcome =
            convertFile(inputs->accepted[t], Format, place, conversion);
        if (outcome == RUN_BROKEN_PIPE) {
            stopPipeline();
            endAsBrokenPipe();
        }
        if (outcome == RUN_FAILED || (outcome == FILE_REFUSED && !options.keepGoing))
            return -1;
        if (outcome == FILE_REFUSED)
            failed.push_back(inputs->accepted[t].name);
        else
            ++converted;
    }
    if (!options.keepGoing || !listMode)
        return 0;
    inputs->refused.insert(inputs->refused.end(), failed.begin(), failed.end());
    reportKeptGoing(*inputs, converted, input);
    return inputs->refused.empty() ? 0 : -1;
}

int run(int argc, char *argv[])
{
    argv = utf8CommandLine(&argc, argv);
    prepareConsole();
    watchForInterrupts();
    if (argc == 2 && answeredAlone(argv[1]))
        return 0;
    // The batch script's two questions; each stands for the arguments.
    const bool question = argc >= 3 && (std::strcmp(argv[1], "--check-names") == 0 ||
                                        std::strcmp(argv[1], "--print-outputs") == 0);
    const int first = optionsEnd(argc, argv, question);
    if (first < 0)
        return -1;
    if (options.checkNames || options.printOutputs) {
        if (first != argc)
            return failWithUsage("\n\nMissing, or excessive number of, arguments\n");
        return options.checkNames ? checkNamesOfTiles(options.checkNames)
                                  : printOutputsOf(options.printOutputs);
    }
    ConversionSettings conversion;
    if (options.toStandardOutput && !(conversion.pointStream = standardOutputForPoints()))
        return -1;
    // Chosen columns take the Format's place.
    if (options.columns && argc - first == 2) {
        std::fputs("\n-c (--columns) takes the place of the Format: give the input alone\n",
                   stdout);
        return -1;
    }
    if (argc - first != (options.columns ? 1 : 2)) {
        explainOptionsAfterArguments(argc, argv, first);
        return failWithUsage("\n\nMissing, or excessive number of, arguments\n");
    }
    const char *input = argv[first], *FormatText = options.columns ? "0" : argv[first + 1];
    if (!checkOutputFolder(options.outputDir))
        return -1;
    TestSettings tests{};
    PipelineSettings settings;
    if (!setUpRun(&settings, &tests, &conversion.separator))
        return -1;
    explainFirstArgument(input, FormatText);
    const bool listMode = isListName(input);
    if (listMode && options.toStandardOutput) {
        std::printf("\n--stdout writes the points of one file; %s is a list\n", input);
        return -1;
    }
    Inputs inputs;
    int Format = 0;
    if (!validateRun(input, FormatText, listMode, &inputs, &Format))
        return -1;

    const auto beginTime = std::chrono::steady_clock::now();
    if (!options.quiet)
        credits();
    if (!startPipeline(settings)) {
        std::puts("Failed to allocate memory for 1 record of data structure");
        return -1;
    }
    progressSetUp(standardErrorIsTerminal(), tests.progressDelayMs);
    conversion.extended = options.extended;
    conversion.quiet = options.quiet;
    conversion.gzipLevel = options.gzipLevel;
    conversion.naming = namingRule();
    conversion.columns = options.columns;
    const int status = convertAll(Format, listMode, input, &inputs, conversion);
    if (status != 0)
        return status;
    const auto finishTime = std::chrono::steady_clock::now();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(finishTime - beginTime);
    if (!options.quiet)
        std::printf("\nElapsed time: %.3f seconds\n\n",
                    static_cast<double>(elapsed.count()) / 1000.0);
    stopPipeline();
    return checkStandardOutput();
}

} // namespace

int main(int argc, char *argv[])
{
    int status = -1;
    try {
        status = run(argc, argv);
    } catch (const std::bad_alloc &) {
        // A buffer that could not grow: the run ends in order, its workers
        // stopped and the output being written removed.
        reportToStandardError("TREVLIN: out of memory\n");
    }
    endRun(status);
}
