// TREVLIN: what an input LAS file is, as validation finds it and as the
// conversion reads it: the plain LAS 1.0-1.2 files of formats 0-3 every
// run reads, and, with -x, LAS 1.0-1.4 of formats 0-10 whose records may
// carry extra bytes.
#ifndef TREVLIN_LAS_INPUT_H
#define TREVLIN_LAS_INPUT_H

#include "HOLVANE_LiDAR.h"

#include <cstdint>
#include <cstdio>
#include <string>

// An input's point records: everything their text depends on besides the
// header's scales and offsets.
struct RecordType {
    uint8_t VersionMinor = 0;
    uint8_t PointFormat = 0;   // without the compression bits
    uint16_t RecordLength = 0; // the stride: the format's length, or more
    bool compressed = false;   // LAZ: the records are LASzip-compressed

    bool operator==(const RecordType &) const = default;
};

// The record type of a LASType 1..8.
RecordType recordTypeOf(int16_t LASType);

// LAS 1.0 names the fields at offsets 17 and 18, and the dates of its
// header, differently.
inline bool isLas10(const RecordType &type)
{
    return type.VersionMinor == 0;
}

// Bytes of point record beyond what the format defines.
inline unsigned extraBytesOf(const RecordType &type)
{
    return type.RecordLength - las_format_record_size(type.PointFormat);
}

// Validates a file as check_las does, by the rules of the run: check_las's
// own without -x; with `extended` (-x), LAS 1.0-1.5 and the formats each
// version defines (0-10; 6-10 in 1.5) with records of at least their
// standard length, and a whole header. Returns 1 with *type set, 0 for a
// LAS 1.0/1.1 file declaring format 2 or 3 (no message), -1 after a
// message on standard output.
int16_t checkInput(const char *name, bool extended, RecordType *type);

// The record type a whole header describes by the rules of the run, or a
// PointFormat of 0xFF when they refuse it; quiet.
RecordType recordTypeOfHeader(const LAS15Header &h, bool extended);

// Bytes of public header the conversion reads: 227, or with -x the size of
// the version's header (at most a LAS15Header).
unsigned headerBytesToRead(const RecordType &type, bool extended);

// The point count the header declares: the 64-bit one of LAS 1.4.
uint64_t declaredPointCount(const LAS14Header &h, const RecordType &type);

// Where the point records end when the header says that something else
// follows them (extended VLRs, waveform packets stored in the file);
// UINT64_MAX when they run to the end of the file.
uint64_t pointDataEnd(const LAS14Header &h, const RecordType &type);

// Why a file is refused without -x and read with it, on standard error:
// one line, naming `name` and the command that converts it (`input`, the
// file or its list). Nothing when -x would refuse it too.
void explainExtendedOnly(const char *name, const char *input);

// Whether `name` ends in a dot and `extension` in any case (.LAS, .Laz):
// what -x takes for LAS and LAZ files, as Windows software writes them.
bool hasExtensionInAnyCase(const char *name, const char *extension);

#endif
