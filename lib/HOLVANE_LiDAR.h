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

// ---- LAS 1.3 and 1.4 ----
// Their public headers begin with the 227 bytes above, whose fields keep
// their meaning (in LAS 1.4 the 32-bit point counts are the legacy ones,
// 0 when a count does not fit them or the format is 6 or above); what
// follows is appended.
struct LAS13Header {
    LAS12Header Public;                       // 0
    uint64_t StartOfWaveformDataPacketRecord; // 227
};

struct LAS14Header {
    LAS12Header Public;                                // 0
    uint64_t StartOfWaveformDataPacketRecord;          // 227
    uint64_t StartOfFirstExtendedVariableLengthRecord; // 235
    uint32_t NumberOfExtendedVariableLengthRecords;    // 243
    uint64_t NumberOfPointRecords;                     // 247
    uint64_t NumberOfPointsByReturn[15];               // 255
};

// ---- LAS 1.5 ----
// Formats 6 to 10 only; the header of 1.4 with the GPS time range of the
// points and the time offset that bit 6 of the global encoding applies.
struct LAS15Header {
    LAS14Header Base;    // 0
    double MaxGPSTime;   // 375
    double MinGPSTime;   // 383
    uint16_t TimeOffset; // 391: GPS time = stored time + 10^6 x this
};

// Point data formats 4 and 5 (LAS 1.3 and 1.4): formats 1 and 3 followed
// by the wave packet fields.
struct LAS13fm4 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;
    uint16_t PointSourceID;
    double GPSTime;                    // 20
    uint8_t WavePacketDescriptorIndex; // 28
    uint64_t ByteOffsetToWaveformData; // 29
    uint32_t WaveformPacketSize;       // 37
    float ReturnPointWaveformLocation; // 41
    float Xt;                          // 45
    float Yt;                          // 49
    float Zt;                          // 53
};

struct LAS13fm5 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t bitfield;
    uint8_t Classification;
    int8_t ScanAngleRank;
    uint8_t UserData;
    uint16_t PointSourceID;
    double GPSTime;                    // 20
    uint16_t Red;                      // 28
    uint16_t Green;                    // 30
    uint16_t Blue;                     // 32
    uint8_t WavePacketDescriptorIndex; // 34
    uint64_t ByteOffsetToWaveformData; // 35
    uint32_t WaveformPacketSize;       // 43
    float ReturnPointWaveformLocation; // 47
    float Xt;                          // 51
    float Yt;                          // 55
    float Zt;                          // 59
};

// Point data formats 6 to 10 (LAS 1.4). ReturnBits: return number in bits
// 0-3, number of returns in bits 4-7. FlagBits: classification flags in
// bits 0-3, scanner channel in bits 4-5, scan direction bit 6, edge of
// flight line bit 7. ScanAngle counts steps of 0.006 degrees.
struct LAS14fm6 {
    int32_t X;              // 0
    int32_t Y;              // 4
    int32_t Z;              // 8
    uint16_t Intensity;     // 12
    uint8_t ReturnBits;     // 14
    uint8_t FlagBits;       // 15
    uint8_t Classification; // 16
    uint8_t UserData;       // 17
    int16_t ScanAngle;      // 18
    uint16_t PointSourceID; // 20
    double GPSTime;         // 22
};

struct LAS14fm7 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t ReturnBits;
    uint8_t FlagBits;
    uint8_t Classification;
    uint8_t UserData;
    int16_t ScanAngle;
    uint16_t PointSourceID;
    double GPSTime;
    uint16_t Red;   // 30
    uint16_t Green; // 32
    uint16_t Blue;  // 34
};

struct LAS14fm8 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t ReturnBits;
    uint8_t FlagBits;
    uint8_t Classification;
    uint8_t UserData;
    int16_t ScanAngle;
    uint16_t PointSourceID;
    double GPSTime;
    uint16_t Red;
    uint16_t Green;
    uint16_t Blue;
    uint16_t NIR; // 36
};

struct LAS14fm9 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t ReturnBits;
    uint8_t FlagBits;
    uint8_t Classification;
    uint8_t UserData;
    int16_t ScanAngle;
    uint16_t PointSourceID;
    double GPSTime;
    uint8_t WavePacketDescriptorIndex; // 30
    uint64_t ByteOffsetToWaveformData; // 31
    uint32_t WaveformPacketSize;       // 39
    float ReturnPointWaveformLocation; // 43
    float Xt;                          // 47
    float Yt;                          // 51
    float Zt;                          // 55
};

