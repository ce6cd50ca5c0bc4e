// TREVLIN: one input's point file: its column header line, then its
// records' lines through the pipeline, plain or as one gzip member.
#ifndef TREVLIN_POINT_FILE_H
#define TREVLIN_POINT_FILE_H

#include "point_export.h"

// Streams every whole point record of the input into the output as the
// Format's text, on the pipeline's workers when there are any, on the
// calling thread otherwise, and counts them in *records. The text ends at
// the end of the input, or at a read that failed. The pipeline has been
// started, and the Format serves the record type.
// `extras`: the columns of the extra bytes, which Format 0 appends.
// `digits`: the decimals of X, Y and Z (determineCoordinatePrecision).
PointsOutcome writePoints(int Format, const RecordType &type, const PointInput &in,
                          const PointOutput &out, const LAS12Header *ph12,
                          const CoordinateDigits &digits, uint64_t *records,
                          const ExtraColumns *extras = nullptr, const TextShape &shape = {});

#endif
