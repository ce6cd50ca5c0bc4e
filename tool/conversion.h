// TREVLIN: one input's conversion: its header report, then its point text,
// each whole under its final name or not there at all.
#ifndef TREVLIN_CONVERSION_H
#define TREVLIN_CONVERSION_H

#include "output_names.h"
#include "validation.h"

#include <cstdio>
#include <string>

// What the conversion of every input shares.
struct ConversionSettings {
    bool extended = false;         // -x: headers as long as their version's
    bool quiet = false;            // -q
    int gzipLevel = 0;             // -z
    NamingRule naming;             // where the outputs go
    const char *columns = nullptr; // -c LIST
    char separator = ' ';          // -d, --csv
    FILE *pointStream = nullptr;   // --stdout: the point text goes here
};

// Where an input's place in a list is shown: `position` of `count`, or 0
// for a single file.
struct ListPlace {
    int position;
    int count;
};

enum ConversionOutcome {
    FILE_CONVERTED,
    FILE_REFUSED,    // its input could not be read or decoded; nothing of it is left
    RUN_FAILED,      // an output could not be written: no later file would fare better
    RUN_BROKEN_PIPE, // --stdout: the reader went away
};

ConversionOutcome convertFile(const Input &input, int Format, ListPlace place,
                              const ConversionSettings &settings);

#endif
