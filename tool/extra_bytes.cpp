// TREVLIN: columns for the attributes the Extra Bytes VLR describes.
#include "extra_bytes.h"

#include "platform.h"
#include "utf8.h"

#include "coordinate_precision.h"

#include <charconv>
#include <cstring>

namespace
{

#pragma pack(push, 1)
struct VlrHeader {
    uint16_t Reserved;
    char UserID[16];
    uint16_t RecordID;
    uint16_t RecordLengthAfterHeader;
    char Description[32];
};
// The header of an extended VLR (LAS 1.4), after the point data.
struct EvlrHeader {
    uint16_t Reserved;
    char UserID[16];
    uint16_t RecordID;
    uint64_t RecordLengthAfterHeader;
    char Description[32];
};
struct ExtraBytesDescriptor {
    uint8_t Reserved[2];
    uint8_t DataType;
    uint8_t Options; // bit 3: scale given, bit 4: offset given
    char Name[32];
    uint8_t Unused[4];
    uint8_t NoData[24];
    uint8_t Min[24];
    uint8_t Max[24];
    double Scale[3];
    double Offset[3];
    char Description[32];
};
#pragma pack(pop)
static_assert(sizeof(VlrHeader) == 54 && sizeof(EvlrHeader) == 60 &&
              sizeof(ExtraBytesDescriptor) == 192);

constexpr uint16_t EXTRA_BYTES_RECORD = 4;
constexpr uint8_t SCALE_GIVEN = 8, OFFSET_GIVEN = 16;

// Bytes of one value of data types 1..10.
size_t scalarSize(uint8_t type)
{
    static const size_t sizes[11] = {0, 1, 1, 2, 2, 4, 4, 8, 8, 4, 8};
    return sizes[type];
}

// Bytes a descriptor of any defined type takes in the record; 0 for an
// undefined type. Types 11..30 are the deprecated arrays of two and three.
size_t bytesOf(const ExtraBytesDescriptor &d)
{
    if (d.DataType == 0)
        return d.Options; // undocumented bytes: the options field counts them
    if (d.DataType > 30)
        return 0;
    return scalarSize(static_cast<uint8_t>((d.DataType - 1) % 10 + 1)) *
           ((d.DataType - 1) / 10 + 1);
}

// Longest text of one column: a scaled value of any double, a shortest
// real, or an integer of 64 bits.
size_t textBytesOf(const ExtraColumn &c)
{
    if (c.scaled)
        return MAX_FIXED_TEXT + 1;
    return (c.dataType >= 9 ? 32 : MAX_INT_TEXT) + 1;
}

template <typename Header> bool isExtraBytesRecord(const Header &v)
{
    char id[sizeof v.UserID + 1] = {};
    std::memcpy(id, v.UserID, sizeof v.UserID);
    return v.RecordID == EXTRA_BYTES_RECORD && std::strcmp(id, "LASF_Spec") == 0;
}

// A record's descriptors cannot describe more than a record's 65535 bytes
// by much; more are refused before they are allocated.
constexpr uint64_t MOST_DESCRIPTORS = 65535;

// Appends the descriptors of one Extra Bytes record of `length` bytes at
// `at`, which must end by `end`.
bool appendDescriptors(FILE *fin, uint64_t at, uint64_t length, uint64_t end, const char *within,
                       std::vector<ExtraBytesDescriptor> *descriptors, std::string *problem)
{
    const uint64_t count = length / sizeof(ExtraBytesDescriptor);
    if (length % sizeof(ExtraBytesDescriptor) != 0 || length > end || at > end - length) {
        *problem = "its length, " + std::to_string(length) +
                   " bytes, is not a whole number of 192-byte descriptors within the " + within;
        return false;
    }
    if (descriptors->size() + count > MOST_DESCRIPTORS) {
        *problem = "it has more than " + std::to_string(MOST_DESCRIPTORS) + " descriptors";
        return false;
    }
    const size_t first = descriptors->size();
    descriptors->resize(first + count);
    if (!seek_from_start(fin, at) ||
        !read_exact(fin, descriptors->data() + first, count * sizeof(ExtraBytesDescriptor))) {
        *problem = "it cannot be read";
        return false;
    }
    return true;
}

// The descriptors of every Extra Bytes VLR, in file order; false when one
// cannot be right.
bool vlrDescriptors(FILE *fin, const LAS14Header &h, std::vector<ExtraBytesDescriptor> *found,
                    unsigned *records, std::string *problem)
{
    uint64_t at = h.Public.HeaderSize;
    for (uint32_t k = 0; k < h.Public.NumberOfVariableLengthRecords; ++k) {
        VlrHeader v;
        if (at + sizeof v > h.Public.OffsetToData || !seek_from_start(fin, at) ||
            !read_exact(fin, &v, sizeof v))
            return true; // the VLRs end here: what was found stands
        at += sizeof v;
        if (isExtraBytesRecord(v)) {
            ++*records;
            if (!appendDescriptors(fin, at, v.RecordLengthAfterHeader, h.Public.OffsetToData,
                                   "header", found, problem))
                return false;
        }
        at += v.RecordLengthAfterHeader;
    }
    return true;
}

// The same for the extended VLRs that LAS 1.4 and 1.5 put after the points.
bool evlrDescriptors(FILE *fin, const LAS14Header &h, const RecordType &type,
                     std::vector<ExtraBytesDescriptor> *found, unsigned *records,
                     std::string *problem)
{
    if (type.VersionMinor < 4 || h.NumberOfExtendedVariableLengthRecords == 0 ||
        h.StartOfFirstExtendedVariableLengthRecord < h.Public.OffsetToData)
        return true;
    const uint64_t end = fileSizeOf(fin);
    uint64_t at = h.StartOfFirstExtendedVariableLengthRecord;
    for (uint32_t k = 0; k < h.NumberOfExtendedVariableLengthRecords; ++k) {
        EvlrHeader v;
        if (at > end || end - at < sizeof v || !seek_from_start(fin, at) ||
            !read_exact(fin, &v, sizeof v))
            return true;
        at += sizeof v;
        if (isExtraBytesRecord(v)) {
            ++*records;
            if (!appendDescriptors(fin, at, v.RecordLengthAfterHeader, end, "file", found, problem))
                return false;
        }
        if (v.RecordLengthAfterHeader > end - at)
            return true;
        at += v.RecordLengthAfterHeader;
    }
    return true;
}

ExtraColumn columnOf(const ExtraBytesDescriptor &d, size_t offset)
{
    ExtraColumn c{};
    const void *nul = std::memchr(d.Name, 0, sizeof d.Name);
    // The name goes between quotes in the header line: a quote or a line
    // end in it would break the line.
    c.name = quotableName(
        std::string(d.Name, nul ? static_cast<const char *>(nul) - d.Name : sizeof d.Name));
    c.offset = offset;
    c.dataType = d.DataType;
    c.scaled = (d.Options & (SCALE_GIVEN | OFFSET_GIVEN)) != 0;
    c.scale = d.Options & SCALE_GIVEN ? d.Scale[0] : 1.0;
    c.add = d.Options & OFFSET_GIVEN ? d.Offset[0] : 0.0;
    const int decimals = decimalCount(c.scale);
    c.fixed = fixed_format(decimals);
    c.small = coordinate_format(c.scale, c.add, decimals);
    return c;
}

// The columns the descriptors give, laid after the standard fields.
ExtraColumns columnsOf(const std::vector<ExtraBytesDescriptor> &descriptors, const RecordType &type,
                       std::string *problem)
{
    ExtraColumns extras;
    size_t offset = las_format_record_size(type.PointFormat);
    for (const ExtraBytesDescriptor &d : descriptors) {
        const size_t bytes = bytesOf(d);
        if (d.DataType > 30) {
            *problem = "data type " + std::to_string(d.DataType) + " is not defined";
            return ExtraColumns{};
        }
        if (offset + bytes > type.RecordLength) {
            *problem = "it describes more bytes than the " + std::to_string(extraBytesOf(type)) +
                       " extra bytes of each record";
            return ExtraColumns{};
        }
        if (d.DataType >= 1 && d.DataType <= 10) {
            extras.columns.push_back(columnOf(d, offset));
            extras.textBytes +=
                textBytesOf(extras.columns.back()) + 3 + extras.columns.back().name.size();
        }
        offset += bytes;
    }
    if (extras.textBytes > MAX_EXTRA_TEXT) {
        *problem = "its " + std::to_string(extras.columns.size()) + " attributes are too many";
        return ExtraColumns{};
    }
    return extras;
}

template <typename T> T valueAt(const unsigned char *record, size_t offset)
{
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

char *putSigned(char *out, int64_t v)
{
    *out = '-';
    out += v < 0 ? 1 : 0;
    return put_uint(out, v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
}

// The fewest significant digits that read back to the same value, as
// printf's %.*g prints them with that precision.
template <typename Real> char *putShortest(char *out, Real v)
{
    char scratch[64];
    const auto shortest =
        std::to_chars(scratch, scratch + sizeof scratch, v, std::chars_format::scientific);
    int digits = 0;
    for (const char *c = scratch; c != shortest.ptr && *c != 'e'; ++c)
        digits += *c >= '0' && *c <= '9';
    for (int p = digits < 1 ? 1 : digits;; ++p) {
        const auto printed = std::to_chars(out, out + 32, v, std::chars_format::general, p);
        Real back{};
        std::from_chars(out, printed.ptr, back);
        if (back == v || v != v || p >= 17)
            return printed.ptr;
    }
}

double realOf(const unsigned char *r, const ExtraColumn &c)
{
    switch (c.dataType) {
    case 1: return valueAt<uint8_t>(r, c.offset);
    case 2: return valueAt<int8_t>(r, c.offset);
    case 3: return valueAt<uint16_t>(r, c.offset);
    case 4: return valueAt<int16_t>(r, c.offset);
    case 5: return valueAt<uint32_t>(r, c.offset);
    case 6: return valueAt<int32_t>(r, c.offset);
    case 7: return static_cast<double>(valueAt<uint64_t>(r, c.offset));
    case 8: return static_cast<double>(valueAt<int64_t>(r, c.offset));
    case 9: return valueAt<float>(r, c.offset);
    default: return valueAt<double>(r, c.offset);
    }
}

char *putScaled(char *out, const unsigned char *r, const ExtraColumn &c)
{
    if (c.dataType <= 4 || c.dataType == 6)
        return put_coordinate(out, static_cast<int32_t>(realOf(r, c)), c.small);
    const double product = realOf(r, c) * c.scale;
    return put_fixed_as(out, product + c.add, c.fixed);
}

char *putColumn(char *out, const unsigned char *r, const ExtraColumn &c)
{
    if (c.scaled)
        return putScaled(out, r, c);
    switch (c.dataType) {
    case 1: return put_uint(out, valueAt<uint8_t>(r, c.offset));
    case 2: return putSigned(out, valueAt<int8_t>(r, c.offset));
    case 3: return put_uint(out, valueAt<uint16_t>(r, c.offset));
    case 4: return putSigned(out, valueAt<int16_t>(r, c.offset));
    case 5: return put_uint(out, valueAt<uint32_t>(r, c.offset));
    case 6: return putSigned(out, valueAt<int32_t>(r, c.offset));
    case 7: return put_uint(out, valueAt<uint64_t>(r, c.offset));
    case 8: return putSigned(out, valueAt<int64_t>(r, c.offset));
    case 9: return putShortest(out, valueAt<float>(r, c.offset));
    default: return putShortest(out, valueAt<double>(r, c.offset));
    }
}

} // namespace

ExtraColumns extraColumnsOf(FILE *fin, const LAS14Header &h, const RecordType &type,
                            std::string *problem)
{
    std::vector<ExtraBytesDescriptor> descriptors;
    unsigned records = 0;
    if (!vlrDescriptors(fin, h, &descriptors, &records, problem) ||
        !evlrDescriptors(fin, h, type, &descriptors, &records, problem))
        return ExtraColumns{};
    if (records == 0)
        return ExtraColumns{};
    ExtraColumns extras = columnsOf(descriptors, type, problem);
    extras.records = records;
    return extras;
}

std::string extraColumnsHeader(const ExtraColumns &extras)
{
    std::string text;
    for (const ExtraColumn &c : extras.columns)
        text += " \"" + c.name + "\"";
    return text;
}

char *putExtraColumn(char *out, const unsigned char *record, const ExtraColumn &column)
{
    return putColumn(out, record, column);
}

char *putExtraColumns(char *out, const unsigned char *record, const ExtraColumns &extras)
{
    for (const ExtraColumn &c : extras.columns) {
        *out++ = ' ';
        out = putColumn(out, record, c);
    }
    return out;
}
