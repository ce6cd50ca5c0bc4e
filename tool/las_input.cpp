// TREVLIN: validation of the input files, by check_las's rules or, with -x,
// by the wider ones of LAS 1.3 and 1.4.
#include "las_input.h"
#include "platform.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace
{

constexpr uint8_t REFUSED = 0xFF;

// Judges a header by the -x rules; `have` is how many of its bytes the
// file holds. With a name it says why it refuses, in check_las's words
// where check_las has them. 1, 0 (LAS 1.0/1.1 with format 2 or 3) or -1.
int16_t judgeExtended(const LAS14Header &whole, size_t have, const char *name, RecordType *type)
{
    const LAS12Header &h = whole.Public;
    const auto refuse = [name](const char *format, auto... values) -> int16_t {
        if (name)
            std::printf(format, values...);
        return LASTYPE_INVALID;
    };
    if (have < offsetof(LAS12Header, NumberOfPointReturns) || std::memcmp(h.LASF, "LASF", 4) != 0)
        return refuse("\n%s is not a valid .las file\n\n", name);
    if (h.VersionMajor != 1)
        return refuse("\nCannot handle las files of version %s.x\n",
                      las_digit_text(h.VersionMajor).text);
    if (h.VersionMinor > 5)
        return refuse("\nCannot handle las files of version %s.%s\n",
                      las_digit_text(h.VersionMajor).text, las_digit_text(h.VersionMinor).text);
    // LAZ sets bit 7 of the format byte; bit 6 with it is no LAZ at all.
    const bool compressed = (h.PointDataFormatID & 0xC0) == 0x80;
    const uint8_t format = compressed ? h.PointDataFormatID & 0x3F : h.PointDataFormatID;
    const uint8_t highest = las_highest_point_format(h.VersionMinor);
    if (format > highest) {
        if (h.VersionMinor <= 1 && format <= 3)
            return LASTYPE_UNSUPPORTED_PAIR;
        if (h.VersionMinor <= 2)
            return refuse("\nPointDataFormatID in %s is %s. Only 0, 1, 2, or 3 is accepted\n", name,
                          las_digit_text(format).text);
        return refuse("\nPointDataFormatID in %s is %d. LAS 1.%d accepts 0 to %d\n", name, format,
                      h.VersionMinor, highest);
    }
    const uint8_t lowest = las_lowest_point_format(h.VersionMinor);
    if (format < lowest)
        return refuse("\nPointDataFormatID in %s is %d. LAS 1.%d accepts %d to %d\n", name, format,
                      h.VersionMinor, lowest, highest);
    if (h.PointDataRecordLength < las_format_record_size(format))
        return refuse("\nData format of %s (%d) is incompatible with Length of Data Record (%d)\n",
                      name, format, static_cast<int>(h.PointDataRecordLength));
    const unsigned least = las_header_size_of_version(h.VersionMinor);
    if (have < least)
        return refuse("\nFile %s ends within its %u-byte header\n", name, least);
    if (h.HeaderSize < least)
        return refuse("\nHeaderSize of %s (%d) is below the %u bytes of a LAS 1.%d header\n", name,
                      static_cast<int>(h.HeaderSize), least, h.VersionMinor);
    if (h.OffsetToData < h.HeaderSize)
        return refuse("\nOffsetToData of %s (%u) lies within its %d-byte header\n", name,
                      static_cast<unsigned>(h.OffsetToData), static_cast<int>(h.HeaderSize));
    *type = RecordType{h.VersionMinor, format, h.PointDataRecordLength, compressed};
    return 1;
}

// The first bytes of a file, up to a LAS 1.5 header; how many it holds.
size_t readHead(const char *name, LAS15Header *h)
{
    *h = LAS15Header{};
    FILE *f = open_stream(name, "rb");
    if (!f)
        return 0;
    const size_t got = std::fread(h, 1, sizeof *h, f);
    std::fclose(f);
    return got;
}

int16_t checkExtended(const char *name, RecordType *type)
{
    // One line, with the system's reason, rather than the library's three.
    FILE *probe = open_stream(name, "rb");
    if (!probe) {
        std::printf("\nCannot open %s: %s\n", name, std::strerror(errno));
        return LASTYPE_INVALID;
    }
    std::fclose(probe);
    // With -x, compressed LAS is read too, under its usual name, and either
    // in any case.
    if (!hasExtensionInAnyCase(name, "laz") && !hasExtensionInAnyCase(name, "las") &&
        check_file_extension(name, "las") < 0)
        return LASTYPE_INVALID;
    LAS15Header h;
    const size_t have = readHead(name, &h);
    return judgeExtended(h.Base, have, name, type);
}

} // namespace

