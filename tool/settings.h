// TREVLIN: the settings of a run that come from the environment or from
// the options that twin it, each refused before the banner when it is not
// one of its values.
#ifndef TREVLIN_SETTINGS_H
#define TREVLIN_SETTINGS_H

#include "TREVLIN_tool.h"

#include <cstddef>

// A setting's value as a whole number from `least` to `most`; anything
// else refuses the run, naming the setting.
long wholeNumberSetting(const char *setting, const char *value, long least, long most);

// Workers from -j or TREVLIN_THREADS: a whole number from 1 to
// MAX_WORKERS, or, when neither is set (or the variable is empty), the
// machine's hardware threads, at most 8.
int workerCount(const RunOptions &o);

// Durable outputs from --sync or TREVLIN_SYNC: empty or 0 is off, 1 on.
bool durableOutputs(const RunOptions &o);

// What only the tests change, to make small files behave as large ones:
// records per job and how long a conversion runs before its progress line
// shows. The release build takes the defaults and reads nothing; the test
// build (TREVLIN_test) reads TREVLIN_TEST_JOB_RECORDS and
// TREVLIN_TEST_PROGRESS_DELAY_MS.
size_t jobRecordsSetting();
long progressDelaySetting();
// Whether preparing job `job` of a file fails for want of memory, as the
// test build can be told to pretend (TREVLIN_TEST_OUT_OF_MEMORY_AT_JOB,
// read with the job size, before the banner).
bool allocationFailsAt(uint64_t job);

constexpr long DEFAULT_PROGRESS_DELAY_MS = 500;

#endif
