// HOLVANE LiDAR Utilities: shared LiDAR library.
// Validation, file-name and argument checks, the banner, header
// initialisation and in-place update, and index-carrying quicksorts.
#include "HOLVANE_LiDAR.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

// ====================== Platform ======================
// The library's only platform differences, here alone: stream positions of
// 64 bits everywhere, and on Windows names that reach the file system as
// UTF-16 through the wide calls, whatever the ANSI code page, with the
// long-path prefix where a path is too long for the plain calls.
#ifdef _WIN32
#include <windows.h>

namespace
{

std::wstring utf16_of(const char *text)
{
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

bool seek_64(FILE *f, int64_t offset)
{
    return _fseeki64(f, offset, SEEK_SET) == 0;
}

} // namespace

std::wstring windows_file_name(const char *name)
{
    const std::wstring wide = utf16_of(name);
    if (wide.empty() || wide.compare(0, 4, L"\\\\?\\") == 0)
        return wide;
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return wide;
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n)
        return wide;
    full.resize(got);
    // Below MAX_PATH the name goes as given, so that device names (NUL,
    // CON) and relative names keep their plain meaning.
    if (full.size() < MAX_PATH - 1)
        return wide;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

FILE *open_stream(const char *filename, const char *mode)
{
    const std::wstring wide = windows_file_name(filename);
    const std::wstring wideMode = utf16_of(mode);
    if (wide.empty() || wideMode.empty())
        return nullptr;
    return _wfopen(wide.c_str(), wideMode.c_str());
}
#else
#include <sys/types.h>

static_assert(sizeof(off_t) >= 8, "build with 64-bit file positions (_FILE_OFFSET_BITS=64)");

namespace
{

bool seek_64(FILE *f, int64_t offset)
{
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

} // namespace

FILE *open_stream(const char *filename, const char *mode)
{
    return std::fopen(filename, mode);
}
#endif

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

unsigned las_format_record_size(uint8_t PointDataFormatID)
{
    static const unsigned sizes[LAS_MAX_POINT_FORMAT + 1] = {20, 28, 26, 34, 57, 63,
                                                             30, 36, 38, 59, 67};
    return PointDataFormatID <= LAS_MAX_POINT_FORMAT ? sizes[PointDataFormatID] : 0;
}

bool las_format_has_gps_time(uint8_t PointDataFormatID)
{
    return PointDataFormatID == 1 ||
           (PointDataFormatID >= 3 && PointDataFormatID <= LAS_MAX_POINT_FORMAT);
}

bool las_format_has_rgb(uint8_t PointDataFormatID)
{
    switch (PointDataFormatID) {
    case 2:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10: return true;
    default: return false;
    }
}

bool las_format_has_nir(uint8_t PointDataFormatID)
{
    return PointDataFormatID == 8 || PointDataFormatID == 10;
}

bool las_format_is_extended(uint8_t PointDataFormatID)
{
    return PointDataFormatID >= 6 && PointDataFormatID <= LAS_MAX_POINT_FORMAT;
}

uint8_t las_highest_point_format(uint8_t VersionMinor)
{
    static const uint8_t highest[6] = {1, 1, 3, 5, LAS_MAX_POINT_FORMAT, LAS_MAX_POINT_FORMAT};
    return VersionMinor <= 5 ? highest[VersionMinor] : 0;
}

uint8_t las_lowest_point_format(uint8_t VersionMinor)
{
    return VersionMinor >= 5 ? 6 : 0;
}

unsigned las_header_size_of_version(uint8_t VersionMinor)
{
    return VersionMinor >= 5   ? sizeof(LAS15Header)
           : VersionMinor == 4 ? sizeof(LAS14Header)
           : VersionMinor == 3 ? sizeof(LAS13Header)
                               : LAS_HEADER_SIZE;
}

// ====================== Validation ======================

LasDigitText las_digit_text(uint8_t value)
{
    LasDigitText d{};
    const unsigned char c = static_cast<unsigned char>(value + 48);
    if (c >= 32 && c < 127)
        d.text[0] = static_cast<char>(c);
    else
        std::snprintf(d.text, sizeof d.text, "%u", static_cast<unsigned>(value));
    return d;
}

namespace
{

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
            std::printf("\nCannot handle las files of version %s.x\n",
                        las_digit_text(h.VersionMajor).text);
        return LASTYPE_INVALID;
    }
    if (h.VersionMinor > 2) {
        if (filename)
            std::printf("\nCannot handle las files of version %s.%s\n",
                        las_digit_text(h.VersionMajor).text, las_digit_text(h.VersionMinor).text);
        return LASTYPE_INVALID;
    }
    if (h.PointDataFormatID > 3) {
        if (filename)
            std::printf("\nPointDataFormatID in %s is %s. Only 0, 1, 2, or 3 is "
                        "accepted\n",
                        filename, las_digit_text(h.PointDataFormatID).text);
        return LASTYPE_INVALID;
    }
    const int16_t type = las_type_of_pair(h.VersionMinor, h.PointDataFormatID);
    if (type > 0 && h.PointDataRecordLength != las_record_size(type)) {
        if (filename)
            std::printf("\nData format of %s (%s) is incompatible with Length of "
                        "Data Record (%d)\n",
                        filename, las_digit_text(h.PointDataFormatID).text,
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
    FILE *f = open_stream(filename, "rb");
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
    FILE *f = open_stream(filename, "r");
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
    case EXTENSION_MATCHES: return 0;
    case EXTENSION_NAME_TOO_SHORT:
        std::printf("\nFile name (%s) is too short\n", filename);
        return -1;
    case EXTENSION_NO_DOT:
        std::printf("\nExtension of file %s should be preceeded by a dot (.)\n", filename);
        return -1;
    default: std::printf("\nFile extension of %s is not .%s\n", filename, extension); return -1;
    }
}

int classify_file_extension(const char *filename, const char *extension)
{
    const size_t n = std::strlen(filename);
    if (n <= 4)
        return EXTENSION_NAME_TOO_SHORT;
    if (filename[n - 4] != '.')
        return EXTENSION_NO_DOT;
    return std::strcmp(filename + n - 3, extension) == 0 ? EXTENSION_MATCHES : EXTENSION_DIFFERS;
}

void error_msg(int i, const char *text)
{
    switch (i) {
    case 1: std::printf("\nFile %s does NOT exist\n", text); break;
    case 2: std::printf("\nFile %s already exists\n", text); break;
    case 3: std::printf("\nSame file name (%s) has been specified twice\n", text); break;
    default: break;
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
    if (check_file_extension(str, "asc") != 0 && check_file_extension(str, "flt") != 0) {
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
    if (offset > static_cast<uint64_t>(INT64_MAX))
        return false;
    return seek_64(f, static_cast<int64_t>(offset));
}

bool read_exact(FILE *f, void *buf, size_t n)
{
    return std::fread(buf, 1, n, f) == n;
}

// ====================== Header initialisation ======================

namespace
{

// The fields every fresh header shares, whatever its version. The whole
// record is cleared first so that no stale memory reaches a file.
template <typename Header> void initialize_common(Header *ph, uint8_t minor)
{
    std::memset(ph, 0, sizeof *ph);
    std::memcpy(ph->LASF, "LASF", 4);
    ph->VersionMajor = 1;
    ph->VersionMinor = minor;
    static const char software[] = "HOLVANE LiDAR Utilities";
    static_assert(sizeof software == 24);
    std::memcpy(ph->GeneratingSoftware, software, sizeof software);
    ph->HeaderSize = LAS_HEADER_SIZE;
    ph->OffsetToData = LAS_HEADER_SIZE;
    ph->XScaleFactor = 1.0;
    ph->YScaleFactor = 1.0;
    ph->ZScaleFactor = 1.0;
}

} // namespace

void initialize_header10(LAS10Header *ph)
{
    initialize_common(ph, 0);
}

void initialize_header11(LAS11Header *ph)
{
    initialize_common(ph, 1);
}

void initialize_header12(LAS12Header *ph)
{
    initialize_common(ph, 2);
}

// ====================== Header update ======================

namespace
{

// Running summary of the raw point records. The Z range starts narrower
// than X and Y; its starting values are part of the established results.
struct PointSummary {
    int32_t maxX = -2147483646, maxY = -2147483646, maxZ = -10000000;
    int32_t minX = 2147483646, minY = 2147483646, minZ = 10000000;
    uint32_t return_count = 0;
    uint32_t ReturnNumberCount[5] = {0, 0, 0, 0, 0};
};

void widen(int32_t value, int32_t *max, int32_t *min)
{
    if (value > *max)
        *max = value;
    if (value < *min)
        *min = value;
}

void summarize_record(const unsigned char *record, PointSummary *s)
{
    LAS12fm0 p;
    std::memcpy(&p, record, sizeof p);
    widen(p.X, &s->maxX, &s->minX);
    widen(p.Y, &s->maxY, &s->minY);
    widen(p.Z, &s->maxZ, &s->minZ);
    const uint16_t ReturnNumber = p.bitfield & 7u;
    if (ReturnNumber >= 1 && ReturnNumber <= 5)
        ++s->ReturnNumberCount[ReturnNumber - 1];
    ++s->return_count;
}

enum SummaryOutcome { SUMMARY_DONE, SUMMARY_NO_MEMORY, SUMMARY_READ_FAILED };

// One pass over the whole records from the stream's position to its end;
// a trailing partial record is not counted. A read that fails is told
// from the end of the data, so that no partial count is taken for whole.
SummaryOutcome summarize_points(FILE *f, unsigned recordSize, PointSummary *s)
{
    constexpr size_t chunkRecords = 4096;
    std::vector<unsigned char> chunk;
    try {
        chunk.resize(chunkRecords * recordSize);
    } catch (const std::bad_alloc &) {
        return SUMMARY_NO_MEMORY;
    }
    for (;;) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), f);
        for (size_t r = 0; r < got / recordSize; ++r)
            summarize_record(chunk.data() + r * recordSize, s);
        if (got < chunk.size())
            return std::ferror(f) ? SUMMARY_READ_FAILED : SUMMARY_DONE;
    }
}

// Whether the file has a byte just before `offset`: point data that starts
// beyond the end of the file is a header that does not describe it.
bool reaches(FILE *f, uint64_t offset)
{
    return offset == 0 || (seek_from_start(f, offset - 1) && std::fgetc(f) != EOF);
}

double to_real(int32_t raw, double scale, double offset)
{
    const double scaled = static_cast<double>(raw) * scale;
    return scaled + offset;
}

void store_summary(const PointSummary &s, LAS12Header *h)
{
    h->NumberOfPointReturns = s.return_count;
    for (int k = 0; k < 5; ++k)
        h->NumberOfPointsByReturn[k] = s.ReturnNumberCount[k];
    h->MaxX = to_real(s.maxX, h->XScaleFactor, h->XOffset);
    h->MinX = to_real(s.minX, h->XScaleFactor, h->XOffset);
    h->MaxY = to_real(s.maxY, h->YScaleFactor, h->YOffset);
    h->MinY = to_real(s.minY, h->YScaleFactor, h->YOffset);
    h->MaxZ = to_real(s.maxZ, h->ZScaleFactor, h->ZOffset);
    h->MinZ = to_real(s.minZ, h->ZScaleFactor, h->ZOffset);
}

[[noreturn]] void fail_update(FILE *f, const char *format, const char *filename)
{
    if (f)
        std::fclose(f);
    std::printf(format, filename);
    std::exit(-1);
}

} // namespace

// Recomputes the point count, counts by return and extents of a LAS file
// from its records and rewrites only its first 227 bytes. Every failure
// leaves the file as it was, except a failure of the final write itself.
void update_header(const char *filename)
{
    const int16_t LASType = check_las(filename);
    if (LASType < 0)
        std::exit(-1);
    if (LASType == LASTYPE_UNSUPPORTED_PAIR)
        fail_update(nullptr,
                    "\nCannot update header of %s: point data formats 2 and 3 need LAS 1.2\n",
                    filename);
    FILE *f = open_stream(filename, "r+b");
    if (!f)
        fail_update(nullptr, "\nCannot open binary file %s for header update\n\n", filename);
    LAS12Header header;
    if (!read_exact(f, &header, sizeof header))
        fail_update(f, "\nFile %s ends within its 227-byte header\n", filename);
    // Points read from inside the header, or from beyond the end, would be
    // written back as counts and extents made of other bytes.
    if (header.OffsetToData < LAS_HEADER_SIZE) {
        std::fclose(f);
        std::printf("\nOffsetToData of %s (%u) lies within its 227-byte header\n", filename,
                    static_cast<unsigned>(header.OffsetToData));
        std::exit(-1);
    }
    if (!reaches(f, header.OffsetToData)) {
        std::fclose(f);
        std::printf("\nOffsetToData of %s (%u) lies beyond its end\n", filename,
                    static_cast<unsigned>(header.OffsetToData));
        std::exit(-1);
    }
    PointSummary summary;
    if (!seek_from_start(f, header.OffsetToData))
        fail_update(f, "\nCannot reach the point data of %s\n", filename);
    switch (summarize_points(f, las_record_size(LASType), &summary)) {
    case SUMMARY_NO_MEMORY:
        fail_update(f, "\nCannot allocate memory for storing a record of information from %s\n",
                    filename);
    case SUMMARY_READ_FAILED: fail_update(f, "\nFailed to read file %s\n", filename);
    case SUMMARY_DONE: break;
    }
    store_summary(summary, &header);
    const bool written = seek_from_start(f, 0) && std::fwrite(&header, sizeof header, 1, f) == 1;
    if (std::fclose(f) != 0 || !written) {
        std::printf("\nFailed to update header of file %s\n", filename);
        std::exit(-1);
    }
    std::printf("\rHeader of file %s has been updated    ", filename);
}

// ====================== Index-carrying quicksorts ======================

namespace
{

// One partition step over p[left..right] around the middle element's value,
// exchanging p_ind along with p. Leaves the sub-ranges [left, *j] and
// [*i, right] still to sort.
template <typename T>
void partition(T *p, int32_t left, int32_t right, int32_t *p_ind, int32_t *i_out, int32_t *j_out)
{
    int32_t i = left, j = right;
    const T v = p[left + (right - left) / 2];
    do {
        while (p[i] < v && i < right)
            ++i;
        while (p[j] > v && j > left)
            --j;
        if (i <= j) {
            std::swap(p[i], p[j]);
            std::swap(p_ind[i], p_ind[j]);
            ++i;
            --j;
        }
    } while (i <= j);
    *i_out = i;
    *j_out = j;
}

// Sorts p[left..right]. The two sub-ranges of a step are disjoint, so the
// order in which they are sorted does not change the result: recursing
// into the smaller one and looping on the larger bounds the stack depth by
// log2 of the count, even for inputs the middle pivot splits badly.
template <typename T> void sort_range(T *p, int32_t left, int32_t right, int32_t *p_ind)
{
    while (left < right) {
        int32_t i, j;
        partition(p, left, right, p_ind, &i, &j);
        if (j - left < right - i) {
            if (left < j)
                sort_range(p, left, j, p_ind);
            left = i;
        } else {
            if (i < right)
                sort_range(p, i, right, p_ind);
            right = j;
        }
    }
}

} // namespace

void l_quicksort(int32_t *p, int32_t count, int32_t *p_ind)
{
    l_qs(p, 0, count - 1, p_ind);
}

void l_qs(int32_t *p, int32_t left, int32_t right, int32_t *p_ind)
{
    sort_range(p, left, right, p_ind);
}

void l_parallel_quicksort(int32_t *p, int32_t count, int32_t *p_ind)
{
    l_parallel_qs(p, 0, count - 1, p_ind, 15);
}

// The depth budget once chose which worker sorted each level; both run the
// same partition steps on one thread, so it cannot change the result.
void l_parallel_qs(int32_t *p, int32_t left, int32_t right, int32_t *p_ind, int32_t deep)
{
    (void)deep;
    sort_range(p, left, right, p_ind);
}

void d_quicksort(double *p, int32_t count, int32_t *p_ind)
{
    d_qs(p, 0, count - 1, p_ind);
}

void d_qs(double *p, int32_t left, int32_t right, int32_t *p_ind)
{
    sort_range(p, left, right, p_ind);
}

void d_parallel_quicksort(double *p, int32_t count, int32_t *p_ind)
{
    d_parallel_qs(p, 0, count - 1, p_ind, 15);
}

void d_parallel_qs(double *p, int32_t left, int32_t right, int32_t *p_ind, int32_t deep)
{
    (void)deep;
    sort_range(p, left, right, p_ind);
}
