// A second, independent reading of LAS 1.0-1.4 files of point formats 0-10,
// with records of any length: a table of field offsets per format, and
// fprintf for the text. It judges what the tool writes with -x.
#ifndef TREVLIN_EXTENDED_REFERENCE_H
#define TREVLIN_EXTENDED_REFERENCE_H

#include <string>

// The point text of a file, as -x converts it in `Format`; the header
// line alone where the Format has no value for the file's records.
std::string extendedReferencePoints(int Format, const std::string &lasPath);

// The header report of a file, as -x writes it.
std::string extendedReferenceHeader(const std::string &lasPath);

#endif
