// TREVLIN: how many decimals X, Y and Z of the input in hand are printed
// with, from its scale factors.
#ifndef TREVLIN_COORDINATE_PRECISION_H
#define TREVLIN_COORDINATE_PRECISION_H

#include "HOLVANE_LiDAR.h"

#include <cstdint>

// Decimals printed for X, Y and Z of one input (0..32), passed to
// everything that prints its coordinates.
struct CoordinateDigits {
    int32_t x = 0, y = 0, z = 0;
};

// Number of decimals a scale factor calls for, judged in binary64.
int32_t decimalCount(double scale);
// The decimals of an input's X, Y and Z, from its header's scale factors.
CoordinateDigits determineCoordinatePrecision(const LAS12Header *h);

#endif
