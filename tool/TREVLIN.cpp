// TREVLIN: converts LAS 1.0-1.2 point files into ASCII text.
// Usage: TREVLIN <LAS File | ASCII List> <Format>
// Every input and the Format are validated before anything is written; then
// each input gets <name>.asc (point text) and <name>_hdr.asc (header report).
#include "coordinate_precision.h"
#include "extra_bytes.h"
#include "header_report.h"
#include "list_file.h"
#include "options.h"
#include "output_file.h"
#include "output_names.h"
#include "pipeline.h"
#include "platform.h"
#include "progress.h"
#include "refusal_words.h"
#include "settings.h"
#include "utf8.h"

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
// --stdout: where the point text goes instead of <name>.asc.
FILE *pointsToStandardOutput = nullptr;
char columnSeparator = ' '; // -d, --csv

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
        "  -x, --extended            also read LAS 1.3 and 1.4, point data formats 4-10,\n"
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

// Every end of a run but a complete one comes here: the workers are
// stopped and joined, so that no thread runs while the exit handlers
// (which remove the output being written) and static destructors do.
[[noreturn]] void endRun(int status)
{
    stopPipeline();
    std::exit(status);
}

[[noreturn]] void failWithUsage(const char *message)
{
    std::puts(message);
    usage();
    endRun(-1);
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

[[noreturn]] void failWith(const char *format, const char *name)
{
    std::printf(format, name);
    endRun(-1);
}

// A buffer that could not grow, on any thread: the run ends in order, its
// workers stopped and the output being written removed.
[[noreturn]] void failOutOfMemory()
{
    reportToStandardError("TREVLIN: out of memory\n");
    endRun(-1);
}

// A refusal whose words a module made.
[[noreturn]] void refuse(const std::string &message)
{
    std::fputs(message.c_str(), stdout);
    endRun(-1);
}

// An output that could not be made whole ends the run, naming it.
void requireOutput(OutputOutcome outcome, const std::string &name)
{
    if (outcome != OUTPUT_DONE)
        failWith(outputFailureMessage(outcome), name.c_str());
}

NamingRule namingRule()
{
    return NamingRule{options.outputDir, options.gzipLevel > 0};
}

// A LAZ input's VLR and chunk table, or the end of the run, naming the file
// and what is damaged or not decoded yet.
void readLazContainer(FILE *fin, const std::string &name, const LAS14Header &h,
                      const RecordType &type, LazFile *laz)
{
    std::string why;
    const LazReadOutcome outcome = readLazFile(fin, h, type, laz, &why);
    if (outcome == LAZ_READ)
        return;
    std::printf(lazRefusalMessage(outcome), name.c_str(), why.c_str());
    endRun(-1);
}

// Reads the whole header (227 bytes, or with -x as many as its version
// has) and makes sure it still describes the file that was validated, with
// point data after the header.
void readHeader(FILE *fin, const std::string &LASName, const RecordType &type, LAS14Header *h)
{
    *h = LAS14Header{};
    const unsigned bytes = headerBytesToRead(type);
    if (!read_exact(fin, h, bytes)) {
        std::printf("\nFile %s ends within its %u-byte header\n", LASName.c_str(), bytes);
        endRun(-1);
    }
    if (recordTypeOfHeader(*h) != type)
        failWith("\nFile %s has changed since it was validated\n", LASName.c_str());
    if (h->Public.OffsetToData < LAS_HEADER_SIZE) {
        std::printf("\nOffsetToData of %s (%u) lies within its 227-byte header\n", LASName.c_str(),
                    static_cast<unsigned>(h->Public.OffsetToData));
        endRun(-1);
    }
}

// What the conversion would refuse on the header alone, found before any
// output of a list is written: the file opens and its header is whole,
// with point data after it.
void checkListedHeader(const std::string &name, const RecordType &type)
{
    FILE *fin = openInputFile(name.c_str());
    if (!fin)
        failWith("\nCannot open binary file %s for reading\n\n", name.c_str());
    LAS14Header h;
    readHeader(fin, name, type, &h);
    if (type.compressed) {
        LazFile laz;
        readLazContainer(fin, name, h, type, &laz);
    }
    std::fclose(fin);
}

// Two listed files that would write one output (x.las and x_hdr.las, or
// with an output folder two of one last name): the second would replace
// the first's.
void checkOutputsApart(const std::vector<std::string> &names, const char *listName)
{
    NameCollision c;
    if (findOutputOnto(names, namingRule(), listName, &c)) {
        std::printf("\n%s, listed in %s, would be written as %s, the list itself\n",
                    c.first.c_str(), listName, c.output.c_str());
        endRun(-1);
    }
    if (!findNameCollision(names, namingRule(), &c))
        return;
    std::printf("\n%s and %s, listed in %s, would both be written as %s\n", c.first.c_str(),
                c.second.c_str(), listName, c.output.c_str());
    endRun(-1);
}

// An input as validation found it.
struct Input {
    std::string name;
    RecordType type;
};

// A refused file, with every word that may help.
[[noreturn]] void refuseListed(const std::vector<std::string> &names, size_t at,
                               const char *listName, int16_t result)
{
    const std::string &name = names[at];
    explainListedRefusal(names, at, result);
    if (!options.extended)
        explainExtendedOnly(name.c_str(), listName);
    if (!isUtf8(name))
        reportToStandardError("TREVLIN: %s is not UTF-8: a list must be UTF-8, or UTF-16 with its "
                              "byte-order mark\n",
                              listName);
    std::printf("%s (listed in %s) is not a valid LAS file\n", name.c_str(), listName);
    endRun(-1);
}

// Validation pass over the list: every name must be a convertible LAS
// file, and without -x all of one record type. The names are kept, so
// that the conversion converts exactly what was checked.
std::vector<Input> validateList(const std::string &bytes, const char *listName)
{
    const std::vector<std::string> names = listNames(bytes);
    std::vector<Input> inputs;
    for (size_t at = 0; at < names.size(); ++at) {
        const std::string &name = names[at];
        // A name with a NUL byte would reach the file system cut short.
        if (name.find('\0') != std::string::npos) {
            explainNulInList(listName, bytes);
            failWith("\nA name listed in %s contains a NUL byte\n", listName);
        }
        RecordType type;
        const int16_t result = checkInput(name.c_str(), &type);
        if (result < 1)
            refuseListed(names, at, listName, result);
        if (!options.extended && !inputs.empty() && type != inputs.front().type) {
            explainTypesDiffer(name, type, inputs.front().type);
            std::printf("\nType of file %s differs from that of previous files in %s\n",
                        name.c_str(), listName);
            endRun(-1);
        }
        checkListedHeader(name, type);
        inputs.push_back(Input{name, type});
    }
    if (inputs.empty())
        failWith("\nFile %s contains no valid .las files\n", listName);
    checkOutputsApart(names, listName);
    return inputs;
}

// The bytes of a list, read whole before any name is checked.
std::string bytesOfList(const char *listName)
{
    FILE *flist = openListFile(listName);
    if (!flist)
        failWith("\nCannot open input ASCII file %s for reading\n", listName);
    std::string bytes;
    const bool read = readListBytes(flist, &bytes);
    std::fclose(flist);
    if (!read)
        failWith("\nCannot open input ASCII file %s for reading\n", listName);
    explainLasTakenForList(listName, bytes, options.extended);
    return bytes;
}

// The one input named on the command line.
std::vector<Input> validateFile(const char *input)
{
    RecordType type;
    const int16_t result = checkInput(input, &type);
    if (result < 1)
        explainRefusedFile(input, result);
    if (result < 0 && !options.extended)
        explainExtendedOnly(input, input);
    if (result < 1)
        endRun(-1);
    // A LAZ file is judged whole before anything is written, as a list is.
    if (type.compressed)
        checkListedHeader(input, type);
    return {Input{input, type}};
}

void checkAvailability(int Format, const RecordType &type, const char *name)
{
    if (!formatServesType(Format, type)) {
        const bool wantsTime = Format == 13 || Format == 17 || Format == 18;
        failWith(wantsTime ? "\n%s does not contain GPS Time data\n"
                           : "\n%s does not contain RGB data\n",
                 name);
    }
}

// Without -x every input has one type, and a refusal names the command's
// input (the file or the list); with -x a list may mix types, and the
// refusal names the file that the Format does not serve.
void checkAvailabilityOfAll(int Format, const std::vector<Input> &inputs, const char *input)
{
    if (!options.extended) {
        checkAvailability(Format, inputs.front().type, input);
        return;
    }
    for (const Input &in : inputs)
        checkAvailability(Format, in.type, in.name.c_str());
}

// Writes the point text of one input into LASNameASCII, with the progress
// line shown while it runs; the records converted go in *records.
// The records an input holds: what its point data can hold, or for LAZ
// what its chunks hold.
uint64_t recordsOf(const PointInput &in, const RecordType &type)
{
    if (!in.laz)
        return in.dataBytes / type.RecordLength;
    if (in.laz->sequential)
        return in.laz->sequencePoints;
    uint64_t records = 0;
    for (const LazChunk &chunk : in.laz->chunks)
        records += chunk.points;
    return records;
}

// The point text on standard output is whole once flushed. A reader that
// closed the pipe early (head) ends the run without a word, as every
// command of a pipeline does; any other failure is reported.
void finishStandardOutput(PointsOutcome outcome, int writeError)
{
    if (outcome == POINTS_WRITTEN && std::fflush(pointsToStandardOutput) == 0)
        return;
    if (outcome == POINTS_WRITTEN)
        writeError = errno;
    errno = writeError;
    if (brokenPipe()) {
        stopPipeline();
        endAsBrokenPipe();
    }
    failWith("\nFailed to write file %s\n", "(standard output)");
}

void writePointFile(const std::string &LASName, const std::string &LASNameASCII, int Format,
                    const RecordType &type, FILE *fin, const LAS14Header *h,
                    const ExtraColumns &extras, const LazFile *laz, int position, int LASCount,
                    uint64_t *records, const TextShape &shape)
{
    OutputFile points;
    if (pointsToStandardOutput)
        points.stream = pointsToStandardOutput;
    else
        requireOutput(beginOutput(&points, LASNameASCII), LASNameASCII);
    const LAS12Header *ph12 = &h->Public;
    PointInput in = pointInputOf(LASName.c_str(), fin, ph12, pointDataEnd(*h, type));
    std::string damage;
    in.laz = laz, in.failure = &damage;
    progressStartFile(LASName, position, LASCount, recordsOf(in, type));
    const PointsOutcome outcome =
        writePoints(Format, type, in, PointOutput{points.stream, options.gzipLevel}, ph12, records,
                    &extras, shape);
    const int writeError = errno;
    progressEndFile();
    if (outcome == POINTS_READ_FAILED || outcome == POINTS_OUT_OF_MEMORY ||
        outcome == POINTS_DECODE_FAILED) {
        if (!pointsToStandardOutput)
            discardOutput(&points);
        if (outcome == POINTS_OUT_OF_MEMORY)
            failOutOfMemory();
        if (outcome == POINTS_DECODE_FAILED) {
            std::printf(lazRefusalMessage(LAZ_DAMAGED), LASName.c_str(), damage.c_str());
            endRun(-1);
        }
        failWith("\nFailed to read file %s\n", LASName.c_str());
    }
    if (pointsToStandardOutput)
        finishStandardOutput(outcome, writeError);
    else
        requireOutput(commitOutput(&points, outcome == POINTS_WRITTEN), LASNameASCII);
}

// A file cut short (an interrupted copy) or holding more than it says
// converts all the same, but the user converting thousands of tiles needs
// to hear of it.
void warnOfRecordCount(const std::string &LASName, const LAS14Header &h, const RecordType &type,
                       uint64_t records)
{
    const uint64_t declared = declaredPointCount(h, type);
    if (records == declared)
        return;
    reportToStandardError(
        "TREVLIN: warning: %s holds %llu point records; its header declares %llu\n",
        LASName.c_str(), static_cast<unsigned long long>(records),
        static_cast<unsigned long long>(declared));
}

// Format 0's columns for the extra bytes of the input's records, as its
// Extra Bytes VLR describes them; a description that cannot be right is
// warned of and gives none.
ExtraColumns extraColumnsOfInput(FILE *fin, const std::string &LASName, const LAS14Header &h,
                                 const RecordType &type)
{
    if (extraBytesOf(type) == 0)
        return ExtraColumns{};
    std::string problem;
    ExtraColumns extras = extraColumnsOf(fin, h, type, &problem);
    if (!problem.empty())
        reportToStandardError("TREVLIN: warning: the Extra Bytes VLR of %s is not used: %s\n",
                              LASName.c_str(), problem.c_str());
    return extras;
}

// Converts one input: its header report, then its point text. In list
// mode `position` is the input's 1-based place among `LASCount`; 0 otherwise.
void convertFile(const std::string &LASName, int Format, const RecordType &type, LAS14Header *h,
                 int position, int LASCount)
{
    FILE *fin = openInputFile(LASName.c_str());
    if (!fin)
        failWith("\nCannot open binary file %s for reading\n\n", LASName.c_str());
    const OutputNames names = outputNamesOf(LASName, namingRule());
    if (!options.quiet) {
        std::printf("Input LAS File:     %s\n", LASName.c_str());
        std::printf("Output ASCII File:  %s\n",
                    pointsToStandardOutput ? "(standard output)" : names.points.c_str());
        if (position > 0)
            std::printf("%d / %d\n\n", position, LASCount);
    }
    // What has been printed is out before the long part begins, so that an
    // interrupted run has shown everything it printed.
    flushStandardOutput();
    readHeader(fin, LASName, type, h);
    LazFile laz;
    if (type.compressed)
        readLazContainer(fin, LASName, *h, type, &laz);
    if (type.compressed && lazCompatibilityLayout(laz.layout))
        reportToStandardError("TREVLIN: %s stores LAS 1.4 points as point data format %d with "
                              "their LAS 1.4 fields in extra bytes (LASzip's compatibility "
                              "layout); they are converted as stored\n",
                              LASName.c_str(), type.PointFormat);
    const ExtraColumns extras =
        Format == 0 ? extraColumnsOfInput(fin, LASName, *h, type) : ExtraColumns{};
    // The chosen columns were found in every input before the run began.
    std::vector<int> chosen;
    std::string unused;
    if (options.columns)
        chooseColumns(options.columns, type, &extras, &chosen, &unused);
    const TextShape shape{options.columns ? &chosen : nullptr, columnSeparator};
    laz.fields = lazFieldsOfFormat(options.columns ? formatOfColumns(chosen) : Format);
    const LAS12Header *ph12 = &h->Public;
    determineCoordinatePrecision(ph12);
    if (!seek_from_start(fin, ph12->OffsetToData))
        failWith("\nCannot reach the point data of %s\n", LASName.c_str());
    requireOutput(writeHeaderReport(names.report, h, type), names.report);
    uint64_t records = 0;
    writePointFile(LASName, names.points, Format, type, fin, h, extras,
                   type.compressed ? &laz : nullptr, position, LASCount, &records, shape);
    std::fclose(fin);
    warnOfRecordCount(LASName, *h, type, records);
}

void checkOutputFolder()
{
    if (options.outputDir && outputTargetOf(options.outputDir) != TARGET_DIRECTORY)
        failWith("\n%s is not a directory\n", options.outputDir);
}

// Batch jobs keep standard output as their record of what was converted:
// a record that could not be written is a failed run.
void checkStandardOutput()
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return;
    const int error = errno;
    reportToStandardError("TREVLIN: standard output could not be written: %s\n",
                          error != 0 ? std::strerror(error) : "a write failed");
    endRun(-1);
}

