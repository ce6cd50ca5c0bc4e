// TREVLIN: the settings only tests change, as the release build has them:
// the defaults, read from nowhere.
#include "settings.h"

size_t jobRecordsSetting()
{
    return DEFAULT_JOB_RECORDS;
}

long progressDelaySetting()
{
    return DEFAULT_PROGRESS_DELAY_MS;
}

bool allocationFailsAt(uint64_t)
{
    return false;
}
