// TREVLIN: the Format writer: the column header line and one text line per
// whole point record, as the Format selects.
#ifndef TREVLIN_POINT_EXPORT_H
#define TREVLIN_POINT_EXPORT_H

#include "coordinate_precision.h"
#include "las_input.h"
#include "laz_input.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct ExtraColumns; // extra_bytes.h
constexpr int MAX_FORMAT = 20;

// Whether Format writes a value line per record of this type.
bool formatServesType(int Format, const RecordType &type);

// Room that the longest value line may need at the end of a text buffer.
constexpr size_t MAX_LINE_BYTES = 2048;

// One input's point data as the Format writer reads it.
struct PointInput {
    const char *name;               // the LAS file, which pipeline workers open again
    FILE *fin;                      // positioned at dataStart
    uint64_t dataStart;             // OffsetToData
    uint64_t dataBytes;             // bytes from dataStart to the end when the conversion began
    uint64_t dataLimit;             // the most bytes of point data the header allows (records end
                                    // where extended records begin); UINT64_MAX: up to the end
    const LazFile *laz = nullptr;   // LAZ: the chunks, each a job; null for LAS
    std::string *failure = nullptr; // LAZ: why a chunk could not be decoded
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
    POINTS_OUT_OF_MEMORY,
    POINTS_DECODE_FAILED // LAZ: a chunk is damaged (*failure says how)
};

// Where a point file's text goes: the stream, as plain text or, with a
// gzip level from 1 to 9, as one gzip member.
struct PointOutput {
    FILE *stream;
    int gzipLevel; // 0: plain text
};

// Columns named on the command line (-c), instead of a Format's: each is
// one of Format 0's columns of the record type, COLUMN_EXTRA + k the k-th
// extra-bytes column.
enum : int {
    COLUMN_X,
    COLUMN_Y,
    COLUMN_Z,
    COLUMN_INTENSITY,
    COLUMN_RETURN_NUMBER,
    COLUMN_NUMBER_OF_RETURNS,
    COLUMN_SCAN_DIRECTION,
    COLUMN_EDGE_OF_FLIGHT_LINE,
    COLUMN_CLASSIFICATION,
    COLUMN_SCAN_ANGLE,
    COLUMN_USER_DATA,    // FileMarker in LAS 1.0
    COLUMN_POINT_SOURCE, // UserBitField in LAS 1.0
    COLUMN_GPS_TIME,
    COLUMN_RED,
    COLUMN_GREEN,
    COLUMN_BLUE,
    COLUMN_NIR,
    COLUMN_CLASS_FLAGS,
    COLUMN_SCANNER_CHANNEL,
    COLUMN_EXTRA,
};

// Format 0's columns of the record type, in order: their ids and names.
std::vector<int> columnsOfType(const RecordType &type, const ExtraColumns *extras);
std::string columnName(int column, const RecordType &type, const ExtraColumns *extras);

// The columns a comma-separated list names, matched without regard to
// case, in its order; false with *problem saying which name is repeated or
// empty ("-c ..."), or unknown to the record type ("has no column ...",
// with the columns it has, to follow the file's name).
bool chooseColumns(const std::string &list, const RecordType &type, const ExtraColumns *extras,
                   std::vector<int> *chosen, std::string *problem);

// The Format whose lines are exactly those of the chosen columns; 0 when
// none is.
int formatOfColumns(const std::vector<int> &columns);

// How the text is shaped beyond the Format: columns chosen by name
// (Format 0 is passed then) and the character between columns.
struct TextShape {
    const std::vector<int> *columns = nullptr;
    char delimiter = ' ';
};

// What the text of one file's records depends on (point_export.cpp).
struct FileLayout;
struct FileTextParts;

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

// A file's text, made once per file: its column header line and how its
// records become lines, for the Format (or the chosen columns and the
// delimiter of `shape`), the header's scales and offsets with `digits`
// (determineCoordinatePrecision), and `extras`, the columns of the extra
// bytes that Format 0 appends.
struct FileText {
    std::string header;
    RecordText records;
    std::unique_ptr<FileTextParts, void (*)(FileTextParts *)> parts; // what `records` reads
};
FileText fileTextOf(int Format, const RecordType &type, const LAS12Header *ph12,
                    const CoordinateDigits &digits, const ExtraColumns *extras = nullptr,
                    const TextShape &shape = {});

#endif
