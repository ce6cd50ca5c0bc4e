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

// ====================== Header report ======================
// Writes <name>_hdr.asc; ends the process when it cannot be written.
void writeAsciiHeader(const char *Name, const LAS12Header *h, int16_t Type);

// The report's text, as writeAsciiHeader stores it.
std::string headerReportText(const LAS12Header *h, int16_t Type);

// ====================== Point export ======================
constexpr int MAX_FORMAT = 20;

// Whether Format writes a value line per record for this LASType.
bool formatServesType(int Format, int16_t LASType);

// Working memory of the Format writer: whole records are read many at a
// time and lines assembled before one fwrite, so memory stays constant.
struct PointBuffers {
    unsigned char *records; // RECORD_CHUNK_BYTES
    char *text;             // TEXT_BUFFER_BYTES
};
constexpr size_t RECORD_CHUNK_RECORDS = 4096;
constexpr size_t RECORD_CHUNK_BYTES = RECORD_CHUNK_RECORDS * sizeof(LAS12fm3);
constexpr size_t TEXT_BUFFER_BYTES = 1 << 20;

bool allocatePointBuffers(PointBuffers *b);
void releasePointBuffers(PointBuffers *b);

// Streams every whole point record of fin (positioned at OffsetToData) into
// fout as the Format's text. False when writing to fout failed.
bool writePoints(int Format, int16_t LASType, FILE *fin, FILE *fout, const LAS12Header *ph12,
                 const PointBuffers *buffers);

#endif