struct LAS14fm10 {
    int32_t X;
    int32_t Y;
    int32_t Z;
    uint16_t Intensity;
    uint8_t ReturnBits;
    uint8_t FlagBits;
    uint8_t Classification;
    uint8_t UserData;
    int16_t ScanAngle;
    uint16_t PointSourceID;
    double GPSTime;
    uint16_t Red;
    uint16_t Green;
    uint16_t Blue;
    uint16_t NIR;                      // 36
    uint8_t WavePacketDescriptorIndex; // 38
    uint64_t ByteOffsetToWaveformData; // 39
    uint32_t WaveformPacketSize;       // 47
    float ReturnPointWaveformLocation; // 51
    float Xt;                          // 55
    float Yt;                          // 59
    float Zt;                          // 63
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

static_assert(sizeof(float) == 4, "LAS wave packet reals are IEEE-754 binary32");
static_assert(sizeof(LAS13Header) == 235 && sizeof(LAS14Header) == 375);
static_assert(offsetof(LAS14Header, StartOfWaveformDataPacketRecord) == 227);
static_assert(offsetof(LAS14Header, StartOfFirstExtendedVariableLengthRecord) == 235);
static_assert(offsetof(LAS14Header, NumberOfExtendedVariableLengthRecords) == 243);
static_assert(offsetof(LAS14Header, NumberOfPointRecords) == 247);
static_assert(offsetof(LAS14Header, NumberOfPointsByReturn) == 255);
static_assert(sizeof(LAS15Header) == 393 && offsetof(LAS15Header, TimeOffset) == 391);
static_assert(sizeof(LAS13fm4) == 57 && sizeof(LAS13fm5) == 63);
static_assert(offsetof(LAS13fm4, WavePacketDescriptorIndex) == 28);
static_assert(offsetof(LAS13fm5, Red) == 28 && offsetof(LAS13fm5, Zt) == 59);
static_assert(sizeof(LAS14fm6) == 30 && sizeof(LAS14fm7) == 36 && sizeof(LAS14fm8) == 38);
static_assert(sizeof(LAS14fm9) == 59 && sizeof(LAS14fm10) == 67);
static_assert(offsetof(LAS14fm6, ReturnBits) == 14 && offsetof(LAS14fm6, FlagBits) == 15);
static_assert(offsetof(LAS14fm6, Classification) == 16 && offsetof(LAS14fm6, UserData) == 17);
static_assert(offsetof(LAS14fm6, ScanAngle) == 18 && offsetof(LAS14fm6, PointSourceID) == 20);
static_assert(offsetof(LAS14fm6, GPSTime) == 22);
static_assert(offsetof(LAS14fm7, Red) == 30 && offsetof(LAS14fm7, Blue) == 34);
static_assert(offsetof(LAS14fm8, NIR) == 36);
static_assert(offsetof(LAS14fm9, WavePacketDescriptorIndex) == 30);
static_assert(offsetof(LAS14fm10, WavePacketDescriptorIndex) == 38);

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

// ---- Point data formats 0 to 10, as LAS 1.3 and 1.4 define them ----
constexpr uint8_t LAS_MAX_POINT_FORMAT = 10;
// The standard record length of a point data format (20, 28, 26, 34, 57,
// 63, 30, 36, 38, 59, 67); 0 for a format above 10. A file's records may
// be longer, by extra bytes after the standard fields.
unsigned las_format_record_size(uint8_t PointDataFormatID);
bool las_format_has_gps_time(uint8_t PointDataFormatID);
bool las_format_has_rgb(uint8_t PointDataFormatID);
bool las_format_has_nir(uint8_t PointDataFormatID);
// Formats 6 to 10: 4-bit return fields, a flag byte, a 16-bit scan angle.
bool las_format_is_extended(uint8_t PointDataFormatID);
// The highest point data format LAS 1.minor defines: 1, 3, 5 or 10.
uint8_t las_highest_point_format(uint8_t VersionMinor);
// The lowest: 0, or 6 for LAS 1.5, which dropped formats 0 to 5.
uint8_t las_lowest_point_format(uint8_t VersionMinor);
// The smallest public header of LAS 1.minor: 227, 235, 375 or 393 bytes.
unsigned las_header_size_of_version(uint8_t VersionMinor);

// The text a version or format byte prints as in messages: its value plus
// '0', modulo 256, so 0..9 show as digits and larger values as the printable
// character that follows; a value whose character would be a control or
// non-ASCII byte (a LAZ file's format byte, 128 and up) as its number, so
// that no message carries a raw byte.
struct LasDigitText {
    char text[4];
};
LasDigitText las_digit_text(uint8_t value);

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
