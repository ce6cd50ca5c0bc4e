// HOLVANE LiDAR Utilities: shared LiDAR library.
// LAS 1.0/1.1/1.2 record layouts, the LASType code, and the library's checks,
// header routines and index-carrying sorts.
#ifndef HOLVANE_LIDAR_H
#define HOLVANE_LIDAR_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Records are used as the byte images of the file: that only works on a
// little-endian host, which is every platform the suite is built for. The
// test works in C++17, which has no std::endian.
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "LAS records are read as little-endian byte images");
#elif !defined(_WIN32) // every Windows target is little-endian
#error "cannot tell the byte order of this compiler's target"
#endif
static_assert(sizeof(double) == 8, "LAS reals are IEEE-754 binary64");

// ====================== LAS file records ======================
// Byte-packed images of the file. No bit-fields and no plain char: the
// bitfield byte is decoded with masks, ScanAngleRank is explicitly signed.
#pragma pack(push, 1)

struct LAS12Header {
    char LASF[4];                           // 0   "LASF", no terminator
    uint16_t FileSourceID;                  // 4
    uint16_t GlobalEncoding;                // 6
    uint32_t GUIDData1;                     // 8
    uint16_t GUIDData2;                     // 12
    uint16_t GUIDData3;                     // 14
    uint8_t GUIDData4[8];                   // 16
    uint8_t VersionMajor;                   // 24
    uint8_t VersionMinor;                   // 25
    char SystemIdentifier[32];              // 26  NUL only when shorter
    char GeneratingSoftware[32];            // 58  NUL only when shorter
    uint16_t FileCreationDay;               // 90
    uint16_t FileCreationYear;              // 92
    uint16_t HeaderSize;                    // 94
    uint32_t OffsetToData;                  // 96
    uint32_t NumberOfVariableLengthRecords; // 100
    uint8_t PointDataFormatID;              // 104
    uint16_t PointDataRecordLength;         // 105
    uint32_t NumberOfPointReturns;          // 107
    uint32_t NumberOfPointsByReturn[5];     // 111
    double XScaleFactor;                    // 131
    double YScaleFactor;                    // 139
    double ZScaleFactor;                    // 147
    double XOffset;                         // 155
    double YOffset;                         // 163
    double ZOffset;                         // 171
    double MaxX;                            // 179  maxima come before minima
    double MinX;                            // 187
    double MaxY;                            // 195
    double MinY;                            // 203
    double MaxZ;                            // 211
    double MinZ;                            // 219
};

struct LAS11Header {
    char LASF[4];
    uint16_t FileSourceID; // 4
    uint16_t Reserved;     // 6
    uint32_t GUIDData1;
    uint16_t GUIDData2;
    uint16_t GUIDData3;
    uint8_t GUIDData4[8];
    uint8_t VersionMajor;
    uint8_t VersionMinor;
    char SystemIdentifier[32];
    char GeneratingSoftware[32];
    uint16_t FileCreationDay;  // 90
    uint16_t FileCreationYear; // 92
    uint16_t HeaderSize;
    uint32_t OffsetToData;
    uint32_t NumberOfVariableLengthRecords;
    uint8_t PointDataFormatID;
    uint16_t PointDataRecordLength;
    uint32_t NumberOfPointReturns;
    uint32_t NumberOfPointsByReturn[5];
    double XScaleFactor;
    double YScaleFactor;
    double ZScaleFactor;
    double XOffset;
    double YOffset;
    double ZOffset;
    double MaxX;
    double MinX;
    double MaxY;
    double MinY;
    double MaxZ;
    double MinZ;
};

struct LAS10Header {
    char LASF[4];
    uint32_t Reserved; // 4
    uint32_t GUIDData1;
    uint16_t GUIDData2;
    uint16_t GUIDData3;
    uint8_t GUIDData4[8];
    uint8_t VersionMajor;
    uint8_t VersionMinor;
    char SystemIdentifier[32];
    char GeneratingSoftware[32];
    uint16_t FlightDateJulian; // 90
    uint16_t Year;             // 92
    uint16_t HeaderSize;
    uint32_t OffsetToData;
    uint32_t NumberOfVariableLengthRecords;
    uint8_t PointDataFormatID;
    uint16_t PointDataRecordLength;
    uint32_t NumberOfPointReturns;
    uint32_t NumberOfPointsByReturn[5];
    double XScaleFactor;
    double YScaleFactor;
    double ZScaleFactor;
    double XOffset;
    double YOffset;
    double ZOffset;
    double MaxX;
    double MinX;
    double MaxY;
    double MinY;
    double MaxZ;
    double MinZ;
};

