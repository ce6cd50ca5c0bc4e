// check_las and the file-name checks: every verdict and its exact message.
#include "las_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

namespace
{

// A header prefix with the given identity bytes; all else as for LASType 5.
std::string headerWith(const char *signature, uint8_t major, uint8_t minor, uint8_t format,
                       uint16_t length)
{
    LAS12Header h = headerForType(LASTYPE_12_FM0);
    std::memcpy(h.LASF, signature, 4);
    h.VersionMajor = major, h.VersionMinor = minor;
    h.PointDataFormatID = format, h.PointDataRecordLength = length;
    return headerBytes(h);
}

struct CheckCase {
    const char *what;
    const char *name;
    std::string bytes;
    int16_t result;
    const char *message; // %s stands for the name
};

std::string withName(const char *message, const std::string &name)
{
    std::string text = message;
    for (size_t at; (at = text.find("%s")) != std::string::npos;)
        text.replace(at, 2, name);
    return text;
}

TEST(CheckLas, JudgesEveryHeaderAsSpecified)
{
    const std::vector<CheckCase> table = {
        {"LAS 1.0 format 0", "a.las", headerWith("LASF", 1, 0, 0, 20), 1, ""},
        {"LAS 1.0 format 1", "a.las", headerWith("LASF", 1, 0, 1, 28), 2, ""},
        {"LAS 1.1 format 0", "a.las", headerWith("LASF", 1, 1, 0, 20), 3, ""},
        {"LAS 1.1 format 1", "a.las", headerWith("LASF", 1, 1, 1, 28), 4, ""},
        {"LAS 1.2 format 0", "a.las", headerWith("LASF", 1, 2, 0, 20), 5, ""},
        {"LAS 1.2 format 1", "a.las", headerWith("LASF", 1, 2, 1, 28), 6, ""},
        {"LAS 1.2 format 2", "a.las", headerWith("LASF", 1, 2, 2, 26), 7, ""},
        {"LAS 1.2 format 3", "a.las", headerWith("LASF", 1, 2, 3, 34), 8, ""},
        {"only the first 107 bytes matter", "a.las", headerWith("LASF", 1, 2, 3, 34).substr(0, 107),
         8, ""},
        {"LAS 1.1 with format 2", "a.las", headerWith("LASF", 1, 1, 2, 26), 0, ""},
        {"LAS 1.0 with format 3", "a.las", headerWith("LASF", 1, 0, 3, 34), 0, ""},
        {"wrong signature", "bad.las", headerWith("LASX", 1, 2, 0, 20), -1,
         "\n%s is not a valid .las file\n\n"},
        {"version 1.3", "a.las", headerWith("LASF", 1, 3, 0, 20), -1,
         "\nCannot handle las files of version 1.3\n"},
        {"major version 2", "a.las", headerWith("LASF", 2, 0, 0, 20), -1,
         "\nCannot handle las files of version 2.x\n"},
        {"major version 10 prints a colon", "a.las", headerWith("LASF", 10, 0, 0, 20), -1,
         "\nCannot handle las files of version :.x\n"},
        {"point data format 4", "f.las", headerWith("LASF", 1, 2, 4, 20), -1,
         "\nPointDataFormatID in %s is 4. Only 0, 1, 2, or 3 is accepted\n"},
        {"extra bytes in format 3", "f.las", headerWith("LASF", 1, 2, 3, 36), -1,
         "\nData format of %s (3) is incompatible with Length of Data Record (36)\n"},
        {"LAS 1.0 format 1 with length 20", "f.las", headerWith("LASF", 1, 0, 1, 20), -1,
         "\nData format of %s (1) is incompatible with Length of Data Record (20)\n"},
        {"record length 0", "f.las", headerWith("LASF", 1, 2, 0, 0), -1,
         "\nData format of %s (0) is incompatible with Length of Data Record (0)\n"},
        {"record length 65535", "f.las", headerWith("LASF", 1, 2, 0, 65535), -1,
         "\nData format of %s (0) is incompatible with Length of Data Record (65535)\n"},
        {"empty file", "e.las", "", -1, "\n%s is not a valid .las file\n\n"},
        {"1 byte", "e.las", "L", -1, "\n%s is not a valid .las file\n\n"},
        {"106 bytes", "e.las", headerWith("LASF", 1, 2, 0, 20).substr(0, 106), -1,
         "\n%s is not a valid .las file\n\n"},
        {"short file with a bad version", "e.las", headerWith("LASF", 2, 0, 0, 20).substr(0, 40),
         -1, "\n%s is not a valid .las file\n\n"},
        {"text file", "notes.txt", headerWith("LASF", 1, 2, 0, 20), -1,
         "\nFile extension of %s is not .las\n"},
        {"upper-case extension", "scan.LAS", headerWith("LASF", 1, 2, 0, 20), -1,
         "\nFile extension of %s is not .las\n"},
        {"name without a dot", "scanlas", headerWith("LASF", 1, 2, 0, 20), -1,
         "\nExtension of file %s should be preceeded by a dot (.)\n"},
    };
    for (const CheckCase &c : table) {
        TempDir dir;
        const std::string path = dir / c.name;
        writeFile(path, c.bytes);
        int16_t result = 99;
        const std::string out = captureStdout([&] { result = check_las(path.c_str()); });
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(out, withName(c.message, path)) << c.what;
    }
}

TEST(CheckLas, MissingFileGetsBothMessages)
{
    TempDir dir;
    const std::string path = dir / "nope.txt";
    int16_t result = 0;
    const std::string out = captureStdout([&] { result = check_las(path.c_str()); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(out, "Unable to open file " + path + " in file_access()\n\nFile " + path +
                       " does NOT exist\n");
}

TEST(CheckLas, DirectoryIsNotALasFile)
{
    TempDir dir;
    const std::string path = dir / "sub.las";
    std::filesystem::create_directory(path);
    int16_t result = 0;
    const std::string out = captureStdout([&] { result = check_las(path.c_str()); });
    EXPECT_EQ(result, -1);
    EXPECT_NE(out.find("is not a valid .las file"), std::string::npos) << out;
}

TEST(HeaderType, AgreesWithCheckLasOnCompleteHeaders)
{
    for (int16_t t = 1; t <= 8; ++t)
        EXPECT_EQ(las_type_of_header(headerForType(t)), t);
    LAS12Header h = headerForType(LASTYPE_12_FM3);
    h.PointDataRecordLength = 35;
    EXPECT_EQ(las_type_of_header(h), -1);
    h = headerForType(LASTYPE_11_FM0);
    h.PointDataFormatID = 2;
    EXPECT_EQ(las_type_of_header(h), 0);
}

TEST(FileExtension, ReportsEachKindOfMismatch)
{
    struct Case {
        const char *name, *extension;
        int16_t result;
        std::string message;
    };
    const Case table[] = {
        {"a.las", "las", 0, ""},
        {"dir.v2/t_017.las", "las", 0, ""},
        {"list", "las", -1, "\nFile name (list) is too short\n"},
        {"lists", "las", -1, "\nExtension of file lists should be preceeded by a dot (.)\n"},
        {"a.txt", "las", -1, "\nFile extension of a.txt is not .las\n"},
        {"a.las", "la", -1, "\nFile extension of a.las is not .la\n"},
    };
    for (const Case &c : table) {
        int16_t result = 99;
        const std::string out =
            captureStdout([&] { result = check_file_extension(c.name, c.extension); });
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(out, c.message) << c.name;
    }
}

TEST(FileAccess, OpensOrSaysWhy)
{
    TempDir dir;
    writeFile(dir / "x.las", "x");
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(file_access((dir / "x.las").c_str()), 0); }), "");
    const std::string missing = dir / "y.las";
    EXPECT_EQ(captureStdout([&] { EXPECT_EQ(file_access(missing.c_str()), -1); }),
              "Unable to open file " + missing + " in file_access()\n");
}

TEST(ErrorMsg, PrintsOnlyItsThreeMessages)
{
    const std::string out = captureStdout([] {
        for (int i = 0; i <= 4; ++i)
            error_msg(i, "f.las");
    });
    EXPECT_EQ(out, "\nFile f.las does NOT exist\n\nFile f.las already exists\n"
                   "\nSame file name (f.las) has been specified twice\n");
}

} // namespace
