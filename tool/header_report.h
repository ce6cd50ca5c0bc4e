// TREVLIN: the header report <name>_hdr.asc, one labelled value per line.
#ifndef TREVLIN_HEADER_REPORT_H
#define TREVLIN_HEADER_REPORT_H

#include "coordinate_precision.h"
#include "las_input.h"
#include "output_file.h"

#include <string>

// The report's text: 34 lines, and for LAS 1.3 to 1.5 the fields their
// headers add. `h` holds as much of the header as the file's version has,
// zeros after; for LAS 1.5 it is the Base of a LAS15Header.
std::string headerReportText(const LAS14Header *h, const RecordType &type,
                             const CoordinateDigits &digits);

// Writes the report, whole, under a temporary name beside `reportName`,
// where it waits until placeOutput(report) puts it in place (or
// discardOutput removes it): a file whose points fail keeps its earlier
// report.
OutputOutcome prepareHeaderReport(const std::string &reportName, const LAS14Header *h,
                                  const RecordType &type, const CoordinateDigits &digits,
                                  OutputFile *report);
// Writes the report under the name `reportName`.
OutputOutcome writeHeaderReport(const std::string &reportName, const LAS14Header *h,
                                const RecordType &type, const CoordinateDigits &digits);

#endif