// The 20 bytes every point record starts with; offsets 17 and 18 are named
// by version (FileMarker/UserBitField in 1.0, UserData/PointSourceID later).
struct LAS10fm0 {
    int32_t X;              // 0
    int32_t Y;              // 4
    int32_t Z;              // 8
    uint16_t Intensity;     // 12
    uint8_t bitfield;       // 14  return/returns/direction/edge
    uint8_t Classification; // 15
    int8_t ScanAngleRank;   // 16
    uint8_t FileMarker;     // 17
    uint16_t UserBitField;  // 18
};

struct LAS10fm1 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t FileMarker;
    uint16_t UserBitField;
    double GPSTime; // 20
};

struct LAS11fm0 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;       // 17
    uint16_t PointSourceID; // 18
};

struct LAS11fm1 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;
    uint16_t PointSourceID;
    double GPSTime; // 20
};

struct LAS12fm0 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;
    uint16_t PointSourceID;
};

struct LAS12fm1 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;
    uint16_t PointSourceID;
    double GPSTime; // 20
};

struct LAS12fm2 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;
    uint16_t PointSourceID;
    uint16_t Red;   // 20
    uint16_t Green; // 22
    uint16_t Blue;  // 24
};

struct LAS12fm3 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;
    uint16_t PointSourceID;
    double GPSTime; // 20
    uint16_t Red;   // 28
    uint16_t Green; // 30
    uint16_t Blue;  // 32
};

#pragma pack(pop)

// Layout checks: a wrong size or offset would silently shift every field.
static_assert(sizeof(LAS10Header) == 227 && sizeof(LAS11Header) == 227 &&
              sizeof(LAS12Header) == 227);
static_assert(offsetof(LAS12Header, GUIDData1) == 8);
static_assert(offsetof(LAS12Header, GUIDData4) == 16);
static_assert(offsetof(LAS12Header, VersionMajor) == 24);
static_assert(offsetof(LAS12Header, VersionMinor) == 25);
static_assert(offsetof(LAS12Header, SystemIdentifier) == 26);
static_assert(offsetof(LAS12Header, GeneratingSoftware) == 58);
static_assert(offsetof(LAS12Header, FileCreationDay) == 90);
static_assert(offsetof(LAS10Header, FlightDateJulian) == 90);
static_assert(offsetof(LAS10Header, Year) == 92);
static_assert(offsetof(LAS11Header, Reserved) == 6);
static_assert(offsetof(LAS12Header, HeaderSize) == 94);
static_assert(offsetof(LAS12Header, OffsetToData) == 96);
static_assert(offsetof(LAS12Header, NumberOfVariableLengthRecords) == 100);
static_assert(offsetof(LAS12Header, PointDataFormatID) == 104);
static_assert(offsetof(LAS12Header, PointDataRecordLength) == 105);
static_assert(offsetof(LAS12Header, NumberOfPointReturns) == 107);
static_assert(offsetof(LAS12Header, NumberOfPointsByReturn) == 111);
static_assert(offsetof(LAS12Header, XScaleFactor) == 131);
static_assert(offsetof(LAS12Header, YScaleFactor) == 139);
static_assert(offsetof(LAS12Header, ZScaleFactor) == 147);
static_assert(offsetof(LAS12Header, XOffset) == 155);
static_assert(offsetof(LAS12Header, YOffset) == 163);
static_assert(offsetof(LAS12Header, ZOffset) == 171);
static_assert(offsetof(LAS12Header, MaxX) == 179);
static_assert(offsetof(LAS12Header, MinX) == 187);
static_assert(offsetof(LAS12Header, MaxY) == 195);
static_assert(offsetof(LAS12Header, MinY) == 203);
static_assert(offsetof(LAS12Header, MaxZ) == 211);
static_assert(offsetof(LAS12Header, MinZ) == 219);

static_assert(sizeof(LAS10fm0) == 20 && sizeof(LAS10fm1) == 28);
static_assert(sizeof(LAS11fm0) == 20 && sizeof(LAS11fm1) == 28);
static_assert(sizeof(LAS12fm0) == 20 && sizeof(LAS12fm1) == 28);
static_assert(sizeof(LAS12fm2) == 26 && sizeof(LAS12fm3) == 34);
static_assert(offsetof(LAS12fm0, Intensity) == 12);
static_assert(offsetof(LAS12fm0, bitfield) == 14);
static_assert(offsetof(LAS12fm0, Classification) == 15);
static_assert(offsetof(LAS12fm0, ScanAngleRank) == 16);
static_assert(offsetof(LAS12fm0, UserData) == 17);
static_assert(offsetof(LAS10fm0, FileMarker) == 17);
static_assert(offsetof(LAS12fm0, PointSourceID) == 18);
static_assert(offsetof(LAS10fm0, UserBitField) == 18);
static_assert(offsetof(LAS10fm1, GPSTime) == 20);
static_assert(offsetof(LAS11fm1, GPSTime) == 20);
static_assert(offsetof(LAS12fm1, GPSTime) == 20);
static_assert(offsetof(LAS12fm2, Red) == 20);
static_assert(offsetof(LAS12fm2, Green) == 22);
static_assert(offsetof(LAS12fm2, Blue) == 24);
static_assert(offsetof(LAS12fm3, GPSTime) == 20);
static_assert(offsetof(LAS12fm3, Red) == 28);
static_assert(offsetof(LAS12fm3, Green) == 30);
static_assert(offsetof(LAS12fm3, Blue) == 32);

