// TREVLIN: the pipeline's jobs as their sources fill them: a slot of the
// ring, what the jobs of the file in hand need, and the one interface
// through which a source hands its jobs over. The pipeline fills the jobs
// of a LAS file itself; laz_jobs fills those of a LAZ file. Internal to
// the pipeline.
#ifndef TREVLIN_PIPELINE_JOBS_H
#define TREVLIN_PIPELINE_JOBS_H

#include "gzip_member.h"
#include "point_export.h"

#include <cstdint>
#include <string>
#include <vector>

struct Slot {                   // one job's place in the ring
    unsigned char *records;     // the job's records, as read
    const unsigned char *begin; // the first record: in `records`, or in `decoded`
    char *text;                 // their text
    size_t length;              // bytes of text in `text`
    const unsigned char *rest;  // first record whose text is not in `text`
    const unsigned char *end;   // end of the whole records read
    bool last;                  // the read came back short: the file ends here
    bool failed;                // ... because reading failed, not at the end
    bool ready;                 // formatted, waiting for the writer
    bool packFailed;            // gzip: zlib refused the job's text
    bool outOfMemory;           // a buffer could not grow
    PackedText packed;          // gzip: the job's whole text, packed
    std::string problem;        // LAZ: why the points could not be decoded
    uint64_t job;               // which job of the file the slot holds
    uint64_t chunk;             // LAZ: the chunk the job is a piece of
    uint64_t spare;             // LAZ: bytes of a pointwise chunk its points left unread
};

// LAZ points decoded in turn: by the writer alone, job after job.
struct InTurn {
    LazSequence *sequence;
    uint64_t left; // points still to decode
};

// Where a file's jobs come from. LAS: each job reads its own records. LAZ
// chunks: a worker takes a chunk and decodes it piece by piece, a job a
// piece, into the slots of the chunk's jobs in turn. LAZ in turn: the
// writer decodes the points one piece after the other.
enum JobSource { LAS_RECORDS, LAZ_CHUNKS, LAZ_IN_TURN };

struct FileInHand {         // what the workers need of the file
    const RecordText *text; // how its records become text
    FILE *const *streams;   // one input stream per worker
    uint64_t dataStart;     // where job 0 begins
    uint64_t dataLimit;     // bytes of point data at most
    size_t jobRecords;      // whole records per job: for LAZ, points a piece
    int gzipLevel;          // 0: plain text
    size_t jobTextBytes;    // each job's text buffer
    JobSource source;
    const LazFile *laz;                     // LAZ: the chunks
    std::string *failure;                   // LAZ: why the points could not be decoded
    InTurn *inTurn;                         // LAZ in turn: where the sequence stands
    const std::vector<uint64_t> *firstJobs; // LAZ chunks: each chunk's first job, and the end
};

// Where a source puts its jobs: the slot for job `job`, cleared (null when
// the file ends before it), and each job handed back, done, in order
// (false when no more are wanted).
class JobSink
{
  public:
    virtual Slot *slotFor(uint64_t job) = 0;
    virtual bool publish(Slot *s) = 0;

  protected:
    ~JobSink() = default;
};

// A slot about to hold job `job`, as nothing has been put in it yet.
void clearJob(Slot *s, uint64_t job);
// The text of the slot's records, as much as its buffer holds.
void formatJob(const FileInHand &f, Slot *s);
// Records a job may take: as many as a slot's `slotBytes` of records hold,
// at most `jobRecords`.
size_t recordsASlotHolds(const RecordText &text, size_t slotBytes, size_t jobRecords);
// Records a job should take so that its text fits its buffer, about three
// quarters full, judged by the text `sampled` holds of its first records:
// at most `most`.
size_t recordsThatFit(const FileInHand &f, const Slot &sampled, size_t most);
// Gzip: packs the job's text, formatting what its buffer had no room for
// through the same buffer, so that the writer only writes the piece.
bool packJob(const FileInHand &f, Slot *s, TextPacker **packer);

#endif
