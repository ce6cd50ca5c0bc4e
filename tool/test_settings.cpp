// TREVLIN: the settings only tests change, as the test build (TREVLIN_test)
// reads them, so that small files behave as large ones: the default when a
// variable is not set or empty, and refused, as the settings are, when it
// is not a whole number within its bounds.
#include "settings.h"

#include "pipeline.h"

#include <cstdlib>

namespace
{

long failingJob = -1; // the job whose preparation runs out of memory; -1: none

bool testSetting(const char *name, long fallback, long least, long most, long *n,
                 std::string *refusal)
{
    const char *value = std::getenv(name);
    *n = fallback;
    return !value || *value == '\0' || wholeNumberSetting(name, value, least, most, n, refusal);
}

} // namespace

bool testSettings(TestSettings *settings, std::string *refusal)
{
    long records = 0, delay = 0;
    if (!testSetting("TREVLIN_TEST_JOB_RECORDS", DEFAULT_JOB_RECORDS, 1, MAX_JOB_RECORDS, &records,
                     refusal) ||
        !testSetting("TREVLIN_TEST_PROGRESS_DELAY_MS", DEFAULT_PROGRESS_DELAY_MS, 0, 3600000,
                     &delay, refusal) ||
        !testSetting("TREVLIN_TEST_OUT_OF_MEMORY_AT_JOB", -1, 0, 1L << 30, &failingJob, refusal))
        return false;
    *settings = TestSettings{static_cast<size_t>(records), delay};
    return true;
}

bool allocationFailsAt(uint64_t job)
{
    return failingJob >= 0 && job == static_cast<uint64_t>(failingJob);
}
