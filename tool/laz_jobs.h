// TREVLIN: the jobs of a LAZ file, filled for the pipeline: a chunk
// decoded piece by piece, a job a piece, or points decoded in turn.
#ifndef TREVLIN_LAZ_JOBS_H
#define TREVLIN_LAZ_JOBS_H

#include "pipeline_jobs.h"

#include <cstdio>
#include <vector>

// LAZ in turn: the next points of the sequence into the slot, decoded and
// formatted; data that ends ends the file there.
void decodeInTurn(const FileInHand &f, Slot *s);
// Chunk `c` decoded piece by piece, a job a piece, into the slots `sink`
// hands out, and handed back in order; its bytes are read into
// *compressed.
void convertChunk(const FileInHand &f, FILE *in, uint64_t c, std::vector<unsigned char> *compressed,
                  TextPacker **packer, JobSink &sink);
// Points of a piece whose text fits a job's buffer, judged by the first
// chunk's first points decoded into `scratch`: at most `most`.
size_t pointsPerPiece(const FileInHand &f, size_t most, Slot *scratch);
// Each chunk's first job, the pieces of a chunk following one another, and
// after the last the number of jobs.
std::vector<uint64_t> firstJobsOf(const LazFile &laz, size_t points);

#endif
