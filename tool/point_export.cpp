// TREVLIN: the Format writer. Turns the point records of one LAS file into
// the column header line and one text line per whole record.
#include "TREVLIN_tool.h"
#include "number_text.h"

#include <cstring>
#include <new>

namespace
{

// One point's printable attributes, whatever its record type.
struct PointFields {
    int32_t X, Y, Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;       // FileMarker in LAS 1.0 records
    uint16_t PointSourceID; // UserBitField in LAS 1.0 records
    double GPSTime;
    uint16_t Red, Green, Blue;
};

// Scale, offset and decimal count of the three axes of one input.
struct Axes {
    double scale[3];
    double offset[3];
    int digits[3];
};

// What a record type holds, worked out once per file rather than per point.
struct RecordLayout {
    size_t size;
    bool hasGPSTime;
    bool hasRGB;
    size_t rgbOffset;
};

RecordLayout layoutOf(int16_t LASType)
{
    const size_t rgbOffset =
        LASType == LASTYPE_12_FM2 ? offsetof(LAS12fm2, Red) : offsetof(LAS12fm3, Red);
    return RecordLayout{las_record_size(LASType), las_type_has_gps_time(LASType),
                        las_type_has_rgb(LASType), rgbOffset};
}

// Longest value line: four reals and eight integers with their separators.
constexpr size_t MAX_LINE_TEXT = 4 * (MAX_FIXED_TEXT + 1) + 8 * (MAX_INT_TEXT + 1);
static_assert(TEXT_BUFFER_BYTES > 4 * MAX_LINE_TEXT);

const char *const COMMON_HEADER =
    "\"X\" \"Y\" \"Z\" \"Intensity\" \"ReturnNum\" \"NumReturns\" "
    "\"ScanDirection\" \"EdgeOfFlightLine\" \"Class\" \"ScanAngleRank\" ";

// Format 0's header tail by LASType 1..8.
const char *const FORMAT0_HEADER_TAIL[9] = {
    "",
    "\"FileMarker\" \"UserBitField\"\n",
    "\"FileMarker\" \"UserBitField\" \"GPSTime\"\n",
    "\"UserData\" \"PointSourceID\"\n",
    "\"UserData\" \"PointSourceID\" \"GPSTime\"\n",
    "\"UserData\" \"PointSourceID\"\n",
    "\"UserData\" \"PointSourceID\" \"GPSTime\"\n",
    "\"UserData\" \"PointSourceID\" \"Red\" \"Green\" \"Blue\"\n",
    "\"UserData\" \"PointSourceID\" \"GPSTime\" \"Red\" \"Green\" \"Blue\"\n",
};

// Header lines of Formats 1..20; 11 and 12 name LAS 1.0 fields differently.
const char *const FORMAT_HEADER[MAX_FORMAT + 1] = {
    nullptr,
    "\"X\"\n",
    "\"Y\"\n",
    "\"Z\"\n",
    "\"Intensity\"\n",
    "\"ReturnNum\"\n",
    "\"NumReturns\"\n",
    "\"ScanDirection\"\n",
    "\"EdgeOfFlightLine\"\n",
    "\"Classification\"\n",
    "\"ScanAngleRank\"\n",
    "\"UserData\"\n",
    "\"PointSourceID\"\n",
    "\"GPSTime\"\n",
    "\"R\" \"G\" \"B\"\n",
    "\"X\" \"Y\" \"Z\"\n",
    "\"X\" \"Y\" \"Z\" \"Intensity\"\n",
    "\"X\" \"Y\" \"Z\" \"GPSTime\"\n",
    "\"X\" \"Y\" \"Z\" \"Intensity\" \"GPSTime\"\n",
    "\"X\" \"Y\" \"Z\" \"R\" \"G\" \"B\"\n",
    "\"X\" \"Y\" \"Z\" \"Intensity\" \"PointSourceID\" \"R\" \"G\" \"B\"\n",
};

std::string columnHeaderText(int Format, int16_t LASType)
{
    const bool las10 = LASType <= LASTYPE_10_FM1;
    if (Format == 0)
        return std::string(COMMON_HEADER) + FORMAT0_HEADER_TAIL[LASType];
    if (Format == 11 && las10)
        return "\"FileMarker\"\n";
    if (Format == 12 && las10)
        return "\"UserBitField\"\n";
    return FORMAT_HEADER[Format];
}

PointFields decodePoint(const unsigned char *record, const RecordLayout &layout)
{
    LAS12fm0 common;
    std::memcpy(&common, record, sizeof common);
    PointFields p{common.X,
                  common.Y,
                  common.Z,
                  common.Intensity,
                  common.bitfield,
                  common.Classification,
                  common.ScanAngleRank,
                  common.UserData,
                  common.PointSourceID,
                  0.0,
                  0,
                  0,
                  0};
    if (layout.hasGPSTime)
        std::memcpy(&p.GPSTime, record + offsetof(LAS12fm1, GPSTime), sizeof p.GPSTime);
    if (layout.hasRGB) {
        uint16_t rgb[3];
        std::memcpy(rgb, record + layout.rgbOffset, sizeof rgb);
        p.Red = rgb[0], p.Green = rgb[1], p.Blue = rgb[2];
    }
    return p;
}

// The product and the sum are two roundings; the build forbids contracting
// them into one fused multiply-add, which would change the last digit.
char *putCoordinate(char *out, int32_t raw, const Axes &a, int axis)
{
    const double scaled = static_cast<double>(raw) * a.scale[axis];
    return put_fixed(out, scaled + a.offset[axis], a.digits[axis]);
}

char *putXYZ(char *out, const PointFields &p, const Axes &a)
{
    out = putCoordinate(out, p.X, a, 0);
    *out++ = ' ';
    out = putCoordinate(out, p.Y, a, 1);
    *out++ = ' ';
    return putCoordinate(out, p.Z, a, 2);
}

char *putSpaced(char *out, uint64_t value)
{
    *out++ = ' ';
    return put_uint(out, value);
}

// " R G B": colour always follows another column, except in Format 14.
char *putSpacedRGB(char *out, const PointFields &p)
{
    out = putSpaced(out, p.Red);
    out = putSpaced(out, p.Green);
    return putSpaced(out, p.Blue);
}

char *putGPSTime(char *out, double t)
{
    return put_fixed(out, t, 7);
}

char *putSpacedGPSTime(char *out, double t)
{
    *out++ = ' ';
    return putGPSTime(out, t);
}

// Format 0: every attribute the record type has.
char *putAllFields(char *out, const PointFields &p, const Axes &a, const RecordLayout &layout)
{
    out = putXYZ(out, p, a);
    out = putSpaced(out, p.Intensity);
    out = putSpaced(out, p.bitfield & 7u);
    out = putSpaced(out, (p.bitfield >> 3) & 7u);
    out = putSpaced(out, (p.bitfield >> 6) & 1u);
    out = putSpaced(out, (p.bitfield >> 7) & 1u);
    out = putSpaced(out, p.Classification);
    *out++ = ' ';
    out = put_int(out, p.ScanAngleRank);
    out = putSpaced(out, p.UserData);
    out = putSpaced(out, p.PointSourceID);
    if (layout.hasGPSTime)
        out = putSpacedGPSTime(out, p.GPSTime);
    if (layout.hasRGB)
        out = putSpacedRGB(out, p);
    return out;
}

char *putValueLine(char *out, int Format, const PointFields &p, const Axes &a,
                   const RecordLayout &layout)
{
    switch (Format) {
    case 0: out = putAllFields(out, p, a, layout); break;
    case 1: out = putCoordinate(out, p.X, a, 0); break;
    case 2: out = putCoordinate(out, p.Y, a, 1); break;
    case 3: out = putCoordinate(out, p.Z, a, 2); break;
    case 4: out = put_uint(out, p.Intensity); break;
    case 5: out = put_uint(out, p.bitfield & 7u); break;
    case 6: out = put_uint(out, (p.bitfield >> 3) & 7u); break;
    case 7: out = put_uint(out, (p.bitfield >> 6) & 1u); break;
    case 8: out = put_uint(out, (p.bitfield >> 7) & 1u); break;
    case 9: out = put_uint(out, p.Classification); break;
    case 10: out = put_int(out, p.ScanAngleRank); break;
    case 11: out = put_uint(out, p.UserData); break;
    case 12: out = put_uint(out, p.PointSourceID); break;
    case 13: out = putGPSTime(out, p.GPSTime); break;
    case 14: out = putSpaced(putSpaced(put_uint(out, p.Red), p.Green), p.Blue); break;
    case 15: out = putXYZ(out, p, a); break;
    case 16: out = putSpaced(putXYZ(out, p, a), p.Intensity); break;
    case 17: out = putSpacedGPSTime(putXYZ(out, p, a), p.GPSTime); break;
    case 18: out = putSpacedGPSTime(putSpaced(putXYZ(out, p, a), p.Intensity), p.GPSTime); break;
    case 19: out = putSpacedRGB(putXYZ(out, p, a), p); break;
    default:
        out = putSpaced(putSpaced(putXYZ(out, p, a), p.Intensity), p.PointSourceID);
        out = putSpacedRGB(out, p);
        break;
    }
    *out++ = '\n';
    return out;
}

Axes axesOf(const LAS12Header *h)
{
    return Axes{{h->XScaleFactor, h->YScaleFactor, h->ZScaleFactor},
                {h->XOffset, h->YOffset, h->ZOffset},
                {_digitsX, _digitsY, _digitsZ}};
}

bool writeAll(FILE *fout, const char *text, size_t n)
{
    return std::fwrite(text, 1, n, fout) == n;
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

bool allocatePointBuffers(PointBuffers *b)
{
    b->records = new (std::nothrow) unsigned char[RECORD_CHUNK_BYTES];
    b->text = new (std::nothrow) char[TEXT_BUFFER_BYTES];
    return b->records && b->text;
}

void releasePointBuffers(PointBuffers *b)
{
    delete[] b->records;
    delete[] b->text;
    b->records = nullptr;
    b->text = nullptr;
}

// Whole records are read a chunk at a time; a chunk that comes back short
// means the input has ended (or failed), and the bytes of a trailing
// partial record are ignored, exactly as if records were read one by one.
bool writePoints(int Format, int16_t LASType, FILE *fin, FILE *fout, const LAS12Header *ph12,
                 const PointBuffers *buffers)
{
    const std::string header = columnHeaderText(Format, LASType);
    if (!writeAll(fout, header.data(), header.size()))
        return false;
    if (!formatServesType(Format, LASType))
        return true;
    const Axes axes = axesOf(ph12);
    const RecordLayout layout = layoutOf(LASType);
    const size_t recordSize = layout.size;
    const size_t chunkBytes = recordSize * RECORD_CHUNK_RECORDS;
    char *const textEnd = buffers->text + TEXT_BUFFER_BYTES;
    char *out = buffers->text;
    for (;;) {
        const size_t got = std::fread(buffers->records, 1, chunkBytes, fin);
        const size_t records = got / recordSize;
        for (size_t r = 0; r < records; ++r) {
            if (static_cast<size_t>(textEnd - out) < MAX_LINE_TEXT) {
                if (!writeAll(fout, buffers->text, static_cast<size_t>(out - buffers->text)))
                    return false;
                out = buffers->text;
            }
            const PointFields p = decodePoint(buffers->records + r * recordSize, layout);
            out = putValueLine(out, Format, p, axes, layout);
        }
        if (got < chunkBytes)
            break;
    }
    return writeAll(fout, buffers->text, static_cast<size_t>(out - buffers->text));
}
