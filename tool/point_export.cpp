// TREVLIN: the Format writer. Turns the point records of one LAS file into
// the column header line and one text line per whole record.
#include "TREVLIN_tool.h"
#include "number_text.h"
#include "platform.h"

#include <cstring>
#include <new>

namespace
{

// Longest value line: four reals and twelve integers with their
// separators, the line end, and the scratch the last writer may leave.
constexpr size_t MAX_LINE_TEXT =
    4 * (MAX_FIXED_TEXT + 1) + 12 * (MAX_INT_TEXT + 1) + 2 + FIXED_SCRATCH;
static_assert(MAX_LINE_TEXT <= MAX_LINE_BYTES);

const char *const COMMON_HEADER =
    "\"X\" \"Y\" \"Z\" \"Intensity\" \"ReturnNum\" \"NumReturns\" "
    "\"ScanDirection\" \"EdgeOfFlightLine\" \"Class\" \"ScanAngleRank\" ";

// Format 0's header tail by LASType 1..8.
const char *const FORMAT0_HEADER_TAIL[9] = {
    "",
    "\"FileMarker\" \"UserBitField\"",
    "\"FileMarker\" \"UserBitField\" \"GPSTime\"",
    "\"UserData\" \"PointSourceID\"",
    "\"UserData\" \"PointSourceID\" \"GPSTime\"",
    "\"UserData\" \"PointSourceID\"",
    "\"UserData\" \"PointSourceID\" \"GPSTime\"",
    "\"UserData\" \"PointSourceID\" \"Red\" \"Green\" \"Blue\"",
    "\"UserData\" \"PointSourceID\" \"GPSTime\" \"Red\" \"Green\" \"Blue\"",
};

// Header lines of Formats 1..20; 11 and 12 name LAS 1.0 fields differently.
const char *const FORMAT_HEADER[MAX_FORMAT + 1] = {
    nullptr,
    "\"X\"",
    "\"Y\"",
    "\"Z\"",
    "\"Intensity\"",
    "\"ReturnNum\"",
    "\"NumReturns\"",
    "\"ScanDirection\"",
    "\"EdgeOfFlightLine\"",
    "\"Classification\"",
    "\"ScanAngleRank\"",
    "\"UserData\"",
    "\"PointSourceID\"",
    "\"GPSTime\"",
    "\"R\" \"G\" \"B\"",
    "\"X\" \"Y\" \"Z\"",
    "\"X\" \"Y\" \"Z\" \"Intensity\"",
    "\"X\" \"Y\" \"Z\" \"GPSTime\"",
    "\"X\" \"Y\" \"Z\" \"Intensity\" \"GPSTime\"",
    "\"X\" \"Y\" \"Z\" \"R\" \"G\" \"B\"",
    "\"X\" \"Y\" \"Z\" \"Intensity\" \"PointSourceID\" \"R\" \"G\" \"B\"",
};

std::string columnHeaderText(int Format, int16_t LASType)
{
    const bool las10 = LASType <= LASTYPE_10_FM1;
    std::string line;
    if (Format == 0)
        line = std::string(COMMON_HEADER) + FORMAT0_HEADER_TAIL[LASType];
    else if (Format == 11 && las10)
        line = "\"FileMarker\"";
    else if (Format == 12 && las10)
        line = "\"UserBitField\"";
    else
        line = FORMAT_HEADER[Format];
    return line + LINE_END;
}

} // namespace

// What the text of one file's records depends on, worked out once per file.
struct FileLayout {
    CoordinateFormat axis[3];
    FixedFormat gpsTime;
    size_t rgbOffset;
};

