// TREVLIN: the settings only tests change, as the release build has them:
// the defaults, read from nowhere.
#include "settings.h"

#include "pipeline.h"

bool testSettings(TestSettings *settings, std::string *)
{
    *settings = TestSettings{DEFAULT_JOB_RECORDS, DEFAULT_PROGRESS_DELAY_MS};
    return true;
}

bool allocationFailsAt(uint64_t)
{
    return false;
}
