// TREVLIN: LAS to ASCII export tool. Declarations shared by the tool's
// sources: decimal counts, the header report and the Format writer.
#ifndef TREVLIN_TOOL_H
#define TREVLIN_TOOL_H

#include "HOLVANE_LiDAR.h"
#include "las_input.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// ====================== Coordinate precision ======================
// Decimals printed for X, Y and Z of the input in hand (0..32).
extern int32_t _digitsX;
extern int32_t _digitsY;
extern int32_t _digitsZ;

// Number of decimals a scale factor calls for, judged in binary64.
int32_t decimalCount(double scale);
void determineCoordinatePrecision(const LAS12Header *h);

// ====================== File names ======================
// 0 when the name ends in ".<extension>", -1 for another extension; a name
// too short or without the dot fourth from the end ends the process.
int16_t checkFileExtension(const char *filename, const char *extension);

// The whole of a list file, read once (a list may be a pipe); false when
// reading failed.
bool readListBytes(FILE *flist, std::string *bytes);

// The names of a list: separated by white space, or written in double
// quotes and then holding blanks; they may hold any other byte. A UTF-8
// byte-order mark is skipped; after a UTF-16 one the list is read as
// UTF-16 and its names are given in UTF-8.
std::vector<std::string> listNames(const std::string &bytes);

// ====================== Options ======================
// What the options in front of the two arguments ask for; every field's
// default is the run that two arguments alone make.
struct RunOptions {
    const char *outputDir = nullptr;     // -o DIR: outputs there, not beside the input
    int gzipLevel = 0;                   // -z, --gzip=LEVEL: the point file as .asc.gz
    bool quiet = false;                  // -q: standard output gets failures only
    bool extended = false;               // -x: LAS 1.3/1.4, formats 4-10, extra bytes
    const char *threads = nullptr;       // -j N: as TREVLIN_THREADS, and before it
    const char *threadsOption = nullptr; // the word that gave it, for its refusal
    const char *sync = nullptr;          // --sync[=0|1]: as TREVLIN_SYNC, and before it
};
constexpr int DEFAULT_GZIP_LEVEL = 1;

// Takes the options into *o and returns the index of the first of the two
// arguments. An unknown option, or one without its value, ends the process
// with a line naming it and the usage.
int parseOptions(int argc, char **argv, RunOptions *o);
// The same for every word of argv[1..argc-1], however many there are.
int parseOptionWords(int argc, char **argv, RunOptions *o);

// The command syntax and the Formats, on standard output.
void usage();

// ====================== Output files ======================
// Every output file comes into being the same way, so that a file under
// its final name is always whole: the one from before the run, or the new
// one, never a part. The calling sequence:
//   beginOutput    names a temporary beside the final name, tells the
//                  interrupt handler, then creates it (exclusively);
//   write          into f.stream;
//   commitOutput   closes, checks the close, renames over the final name;
//   or discardOutput, which closes and removes the temporary.
// A failure anywhere removes the temporary, and so does every exit of the
// process while one is open. Only a kill that no handler sees (SIGKILL, a
// crash) leaves one, under a name ending in ".incomplete".
// A final name that is a pipe or a device (/dev/null, a FIFO a reader
// waits on) is written directly: there is no file there to replace.
struct OutputFile {
    std::string name;      // the final name
    std::string temporary; // where the text is written; `name` when directly
    FILE *stream;
};

// Opens the output; ends the process with "Failed to open file <name> for
// writing" when it cannot.
void beginOutput(OutputFile *f, const std::string &name);
// Puts the complete output under its final name. `written` says whether
// every write succeeded; when not, or when the close or the rename fails,
// the temporary is removed and the process ends with a message naming the
// file.
void commitOutput(OutputFile *f, bool written);
// Closes the output and removes the temporary; the final name keeps what
// it held before.
void discardOutput(OutputFile *f);
// With `durable`, each output reaches the disk before its rename, and the
// rename before the next output begins, so that a power cut leaves the old
// file or the new one under the final name, whole.
void setDurableOutputs(bool durable);

// ====================== Header report ======================
// Writes <name>_hdr.asc; ends the process when it cannot be written.
// `h` holds as much of the header as the file's version has, zeros after.
void writeAsciiHeader(const char *Name, const LAS14Header *h, const RecordType &type);
// The same, under the name `reportName`.
void writeHeaderReport(const std::string &reportName, const LAS14Header *h, const RecordType &type);

// The report's text, as writeAsciiHeader stores it: 34 lines, and for LAS
// 1.3 and 1.4 the fields their headers add.
std::string headerReportText(const LAS14Header *h, const RecordType &type);

// ====================== Point export ======================
struct ExtraColumns; // extra_bytes.h
constexpr int MAX_FORMAT = 20;

// Whether Format writes a value line per record of this type.
bool formatServesType(int Format, const RecordType &type);

// Room that the longest value line may need at the end of a text buffer.
constexpr size_t MAX_LINE_BYTES = 2048;

// One input's point data as the Format writer reads it.
struct PointInput {
    const char *name;   // the LAS file, which pipeline workers open again
    FILE *fin;          // positioned at dataStart
    uint64_t dataStart; // OffsetToData
    uint64_t dataBytes; // bytes from dataStart to the end when the conversion began
    uint64_t dataLimit; // the most bytes of point data the header allows (records end
                        // where extended records begin); UINT64_MAX: up to the end
};

