// Decimal counts per axis, judged exactly in binary64.
#include "coordinate_precision.h"

#include <gtest/gtest.h>

#include <limits>

namespace
{

struct CountCase {
    double scale;
    int32_t count;
};

TEST(DecimalCount, FollowsTheScaleFactorExactly)
{
    const double inf = std::numeric_limits<double>::infinity();
    const CountCase table[] = {
        {1, 0},
        {2, 0},
        {10, 0},
        {100, 0},
        {0, 0},
        {inf, 0},
        {-inf, 0},
        {0.1, 1},
        {0.5, 1},
        {0.3, 1},
        {1.1, 1},
        {0.01, 2},
        {0.02, 2},
        {0.05, 2},
        {0.25, 2},
        {0.75, 2},
        {-0.01, 2},
        {0.001, 3},
        {0.005, 3},
        {0.015, 3},
        {0.025, 3},
        {0.07, 3},
        {0.254, 3},
        {0.0001, 4},
        {0.0025, 4},
        {0.0125, 4},
        {0.3048, 4},
        {0.00001, 5},
        {0.00025, 5},
        {0.0003, 6},
        {0.000000001, 9},
        {0.000000009, 9},
        {0.3333333333333333, 15},
        {1e-10, 32},
        {0.001000000001, 32},
        {std::numeric_limits<double>::denorm_min(), 32},
    };
    for (const CountCase &c : table)
        EXPECT_EQ(decimalCount(c.scale), c.count) << "scale " << c.scale;
}

TEST(DecimalCount, NotANumberStopsAt32)
{
    EXPECT_EQ(decimalCount(std::numeric_limits<double>::quiet_NaN()), 32);
    EXPECT_EQ(decimalCount(-std::numeric_limits<double>::quiet_NaN()), 32);
}

TEST(DecimalCount, EachAxisGetsItsOwnCountAndEveryCallStartsAfresh)
{
    LAS12Header h{};
    h.XScaleFactor = 0.01, h.YScaleFactor = 0.001, h.ZScaleFactor = 1;
    CoordinateDigits d = determineCoordinatePrecision(&h);
    EXPECT_EQ(d.x, 2);
    EXPECT_EQ(d.y, 3);
    EXPECT_EQ(d.z, 0);
    h.XScaleFactor = 1, h.YScaleFactor = 0.5, h.ZScaleFactor = 0.0003;
    d = determineCoordinatePrecision(&h);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 1);
    EXPECT_EQ(d.z, 6);
}

} // namespace
