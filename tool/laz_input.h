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

// Most points of a chunk decoded at once, as one job: a chunk claiming more
// is refused rather than allowed to take the machine's memory. Pointwise
// files of larger fixed chunks are decoded in turn instead.
constexpr uint64_t MAX_CHUNK_POINTS = uint64_t{1} << 22;

struct LazFile {
    LazLayout layout;
    std::vector<LazChunk> chunks;
    // Points decoded one after another instead, on one thread: compressor
    // 1's single stream, or fixed chunks that no table lists. They begin at
    // `sequenceStart`; the header says how many there are.
    bool sequential = false;
    uint64_t sequenceStart = 0;
    uint64_t sequencePoints = 0;
    uint32_t fields = LAZ_ALL_FIELDS; // the fields the Format prints
    // Why fewer points than the header declares may be converted: the file
    // is cut short (its table past its end, a chunk cut by it).
    std::string shortfall;
};

enum LazReadOutcome { LAZ_READ, LAZ_DAMAGED, LAZ_NOT_DECODED };

// Reads the VLR and the chunk table of the LAZ file `fin`, whose header is
// `h`; *why says what is damaged or what the decoder does not read yet.
LazReadOutcome readLazFile(FILE *fin, const LAS14Header &h, const RecordType &type, LazFile *laz,
                           std::string *why);

// The fields of the records that Format prints: the layers of formats 6
// to 10 that must be decoded.
uint32_t lazFieldsOfFormat(int Format);

// The message of an outcome other than LAZ_READ, with "%s" for the file
// and "%s" for the reason.
const char *lazRefusalMessage(LazReadOutcome outcome);

#endif
