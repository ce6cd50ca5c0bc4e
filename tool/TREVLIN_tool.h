// TREVLIN: LAS to ASCII export tool. Declarations shared by the tool's
// sources: decimal counts, the header report and the Format writer.
#ifndef TREVLIN_TOOL_H
#define TREVLIN_TOOL_H

#include "HOLVANE_LiDAR.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

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

// `name` without its last four characters (".las"), followed by `suffix`.
std::string replaceExtension(const std::string &name, const char *suffix);

// Puts a list file at its first name: at its start, or after the UTF-8
// byte-order mark that Windows editors write there.
void rewindList(FILE *flist);

// Next white-space-separated word of a list file, of any length; false
// when no word is left. Names may hold any byte but white space.
bool readListName(FILE *flist, std::string *name);

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

// ====================== Words for silent refusals ======================
// One line each on standard error; standard output stays as it is.
// A LAS 1.0/1.1 file declaring point data format 2 or 3 (check_las gives 0).
void explainUndefinedFormat(const char *name);
// A would-be list that is a LAS file (named .LAS); `flist` is rewound.
void explainLasTakenForList(const char *name, FILE *flist);
// A listed name that check_las refused with `LASType`, where it says why.
void explainListedRefusal(const std::string &name, int16_t LASType);

// ====================== Header report ======================
// Writes <name>_hdr.asc; ends the process when it cannot be written.
void writeAsciiHeader(const char *Name, const LAS12Header *h, int16_t Type);

// The report's text, as writeAsciiHeader stores it.
std::string headerReportText(const LAS12Header *h, int16_t Type);

// ====================== Point export ======================
constexpr int MAX_FORMAT = 20;

// Whether Format writes a value line per record for this LASType.
bool formatServesType(int Format, int16_t LASType);

// Working memory of the one-thread record loop: whole records are read many
// at a time and lines assembled before one fwrite, so memory stays constant.
struct PointBuffers {
    unsigned char *records; // RECORD_CHUNK_BYTES
    char *text;             // TEXT_BUFFER_BYTES
};
constexpr size_t RECORD_CHUNK_RECORDS = 4096;
constexpr size_t RECORD_CHUNK_BYTES = RECORD_CHUNK_RECORDS * sizeof(LAS12fm3);
constexpr size_t TEXT_BUFFER_BYTES = 1 << 20;
// Room that the longest value line may need at the end of a text buffer.
constexpr size_t MAX_LINE_BYTES = 2048;

bool allocatePointBuffers(PointBuffers *b);
void releasePointBuffers(PointBuffers *b);

// One input's point data as the Format writer reads it.
struct PointInput {
    const char *name;   // the LAS file, which pipeline workers open again
    FILE *fin;          // positioned at dataStart
    uint64_t dataStart; // OffsetToData
    uint64_t dataBytes; // bytes from dataStart to the end when the conversion began
};

// The input as it is when its conversion begins: fin positioned at
// OffsetToData, and the bytes of point data from there to the end.
PointInput pointInputOf(const char *name, FILE *fin, const LAS12Header *ph12);

enum PointsOutcome { POINTS_WRITTEN, POINTS_WRITE_FAILED, POINTS_READ_FAILED };

// Streams every whole point record of the input into fout as the Format's
// text, on the pipeline's workers when it runs and the input is large
// enough, on the calling thread otherwise, and counts them in *records.
// The text ends at the end of the input, or at a read that failed.
PointsOutcome writePoints(int Format, int16_t LASType, const PointInput &in, FILE *fout,
                          const LAS12Header *ph12, const PointBuffers *buffers, uint64_t *records);

// What the text of one file's records depends on (point_export.cpp).
struct FileLayout;

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
};

// Writes the text of the records in [r, end) through the buffer `text` of
// `textBytes`, writing it out whenever it is full; what is left pending
// ends at *pending. False when writing failed.
bool writeRecordText(FILE *fout, const RecordText &t, char *text, size_t textBytes, char **pending,
                     const unsigned char *r, const unsigned char *end);

bool writeAll(FILE *fout, const char *text, size_t n);

// ====================== Conversion pipeline ======================
struct PipelineSettings {
    int workers;         // threads that read and format
    size_t jobRecords;   // most whole records per job
    size_t jobTextBytes; // text buffer per job; at least 2 * MAX_LINE_BYTES
};
constexpr size_t DEFAULT_JOB_RECORDS = 32768;
constexpr size_t DEFAULT_JOB_TEXT_BYTES = 1 << 20;
constexpr int MAX_WORKERS = 256;

// Starts the workers, once per run; false when none could start (the run
// then converts on the calling thread). Every end of the process stops them.
bool startPipeline(const PipelineSettings &settings);
// Stops and joins the workers and releases the job buffers.
void stopPipeline();

enum PipelineOutcome {
    PIPELINE_NOT_USED,
    PIPELINE_WRITTEN,
    PIPELINE_WRITE_FAILED,
    PIPELINE_READ_FAILED
};

// Converts the input on the workers, the caller writing, and counts the
// records written in *records: not used when the pipeline does not run,
// the input fits one job, or the workers' streams cannot be opened; the
// caller then converts it on its own.
PipelineOutcome pipelineConvert(const PointInput &in, const RecordText &text, FILE *fout,
                                uint64_t *records);

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
