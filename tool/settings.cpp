// TREVLIN: settings from the environment and the options that twin it.
#include "settings.h"

#include <cstdlib>
#include <cstring>
#include <thread>

namespace
{

// "<setting> is "<value>"; it must be <what>", appended piece by piece:
// GCC 12 warns falsely on a chain of operator+.
void appendRefusal(std::string *refusal, const char *setting, const char *value,
                   const std::string &what)
{
    std::string text(1, '\n');
    text.append(setting).append(" is \"").append(value).append("\"; it must be ");
    text.append(what).append(1, '\n');
    refusal->swap(text);
}

} // namespace

bool wholeNumberSetting(const char *setting, const char *value, long least, long most, long *n,
                        std::string *refusal)
{
    *n = 0;
    for (const char *c = value; *c != '\0' && *n <= most; ++c)
        *n = *c >= '0' && *c <= '9' ? *n * 10 + (*c - '0') : most + 1;
    if (*n >= least && *n <= most)
        return true;
    std::string what = "a whole number from ";
    what += std::to_string(least);
    what += " to ";
    what += std::to_string(most);
    appendRefusal(refusal, setting, value, what);
    return false;
}

bool workerCount(const RunOptions &o, int *workers, std::string *refusal)
{
    const char *value = o.threads ? o.threads : std::getenv("TREVLIN_THREADS");
    const char *setting = o.threads ? o.threadsOption : "TREVLIN_THREADS";
    if (!value || *value == '\0') {
        const unsigned hardware = std::thread::hardware_concurrency();
        *workers = hardware == 0 ? 1 : static_cast<int>(hardware < 8 ? hardware : 8);
        return true;
    }
    long n = 0;
    if (!wholeNumberSetting(setting, value, 1, MAX_WORKERS, &n, refusal))
        return false;
    *workers = static_cast<int>(n);
    return true;
}

bool columnDelimiter(const RunOptions &o, char *delimiter, std::string *refusal)
{
    *delimiter = ' ';
    const char *value = o.delimiter;
    if (!value)
        return true;
    if (std::strcmp(value, "tab") == 0 || std::strcmp(value, "\\t") == 0) {
        *delimiter = '\t';
        return true;
    }
    const char c = value[0];
    const bool printable = c >= ' ' && c <= '~' && value[1] == '\0';
    const bool alphanumeric =
        (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (printable && !alphanumeric && std::strchr("-+.\"", c) == nullptr) {
        *delimiter = c;
        return true;
    }
    appendRefusal(refusal, o.delimiterOption, value,
                  "one printable character other than a digit, a letter, -, +, . or \", "
                  "or tab (also written \\t)");
    return false;
}

bool durableOutputs(const RunOptions &o, bool *durable, std::string *refusal)
{
    const char *value = o.sync ? o.sync : std::getenv("TREVLIN_SYNC");
    const char *setting = o.sync ? "--sync" : "TREVLIN_SYNC";
    *durable = value && std::strcmp(value, "1") == 0;
    if (!value || *value == '\0' || std::strcmp(value, "0") == 0 || *durable)
        return true;
    appendRefusal(refusal, setting, value, "empty, 0 or 1");
    return false;
}
