// TREVLIN: number of decimals printed for each axis.
#include "coordinate_precision.h"

#include <cmath>

// The smallest count of tens that makes scale * 10^count a whole number,
// tested exactly in binary64 with no tolerance, so 0.07 needs 3 (0.07 * 100
// is 7.000000000000001). The multiplier is a 32-bit integer that wraps from
// 10^10 on; at count 32 it becomes 0, which makes every finite product
// whole, so 32 is also where a NaN scale factor stops.
int32_t decimalCount(double scale)
{
    uint32_t multiplier = 1;
    int32_t count = 0;
    while (count < 32) {
        const double product = static_cast<double>(static_cast<int32_t>(multiplier)) * scale;
        if (product == std::floor(product))
            break;
        multiplier *= 10u;
        ++count;
    }
    return count;
}

CoordinateDigits determineCoordinatePrecision(const LAS12Header *h)
{
    return CoordinateDigits{decimalCount(h->XScaleFactor), decimalCount(h->YScaleFactor),
                            decimalCount(h->ZScaleFactor)};
}
