// TREVLIN: the options in front of the two arguments.
//
// A command line of exactly two arguments never holds an option, so every
// run of `TREVLIN <input> <Format>` behaves the same whatever its words
// look like (a first argument "-o" is a file name there). With more, the
// words before the first one that is not an option are options, and "--"
// ends them.
#include "options.h"

#include <cstdlib>
#include <cstring>

namespace
{

// `word` is `name`, or `name=value` with *value set to what follows "=".
bool named(const char *word, const char *name, const char **value)
{
    const size_t n = std::strlen(name);
    if (std::strncmp(word, name, n) != 0)
        return false;
    if (word[n] == '\0') {
        *value = nullptr;
        return true;
    }
    if (word[n] != '=')
        return false;
    *value = word + n + 1;
    return true;
}

// An option's value: after "=", or the next word; null when there is none.
const char *valueOf(const char *inline_, int argc, char **argv, int *k)
{
    if (inline_)
        return inline_;
    if (*k + 1 >= argc)
        return nullptr;
    return argv[++*k];
}

bool looksLikeOption(const char *word)
{
    return word[0] == '-' && word[1] != '\0';
}

// The gzip level of "--gzip=LEVEL": 1 to 9; 0 when the text is not one.
int gzipLevelOf(const char *text)
{
    return text[0] >= '1' && text[0] <= '9' && text[1] == '\0' ? text[0] - '0' : 0;
}

// One option at argv[*k], taken into *o, with its value if it has one;
// false when the word is no option of the tool's or lacks its value.
bool takeOption(int argc, char **argv, int *k, RunOptions *o)
{
    const char *word = argv[*k];
    const char *value = nullptr;
    if (std::strcmp(word, "-o") == 0 || named(word, "--output-dir", &value)) {
        o->outputDir = valueOf(value, argc, argv, k);
        return o->outputDir != nullptr && *o->outputDir != '\0';
    }
    if (std::strcmp(word, "-z") == 0) {
        o->gzipLevel = DEFAULT_GZIP_LEVEL;
        return true;
    }
    if (named(word, "--gzip", &value)) {
        o->gzipLevel = value ? gzipLevelOf(value) : DEFAULT_GZIP_LEVEL;
        return o->gzipLevel > 0;
    }
    if (std::strcmp(word, "-q") == 0 || std::strcmp(word, "--quiet") == 0) {
        o->quiet = true;
        return true;
    }
    if (std::strcmp(word, "-j") == 0 || named(word, "--threads", &value)) {
        o->threadsOption = word[1] == 'j' ? "-j" : "--threads";
        o->threads = valueOf(value, argc, argv, k);
        return o->threads != nullptr && *o->threads != '\0';
    }
    if (std::strcmp(word, "-x") == 0 || std::strcmp(word, "--extended") == 0) {
        o->extended = true;
        return true;
    }
    if (named(word, "--sync", &value)) {
        o->sync = value ? value : "1";
        return true;
    }
    if (std::strcmp(word, "-c") == 0 || named(word, "--columns", &value)) {
        o->columns = valueOf(value, argc, argv, k);
        return o->columns != nullptr;
    }
    if (std::strcmp(word, "-d") == 0 || named(word, "--delimiter", &value)) {
        o->delimiterOption = word[1] == 'd' ? "-d" : "--delimiter";
        o->delimiter = valueOf(value, argc, argv, k);
        return o->delimiter != nullptr;
    }
    if (std::strcmp(word, "--csv") == 0) {
        o->delimiterOption = "--csv";
        o->delimiter = ",";
        return true;
    }
    if (std::strcmp(word, "--stdout") == 0) {
        o->toStandardOutput = true;
        return true;
    }
    if (std::strcmp(word, "-k") == 0 || std::strcmp(word, "--keep-going") == 0) {
        o->keepGoing = true;
        return true;
    }
    if (named(word, "--check-names", &value)) {
        o->checkNames = valueOf(value, argc, argv, k);
        return o->checkNames != nullptr && *o->checkNames != '\0';
    }
    if (named(word, "--print-outputs", &value)) {
        o->printOutputs = valueOf(value, argc, argv, k);
        return o->printOutputs != nullptr && *o->printOutputs != '\0';
    }
    return false;
}

} // namespace

int parseOptions(int argc, char **argv, RunOptions *o, const char **refused)
{
    return argc <= 3 ? 1 : parseOptionWords(argc, argv, o, refused);
}

int parseOptionWords(int argc, char **argv, RunOptions *o, const char **refused)
{
    int k = 1;
    for (; k < argc && looksLikeOption(argv[k]); ++k) {
        if (std::strcmp(argv[k], "--") == 0)
            return k + 1;
        const char *word = argv[k];
        if (!takeOption(argc, argv, &k, o)) {
            *refused = word;
            return -1;
        }
    }
    return k;
}
