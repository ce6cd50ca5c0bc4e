// TREVLIN: the Format writer. Turns the point records of one LAS file into
// the column header line and one text line per whole record.
#include "point_export.h"

#include "coordinate_precision.h"
#include "extra_bytes.h"
#include "las_input.h"
#include "number_text.h"
#include "platform.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace
{

// Longest value line: four reals and sixteen integers (a scan angle is no
// longer than one) with their separators, the line end, and the scratch
// the last writer may leave.
constexpr size_t MAX_LINE_TEXT =
    4 * (MAX_FIXED_TEXT + 1) + 16 * (MAX_INT_TEXT + 1) + 2 + FIXED_SCRATCH;
static_assert(MAX_LINE_TEXT <= MAX_LINE_BYTES);

// Header lines of Formats 1..20; 10, 11 and 12 name some fields
// differently by record type.
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

// Format 0 names every column of the record type: formats 4 and 5 have
// those of 1 and 3; formats 6 to 10 a scan angle in degrees and, after
// the columns the older formats have, NIR and the flag fields.
std::string allColumnsHeader(const RecordType &type, const ExtraColumns *extras)
{
    std::string line;
    for (int column : columnsOfType(type, extras)) {
        if (!line.empty())
            line += ' ';
        line += '"' + columnName(column, type, extras) + '"';
    }
    return line;
}

// The header line of chosen columns: their names, quoted, in their order.
std::string chosenColumnsHeader(const std::vector<int> &columns, const RecordType &type,
                                const ExtraColumns *extras)
{
    std::string line;
    for (int column : columns) {
        if (!line.empty())
            line += ' ';
        line += '"' + columnName(column, type, extras) + '"';
    }
    return line;
}

// The blanks between the quoted names become the delimiter; a blank inside
// a name stays.
std::string delimited(std::string line, char delimiter)
{
    bool quoted = false;
    for (char &c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ' ' && !quoted)
            c = delimiter;
    }
    return line;
}

std::string columnHeaderText(int Format, const RecordType &type, const ExtraColumns *extras,
                             const TextShape &shape)
{
    std::string line;
    if (shape.columns)
        line = chosenColumnsHeader(*shape.columns, type, extras);
    else if (Format == 0)
        line = allColumnsHeader(type, extras);
    else if (Format == 10 && las_format_is_extended(type.PointFormat))
        line = "\"ScanAngle\"";
    else if (Format == 11 && isLas10(type))
        line = "\"FileMarker\"";
    else if (Format == 12 && isLas10(type))
        line = "\"UserBitField\"";
    else
        line = FORMAT_HEADER[Format];
    return (shape.delimiter == ' ' ? line : delimited(line, shape.delimiter)) + LINE_END;
}

} // namespace

// What the text of one file's records depends on, worked out once per file.
struct ChosenColumn;

struct FileLayout {
    CoordinateFormat axis[3];
    FixedFormat gpsTime;
    size_t rgbOffset;
    const ExtraColumns *extras;              // Format 0's columns of the extra bytes, or null
    const std::vector<ChosenColumn> *chosen; // -c: the columns, in their order
    char delimiter;                          // between columns, when not a blank
    RecordFormatter blankSeparated;          // the formatter it then wraps
};

