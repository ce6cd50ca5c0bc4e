// TREVLIN: the conversion pipeline, which spreads the formatting of one
// file's point records over worker threads while the thread that started
// the run writes.
//
// The plan. A file's point data is cut into jobs of `jobRecords` whole
// records, numbered from 0 in file order. A worker takes the next job
// number, reads that job's records through an input stream of its own (the
// same file, opened once per worker and positioned by a 64-bit seek) and
// turns them into text in the job's buffer. The writer, the thread that
// started the run, writes the jobs' texts strictly in job order, so the
// point file holds exactly the bytes one thread writes. A read that comes
// back short makes its job the file's last: no later job is handed out,
// and the writer stops after it, so the text ends at the last whole record
// before the short read, as the one-thread loop's does. A read that failed
// (an I/O error, not the end of the file) ends the file there as a failure.
//
// Memory is bounded. Jobs live in a ring of slots whose buffers are
// allocated once per run; a worker takes a job number only while that
// job's slot is free, that is, while it lies within the ring's size of the
// job the writer waits for, so a slow writer throttles the workers. A job
// whose text outgrows its buffer (numbers hundreds of digits long) is
// finished by the writer through the same buffer, in pieces.
//
// The workers share nothing but the ring and the counters below, all under
// one lock. They are started once per run and serve every file; the
// writer returns from a file only when no worker is busy with it, and every
// end of the process stops and joins them first.
#include "TREVLIN_tool.h"
#include "platform.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace
{

struct Slot {                  // one job's place in the ring
    unsigned char *records;    // the job's records, as read
    char *text;                // their text
    size_t length;             // bytes of text in `text`
    const unsigned char *rest; // first record whose text is not in `text`
    const unsigned char *end;  // end of the whole records read
    bool last;                 // the read came back short: the file ends here
    bool failed;               // ... because reading failed, not at the end
    bool ready;                // formatted, waiting for the writer
};

struct FileInHand {         // what the workers need of the file
    const RecordText *text; // how its records become text
    FILE *const *streams;   // one input stream per worker
    uint64_t dataStart;     // where job 0 begins
    size_t jobRecords;      // whole records per job
};

// Set up before the workers start and left alone until they have ended.
std::vector<std::thread> workers;
std::vector<Slot> slots;
PipelineSettings settings{};

// The lock guards the counters below and every slot's `ready`; the rest of
// a slot belongs to the one thread that holds its job.
std::mutex lock;
std::condition_variable workToTake;  // the workers wait on it
std::condition_variable jobFinished; // the writer waits on it
const FileInHand *file = nullptr;    // null between files
uint64_t nextJob = 0;                // the next job number to hand out
uint64_t lastJob = 0;                // no job beyond this one is handed out
uint64_t writing = 0;                // the job the writer waits for or writes
size_t busy = 0;                     // jobs handed out and not yet ready
bool quitting = false;

bool jobToTake()
{
    return file && nextJob <= lastJob && nextJob < writing + slots.size();
}

// Fills the slot with job `job` of the file: its whole records and as much
// of their text as the buffer holds.
void readAndFormat(const FileInHand &f, FILE *in, uint64_t job, Slot *s)
{
    const size_t recordSize = f.text->recordSize;
    const size_t bytes = f.jobRecords * recordSize;
    size_t got = 0;
    const bool reached = seek_from_start(in, f.dataStart + job * bytes);
    if (reached)
        got = std::fread(s->records, 1, bytes, in);
    s->last = got < bytes;
    s->failed = !reached || std::ferror(in) != 0;
    s->end = s->records + got / recordSize * recordSize;
    s->rest = s->records;
    const char *textEnd = s->text + settings.jobTextBytes;
    char *out = f.text->format(s->text, textEnd, &s->rest, s->end, *f.text);
    s->length = static_cast<size_t>(out - s->text);
}

// The writer is the run's critical path, so the workers yield to it: on a
// machine with few cores, a writer made to wait for a core is time lost.
void work(size_t id)
{
    lowerThisThreadsPriority();
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        workToTake.wait(held, [] { return quitting || jobToTake(); });
        if (quitting)
            return;
        const uint64_t job = nextJob++;
        Slot *s = &slots[job % slots.size()];
        const FileInHand &f = *file;
        ++busy;
        held.unlock();
        readAndFormat(f, f.streams[id], job, s);
        held.lock();
        --busy;
        s->ready = true;
        if (s->last && job < lastJob)
            lastJob = job;
        jobFinished.notify_one();
    }
}

// Writes a job's text, and that of the records its buffer had no room for.
bool writeJob(const RecordText &text, Slot *s, FILE *fout)
{
    if (!writeAll(fout, s->text, s->length))
        return false;
    if (s->rest == s->end)
        return true;
    char *out = s->text;
    return writeRecordText(fout, text, s->text, settings.jobTextBytes, &out, s->rest, s->end) &&
           writeAll(fout, s->text, static_cast<size_t>(out - s->text));
}