// ====================== LASType ======================
// Code of a file's (version, point data format) pair. Odd codes carry no
// GPSTime, only 7 and 8 carry colour, 1 and 2 are LAS 1.0. check_las also
// returns 0 (LAS 1.0/1.1 declaring format 2 or 3) and -1 (invalid).
enum : int16_t {
    LASTYPE_INVALID = -1,
    LASTYPE_UNSUPPORTED_PAIR = 0,
    LASTYPE_10_FM0 = 1,
    LASTYPE_10_FM1 = 2,
    LASTYPE_11_FM0 = 3,
    LASTYPE_11_FM1 = 4,
    LASTYPE_12_FM0 = 5,
    LASTYPE_12_FM1 = 6,
    LASTYPE_12_FM2 = 7,
    LASTYPE_12_FM3 = 8,
};

constexpr unsigned LAS_HEADER_SIZE = 227;

// Record size in bytes of a LASType 1..8; 0 for anything else.
unsigned las_record_size(int16_t LASType);
bool las_type_has_gps_time(int16_t LASType);
bool las_type_has_rgb(int16_t LASType);

// LASType of a (minor version, point data format) pair for LAS 1.x, or 0
// when the pair names no record of the suite. The record length must match
// exactly for a positive result to be usable; see check_las.
int16_t las_type_of_pair(uint8_t VersionMinor, uint8_t PointDataFormatID);

// LASType that a complete header describes, with the same rules check_las
// applies to the file's first 107 bytes; -1 when they reject it.
int16_t las_type_of_header(const LAS12Header &h);

// ====================== Validation and file names ======================
// Soft checks: print their own message, return 0/positive or -1.
int16_t check_las(const char *filename);
int16_t file_access(const char *filename);
int16_t check_file_extension(const char *filename, const char *extension);
void error_msg(int i, const char *text);

// The silent core of the extension test, shared by the library's check and
// the tool's own variant, which reacts differently to each outcome.
enum {
    EXTENSION_MATCHES = 0,
    EXTENSION_NAME_TOO_SHORT = 1, // 4 characters or fewer
    EXTENSION_NO_DOT = 2,         // no dot fourth from the end
    EXTENSION_DIFFERS = 3,
};
int classify_file_extension(const char *filename, const char *extension);

// ====================== Argument checks and banner ======================
void check_numeric_argument(const char *str); // ends the process if invalid
int16_t check_YN(const char *text);
void check_DEM(const char *str); // ends the process if invalid
void credits();

// ====================== Header initialisation and update ======================
void initialize_header10(LAS10Header *ph);
void initialize_header11(LAS11Header *ph);
void initialize_header12(LAS12Header *ph);
void update_header(const char *filename); // ends the process on failure

// ====================== Index-carrying quicksorts ======================
void l_quicksort(int32_t *p, int32_t count, int32_t *p_ind);
void l_qs(int32_t *p, int32_t left, int32_t right, int32_t *p_ind);
void l_parallel_quicksort(int32_t *p, int32_t count, int32_t *p_ind);
void l_parallel_qs(int32_t *p, int32_t left, int32_t right, int32_t *p_ind, int32_t deep);
void d_quicksort(double *p, int32_t count, int32_t *p_ind);
void d_qs(double *p, int32_t left, int32_t right, int32_t *p_ind);
void d_parallel_quicksort(double *p, int32_t count, int32_t *p_ind);
void d_parallel_qs(double *p, int32_t left, int32_t right, int32_t *p_ind, int32_t deep);

// ====================== Stream helpers ======================
// Opens a file by its UTF-8 name, with fopen's modes. On Windows the name
// reaches the file system as UTF-16 through the wide call, whatever the
// ANSI code page, and a path longer than MAX_PATH gets the long-path
// prefix; every routine of the library opens its files this way.
FILE *open_stream(const char *filename, const char *mode);
// Positions a stream at an absolute byte offset of any size, with the
// platform's 64-bit seek (never through a 32-bit long).
bool seek_from_start(FILE *f, uint64_t offset);
// Reads exactly n bytes; false on a short read.
bool read_exact(FILE *f, void *buf, size_t n);

#ifdef _WIN32
#include <string>
// Windows: the UTF-16 name that the wide file calls take for a UTF-8 name,
// with the long-path prefix when it needs one; empty when the name is not
// UTF-8.
std::wstring windows_file_name(const char *name);
#endif

#endif
