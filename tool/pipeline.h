// TREVLIN: the conversion pipeline, the one record loop of the tool: jobs of
// whole records formatted on worker threads and written in order.
#ifndef TREVLIN_PIPELINE_H
#define TREVLIN_PIPELINE_H

#include "gzip_member.h"
#include "point_export.h"
#include "settings.h"

#include <cstddef>
#include <cstdint>

struct PipelineSettings {
    int workers;         // threads that read and format; 0: the writer alone
    size_t jobRecords;   // most whole records per job
    size_t jobTextBytes; // text buffer per job; at least 2 * MAX_LINE_BYTES
};
// Jobs in flight at most, whatever the number of workers: about 2 MiB each.
constexpr size_t MAX_SLOTS = 48;

// Allocates the job buffers and starts the workers, once per run; false
// when the buffers cannot be had. When no worker can start, the writer
// formats its own jobs. Every end of the process stops them.
bool startPipeline(const PipelineSettings &settings);
// Stops and joins the workers and releases the job buffers.
void stopPipeline();

// Converts the input job by job and writes the jobs' text in order, plain
// or as gzip pieces added to *member, counting the records written in
// *records. The jobs are formatted on the workers, or on the calling
// thread when there are none, the input fits one job, or the workers'
// streams cannot be opened: the text is the same either way. A pipeline
// not started writes nothing (POINTS_WRITE_FAILED).
PointsOutcome pipelineConvert(const PointInput &in, const RecordText &text, const PointOutput &out,
                              GzipMember *member, uint64_t *records);

// Writes n bytes of text; false when the write failed.
bool writeAll(FILE *fout, const char *text, size_t n);

#endif