namespace
{

FileLayout layoutOfFile(const LAS12Header *h, int16_t LASType)
{
    return FileLayout{{coordinate_format(h->XScaleFactor, h->XOffset, _digitsX),
                       coordinate_format(h->YScaleFactor, h->YOffset, _digitsY),
                       coordinate_format(h->ZScaleFactor, h->ZOffset, _digitsZ)},
                      fixed_format(7),
                      LASType == LASTYPE_12_FM2 ? offsetof(LAS12fm2, Red)
                                                : offsetof(LAS12fm3, Red)};
}

// A field of the record's little-endian byte image.
template <typename T> T fieldAt(const unsigned char *record, size_t offset)
{
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

uint8_t bitfieldOf(const unsigned char *r)
{
    return r[offsetof(LAS12fm0, bitfield)];
}

char *putCoordinate(char *out, const unsigned char *r, const FileLayout &f, int axis)
{
    return put_coordinate(out, fieldAt<int32_t>(r, 4 * static_cast<size_t>(axis)), f.axis[axis]);
}

// Attributes of the 20-byte prefix shared by every record type.
char *putIntensity(char *out, const unsigned char *r)
{
    return put_uint_below_1e8(out, fieldAt<uint16_t>(r, offsetof(LAS12fm0, Intensity)));
}
char *putReturnNumber(char *out, const unsigned char *r)
{
    *out = static_cast<char>('0' + (bitfieldOf(r) & 7));
    return out + 1;
}
char *putNumberOfReturns(char *out, const unsigned char *r)
{
    *out = static_cast<char>('0' + ((bitfieldOf(r) >> 3) & 7));
    return out + 1;
}
char *putScanDirection(char *out, const unsigned char *r)
{
    *out = static_cast<char>('0' + ((bitfieldOf(r) >> 6) & 1));
    return out + 1;
}
char *putEdgeOfFlightLine(char *out, const unsigned char *r)
{
    *out = static_cast<char>('0' + (bitfieldOf(r) >> 7));
    return out + 1;
}
// The four columns of the bitfield byte at once, from a table of all 256
// bytes: "r n d e" is seven characters, stored as one word.
struct BitfieldTexts {
    uint64_t of[256];
    constexpr BitfieldTexts() : of{}
    {
        for (int b = 0; b < 256; ++b) {
            const uint64_t digits[4] = {
                static_cast<uint64_t>(b & 7), static_cast<uint64_t>((b >> 3) & 7),
                static_cast<uint64_t>((b >> 6) & 1), static_cast<uint64_t>(b >> 7)};
            uint64_t text = 0;
            for (int k = 0; k < 4; ++k)
                text |= ('0' + digits[k]) << (16 * k) | (k < 3 ? uint64_t{' '} << (16 * k + 8) : 0);
            of[b] = text;
        }
    }
};
constexpr BitfieldTexts BITFIELD_TEXT{};

char *putBitfieldColumns(char *out, const unsigned char *r)
{
    store8(out, BITFIELD_TEXT.of[bitfieldOf(r)]);
    return out + 7;
}

char *putClassification(char *out, const unsigned char *r)
{
    return put_byte(out, r[offsetof(LAS12fm0, Classification)]);
}
char *putScanAngleRank(char *out, const unsigned char *r)
{
    const int angle = fieldAt<int8_t>(r, offsetof(LAS12fm0, ScanAngleRank));
    *out = '-';
    out += angle < 0 ? 1 : 0;
    return put_byte(out, static_cast<uint8_t>(angle < 0 ? -angle : angle));
}
// FileMarker and UserBitField in LAS 1.0 records, at the same offsets.
char *putUserData(char *out, const unsigned char *r)
{
    return put_byte(out, r[offsetof(LAS12fm0, UserData)]);
}
char *putPointSourceID(char *out, const unsigned char *r)
{
    return put_uint_below_1e8(out, fieldAt<uint16_t>(r, offsetof(LAS12fm0, PointSourceID)));
}

char *putGPSTime(char *out, const unsigned char *r, const FileLayout &f)
{
    return put_fixed_as(out, fieldAt<double>(r, offsetof(LAS12fm1, GPSTime)), f.gpsTime);
}

char *putRGB(char *out, const unsigned char *r, const FileLayout &f)
{
    out = put_uint_below_1e8(out, fieldAt<uint16_t>(r, f.rgbOffset));
    *out++ = ' ';
    out = put_uint_below_1e8(out, fieldAt<uint16_t>(r, f.rgbOffset + 2));
    *out++ = ' ';
    return put_uint_below_1e8(out, fieldAt<uint16_t>(r, f.rgbOffset + 4));
}

char *putXYZ(char *out, const unsigned char *r, const FileLayout &f)
{
    out = putCoordinate(out, r, f, 0);
    *out++ = ' ';
    out = putCoordinate(out, r, f, 1);
    *out++ = ' ';
    return putCoordinate(out, r, f, 2);
}

char *space(char *out)
{
    *out = ' ';
    return out + 1;
}

// Format 0: every attribute the record type has.
template <bool hasGPSTime, bool hasRGB>
char *lineAll(char *out, const unsigned char *r, const FileLayout &f)
{
    out = putXYZ(out, r, f);
    out = putIntensity(space(out), r);
    out = putBitfieldColumns(space(out), r);
    out = putClassification(space(out), r);
    out = putScanAngleRank(space(out), r);
    out = putUserData(space(out), r);
    out = putPointSourceID(space(out), r);
    if (hasGPSTime)
        out = putGPSTime(space(out), r, f);
    if (hasRGB)
        out = putRGB(space(out), r, f);
    return out;
}

// One routine per Format, each printing only the fields it writes.
char *lineX(char *out, const unsigned char *r, const FileLayout &f)
{
    return putCoordinate(out, r, f, 0);
}
char *lineY(char *out, const unsigned char *r, const FileLayout &f)
{
    return putCoordinate(out, r, f, 1);
}
char *lineZ(char *out, const unsigned char *r, const FileLayout &f)
{
    return putCoordinate(out, r, f, 2);
}
template <char *(*put)(char *, const unsigned char *)>
char *lineOf(char *out, const unsigned char *r, const FileLayout &)
{
    return put(out, r);
}
char *lineGPSTime(char *out, const unsigned char *r, const FileLayout &f)
{
    return putGPSTime(out, r, f);
}
char *lineRGB(char *out, const unsigned char *r, const FileLayout &f)
{
    return putRGB(out, r, f);
}
char *lineXYZ(char *out, const unsigned char *r, const FileLayout &f)
{
    return putXYZ(out, r, f);
}
char *lineXYZIntensity(char *out, const unsigned char *r, const FileLayout &f)
{
    return putIntensity(space(putXYZ(out, r, f)), r);
}
char *lineXYZGPSTime(char *out, const unsigned char *r, const FileLayout &f)
{
    return putGPSTime(space(putXYZ(out, r, f)), r, f);
}
char *lineXYZIntensityGPSTime(char *out, const unsigned char *r, const FileLayout &f)
{
    return putGPSTime(space(lineXYZIntensity(out, r, f)), r, f);
}
char *lineXYZRGB(char *out, const unsigned char *r, const FileLayout &f)
{
    return putRGB(space(putXYZ(out, r, f)), r, f);
}
char *lineXYZIntensitySourceRGB(char *out, const unsigned char *r, const FileLayout &f)
{
    out = putPointSourceID(space(lineXYZIntensity(out, r, f)), r);
    return putRGB(space(out), r, f);
}

using LineWriter = char *(*)(char *, const unsigned char *, const FileLayout &);

// The per-record loop, compiled once per line routine so that the routine
// is inlined; it stops where the next line might not fit.
template <LineWriter putLine>
char *formatRecords(char *out, const char *textEnd, const unsigned char **r,
                    const unsigned char *end, const RecordText &t)
{
    const FileLayout &f = *t.layout;
    // A local, which no store of text can alias, so it is not loaded again
    // for every record.
    const size_t recordSize = t.recordSize;
    const char *const roomEnd = textEnd - MAX_LINE_BYTES;
    const unsigned char *record = *r;
    for (; record != end && out <= roomEnd; record += recordSize) {
        out = putLine(out, record, f);
        std::memcpy(out, LINE_END, LINE_END_LENGTH);
        out += LINE_END_LENGTH;
    }
    *r = record;
    return out;
}

RecordFormatter formatterFor(int Format, int16_t LASType)
{
    static const RecordFormatter byFormat[MAX_FORMAT + 1] = {
        nullptr,
        formatRecords<lineX>,
        formatRecords<lineY>,
        formatRecords<lineZ>,
        formatRecords<lineOf<putIntensity>>,
        formatRecords<lineOf<putReturnNumber>>,
        formatRecords<lineOf<putNumberOfReturns>>,
        formatRecords<lineOf<putScanDirection>>,
        formatRecords<lineOf<putEdgeOfFlightLine>>,
        formatRecords<lineOf<putClassification>>,
        formatRecords<lineOf<putScanAngleRank>>,
        formatRecords<lineOf<putUserData>>,
        formatRecords<lineOf<putPointSourceID>>,
        formatRecords<lineGPSTime>,
        formatRecords<lineRGB>,
        formatRecords<lineXYZ>,
        formatRecords<lineXYZIntensity>,
        formatRecords<lineXYZGPSTime>,
        formatRecords<lineXYZIntensityGPSTime>,
        formatRecords<lineXYZRGB>,
        formatRecords<lineXYZIntensitySourceRGB>,
    };
    if (Format != 0)
        return byFormat[Format];
    const bool time = las_type_has_gps_time(LASType), rgb = las_type_has_rgb(LASType);
    if (time)
        return rgb ? formatRecords<lineAll<true, true>> : formatRecords<lineAll<true, false>>;
    return rgb ? formatRecords<lineAll<false, true>> : formatRecords<lineAll<false, false>>;
}

} // namespace

bool formatServesType(int Format, int16_t LASType)
{
    if (Format == 13 || Format == 17 || Format == 18)
        return las_type_has_gps_time(LASType);
    if (Format == 14 || Format == 19 || Format == 20)
        return las_type_has_rgb(LASType);
    return true;
}

PointInput pointInputOf(const char *name, FILE *fin, const LAS12Header *ph12)
{
    const uint64_t size = fileSizeOf(fin);
    return PointInput{name, fin, ph12->OffsetToData,
                      size > ph12->OffsetToData ? size - ph12->OffsetToData : 0};
}

bool writeAll(FILE *fout, const char *text, size_t n)
{
    return std::fwrite(text, 1, n, fout) == n;
}

bool writeRecordText(FILE *fout, const RecordText &t, char *text, size_t textBytes, char **pending,
                     const unsigned char *r, const unsigned char *end)
{
    for (;;) {
        *pending = t.format(*pending, text + textBytes, &r, end, t);
        if (r == end)
            return true;
        if (!writeAll(fout, text, static_cast<size_t>(*pending - text)))
            return false;
        *pending = text;
    }
}

namespace
{

// The column header line, plain or as the member's first piece.
bool writeColumnHeader(const std::string &header, const PointOutput &out, GzipMember *member)
{
    if (out.gzipLevel == 0)
        return writeAll(out.stream, header.data(), header.size());
    TextPacker *packer = newTextPacker(out.gzipLevel);
    PackedText piece;
    const bool packed = packer && packBegin(packer, &piece) &&
                        packMore(packer, header.data(), header.size(), &piece) &&
                        packEnd(packer, &piece);
    freeTextPacker(packer);
    if (!packed || !writeGzipHeader(out.stream, out.gzipLevel))
        return false;
    addPiece(member, piece);
    return writeAll(out.stream, reinterpret_cast<const char *>(piece.bytes.data()), piece.used);
}

PointsOutcome writeRecords(int Format, int16_t LASType, const PointInput &in,
                           const PointOutput &out, const LAS12Header *ph12, GzipMember *member,
                           uint64_t *records)
{
    if (!formatServesType(Format, LASType)) {
        *records = in.dataBytes / las_record_size(LASType); // present, though not printed
        return POINTS_WRITTEN;
    }
    const FileLayout layout = layoutOfFile(ph12, LASType);
    const RecordText text{formatterFor(Format, LASType), &layout, las_record_size(LASType)};
    return pipelineConvert(in, text, out, member, records);
}

} // namespace

PointsOutcome writePoints(int Format, int16_t LASType, const PointInput &in, const PointOutput &out,
                          const LAS12Header *ph12, uint64_t *records)
{
    *records = 0;
    GzipMember member{0, 0};
    if (!writeColumnHeader(columnHeaderText(Format, LASType), out, &member))
        return POINTS_WRITE_FAILED;
    const PointsOutcome outcome = writeRecords(Format, LASType, in, out, ph12, &member, records);
    if (outcome == POINTS_WRITTEN && out.gzipLevel > 0 && !writeGzipTrailer(out.stream, member))
        return POINTS_WRITE_FAILED;
    return outcome;
}