// The pipeline as the settings ask; read before the banner, so that a
// setting refused leaves standard output as every refusal does.
PipelineSettings pipelineSettings(TestSettings *tests)
{
    int threads = 0;
    std::string refusal;
    if (!workerCount(options, &threads, &refusal) || !testSettings(tests, &refusal))
        refuse(refusal);
    return PipelineSettings{threads < 2 ? 0 : threads, tests->jobRecords, DEFAULT_JOB_TEXT_BYTES};
}

void setUpDurableOutputs()
{
    bool durable = false;
    std::string refusal;
    if (!durableOutputs(options, &durable, &refusal))
        refuse(refusal);
    setDurableOutputs(durable);
}

// Options must all be known and have their values.
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
    endRun(-1);
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

// One thread means no workers: the writer formats its own jobs.
void startWorkers(const PipelineSettings &settings)
{
    if (!startPipeline(settings)) {
        std::puts("Failed to allocate memory for 1 record of data structure");
        endRun(-1);
    }
}

// A collection converted one run per tile (a batch job) is never seen
// whole by one run: `[options] --check-names TILES` judges the names of
// every tile of it, one a line as find prints them, by the rule of the
// options, and refuses it when two tiles would write one output.
int checkNamesOfTiles(int optionEnd, char **argv, const char *tilesName)
{
    if (optionsEnd(optionEnd, argv, true) != optionEnd)
        failWithUsage("\n\nMissing, or excessive number of, arguments\n");
    FILE *f = openListFile(tilesName);
    std::string bytes;
    const bool read = f && readListBytes(f, &bytes);
    if (f)
        std::fclose(f);
    if (!read)
        failWith("\nCannot open input ASCII file %s for reading\n", tilesName);
    std::vector<std::string> tiles;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find('\n', at);
        end = end == std::string::npos ? bytes.size() : end;
        std::string line = bytes.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos)
            tiles.push_back(line);
        at = end + 1;
    }
    NameCollision c;
    if (!findNameCollision(tiles, namingRule(), &c))
        return 0;
    std::printf("\n%s and %s, listed in %s, would both be written as %s\n", c.first.c_str(),
                c.second.c_str(), tilesName, c.output.c_str());
    endRun(-1);
}

