// TREVLIN: the extra bytes of a point record, as the file's Extra Bytes VLR
// (user ID "LASF_Spec", record ID 4) describes them: one column of Format 0
// per described scalar attribute.
#ifndef TREVLIN_EXTRA_BYTES_H
#define TREVLIN_EXTRA_BYTES_H

#include "las_input.h"
#include "number_text.h"

#include <cstdio>
#include <string>
#include <vector>

// One described attribute that becomes a column.
struct ExtraColumn {
    std::string name;       // as the VLR spells it, without its padding
    size_t offset;          // in the record
    uint8_t dataType;       // 1..10: uchar, char, ushort, short, ulong, long, ..., float, double
    bool scaled;            // printed as raw * scale + offset, with the scale's decimals
    double scale, add;      // 1 and 0 where the VLR gives none
    FixedFormat fixed;      // the decimals of the scale
    CoordinateFormat small; // the same for raws that fit 32 signed bits
};

// The columns of a file's records, and the most text one line of them
// takes, separators included.
struct ExtraColumns {
    std::vector<ExtraColumn> columns;
    size_t textBytes = 0;
    unsigned records = 0; // the Extra Bytes records that describe them
};

// Most text the extra columns of one line may take: the job buffers hold
// many such lines.
constexpr size_t MAX_EXTRA_TEXT = 64 * 1024;

// Reads the description of the extra bytes from the Extra Bytes records of
// `fin` (left positioned anywhere): every one among the VLRs, then among
// the extended VLRs, their descriptors in file order as one description.
// None: no columns. A record that cannot be right (its length, its types,
// more bytes than the records have): no columns, and *problem says why.
ExtraColumns extraColumnsOf(FILE *fin, const LAS14Header &h, const RecordType &type,
                            std::string *problem);

// The column names, each quoted and after a space.
std::string extraColumnsHeader(const ExtraColumns &extras);

// The columns of one record, each after a space.
char *putExtraColumns(char *out, const unsigned char *record, const ExtraColumns &extras);
// One of them, alone.
char *putExtraColumn(char *out, const unsigned char *record, const ExtraColumn &column);

#endif