namespace
{

size_t rgbOffsetOf(uint8_t PointFormat)
{
    if (PointFormat == 2)
        return offsetof(LAS12fm2, Red);
    return las_format_is_extended(PointFormat) ? offsetof(LAS14fm7, Red) : offsetof(LAS12fm3, Red);
}

FileLayout layoutOfFile(const LAS12Header *h, const CoordinateDigits &d, const RecordType &type,
                        const ExtraColumns *extras)
{
    return FileLayout{{coordinate_format(h->XScaleFactor, h->XOffset, d.x),
                       coordinate_format(h->YScaleFactor, h->YOffset, d.y),
                       coordinate_format(h->ZScaleFactor, h->ZOffset, d.z)},
                      fixed_format(7),
                      rgbOffsetOf(type.PointFormat),
                      extras,
                      nullptr,
                      ' ',
                      nullptr};
}

// A field of the record's little-endian byte image.
template <typename T> T fieldAt(const unsigned char *record, size_t offset)
{
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

char *space(char *out)
{
    *out = ' ';
    return out + 1;
}

// Where the attributes lie: in the records of formats 0 to 5, whose first
// 20 bytes are those of LAS 1.0-1.2, or in those of formats 6 to 10.
template <bool extended> struct Fields {
    static constexpr size_t Classification = offsetof(LAS12fm0, Classification);
    static constexpr size_t UserData = offsetof(LAS12fm0, UserData);
    static constexpr size_t PointSourceID = offsetof(LAS12fm0, PointSourceID);
    static constexpr size_t GPSTime = offsetof(LAS12fm1, GPSTime);
};
template <> struct Fields<true> {
    static constexpr size_t Classification = offsetof(LAS14fm6, Classification);
    static constexpr size_t UserData = offsetof(LAS14fm6, UserData);
    static constexpr size_t PointSourceID = offsetof(LAS14fm6, PointSourceID);
    static constexpr size_t GPSTime = offsetof(LAS14fm6, GPSTime);
};

uint8_t bitfieldOf(const unsigned char *r)
{
    return r[offsetof(LAS12fm0, bitfield)];
}
uint8_t returnBitsOf(const unsigned char *r)
{
    return r[offsetof(LAS14fm6, ReturnBits)];
}
uint8_t flagBitsOf(const unsigned char *r)
{
    return r[offsetof(LAS14fm6, FlagBits)];
}

char *putCoordinate(char *out, const unsigned char *r, const FileLayout &f, int axis)
{
    return put_coordinate(out, fieldAt<int32_t>(r, 4 * static_cast<size_t>(axis)), f.axis[axis]);
}

char *putDigit(char *out, unsigned digit)
{
    *out = static_cast<char>('0' + digit);
    return out + 1;
}

// Attributes of the 20-byte prefix shared by every record type.
char *putIntensity(char *out, const unsigned char *r)
{
    return put_uint_below_1e8(out, fieldAt<uint16_t>(r, offsetof(LAS12fm0, Intensity)));
}
template <bool extended> char *putReturnNumber(char *out, const unsigned char *r)
{
    if constexpr (extended)
        return put_byte(out, returnBitsOf(r) & 15);
    return putDigit(out, bitfieldOf(r) & 7);
}
template <bool extended> char *putNumberOfReturns(char *out, const unsigned char *r)
{
    if constexpr (extended)
        return put_byte(out, returnBitsOf(r) >> 4);
    return putDigit(out, (bitfieldOf(r) >> 3) & 7);
}
template <bool extended> char *putScanDirection(char *out, const unsigned char *r)
{
    return putDigit(out, ((extended ? flagBitsOf(r) : bitfieldOf(r)) >> 6) & 1);
}
template <bool extended> char *putEdgeOfFlightLine(char *out, const unsigned char *r)
{
    return putDigit(out, (extended ? flagBitsOf(r) : bitfieldOf(r)) >> 7);
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

// Formats 6-10 spread those columns over two bytes, and their return
// fields reach 15: the text of each byte's columns, from tables of all 256
// values, at most seven characters stored as one word, and its length.
struct ByteColumns {
    uint64_t text[256];
    uint8_t length[256];
    // `fields(b, v)` gives the two values that byte b prints.
    template <typename Fields> constexpr explicit ByteColumns(Fields fields) : text{}, length{}
    {
        for (int b = 0; b < 256; ++b) {
            int v[2] = {0, 0};
            fields(b, v);
            int n = 0;
            uint64_t t = 0;
            for (int k = 0; k < 2; ++k) {
                if (k == 1)
                    t |= uint64_t{' '} << (8 * n++);
                if (v[k] >= 10)
                    t |= static_cast<uint64_t>('0' + v[k] / 10) << (8 * n++);
                t |= static_cast<uint64_t>('0' + v[k] % 10) << (8 * n++);
            }
            text[b] = t;
            length[b] = static_cast<uint8_t>(n);
        }
    }
};
constexpr ByteColumns RETURN_COLUMNS([](int b, int *v) { v[0] = b & 15, v[1] = b >> 4; });
constexpr ByteColumns DIRECTION_COLUMNS([](int b, int *v) { v[0] = (b >> 6) & 1, v[1] = b >> 7; });
constexpr ByteColumns FLAG_COLUMNS([](int b, int *v) { v[0] = b & 15, v[1] = (b >> 4) & 3; });

char *putByteColumns(char *out, const ByteColumns &table, uint8_t b)
{
    store8(out, table.text[b]);
    return out + table.length[b];
}

template <bool extended> char *putBitfieldColumns(char *out, const unsigned char *r)
{
    if constexpr (extended) {
        out = putByteColumns(out, RETURN_COLUMNS, returnBitsOf(r));
        return putByteColumns(space(out), DIRECTION_COLUMNS, flagBitsOf(r));
    }
    store8(out, BITFIELD_TEXT.of[bitfieldOf(r)]);
    return out + 7;
}

template <bool extended> char *putClassification(char *out, const unsigned char *r)
{
    return put_byte(out, r[Fields<extended>::Classification]);
}
// Formats 0-5: the signed byte of whole degrees. Formats 6-10: steps of
// 0.006 degrees, printed exactly from the integer with three decimals.
template <bool extended> char *putScanAngle(char *out, const unsigned char *r)
{
    if constexpr (extended) {
        const int32_t thousandths = 6 * fieldAt<int16_t>(r, offsetof(LAS14fm6, ScanAngle));
        *out = '-';
        out += thousandths < 0 ? 1 : 0;
        const uint32_t magnitude =
            static_cast<uint32_t>(thousandths < 0 ? -thousandths : thousandths);
        out = put_uint_below_1e8(out, magnitude / 1000);
        *out++ = '.';
        return put_digits_exactly(out, magnitude % 1000, 3);
    }
    const int angle = fieldAt<int8_t>(r, offsetof(LAS12fm0, ScanAngleRank));
    *out = '-';
    out += angle < 0 ? 1 : 0;
    return put_byte(out, static_cast<uint8_t>(angle < 0 ? -angle : angle));
}
// FileMarker and UserBitField in LAS 1.0 records, at the same offsets.
template <bool extended> char *putUserData(char *out, const unsigned char *r)
{
    return put_byte(out, r[Fields<extended>::UserData]);
}
template <bool extended> char *putPointSourceID(char *out, const unsigned char *r)
{
    return put_uint_below_1e8(out, fieldAt<uint16_t>(r, Fields<extended>::PointSourceID));
}
char *putNIR(char *out, const unsigned char *r)
{
    return put_uint_below_1e8(out, fieldAt<uint16_t>(r, offsetof(LAS14fm8, NIR)));
}

template <bool extended> char *putGPSTime(char *out, const unsigned char *r, const FileLayout &f)
{
    return put_fixed_as(out, fieldAt<double>(r, Fields<extended>::GPSTime), f.gpsTime);
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

// Format 0: every attribute the record type has.
template <bool extended, bool hasGPSTime, bool hasRGB, bool hasNIR>
char *lineAll(char *out, const unsigned char *r, const FileLayout &f)
{
    out = putXYZ(out, r, f);
    out = putIntensity(space(out), r);
    out = putBitfieldColumns<extended>(space(out), r);
    out = putClassification<extended>(space(out), r);
    out = putScanAngle<extended>(space(out), r);
    out = putUserData<extended>(space(out), r);
    out = putPointSourceID<extended>(space(out), r);
    if (hasGPSTime)
        out = putGPSTime<extended>(space(out), r, f);
    if (hasRGB)
        out = putRGB(space(out), r, f);
    if (hasNIR)
        out = putNIR(space(out), r);
    if (extended)
        out = putByteColumns(space(out), FLAG_COLUMNS, flagBitsOf(r));
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
template <bool extended> char *lineGPSTime(char *out, const unsigned char *r, const FileLayout &f)
{
    return putGPSTime<extended>(out, r, f);
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
template <bool extended>
char *lineXYZGPSTime(char *out, const unsigned char *r, const FileLayout &f)
{
    return putGPSTime<extended>(space(putXYZ(out, r, f)), r, f);
}
template <bool extended>
char *lineXYZIntensityGPSTime(char *out, const unsigned char *r, const FileLayout &f)
{
    return putGPSTime<extended>(space(lineXYZIntensity(out, r, f)), r, f);
}
char *lineXYZRGB(char *out, const unsigned char *r, const FileLayout &f)
{
    return putRGB(space(putXYZ(out, r, f)), r, f);
}
template <bool extended>
char *lineXYZIntensitySourceRGB(char *out, const unsigned char *r, const FileLayout &f)
{
    out = putPointSourceID<extended>(space(lineXYZIntensity(out, r, f)), r);
    return putRGB(space(out), r, f);
}

using LineWriter = char *(*)(char *, const unsigned char *, const FileLayout &);

// Format 0 of a record whose extra bytes are described: their columns last.
template <LineWriter putLine>
char *lineWithExtras(char *out, const unsigned char *r, const FileLayout &f)
{
    return putExtraColumns(putLine(out, r, f), r, *f.extras);
}

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
    const char *const roomEnd = textEnd - t.lineBytes;
    const unsigned char *record = *r;
    for (; record != end && out <= roomEnd; record += recordSize) {
        out = putLine(out, record, f);
        std::memcpy(out, LINE_END, LINE_END_LENGTH);
        out += LINE_END_LENGTH;
    }
    *r = record;
    return out;
}

template <bool extended> RecordFormatter formatterOfFormat(int Format)
{
    static const RecordFormatter byFormat[MAX_FORMAT + 1] = {
        nullptr,
        formatRecords<lineX>,
        formatRecords<lineY>,
        formatRecords<lineZ>,
        formatRecords<lineOf<putIntensity>>,
        formatRecords<lineOf<putReturnNumber<extended>>>,
        formatRecords<lineOf<putNumberOfReturns<extended>>>,
        formatRecords<lineOf<putScanDirection<extended>>>,
        formatRecords<lineOf<putEdgeOfFlightLine<extended>>>,
        formatRecords<lineOf<putClassification<extended>>>,
        formatRecords<lineOf<putScanAngle<extended>>>,
        formatRecords<lineOf<putUserData<extended>>>,
        formatRecords<lineOf<putPointSourceID<extended>>>,
        formatRecords<lineGPSTime<extended>>,
        formatRecords<lineRGB>,
        formatRecords<lineXYZ>,
        formatRecords<lineXYZIntensity>,
        formatRecords<lineXYZGPSTime<extended>>,
        formatRecords<lineXYZIntensityGPSTime<extended>>,
        formatRecords<lineXYZRGB>,
        formatRecords<lineXYZIntensitySourceRGB<extended>>,
    };
    return byFormat[Format];
}

// Format 0 of a record type, with or without the extra columns.
template <bool extended, bool hasGPSTime, bool hasRGB, bool hasNIR>
RecordFormatter allColumnsOf(bool withExtras)
{
    constexpr LineWriter line = lineAll<extended, hasGPSTime, hasRGB, hasNIR>;
    return withExtras ? formatRecords<lineWithExtras<line>> : formatRecords<line>;
}

RecordFormatter allColumnsFormatter(uint8_t PointFormat, bool withExtras)
{
    const bool time = las_format_has_gps_time(PointFormat), rgb = las_format_has_rgb(PointFormat);
    if (las_format_is_extended(PointFormat)) {
        if (las_format_has_nir(PointFormat))
            return allColumnsOf<true, true, true, true>(withExtras);
        return rgb ? allColumnsOf<true, true, true, false>(withExtras)
                   : allColumnsOf<true, true, false, false>(withExtras);
    }
    if (time)
        return rgb ? allColumnsOf<false, true, true, false>(withExtras)
                   : allColumnsOf<false, true, false, false>(withExtras);
    return rgb ? allColumnsOf<false, false, true, false>(withExtras)
               : allColumnsOf<false, false, false, false>(withExtras);
}

RecordFormatter formatterFor(int Format, const RecordType &type, const ExtraColumns *extras)
{
    if (Format == 0)
        return allColumnsFormatter(type.PointFormat, extras != nullptr);
    return las_format_is_extended(type.PointFormat) ? formatterOfFormat<true>(Format)
                                                    : formatterOfFormat<false>(Format);
}

// ---- Columns chosen by name

template <unsigned colour> char *putColour(char *out, const unsigned char *r, const FileLayout &f)
{
    return put_uint_below_1e8(out, fieldAt<uint16_t>(r, f.rgbOffset + 2 * colour));
}
char *putClassFlags(char *out, const unsigned char *r)
{
    return put_byte(out, flagBitsOf(r) & 15);
}
char *putScannerChannel(char *out, const unsigned char *r)
{
    return putDigit(out, (flagBitsOf(r) >> 4) & 3);
}

// Each column's text, the same as in Format 0's lines.
template <bool extended> LineWriter columnWriter(int column)
{
    switch (column) {
    case COLUMN_X: return lineX;
    case COLUMN_Y: return lineY;
    case COLUMN_Z: return lineZ;
    case COLUMN_INTENSITY: return lineOf<putIntensity>;
    case COLUMN_RETURN_NUMBER: return lineOf<putReturnNumber<extended>>;
    case COLUMN_NUMBER_OF_RETURNS: return lineOf<putNumberOfReturns<extended>>;
    case COLUMN_SCAN_DIRECTION: return lineOf<putScanDirection<extended>>;
    case COLUMN_EDGE_OF_FLIGHT_LINE: return lineOf<putEdgeOfFlightLine<extended>>;
    case COLUMN_CLASSIFICATION: return lineOf<putClassification<extended>>;
    case COLUMN_SCAN_ANGLE: return lineOf<putScanAngle<extended>>;
    case COLUMN_USER_DATA: return lineOf<putUserData<extended>>;
    case COLUMN_POINT_SOURCE: return lineOf<putPointSourceID<extended>>;
    case COLUMN_GPS_TIME: return lineGPSTime<extended>;
    case COLUMN_RED: return putColour<0>;
    case COLUMN_GREEN: return putColour<1>;
    case COLUMN_BLUE: return putColour<2>;
    case COLUMN_NIR: return lineOf<putNIR>;
    case COLUMN_CLASS_FLAGS: return lineOf<putClassFlags>;
    default: return lineOf<putScannerChannel>;
    }
}

} // namespace

// A chosen column: a column of the record, or an extra-bytes one.
struct ChosenColumn {
    LineWriter put;
    const ExtraColumn *extra;
};

namespace
{

char *lineOfChosen(char *out, const unsigned char *r, const FileLayout &f)
{
    const std::vector<ChosenColumn> &columns = *f.chosen;
    for (size_t k = 0; k < columns.size(); ++k) {
        if (k > 0)
            *out++ = ' ';
        const ChosenColumn &c = columns[k];
        out = c.extra ? putExtraColumn(out, r, *c.extra) : c.put(out, r, f);
    }
    return out;
}

std::vector<ChosenColumn> chosenWriters(const std::vector<int> &columns, const RecordType &type,
                                        const ExtraColumns *extras)
{
    const bool extended = las_format_is_extended(type.PointFormat);
    std::vector<ChosenColumn> writers;
    for (int column : columns) {
        if (column >= COLUMN_EXTRA)
            writers.push_back(
                {nullptr, &extras->columns[static_cast<size_t>(column - COLUMN_EXTRA)]});
        else
            writers.push_back(
                {extended ? columnWriter<true>(column) : columnWriter<false>(column), nullptr});
    }
    return writers;
}

} // namespace

// A Format's own writer, built for speed, serves the chosen columns whose
// lines are that Format's.
int formatOfColumns(const std::vector<int> &columns)
{
    static const std::vector<int> byFormat[MAX_FORMAT + 1] = {
        {},
        {COLUMN_X},
        {COLUMN_Y},
        {COLUMN_Z},
        {COLUMN_INTENSITY},
        {COLUMN_RETURN_NUMBER},
        {COLUMN_NUMBER_OF_RETURNS},
        {COLUMN_SCAN_DIRECTION},
        {COLUMN_EDGE_OF_FLIGHT_LINE},
        {COLUMN_CLASSIFICATION},
        {COLUMN_SCAN_ANGLE},
        {COLUMN_USER_DATA},
        {COLUMN_POINT_SOURCE},
        {COLUMN_GPS_TIME},
        {COLUMN_RED, COLUMN_GREEN, COLUMN_BLUE},
        {COLUMN_X, COLUMN_Y, COLUMN_Z},
        {COLUMN_X, COLUMN_Y, COLUMN_Z, COLUMN_INTENSITY},
        {COLUMN_X, COLUMN_Y, COLUMN_Z, COLUMN_GPS_TIME},
        {COLUMN_X, COLUMN_Y, COLUMN_Z, COLUMN_INTENSITY, COLUMN_GPS_TIME},
        {COLUMN_X, COLUMN_Y, COLUMN_Z, COLUMN_RED, COLUMN_GREEN, COLUMN_BLUE},
        {COLUMN_X, COLUMN_Y, COLUMN_Z, COLUMN_INTENSITY, COLUMN_POINT_SOURCE, COLUMN_RED,
         COLUMN_GREEN, COLUMN_BLUE},
    };
    for (int Format = 1; Format <= MAX_FORMAT; ++Format)
        if (byFormat[Format] == columns)
            return Format;
    return 0;
}

namespace
{

// Another delimiter than a blank: the lines are made as ever, then their
// blanks replaced, since no value's text holds one.
char *formatDelimited(char *out, const char *textEnd, const unsigned char **r,
                      const unsigned char *end, const RecordText &t)
{
    char *const start = out;
    out = t.layout->blankSeparated(out, textEnd, r, end, t);
    std::replace(start, out, ' ', t.layout->delimiter);
    return out;
}

} // namespace

std::vector<int> columnsOfType(const RecordType &type, const ExtraColumns *extras)
{
    const uint8_t f = type.PointFormat;
    std::vector<int> columns;
    for (int c = COLUMN_X; c <= COLUMN_POINT_SOURCE; ++c)
        columns.push_back(c);
    if (las_format_has_gps_time(f))
        columns.push_back(COLUMN_GPS_TIME);
    if (las_format_has_rgb(f))
        columns.insert(columns.end(), {COLUMN_RED, COLUMN_GREEN, COLUMN_BLUE});
    if (las_format_has_nir(f))
        columns.push_back(COLUMN_NIR);
    if (las_format_is_extended(f))
        columns.insert(columns.end(), {COLUMN_CLASS_FLAGS, COLUMN_SCANNER_CHANNEL});
    for (size_t k = 0; extras && k < extras->columns.size(); ++k)
        columns.push_back(COLUMN_EXTRA + static_cast<int>(k));
    return columns;
}

std::string columnName(int column, const RecordType &type, const ExtraColumns *extras)
{
    static const char *const names[] = {"X",
                                        "Y",
                                        "Z",
                                        "Intensity",
                                        "ReturnNum",
                                        "NumReturns",
                                        "ScanDirection",
                                        "EdgeOfFlightLine",
                                        "Class",
                                        "ScanAngleRank",
                                        "UserData",
                                        "PointSourceID",
                                        "GPSTime",
                                        "Red",
                                        "Green",
                                        "Blue",
                                        "NIR",
                                        "ClassFlags",
                                        "ScannerChannel"};
    if (column >= COLUMN_EXTRA)
        return extras->columns[static_cast<size_t>(column - COLUMN_EXTRA)].name;
    if (column == COLUMN_SCAN_ANGLE && las_format_is_extended(type.PointFormat))
        return "ScanAngle";
    if (column == COLUMN_USER_DATA && isLas10(type))
        return "FileMarker";
    if (column == COLUMN_POINT_SOURCE && isLas10(type))
        return "UserBitField";
    return names[column];
}

namespace
{

bool sameNameIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
               return lower(x) == lower(y);
           });
}

} // namespace

bool chooseColumns(const std::string &list, const RecordType &type, const ExtraColumns *extras,
                   std::vector<int> *chosen, std::string *problem)
{
    const std::vector<int> available = columnsOfType(type, extras);
    chosen->clear();
    for (size_t at = 0; at <= list.size();) {
        size_t end = list.find(',', at);
        end = end == std::string::npos ? list.size() : end;
        const std::string name = list.substr(at, end - at);
        at = end + 1;
        // A name two columns share (an extra attribute named as a standard
        // one) picks the first not yet chosen.
        const auto isNamed = [&](int column) {
            return sameNameIgnoringCase(columnName(column, type, extras), name);
        };
        const auto unchosen = [&](int column) {
            return isNamed(column) &&
                   std::find(chosen->begin(), chosen->end(), column) == chosen->end();
        };
        const auto named = std::find_if(available.begin(), available.end(), isNamed);
        const auto found = std::find_if(available.begin(), available.end(), unchosen);
        if (name.empty()) {
            *problem = "-c holds an empty column name";
        } else if (named == available.end()) {
            *problem = "has no column " + name + "; its columns are";
            for (size_t k = 0; k < available.size(); ++k)
                problem->append(k == 0 ? " " : ", ").append(columnName(available[k], type, extras));
        } else if (found == available.end()) {
            *problem = "-c names the column " + name + " twice";
        } else {
            chosen->push_back(*found);
            continue;
        }
        return false;
    }
    return true;
}

bool formatServesType(int Format, const RecordType &type)
{
    if (Format == 13 || Format == 17 || Format == 18)
        return las_format_has_gps_time(type.PointFormat);
    if (Format == 14 || Format == 19 || Format == 20)
        return las_format_has_rgb(type.PointFormat);
    return true;
}

PointInput pointInputOf(const char *name, FILE *fin, const LAS12Header *ph12, uint64_t dataEnd)
{
    const uint64_t start = ph12->OffsetToData;
    const uint64_t end = std::min(fileSizeOf(fin), dataEnd);
    return PointInput{name, fin, start, end > start ? end - start : 0,
                      dataEnd == UINT64_MAX ? UINT64_MAX : dataEnd - start};
}

// What a file's text needs kept while its lines are made: the layout the
// formatters read, and the chosen columns' writers it points at.
struct FileTextParts {
    FileLayout layout;
    std::vector<ChosenColumn> chosen;
};

void deleteFileTextParts(FileTextParts *parts)
{
    delete parts;
}

FileText fileTextOf(int Format, const RecordType &type, const LAS12Header *ph12,
                    const CoordinateDigits &digits, const ExtraColumns *extras,
                    const TextShape &shape)
{
    // Only Format 0 (and chosen columns) print the extra bytes; a file
    // without described attributes has no extra columns.
    if ((Format != 0 && !shape.columns) || (extras && extras->columns.empty()))
        extras = nullptr;
    FileText t{
        columnHeaderText(Format, type, extras, shape),
        RecordText{},
        {new FileTextParts{layoutOfFile(ph12, digits, type, extras), {}}, deleteFileTextParts}};
    FileLayout &layout = t.parts->layout;
    RecordFormatter format = nullptr;
    if (shape.columns) {
        const int same = formatOfColumns(*shape.columns);
        if (same > 0) {
            format = formatterFor(same, type, nullptr);
        } else {
            t.parts->chosen = chosenWriters(*shape.columns, type, extras);
            layout.chosen = &t.parts->chosen;
            format = formatRecords<lineOfChosen>;
        }
    } else {
        format = formatterFor(Format, type, extras);
    }
    if (shape.delimiter != ' ') {
        layout.delimiter = shape.delimiter;
        layout.blankSeparated = format;
        format = formatDelimited;
    }
    t.records = RecordText{format, &layout, type.RecordLength,
                           MAX_LINE_BYTES + (extras ? extras->textBytes : 0)};
    return t;
}
