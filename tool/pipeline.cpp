// TREVLIN: the conversion pipeline, the one record loop of the tool. It
// spreads the formatting of one file's point records over worker threads
// while the thread that started the run writes; with no workers, the
// writer formats its own jobs, one after the other, by the same code, so
// that the end of the data, a trailing partial record, a read error and
// the count of records are judged in one place for every thread count.
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
// Gzip output: each job's text, all of it, is packed on the thread that
// formats it into a gzip piece (gzip_member.cpp), which the writer writes
// in order; the member is then the same whichever thread packed a job.
//
// The workers share nothing but the ring and the counters below, all under
// one lock. They are started once per run and serve every file; the
// writer returns from a file only when no worker is busy with it, and every
// end of the process stops and joins them first.
#include "pipeline.h"

#include "laz_jobs.h"
#include "pipeline_jobs.h"

#include "platform.h"
#include "progress.h"
#include "settings.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace
{

// Set up before the workers start and left alone until they have ended.
std::vector<std::thread> workers;
std::vector<Slot> slots;
size_t recordBufferBytes = 0; // each slot's room for records
PipelineSettings settings{};
TextPacker *writerPacker = nullptr; // the writer's, when it formats its own jobs

// The lock guards the counters below and every slot's `ready`; the rest of
// a slot belongs to the one thread that holds its job.
std::mutex lock;
std::condition_variable workToTake;  // the workers wait on it
std::condition_variable jobFinished; // the writer waits on it
const FileInHand *file = nullptr;    // null between files
uint64_t nextJob = 0;                // the next job number to hand out
uint64_t nextChunk = 0;              // LAZ chunks: the next chunk to hand out
uint64_t lastJob = 0;                // no job beyond this one is handed out
uint64_t writing = 0;                // the job the writer waits for or writes
size_t busy = 0;                     // jobs handed out and not yet ready
size_t window = 0;                   // jobs of the file in flight at most
bool quitting = false;

bool jobToTake()
{
    if (!file)
        return false;
    if (file->source == LAZ_CHUNKS) {
        const std::vector<uint64_t> &first = *file->firstJobs;
        return nextChunk + 1 < first.size() && first[nextChunk] <= lastJob &&
               first[nextChunk] < writing + window;
    }
    return nextJob <= lastJob && nextJob < writing + window;
}

// Fills the slot with job `job` of the file: its whole records and as much
// of their text as the buffer holds.
void readAndFormat(const FileInHand &f, FILE *in, uint64_t job, Slot *s)
{
    const size_t recordSize = f.text->recordSize;
    const uint64_t jobBytes = static_cast<uint64_t>(f.jobRecords) * recordSize;
    const uint64_t begin = job * jobBytes;
    // Past the header's limit the file holds something else: a short read.
    const uint64_t allowed = begin < f.dataLimit ? f.dataLimit - begin : 0;
    const uint64_t bytes = jobBytes < allowed ? jobBytes : allowed;
    size_t got = 0;
    const bool reached = seek_from_start(in, f.dataStart + begin);
    if (reached && bytes > 0)
        got = std::fread(s->records, 1, static_cast<size_t>(bytes), in);
    s->last = got < jobBytes;
    s->failed = !reached || std::ferror(in) != 0;
    s->begin = s->records;
    s->end = s->records + got / recordSize * recordSize;
    formatJob(f, s);
}

// One job, as a worker or the writer does it. A buffer that cannot grow
// marks the job, so that the writer ends the run in order: a worker must
// never let the exception end the process under it.
void prepareJob(const FileInHand &f, FILE *in, uint64_t job, Slot *s, TextPacker **packer)
{
    clearJob(s, job);
    try {
        if (allocationFailsAt(job))
            throw std::bad_alloc();
        if (f.source == LAZ_IN_TURN)
            decodeInTurn(f, s);
        else
            readAndFormat(f, in, job, s);
        s->packFailed =
            f.gzipLevel > 0 && !s->failed && s->problem.empty() && !packJob(f, s, packer);
    } catch (const std::bad_alloc &) {
        s->outOfMemory = true;
        s->last = true;
    }
}

// A worker's side of a LAZ chunk: the slot of each of its jobs once the
// writer has freed it, and each piece handed to the writer as it is done.
struct WorkerSink final : JobSink {
    explicit WorkerSink(const FileInHand *inHand) : f(inHand)
    {
    }
    const FileInHand *f;

    Slot *slotFor(uint64_t job) override
    {
        std::unique_lock<std::mutex> held(lock);
        workToTake.wait(
            held, [&] { return quitting || file != f || job > lastJob || job < writing + window; });
        if (quitting || file != f || job > lastJob)
            return nullptr;
        Slot *s = &slots[job % window];
        clearJob(s, job);
        return s;
    }

    bool publish(Slot *s) override
    {
        std::lock_guard<std::mutex> held(lock);
        s->ready = true;
        if (s->last && s->job < lastJob)
            lastJob = s->job;
        jobFinished.notify_one();
        return file == f;
    }
};

// The writer is the run's critical path, so the workers yield to it: on a
// machine with few cores, a writer made to wait for a core is time lost.
void work(size_t id)
{
    lowerThisThreadsPriority();
    TextPacker *packer = nullptr;
    std::vector<unsigned char> compressed;
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        workToTake.wait(held, [] { return quitting || jobToTake(); });
        if (quitting) {
            freeTextPacker(packer);
            return;
        }
        const FileInHand &f = *file;
        ++busy;
        if (f.source == LAZ_CHUNKS) {
            const uint64_t c = nextChunk++;
            held.unlock();
            WorkerSink sink(&f);
            convertChunk(f, f.streams[id], c, &compressed, &packer, sink);
            // A chunk's bytes are not kept: the memory of idle workers
            // stays free, however large the chunks were.
            std::vector<unsigned char>().swap(compressed);
            held.lock();
            --busy;
            jobFinished.notify_one();
            continue;
        }
        const uint64_t job = nextJob++;
        Slot *s = &slots[job % window];
        held.unlock();
        prepareJob(f, f.streams[id], job, s, &packer);
        held.lock();
        --busy;
        s->ready = true;
        if (s->last && job < lastJob)
            lastJob = job;
        jobFinished.notify_one();
    }
}

