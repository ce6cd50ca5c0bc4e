// The 34-line header report, checked line by line.
#include "coordinate_precision.h"
#include "header_report.h"
#include "las_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace
{

std::vector<std::string> reportLines(const LAS12Header &h, int16_t type)
{
    const LAS14Header whole{h, 0, 0, 0, 0, {}};
    std::istringstream text(
        headerReportText(&whole, recordTypeOf(type), determineCoordinatePrecision(&h)));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

TEST(HeaderReport, PrintsEveryFieldInItsPlace)
{
    LAS12Header h = headerForType(LASTYPE_12_FM3);
    h.GUIDData1 = 4294967295u, h.GUIDData2 = 65535, h.GUIDData3 = 7;
    std::memcpy(h.GUIDData4, "ABCDEFGH", 8); // no NUL: stops at 8 bytes
    std::memcpy(h.SystemIdentifier, "0123456789abcdefghijklmnopqrstuv", 32);
    h.OffsetToData = 3000000000u, h.NumberOfVariableLengthRecords = 2147483648u;
    h.NumberOfPointReturns = 15;
    const uint32_t byReturn[5] = {5, 4, 3, 2, 1};
    std::memcpy(h.NumberOfPointsByReturn, byReturn, sizeof byReturn);
    h.MinX = 400000.004, h.MaxX = 400100.0, h.MinY = -1.5, h.MaxY = 4500000.25;
    h.MinZ = -0.0, h.MaxZ = 1234.5675;
    const std::vector<std::string> expected = {
        "GUID Data 1 :                      4294967295",
        "GUID Data 2 :                      65535",
        "GUID Data 3 :                      7",
        "GUID Data 4 :                      ABCDEFGH",
        "Version Major :                    1",
        "Version Minor :                    2",
        "System Identifier :                0123456789abcdefghijklmnopqrstuv",
        "Generating Software :              fixture",
        "File Creation Day :                123",
        "File Creation Year :               2024",
        "Header Size :                      227",
        "Offset to Data:                    3000000000",
        "Number of Variable Length Records: 2147483648",
        "Point Data Format ID:              3",
        "Point Data Record Length:          34",
        "Number of Point Returns:           15",
        "Number Of Points By Return:",
        "                    Return 1       5",
        "                    Return 2       4",
        "                    Return 3       3",
        "                    Return 4       2",
        "                    Return 5       1",
        "X Scale Factor:                      0.01",
        "Y Scale Factor:                      0.01",
        "Z Scale Factor:                     0.001",
        "X Offset :                      400000.00",
        "Y Offset :                     4500000.00",
        "Z Offset :                          0.000",
        "X min :                         400000.00",
        "X max :                         400100.00",
        "Y min :                             -1.50",
        "Y max :                        4500000.25",
        "Z min :                            -0.000",
        "Z max :                          1234.568",
    };
    EXPECT_EQ(reportLines(h, LASTYPE_12_FM3), expected);
}

TEST(HeaderReport, Las10UsesFlightDateLabelsAndEmptyTextsStayEmpty)
{
    LAS12Header h = headerForType(LASTYPE_10_FM0);
    std::memset(h.GUIDData4, 0, 8);
    std::memset(h.SystemIdentifier, 0, 32);
    h.VersionMinor = 0, h.PointDataFormatID = 10;
    const std::vector<std::string> lines = reportLines(h, LASTYPE_10_FM0);
    ASSERT_EQ(lines.size(), 34u);
    EXPECT_EQ(lines[3], "GUID Data 4 :                      ");
    EXPECT_EQ(lines[6], "System Identifier :                ");
    EXPECT_EQ(lines[8], "Flight Date Julian :               123");
    EXPECT_EQ(lines[9], "Year :                             2024");
    EXPECT_EQ(lines[13], "Point Data Format ID:              :");
}

TEST(HeaderReport, MatchesTheFprintfReference)
{
    TempDir dir;
    for (int16_t type = 1; type <= 8; ++type) {
        double scale[3] = {0.07, 1.0 / 3.0, 1e-10}, offset[3] = {0.5, -123.456, 1e9};
        LAS12Header h = headerForType(type, scale, offset);
        h.MinX = -1e300, h.MaxX = 5e-324, h.MinY = 0.125, h.MaxY = 2.5, h.MinZ = -7, h.MaxZ = 1e20;
        writeFile(dir / "r.las", headerBytes(h));
        const LAS14Header whole{h, 0, 0, 0, 0, {}};
        EXPECT_EQ(headerReportText(&whole, recordTypeOf(type), determineCoordinatePrecision(&h)),
                  referenceHeaderText(dir / "r.las", type))
            << type;
    }
}

} // namespace