// The input as it is when its conversion begins: fin positioned at
// OffsetToData, and the bytes of point data from there to the end, or to
// `dataEnd` when what follows the points is not points.
PointInput pointInputOf(const char *name, FILE *fin, const LAS12Header *ph12,
                        uint64_t dataEnd = UINT64_MAX);

enum PointsOutcome {
    POINTS_WRITTEN,
    POINTS_WRITE_FAILED,
    POINTS_READ_FAILED,
    POINTS_OUT_OF_MEMORY
};

// Where a point file's text goes: the stream, as plain text or, with a
// gzip level from 1 to 9, as one gzip member.
struct PointOutput {
    FILE *stream;
    int gzipLevel; // 0: plain text
};

// Streams every whole point record of the input into the output as the
// Format's text, on the pipeline's workers when there are any, on the
// calling thread otherwise, and counts them in *records. The text ends at
// the end of the input, or at a read that failed.
// `extras`: the columns of the extra bytes, which Format 0 appends.
PointsOutcome writePoints(int Format, const RecordType &type, const PointInput &in,
                          const PointOutput &out, const LAS12Header *ph12, uint64_t *records,
                          const ExtraColumns *extras = nullptr);

// What the text of one file's records depends on (point_export.cpp).
struct FileLayout;
struct ExtraColumns;

struct RecordText;

// The text of the records from *r up to `end`, written from `out`, while a
// line is sure to fit before `textEnd`; moves *r past the records written
// and returns where their text ends.
using RecordFormatter = char *(*)(char *out, const char *textEnd, const unsigned char **r,
                                  const unsigned char *end, const RecordText &t);

// How one file's records become text.
struct RecordText {
    RecordFormatter format;
    const FileLayout *layout;
    size_t recordSize;
    size_t lineBytes; // room the longest line may need: MAX_LINE_BYTES, more with extra columns
};

// Writes the text of the records in [r, end) through the buffer `text` of
// `textBytes`, writing it out whenever it is full; what is left pending
// ends at *pending. False when writing failed.
bool writeRecordText(FILE *fout, const RecordText &t, char *text, size_t textBytes, char **pending,
                     const unsigned char *r, const unsigned char *end);

bool writeAll(FILE *fout, const char *text, size_t n);

// ====================== Gzip output ======================
// Compressed text and the CRC-32 and length of the text it holds.
struct PackedText {
    std::vector<unsigned char> bytes; // grows as needed, kept between uses
    size_t used = 0;
    uint32_t crc = 0;
    uint64_t length = 0;
};

// A raw deflate stream of one gzip level, used by one thread at a time.
struct TextPacker;
TextPacker *newTextPacker(int level); // null when zlib cannot start one
void freeTextPacker(TextPacker *p);
int packerLevel(const TextPacker *p);

// One piece: packBegin, packMore for each part of its text, packEnd. A
// piece depends on its text alone, and pieces join into one stream.
bool packBegin(TextPacker *p, PackedText *out);
bool packMore(TextPacker *p, const char *text, size_t n, PackedText *out);
bool packEnd(TextPacker *p, PackedText *out);

// The member around the pieces: what the writer keeps of them.
struct GzipMember {
    uint32_t crc;
    uint64_t length;
};
bool writeGzipHeader(FILE *fout, int level);
void addPiece(GzipMember *m, const PackedText &piece);
bool writeGzipTrailer(FILE *fout, const GzipMember &m);

// ====================== Conversion pipeline ======================
struct PipelineSettings {
    int workers;         // threads that read and format; 0: the writer alone
    size_t jobRecords;   // most whole records per job
    size_t jobTextBytes; // text buffer per job; at least 2 * MAX_LINE_BYTES
};
constexpr size_t DEFAULT_JOB_RECORDS = 32768;
constexpr size_t DEFAULT_JOB_TEXT_BYTES = 1 << 20;
constexpr size_t MAX_JOB_RECORDS = 1 << 16;
constexpr int MAX_WORKERS = 256;
// Jobs in flight at most, whatever the number of workers: about 2 MiB each.
constexpr size_t MAX_SLOTS = 48;

// Allocates the job buffers and starts the workers, once per run; false
// when the buffers cannot be had. When no worker can start, the writer
// formats its own jobs. Every end of the process stops them.
bool startPipeline(const PipelineSettings &settings);
// Stops and joins the workers and releases the job buffers.
void stopPipeline();
// Ends the process with `status` once the workers have been stopped and
// joined, so that no thread runs while exit handlers and static
// destructors do. Every failure of the run ends this way.
[[noreturn]] void endRun(int status);

// Converts the input job by job and writes the jobs' text in order, plain
// or as gzip pieces added to *member, counting the records written in
// *records. The jobs are formatted on the workers, or on the calling
// thread when there are none, the input fits one job, or the workers'
// streams cannot be opened: the text is the same either way.
PointsOutcome pipelineConvert(const PointInput &in, const RecordText &text, const PointOutput &out,
                              GzipMember *member, uint64_t *records);

// ====================== Progress on a terminal ======================
// Shown only when standard error is a terminal; called only by the thread
// that writes. `position` is the input's place in a list (0: single file).
void progressStartFile(const std::string &name, int position, int count, uint64_t records);
// Decides, once per run, whether the line is shown and after how long a
// conversion counts as long.
void progressSetUp(bool shown, long delayMilliseconds);
// Records written so far of the file in hand.
void progressRecords(uint64_t done);
// Clears the line, if one is shown.
void progressEndFile();

#endif