// -c: every input must have every chosen column; the first that lacks one
// is refused, with the columns it has, before anything is written.
void checkColumnsOfAll(const std::vector<Input> &inputs)
{
    for (const Input &in : inputs) {
        FILE *fin = openInputFile(in.name.c_str());
        if (!fin)
            failWith("\nCannot open binary file %s for reading\n\n", in.name.c_str());
        LAS14Header h;
        readHeader(fin, in.name, in.type, &h);
        std::string unused;
        const ExtraColumns extras =
            extraBytesOf(in.type) > 0 ? extraColumnsOf(fin, h, in.type, &unused) : ExtraColumns{};
        std::fclose(fin);
        std::vector<int> chosen;
        std::string problem;
        if (chooseColumns(options.columns, in.type, &extras, &chosen, &problem))
            continue;
        if (problem.compare(0, 2, "-c") == 0)
            std::printf("\n%s\n", problem.c_str());
        else
            std::printf("\n%s %s\n", in.name.c_str(), problem.c_str());
        endRun(-1);
    }
}

// --stdout: one file's text, and the messages out of its way.
void sendPointsToStandardOutput()
{
    pointsToStandardOutput = takeStandardOutputForPoints();
    if (!pointsToStandardOutput) {
        reportToStandardError("TREVLIN: standard output cannot take the point text\n");
        endRun(-1);
    }
}

