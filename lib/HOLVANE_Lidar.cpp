// HOLVANE LiDAR Utilities: shared LiDAR library.
// Validation, file-name and argument checks, the banner, header
// initialisation and in-place update, and index-carrying quicksorts.
#include "HOLVANE_LiDAR.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

// ====================== LASType table ======================

unsigned las_record_size(int16_t LASType)
{
    static const unsigned sizes[9] = {0, 20, 28, 20, 28, 20, 28, 26, 34};
    return (LASType >= 1 && LASType <= 8) ? sizes[LASType] : 0;
}

bool las_type_has_gps_time(int16_t LASType)
{
    return LASType >= 1 && LASType <= 8 && LASType % 2 == 0;
}

bool las_type_has_rgb(int16_t LASType)
{
    return LASType == LASTYPE_12_FM2 || LASType == LASTYPE_12_FM3;
}

int16_t las_type_of_pair(uint8_t VersionMinor, uint8_t PointDataFormatID)
{
    if (VersionMinor <= 1 && PointDataFormatID <= 1)
        return static_cast<int16_t>(1 + 2 * VersionMinor + PointDataFormatID);
    if (VersionMinor == 2 && PointDataFormatID <= 3)
        return static_cast<int16_t>(5 + PointDataFormatID);
    return LASTYPE_UNSUPPORTED_PAIR;
}

// ====================== Validation ======================

namespace {

// The character a version or format byte prints as: its value plus '0',
// modulo 256, so 0..9 show as digits and larger values as what follows.
int digit_char(uint8_t value)
{
    return static_cast<unsigned char>(value + 48);
}

// Judges the first 107 bytes of a header exactly as check_las does. With a
// file name it prints check_las's messages; with nullptr it stays quiet.
int16_t judge_header_start(const LAS12Header &h, const char *filename)
{
    if (std::memcmp(h.LASF, "LASF", 4) != 0) {
        if (filename)
            std::printf("\n%s is not a valid .las file\n\n", filename);
        return LASTYPE_INVALID;
    }
    if (h.VersionMajor != 1) {
        if (filename)
            std::printf("\nCannot handle las files of version %c.x\n",
                        digit_char(h.VersionMajor));
        return LASTYPE_INVALID;
    }
    if (h.VersionMinor > 2) {
        if (filename)
            std::printf("\nCannot handle las files of version %c.%c\n",
                        digit_char(h.VersionMajor), digit_char(h.VersionMinor));
        return LASTYPE_INVALID;
    }
    if (h.PointDataFormatID > 3) {
        if (filename)
            std::printf("\nPointDataFormatID in %s is %c. Only 0, 1, 2, or 3 is "
                        "accepted\n",
                        filename, digit_char(h.PointDataFormatID));
        return LASTYPE_INVALID;
    }
    const int16_t type = las_type_of_pair(h.VersionMinor, h.PointDataFormatID);
    if (type > 0 && h.PointDataRecordLength != las_record_size(type)) {
        if (filename)
            std::printf("\nData format of %s (%c) is incompatible with Length of "
                        "Data Record (%d)\n",
                        filename, digit_char(h.PointDataFormatID),
                        static_cast<int>(h.PointDataRecordLength));
        return LASTYPE_INVALID;
    }
    return type;
}

} // namespace

int16_t las_type_of_header(const LAS12Header &h)
{
    return judge_header_start(h, nullptr);
}

// Only the first 107 bytes decide (signature to record length). A file that
// ends before them cannot be read as LAS at all.
int16_t check_las(const char *filename)
{
    if (file_access(filename) < 0) {
        error_msg(1, filename);
        return LASTYPE_INVALID;
    }
    if (check_file_extension(filename, "las") < 0)
        return LASTYPE_INVALID;
    FILE *f = std::fopen(filename, "rb");
    if (!f) {
        std::printf("\nCannot open binary file %s for reading\n\n", filename);
        return LASTYPE_INVALID;
    }
    constexpr size_t checked_bytes = offsetof(LAS12Header, NumberOfPointReturns);
    LAS12Header h{};
    const bool complete = read_exact(f, &h, checked_bytes);
    std::fclose(f);
    if (!complete) {
        std::printf("\n%s is not a valid .las file\n\n", filename);
        return LASTYPE_INVALID;
    }
    return judge_header_start(h, filename);
}

int16_t file_access(const char *filename)
{
    FILE *f = std::fopen(filename, "r");
    if (!f) {
        std::printf("Unable to open file %s in file_access()\n", filename);
        return -1;
    }
    std::fclose(f);
    return 0;
}

