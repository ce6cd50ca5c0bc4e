// Argument checks, the DEM name check and the banner.
#include "las_fixture.h"

#include <gtest/gtest.h>

namespace
{

TEST(NumericArgument, AcceptsDigitsWithOneDotAndOneDash)
{
    for (const char *text : {"12", "0", "-3", "3-", "1-2", ".5", "5.", "-.5", "-.", ""}) {
        const RunResult r = runCaptured([&] { check_numeric_argument(text); });
        EXPECT_EQ(r.status, 0) << text;
        EXPECT_EQ(r.out, "") << text;
    }
}

TEST(NumericArgument, RejectsEverythingElseAndEnds)
{
    for (const char *text :
         {".", "-", "1.2.3", "--1", "+5", "1e3", "abc", " 7", "7 ", "\xC2\xB2"}) {
        const RunResult r = runCaptured([&] { check_numeric_argument(text); });
        EXPECT_EQ(r.status, 255) << text;
        EXPECT_EQ(r.out, std::string("\nInvalid argument value (") + text + ")\n") << text;
    }
}

TEST(YesNoFlag, TakesExactlyFourLetters)
{
    for (const char *text : {"Y", "N", "y", "n"})
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(check_YN(text), 0); }), "") << text;
    for (const char *text : {"yes", "YN", "", " y"})
        EXPECT_EQ(captureStdout([&] { EXPECT_EQ(check_YN(text), -1); }),
                  "\nASCII Header Flag should be either Y (y) or N (n)\n")
            << text;
}

TEST(DemName, AcceptsAsciiGridsAndBinaryGridsWithTheirHeader)
{
    TempDir dir;
    writeFile(dir / "dem.hdr", "ncols 1\n");
    struct Case {
        std::string name;
        int status;
        std::string out;
    };
    const std::string asc = dir / "dem.asc", flt = dir / "dem.flt", bare = dir / "bare.flt";
    const std::string txt = dir / "dem.txt";
    const std::string extensionMessage =
        "\nDEM file extension should be either '.asc' (ASCII) or '.flt' (floating point binary)\n";
    const Case table[] = {
        {asc, 0, "\nFile extension of " + asc + " is not .flt\n"},
        {flt, 0, "\nFile extension of " + flt + " is not .asc\n"},
        {bare, 255,
         "\nFile extension of " + bare + " is not .asc\nUnable to open file " + dir / "bare.hdr" +
             " in file_access()\n\nFloating point binary DEM files also require a ASCII header "
             "file ('.hdr')\n"},
        {txt, 255,
         "\nFile extension of " + txt + " is not .asc\n\nFile extension of " + txt +
             " is not .flt\n" + extensionMessage},
        {"dem", 255,
         "\nFile name (dem) is too short\n\nFile name (dem) is too short\n" + extensionMessage},
    };
    for (const Case &c : table) {
        const RunResult r = runCaptured([&] { check_DEM(c.name.c_str()); });
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
}

TEST(Credits, PrintsTheBannerEndingWithAnEmptyLine)
{
    EXPECT_EQ(captureStdout(credits), bannerText());
}

} // namespace
