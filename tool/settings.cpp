// TREVLIN: settings from the environment and the options that twin it.
#include "settings.h"

#include <cstdlib>
#include <cstring>
#include <thread>

long wholeNumberSetting(const char *setting, const char *value, long least, long most)
{
    long n = 0;
    for (const char *c = value; *c != '\0' && n <= most; ++c)
        n = *c >= '0' && *c <= '9' ? n * 10 + (*c - '0') : most + 1;
    if (n < least || n > most) {
        std::printf("\n%s is \"%s\"; it must be a whole number from %ld to %ld\n", setting, value,
                    least, most);
        endRun(-1);
    }
    return n;
}

int workerCount(const RunOptions &o)
{
    const char *value = o.threads ? o.threads : std::getenv("TREVLIN_THREADS");
    const char *setting = o.threads ? o.threadsOption : "TREVLIN_THREADS";
    if (!value || *value == '\0') {
        const unsigned hardware = std::thread::hardware_concurrency();
        return hardware == 0 ? 1 : static_cast<int>(hardware < 8 ? hardware : 8);
    }
    return static_cast<int>(wholeNumberSetting(setting, value, 1, MAX_WORKERS));
}

bool durableOutputs(const RunOptions &o)
{
    const char *value = o.sync ? o.sync : std::getenv("TREVLIN_SYNC");
    const char *setting = o.sync ? "--sync" : "TREVLIN_SYNC";
    if (!value || *value == '\0' || std::strcmp(value, "0") == 0)
        return false;
    if (std::strcmp(value, "1") == 0)
        return true;
    std::printf("\n%s is \"%s\"; it must be empty, 0 or 1\n", setting, value);
    endRun(-1);
}