int16_t check_file_extension(const char *filename, const char *extension)
{
    switch (classify_file_extension(filename, extension)) {
    case EXTENSION_MATCHES:
        return 0;
    case EXTENSION_NAME_TOO_SHORT:
        std::printf("\nFile name (%s) is too short\n", filename);
        return -1;
    case EXTENSION_NO_DOT:
        std::printf("\nExtension of file %s should be preceeded by a dot (.)\n",
                    filename);
        return -1;
    default:
        std::printf("\nFile extension of %s is not .%s\n", filename, extension);
        return -1;
    }
}

int classify_file_extension(const char *filename, const char *extension)
{
    const size_t n = std::strlen(filename);
    if (n <= 4)
        return EXTENSION_NAME_TOO_SHORT;
    if (filename[n - 4] != '.')
        return EXTENSION_NO_DOT;
    return std::strcmp(filename + n - 3, extension) == 0 ? EXTENSION_MATCHES
                                                        : EXTENSION_DIFFERS;
}

void error_msg(int i, const char *text)
{
    switch (i) {
    case 1:
        std::printf("\nFile %s does NOT exist\n", text);
        break;
    case 2:
        std::printf("\nFile %s already exists\n", text);
        break;
    case 3:
        std::printf("\nSame file name (%s) has been specified twice\n", text);
        break;
    default:
        break;
    }
}

// ====================== Argument checks and banner ======================

// A character test only: digits, at most one dot and at most one dash,
// anywhere. Conversion and range are the caller's business.
void check_numeric_argument(const char *str)
{
    bool valid = true;
    size_t ndots = 0, ndashes = 0, length = 0;
    for (const char *c = str; *c; ++c, ++length) {
        if (*c == '.')
            ++ndots;
        else if (*c == '-')
            ++ndashes;
        else if (*c < '0' || *c > '9')
            valid = false;
    }
    if (ndots > 1 || ndashes > 1)
        valid = false;
    if (length == 1 && (str[0] == '.' || str[0] == '-'))
        valid = false;
    if (!valid) {
        std::printf("\nInvalid argument value (%s)\n", str);
        std::exit(-1);
    }
}

int16_t check_YN(const char *text)
{
    for (const char *accepted : {"Y", "N", "y", "n"})
        if (std::strcmp(text, accepted) == 0)
            return 0;
    std::puts("\nASCII Header Flag should be either Y (y) or N (n)");
    return -1;
}

// Every failed extension test speaks through check_file_extension, so an
// accepted name is still followed by the mismatch message of the other kind.
void check_DEM(const char *str)
{
    if (check_file_extension(str, "asc") != 0 &&
        check_file_extension(str, "flt") != 0) {
        std::puts("\nDEM file extension should be either '.asc' (ASCII) or '.flt' "
                  "(floating point binary)");
        std::exit(-1);
    }
    if (check_file_extension(str, "flt") != 0)
        return;
    const std::string FileCore(str, std::strlen(str) - 4);
    const std::string filename = FileCore + ".hdr";
    if (file_access(filename.c_str()) != 0) {
        std::puts("\nFloating point binary DEM files also require a ASCII header "
                  "file ('.hdr')");
        std::exit(-1);
    }
}

void credits()
{
    std::printf("\nHOLVANE LiDAR Utilities");
    std::printf("\n\nDeveloped by the HOLVANE LiDAR Utilities team");
    std::printf("\nHOLVANE Geospatial Laboratory");
    std::printf("\n1 Survey Lane, Trevlin");
    std::printf("\n\n* * No warranty regarding script behavior is given or implied * *");
    std::puts("\n\n* * Please acknowledge the author's efforts whenever possible * *\n");
}

// ====================== Stream helpers ======================

bool seek_from_start(FILE *f, uint64_t offset)
{
    const uint64_t step = static_cast<uint64_t>(LONG_MAX);
    long first = static_cast<long>(offset < step ? offset : step);
    if (std::fseek(f, first, SEEK_SET) != 0)
        return false;
    for (uint64_t done = static_cast<uint64_t>(first); done < offset;) {
        const uint64_t rest = offset - done;
        const long next = static_cast<long>(rest < step ? rest : step);
        if (std::fseek(f, next, SEEK_CUR) != 0)
            return false;
        done += static_cast<uint64_t>(next);
    }
    return true;
}

bool read_exact(FILE *f, void *buf, size_t n)
{
    return std::fread(buf, 1, n, f) == n;
}