// The writer's loop over one file; counts the records written in *records.
// Returns once no worker is busy with it. A job whose read failed ends the
// file unwritten.
PipelineOutcome writeFile(const FileInHand &f, FILE *fout, uint64_t *records)
{
    std::unique_lock<std::mutex> held(lock);
    file = &f;
    nextJob = 0, lastJob = UINT64_MAX, writing = 0;
    for (Slot &s : slots)
        s.ready = false;
    workToTake.notify_all();
    for (;;) {
        Slot *s = &slots[writing % slots.size()];
        jobFinished.wait(held, [s] { return s->ready; });
        held.unlock();
        PipelineOutcome outcome = PIPELINE_READ_FAILED;
        if (!s->failed) {
            outcome = writeJob(*f.text, s, fout) ? PIPELINE_WRITTEN : PIPELINE_WRITE_FAILED;
            *records += static_cast<uint64_t>(s->end - s->records) / f.text->recordSize;
            progressRecords(*records);
        }
        held.lock();
        s->ready = false;
        if (outcome != PIPELINE_WRITTEN || s->last) {
            file = nullptr;
            jobFinished.wait(held, [] { return busy == 0; });
            return outcome;
        }
        ++writing;
        workToTake.notify_one();
    }
}

// Records per job for this file: as many as make about three quarters of a
// job's text, judged by the text of its first records, so that a job's
// text rarely needs the writer's help. At most settings.jobRecords.
size_t recordsPerJob(const FileInHand &f)
{
    FileInHand sample = f;
    sample.jobRecords = settings.jobRecords < 64 ? settings.jobRecords : 64;
    Slot &s = slots[0];
    readAndFormat(sample, f.streams[0], 0, &s);
    const size_t sampled = static_cast<size_t>(s.rest - s.records) / f.text->recordSize;
    if (sampled == 0)
        return settings.jobRecords;
    const size_t perRecord = s.length / sampled + 1;
    const size_t fit = (settings.jobTextBytes - MAX_LINE_BYTES) / 4 * 3 / perRecord;
    return fit < 1 ? 1 : fit < settings.jobRecords ? fit : settings.jobRecords;
}

void releaseSlots()
{
    for (Slot &s : slots) {
        delete[] s.records;
        delete[] s.text;
    }
    slots.clear();
}

// Enough slots that every worker can have one job in hand and one done
// while the writer writes another.
bool allocateSlots()
{
    slots.assign(2 * static_cast<size_t>(settings.workers) + 2, Slot{});
    for (Slot &s : slots) {
        s.records = new (std::nothrow) unsigned char[settings.jobRecords * sizeof(LAS12fm3)];
        s.text = new (std::nothrow) char[settings.jobTextBytes];
        if (!s.records || !s.text) {
            releaseSlots();
            return false;
        }
    }
    return true;
}

// Starts as many of the workers as the system allows. They are started
// with interrupts blocked, so that an interrupt is always handled by the
// writer, never in the middle of a worker's job.
void launchWorkers()
{
    blockInterrupts();
    try {
        for (int k = 0; k < settings.workers; ++k)
            workers.emplace_back(work, static_cast<size_t>(k));
    } catch (const std::system_error &) {
        // Fewer workers than asked for still convert the same text.
    }
    unblockInterrupts();
}

void stopAtExit()
{
    stopPipeline();
}

} // namespace

bool startPipeline(const PipelineSettings &wanted)
{
    if (!workers.empty() || wanted.workers < 1 || wanted.jobRecords < 1 ||
        wanted.jobTextBytes < 2 * MAX_LINE_BYTES)
        return false;
    settings = wanted;
    if (!allocateSlots())
        return false;
    quitting = false;
    launchWorkers();
    if (workers.empty()) {
        releaseSlots();
        return false;
    }
    static const bool registered = std::atexit(stopAtExit) == 0;
    (void)registered;
    return true;
}

void stopPipeline()
{
    {
        std::lock_guard<std::mutex> held(lock);
        quitting = true;
    }
    workToTake.notify_all();
    for (std::thread &t : workers)
        t.join();
    workers.clear();
    releaseSlots();
}

PipelineOutcome pipelineConvert(const PointInput &in, const RecordText &text, FILE *fout,
                                uint64_t *records)
{
    if (workers.empty() || in.dataBytes <= settings.jobRecords * text.recordSize)
        return PIPELINE_NOT_USED;
    std::vector<FILE *> streams;
    for (size_t k = 0; k < workers.size(); ++k) {
        FILE *stream = std::fopen(in.name, "rb");
        if (!stream)
            break;
        // Whole jobs are read at once: a stream buffer would only add a copy.
        std::setvbuf(stream, nullptr, _IONBF, 0);
        streams.push_back(stream);
    }
    PipelineOutcome outcome = PIPELINE_NOT_USED;
    if (streams.size() == workers.size()) {
        FileInHand f{&text, streams.data(), in.dataStart, 0};
        f.jobRecords = recordsPerJob(f);
        outcome = writeFile(f, fout, records);
    }
    for (FILE *stream : streams)
        std::fclose(stream);
    return outcome;
}