// The text of the records in [r, end) through the buffer `text` of
// `textBytes`, written out whenever it is full; what is left pending ends
// at *pending. False when writing failed.
bool writeRecordText(FILE *fout, const RecordText &t, char *text, size_t textBytes, char **pending,
                     const unsigned char *r, const unsigned char *end)
{
    for (;;) {
        *pending = t.format(*pending, text + textBytes, &r, end, t);
        if (r == end)
            return true;
        if (!writeAll(fout, text, static_cast<size_t>(*pending - text)))
            return false;
        *pending = text;
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

// What becomes of a prepared job: written, plain or packed, and counted,
// or the reason the file ends unwritten here.
PointsOutcome writePrepared(const FileInHand &f, Slot *s, const PointOutput &out,
                            GzipMember *member, uint64_t *records)
{
    if (s->outOfMemory)
        return POINTS_OUT_OF_MEMORY;
    if (s->failed)
        return POINTS_READ_FAILED;
    if (!s->problem.empty()) {
        if (f.failure)
            *f.failure = f.source == LAZ_IN_TURN
                             ? s->problem
                             : "chunk " + std::to_string(s->chunk) + ": " + s->problem;
        return POINTS_DECODE_FAILED;
    }
    bool written;
    if (f.gzipLevel == 0)
        written = writeJob(*f.text, s, out.stream);
    else {
        written = !s->packFailed &&
                  writeAll(out.stream, reinterpret_cast<const char *>(s->packed.bytes.data()),
                           s->packed.used);
        addPiece(member, s->packed);
    }
    if (s->spare > 0 && f.failure && f.failure->empty())
        *f.failure = "chunk " + std::to_string(s->chunk) + " has " + std::to_string(s->spare) +
                     " bytes past its points: the header declares fewer points than the chunks "
                     "hold";
    *records += static_cast<uint64_t>(s->end - s->begin) / f.text->recordSize;
    progressRecords(*records);
    return written ? POINTS_WRITTEN : POINTS_WRITE_FAILED;
}

// The writer's loop over one file on the workers. Returns once no worker
// is busy with it. A job whose read failed ends the file unwritten.
PointsOutcome writeFile(const FileInHand &f, const PointOutput &out, GzipMember *member,
                        uint64_t *records)
{
    std::unique_lock<std::mutex> held(lock);
    file = &f;
    // A LAZ file's jobs are its chunks' pieces, no more; a LAS file's last
    // job is the one whose read comes back short.
    nextJob = 0, nextChunk = 0, writing = 0;
    lastJob = f.source == LAZ_CHUNKS ? f.firstJobs->back() - 1 : UINT64_MAX;
    window = slots.size();
    for (Slot &s : slots)
        s.ready = false;
    workToTake.notify_all();
    for (;;) {
        Slot *s = &slots[writing % window];
        jobFinished.wait(held, [s] { return s->ready; });
        held.unlock();
        const PointsOutcome outcome = writePrepared(f, s, out, member, records);
        held.lock();
        s->ready = false;
        if (outcome != POINTS_WRITTEN || s->last) {
            // Workers waiting for a slot of this file give it up.
            file = nullptr;
            workToTake.notify_all();
            jobFinished.wait(held, [] { return busy == 0; });
            return outcome;
        }
        ++writing;
        // A worker decoding a chunk may wait for this very slot.
        if (f.source == LAZ_CHUNKS)
            workToTake.notify_all();
        else
            workToTake.notify_one();
    }
}

// The same loop with no workers: the writer prepares each job itself.
// The writer's side of a LAZ chunk when it decodes alone: one slot, written
// as soon as it is filled.
struct AloneSink final : JobSink {
    AloneSink(const FileInHand *inHand, const PointOutput *output, GzipMember *m, uint64_t *r)
        : f(inHand), out(output), member(m), records(r)
    {
    }
    const FileInHand *f;
    const PointOutput *out;
    GzipMember *member;
    uint64_t *records;
    PointsOutcome outcome = POINTS_WRITTEN;
    bool ended = false;

    Slot *slotFor(uint64_t job) override
    {
        clearJob(&slots[0], job);
        return &slots[0];
    }

    bool publish(Slot *s) override
    {
        outcome = writePrepared(*f, s, *out, member, records);
        ended = s->last;
        return outcome == POINTS_WRITTEN;
    }
};

PointsOutcome writeChunksAlone(const FileInHand &f, const PointOutput &out, GzipMember *member,
                               uint64_t *records)
{
    AloneSink sink(&f, &out, member, records);
    std::vector<unsigned char> compressed;
    for (uint64_t c = 0; c < f.laz->chunks.size(); ++c) {
        convertChunk(f, f.streams[0], c, &compressed, &writerPacker, sink);
        if (sink.outcome != POINTS_WRITTEN || sink.ended)
            break;
    }
    return sink.outcome;
}

PointsOutcome writeFileAlone(const FileInHand &f, const PointOutput &out, GzipMember *member,
                             uint64_t *records)
{
    if (f.source == LAZ_CHUNKS)
        return writeChunksAlone(f, out, member, records);
    Slot *s = &slots[0];
    for (uint64_t job = 0;; ++job) {
        prepareJob(f, f.streams[0], job, s, &writerPacker);
        const PointsOutcome outcome = writePrepared(f, s, out, member, records);
        if (outcome != POINTS_WRITTEN || s->last)
            return outcome;
    }
}

// Records per job for this file, judged by the text of its first records,
// so that a job's text rarely needs the writer's help.
size_t recordsPerJob(const FileInHand &f)
{
    // Records with extra bytes are longer: a job holds what its buffer can.
    const size_t most = recordsASlotHolds(*f.text, recordBufferBytes, settings.jobRecords);
    FileInHand sample = f;
    sample.jobRecords = most < 64 ? most : 64;
    readAndFormat(sample, f.streams[0], 0, &slots[0]);
    return recordsThatFit(f, slots[0], most);
}

void releaseSlots()
{
    for (Slot &s : slots) {
        delete[] s.records;
        delete[] s.text;
    }
    slots.clear();
    freeTextPacker(writerPacker);
    writerPacker = nullptr;
}

// Enough slots that every worker can have one job in hand and one done
// while the writer writes another; one when the writer works alone. Past
// MAX_SLOTS more jobs in flight would only wait for the one writer, and
// the buffers of hundreds of workers would not fit a batch job's memory.
// Room for a job of the longest plain records, and at least one record of
// any length a header can declare.
bool allocateSlots()
{
    const size_t wanted = settings.workers == 0 ? 1 : 2 * static_cast<size_t>(settings.workers) + 2;
    slots.assign(wanted < MAX_SLOTS ? wanted : MAX_SLOTS, Slot{});
    recordBufferBytes = settings.jobRecords * sizeof(LAS12fm3);
    if (recordBufferBytes < UINT16_MAX)
        recordBufferBytes = UINT16_MAX;
    for (Slot &s : slots) {
        s.records = new (std::nothrow) unsigned char[recordBufferBytes];
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
        // Fewer workers than asked for, or none, still convert the same
        // text.
    }
    unblockInterrupts();
}

void stopAtExit()
{
    stopPipeline();
}

} // namespace

// A slot about to hold job `job`, as nothing has been put in it yet.
void clearJob(Slot *s, uint64_t job)
{
    s->job = job;
    s->last = s->failed = s->outOfMemory = s->packFailed = false;
    s->length = 0;
    s->begin = s->rest = s->end = s->records;
    s->problem.clear();
    s->spare = 0;
}

// The text of the slot's records, as much as its buffer holds.
void formatJob(const FileInHand &f, Slot *s)
{
    s->rest = s->begin;
    const char *textEnd = s->text + f.jobTextBytes;
    char *out = f.text->format(s->text, textEnd, &s->rest, s->end, *f.text);
    s->length = static_cast<size_t>(out - s->text);
}

// A packer of the file's level in *packer, made anew when the level changed.
bool packerFor(int level, TextPacker **packer)
{
    if (*packer && packerLevel(*packer) == level)
        return true;
    freeTextPacker(*packer);
    *packer = newTextPacker(level);
    return *packer != nullptr;
}

// Gzip: packs the job's text, formatting what its buffer had no room for
// through the same buffer, so that the writer only writes the piece.
bool packJob(const FileInHand &f, Slot *s, TextPacker **packer)
{
    if (!packerFor(f.gzipLevel, packer) || !packBegin(*packer, &s->packed) ||
        !packMore(*packer, s->text, s->length, &s->packed))
        return false;
    while (s->rest != s->end) {
        char *out = f.text->format(s->text, s->text + f.jobTextBytes, &s->rest, s->end, *f.text);
        if (!packMore(*packer, s->text, static_cast<size_t>(out - s->text), &s->packed))
            return false;
    }
    return packEnd(*packer, &s->packed);
}

size_t recordsASlotHolds(const RecordText &text, size_t slotBytes, size_t jobRecords)
{
    const size_t room = slotBytes / text.recordSize;
    return std::max<size_t>(1, std::min(jobRecords, room));
}

size_t recordsThatFit(const FileInHand &f, const Slot &sampled, size_t most)
{
    const size_t records = static_cast<size_t>(sampled.rest - sampled.begin) / f.text->recordSize;
    if (records == 0)
        return most;
    const size_t perRecord = sampled.length / records + 1;
    const size_t fit = (f.jobTextBytes - f.text->lineBytes) / 4 * 3 / perRecord;
    return fit < 1 ? 1 : fit < most ? fit : most;
}

bool writeAll(FILE *fout, const char *text, size_t n)
{
    // Nothing to write may come as a null pointer, which fwrite must not see.
    return n == 0 || std::fwrite(text, 1, n, fout) == n;
}

bool startPipeline(const PipelineSettings &wanted)
{
    if (!slots.empty() || wanted.workers < 0 || wanted.workers > MAX_WORKERS ||
        wanted.jobRecords < 1 || wanted.jobRecords > MAX_JOB_RECORDS ||
        wanted.jobTextBytes < 2 * MAX_LINE_BYTES)
        return false;
    settings = wanted;
    if (!allocateSlots())
        return false;
    quitting = false;
    launchWorkers();
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

namespace
{

// The workers' own streams of the input, one each; empty when any of them
// cannot be opened, and the writer then works alone.
std::vector<FILE *> workerStreams(const char *name)
{
    std::vector<FILE *> streams;
    for (size_t k = 0; k < workers.size(); ++k) {
        FILE *stream = openInputFile(name);
        if (!stream)
            break;
        // Whole jobs are read at once: a stream buffer would only add a copy.
        std::setvbuf(stream, nullptr, _IONBF, 0);
        streams.push_back(stream);
    }
    if (streams.size() < workers.size()) {
        for (FILE *stream : streams)
            std::fclose(stream);
        streams.clear();
    }
    return streams;
}

size_t readFromFile(void *source, unsigned char *to, size_t n)
{
    return std::fread(to, 1, n, static_cast<FILE *>(source));
}

// LAZ points that no chunk table lists: decoded by the writer, in turn.
PointsOutcome convertInTurn(const PointInput &in, const RecordText &text, const PointOutput &out,
                            GzipMember *member, uint64_t *records)
{
    const LazFile &laz = *in.laz;
    if (laz.sequencePoints == 0)
        return POINTS_WRITTEN;
    if (!seek_from_start(in.fin, laz.sequenceStart))
        return POINTS_READ_FAILED;
    std::unique_ptr<LazSequence, void (*)(LazSequence *)> sequence(nullptr, lazEndSequence);
    try {
        sequence.reset(lazStartSequence(laz.layout, readFromFile, in.fin));
    } catch (const std::bad_alloc &) {
        return POINTS_OUT_OF_MEMORY;
    }
    if (!sequence)
        return POINTS_READ_FAILED;
    InTurn turn{sequence.get(), laz.sequencePoints};
    FILE *alone[1] = {in.fin};
    const FileInHand f{&text,
                       alone,
                       in.dataStart,
                       in.dataLimit,
                       recordsASlotHolds(text, recordBufferBytes, settings.jobRecords),
                       out.gzipLevel,
                       settings.jobTextBytes,
                       LAZ_IN_TURN,
                       in.laz,
                       in.failure,
                       &turn,
                       nullptr};
    const PointsOutcome outcome = writeFileAlone(f, out, member, records);
    // Data cut within a chunk ends the points at the last whole one: the
    // caller says so.
    if (outcome == POINTS_WRITTEN && in.failure && !lazSequenceCut(sequence.get()).empty())
        *in.failure = lazSequenceCut(sequence.get()) + ": the file is cut short";
    return outcome;
}

} // namespace

PointsOutcome pipelineConvert(const PointInput &in, const RecordText &text, const PointOutput &out,
                              GzipMember *member, uint64_t *records)
{
    // Lines longer than half a job's text could not be written in pieces.
    if (slots.empty() || 2 * text.lineBytes > settings.jobTextBytes)
        return POINTS_WRITE_FAILED;
    if (in.laz && in.laz->sequential)
        return convertInTurn(in, text, out, member, records);
    if (in.laz && in.laz->chunks.empty())
        return POINTS_WRITTEN;
    const bool severalJobs =
        in.laz ? in.laz->chunks.size() > 1 : in.dataBytes > settings.jobRecords * text.recordSize;
    std::vector<FILE *> streams;
    if (severalJobs)
        streams = workerStreams(in.name);
    FILE *alone[1] = {in.fin};
    FileInHand f{&text,
                 streams.empty() ? alone : streams.data(),
                 in.dataStart,
                 in.dataLimit,
                 0,
                 out.gzipLevel,
                 settings.jobTextBytes,
                 in.laz ? LAZ_CHUNKS : LAS_RECORDS,
                 in.laz,
                 in.failure,
                 nullptr,
                 nullptr};
    std::vector<uint64_t> firstJobs;
    try {
        f.jobRecords =
            in.laz
                ? pointsPerPiece(f, recordsASlotHolds(text, recordBufferBytes, settings.jobRecords),
                                 &slots[0])
                : recordsPerJob(f);
        if (in.laz)
            firstJobs = firstJobsOf(*in.laz, f.jobRecords);
    } catch (const std::bad_alloc &) {
        for (FILE *stream : streams)
            std::fclose(stream);
        return POINTS_OUT_OF_MEMORY;
    }
    f.firstJobs = &firstJobs;
    const PointsOutcome outcome = streams.empty() ? writeFileAlone(f, out, member, records)
                                                  : writeFile(f, out, member, records);
    for (FILE *stream : streams)
        std::fclose(stream);
    return outcome;
}
