// TREVLIN: the settings of a run that come from the environment or from
// the options that twin it. Each returns false with the words of its
// refusal when it is not one of its values; the driver refuses the run
// before the banner.
#ifndef TREVLIN_SETTINGS_H
#define TREVLIN_SETTINGS_H

#include "options.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A setting's value as a whole number from `least` to `most`.
bool wholeNumberSetting(const char *setting, const char *value, long least, long most, long *n,
                        std::string *refusal);

// Workers from -j or TREVLIN_THREADS: a whole number from 1 to
// MAX_WORKERS, or, when neither is set (or the variable is empty), the
// machine's hardware threads, at most 8.
bool workerCount(const RunOptions &o, int *workers, std::string *refusal);

// Durable outputs from --sync or TREVLIN_SYNC: empty or 0 is off, 1 on.
bool durableOutputs(const RunOptions &o, bool *durable, std::string *refusal);

// The character between columns from -d, --delimiter or --csv: one
// printable ASCII character that no number's text holds and that is not a
// quote, or a tab ("tab" or "\t"); a blank when none is given.
bool columnDelimiter(const RunOptions &o, char *delimiter, std::string *refusal);

// What only the tests change, to make small files behave as large ones:
// records per job, how long a conversion runs before its progress line
// shows, and a job whose preparation pretends to run out of memory. The
// release build takes the defaults and reads nothing; the test build
// (TREVLIN_test) reads TREVLIN_TEST_JOB_RECORDS,
// TREVLIN_TEST_PROGRESS_DELAY_MS and TREVLIN_TEST_OUT_OF_MEMORY_AT_JOB.
struct TestSettings {
    size_t jobRecords;
    long progressDelayMs;
};
bool testSettings(TestSettings *settings, std::string *refusal);
// Whether preparing job `job` of a file fails for want of memory; read
// with the test settings.
bool allocationFailsAt(uint64_t job);

constexpr long DEFAULT_PROGRESS_DELAY_MS = 500;

// The pipeline's jobs: records a job, text buffer a job, and workers.
constexpr size_t DEFAULT_JOB_RECORDS = 32768;
constexpr size_t DEFAULT_JOB_TEXT_BYTES = 1 << 20;
constexpr size_t MAX_JOB_RECORDS = 1 << 16;
constexpr int MAX_WORKERS = 256;

#endif