RecordType recordTypeOf(int16_t LASType)
{
    static const uint8_t minor[9] = {0, 0, 0, 1, 1, 2, 2, 2, 2};
    static const uint8_t format[9] = {0, 0, 1, 0, 1, 0, 1, 2, 3};
    if (LASType < 1 || LASType > 8)
        return RecordType{0, REFUSED, 0};
    return RecordType{minor[LASType], format[LASType],
                      static_cast<uint16_t>(las_record_size(LASType))};
}

int16_t checkInput(const char *name, bool extended, RecordType *type)
{
    if (extended)
        return checkExtended(name, type);
    const int16_t LASType = check_las(name);
    if (LASType < 1)
        return LASType;
    *type = recordTypeOf(LASType);
    return 1;
}

RecordType recordTypeOfHeader(const LAS15Header &h, bool extended)
{
    if (!extended)
        return recordTypeOf(las_type_of_header(h.Base.Public));
    RecordType type{0, REFUSED, 0};
    if (judgeExtended(h.Base, sizeof h, nullptr, &type) < 1)
        return RecordType{0, REFUSED, 0};
    return type;
}

unsigned headerBytesToRead(const RecordType &type, bool extended)
{
    return extended ? las_header_size_of_version(type.VersionMinor) : LAS_HEADER_SIZE;
}

uint64_t declaredPointCount(const LAS14Header &h, const RecordType &type)
{
    return type.VersionMinor >= 4 ? h.NumberOfPointRecords : h.Public.NumberOfPointReturns;
}

uint64_t pointDataEnd(const LAS14Header &h, const RecordType &type)
{
    constexpr uint16_t WAVEFORMS_INTERNAL = 2; // global encoding bit 1
    const uint64_t start = h.Public.OffsetToData;
    uint64_t end = UINT64_MAX;
    if (type.VersionMinor >= 3 && (h.Public.GlobalEncoding & WAVEFORMS_INTERNAL) &&
        h.StartOfWaveformDataPacketRecord > start)
        end = h.StartOfWaveformDataPacketRecord;
    if (type.VersionMinor >= 4 && h.NumberOfExtendedVariableLengthRecords > 0 &&
        h.StartOfFirstExtendedVariableLengthRecord > start &&
        h.StartOfFirstExtendedVariableLengthRecord < end)
        end = h.StartOfFirstExtendedVariableLengthRecord;
    return end;
}

void explainExtendedOnly(const char *name, const char *input)
{
    LAS15Header h;
    RecordType type;
    if (judgeExtended(h.Base, readHead(name, &h), nullptr, &type) < 1)
        return;
    // The command as it must be typed: a name with blanks in quotes.
    const std::string typed = quotedForCommandLine(input);
    if (type.compressed)
        reportToStandardError(
            "TREVLIN: %s is compressed LAS (LAZ); TREVLIN -x %s <Format> converts it\n", name,
            typed.c_str());
    else if (type.VersionMinor >= 3)
        reportToStandardError(
            "TREVLIN: %s is a LAS 1.%d file of point data format %d; TREVLIN -x %s <Format> "
            "converts it\n",
            name, type.VersionMinor, type.PointFormat, typed.c_str());
    else if (extraBytesOf(type) > 0)
        reportToStandardError("TREVLIN: %s has %u extra bytes in each point record; TREVLIN -x "
                              "%s <Format> converts it\n",
                              name, extraBytesOf(type), typed.c_str());
}

bool hasExtensionInAnyCase(const char *name, const char *extension)
{
    const size_t n = std::strlen(name), e = std::strlen(extension);
    if (n <= e + 1 || name[n - e - 1] != '.')
        return false;
    for (size_t k = 0; k < e; ++k)
        if (std::tolower(static_cast<unsigned char>(name[n - e + k])) != extension[k])
            return false;
    return true;
}