void setUpColumnSeparator()
{
    std::string refusal;
    if (!columnDelimiter(options, &columnSeparator, &refusal))
        refuse(refusal);
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
    case EXTENSION_NAME_TOO_SHORT: failWith("\nFile name (%s) is too short\n", filename);
    case EXTENSION_NO_DOT:
        failWith("\nExtension of file %s should be preceeded by a dot (.)\n", filename);
    default: return -1;
    }
}

namespace
{

int run(int argc, char *argv[])
{
    argv = utf8CommandLine(&argc, argv);
    prepareConsole();
    watchForInterrupts();
    if (argc == 2 && answeredAlone(argv[1]))
        return 0;
    if (argc >= 3 && std::strcmp(argv[argc - 2], "--check-names") == 0)
        return checkNamesOfTiles(argc - 2, argv, argv[argc - 1]);
    const int first = optionsEnd(argc, argv, false);
    if (options.toStandardOutput)
        sendPointsToStandardOutput();
    // Chosen columns take the Format's place.
    if (options.columns && argc - first == 2)
        refuse("\n-c (--columns) takes the place of the Format: give the input alone\n");
    if (argc - first != (options.columns ? 1 : 2)) {
        explainOptionsAfterArguments(argc, argv, first);
        failWithUsage("\n\nMissing, or excessive number of, arguments\n");
    }
    const char *input = argv[first], *FormatText = options.columns ? "0" : argv[first + 1];
    checkOutputFolder();
    setUpColumnSeparator();
    TestSettings tests{};
    const PipelineSettings settings = pipelineSettings(&tests);
    setUpDurableOutputs();
    _extendedInputs = options.extended;
    explainFirstArgument(input, FormatText);
    // With -x, .las and .laz in any case name LAS and LAZ files.
    const bool pointFileName = options.extended && (hasExtensionInAnyCase(input, "las") ||
                                                    hasExtensionInAnyCase(input, "laz"));
    const bool listMode =
        !pointFileName && checkFileExtension(input, "las") != 0 &&
        !(options.extended && classify_file_extension(input, "laz") == EXTENSION_MATCHES);
    if (listMode && options.toStandardOutput)
        refuse(std::string("\n--stdout writes the points of one file; ") + input + " is a list\n");
    std::vector<Input> inputs;
    if (!listMode) {
        inputs = validateFile(input);
    } else {
        inputs = validateList(bytesOfList(input), input);
    }
    if (options.columns)
        checkColumnsOfAll(inputs);
    check_numeric_argument(FormatText);
    const int Format = parseFormat(FormatText);
    if (Format < 0)
        failWithUsage("\nError in Format specified\n");
    checkAvailabilityOfAll(Format, inputs, input);

    const auto beginTime = std::chrono::steady_clock::now();
    if (!options.quiet)
        credits();
    startWorkers(settings);
    progressSetUp(standardErrorIsTerminal(), tests.progressDelayMs);
    LAS14Header h;
    const int LASCount = static_cast<int>(inputs.size());
    for (int t = 0; t < LASCount; ++t)
        convertFile(inputs[t].name, Format, inputs[t].type, &h, listMode ? t + 1 : 0, LASCount);
    const auto finishTime = std::chrono::steady_clock::now();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(finishTime - beginTime);
    if (!options.quiet)
        std::printf("\nElapsed time: %.3f seconds\n\n",
                    static_cast<double>(elapsed.count()) / 1000.0);
    stopPipeline();
    checkStandardOutput();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        failOutOfMemory();
    }
}
