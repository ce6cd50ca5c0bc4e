// TREVLIN: how many decimals X, Y and Z of the input in hand are printed
// with, from its scale factors.
#ifndef TREVLIN_COORDINATE_PRECISION_H
#define TREVLIN_COORDINATE_PRECISION_H

#include "HOLVANE_LiDAR.h"

#include <cstdint>

// Decimals printed for X, Y and Z of the input in hand (0..32).
extern int32_t _digitsX;
extern int32_t _digitsY;
extern int32_t _digitsZ;

// Number of decimals a scale factor calls for, judged in binary64.
int32_t decimalCount(double scale);
void determineCoordinatePrecision(const LAS12Header *h);

#endif
