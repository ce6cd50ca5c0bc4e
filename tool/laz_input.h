// TREVLIN: what the conversion needs of a LAZ input: the layout of its
// records, as its LASzip VLR gives it, and its chunks, as its chunk table
// gives them. The chunks themselves are decoded by the pipeline's jobs.
#ifndef TREVLIN_LAZ_INPUT_H
#define TREVLIN_LAZ_INPUT_H

#include "las_input.h"
#include "laz_decoder.h"

#include <cstdio>
#include <string>
#include <vector>

struct LazFile {
    LazLayout layout;
    std::vector<LazChunk> chunks;
};

enum LazReadOutcome { LAZ_READ, LAZ_DAMAGED, LAZ_NOT_DECODED };

// Reads the VLR and the chunk table of the LAZ file `fin`, whose header is
// `h`; *why says what is damaged or what the decoder does not read yet.
LazReadOutcome readLazFile(FILE *fin, const LAS14Header &h, const RecordType &type, LazFile *laz,
                           std::string *why);

// The message of an outcome other than LAZ_READ, with "%s" for the file
// and "%s" for the reason.
const char *lazRefusalMessage(LazReadOutcome outcome);

#endif
