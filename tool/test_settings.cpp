// TREVLIN: the settings only tests change, as the test build (TREVLIN_test)
// reads them, so that small files behave as large ones: the default when a
// variable is not set or empty, and refused, as the settings are, when it
// is not a whole number within its bounds.
#include "settings.h"

#include <cstdlib>

namespace
{

long testSetting(const char *name, long fallback, long least, long most)
{
    const char *value = std::getenv(name);
    if (!value || *value == '\0')
        return fallback;
    return wholeNumberSetting(name, value, least, most);
}

long failingJob = -1; // the job whose preparation runs out of memory; -1: none

} // namespace

size_t jobRecordsSetting()
{
    failingJob = testSetting("TREVLIN_TEST_OUT_OF_MEMORY_AT_JOB", -1, 0, 1L << 30);
    return static_cast<size_t>(
        testSetting("TREVLIN_TEST_JOB_RECORDS", DEFAULT_JOB_RECORDS, 1, MAX_JOB_RECORDS));
}

long progressDelaySetting()
{
    return testSetting("TREVLIN_TEST_PROGRESS_DELAY_MS", DEFAULT_PROGRESS_DELAY_MS, 0, 3600000);
}

bool allocationFailsAt(uint64_t job)
{
    return failingJob >= 0 && job == static_cast<uint64_t>(failingJob);
}
