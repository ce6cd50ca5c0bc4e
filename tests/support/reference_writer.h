// Plain fprintf transcription of the point text and header report, kept as
// the oracle the fast writers are compared with (tests and benchmark).
#ifndef TREVLIN_REFERENCE_WRITER_H
#define TREVLIN_REFERENCE_WRITER_H

#include "HOLVANE_LiDAR.h"

#include <cstdio>

// Reads one record at a time from fin (at OffsetToData) and prints it with
// fprintf, using the given decimal counts.
void referenceWritePoints(int Format, int16_t LASType, FILE *fin, FILE *fout, const LAS12Header *h,
                          int digitsX, int digitsY, int digitsZ);

// Whether a Format prints value lines for a record type (GPS time needs
// an even LASType, colour 7 or 8).
bool referenceServes(int Format, int16_t LASType);

void referenceWriteHeader(FILE *fout, const LAS12Header *h, int16_t Type, int digitsX, int digitsY,
                          int digitsZ);

#endif
