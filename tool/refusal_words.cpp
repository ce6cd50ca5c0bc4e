// TREVLIN: a word on standard error for the refusals whose message on
// standard output, kept as it is, does not tell the user what to do.
#include "refusal_words.h"

#include "platform.h"

#include <cstring>

namespace
{

const char LOWER_CASE_ADVICE[] =
    "LAS files are recognised by the lower-case extension .las; rename it (on Windows, "
    "typing the name with .las is enough)";

// A listed name that ends in .LAS, .Las...: the validator wants ".las".
bool endsInOtherCaseLas(const std::string &name)
{
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".las") == 0)
        return false;
    const std::string end = name.substr(name.size() - 4);
    return end[0] == '.' && (end[1] | 0x20) == 'l' && (end[2] | 0x20) == 'a' &&
           (end[3] | 0x20) == 's';
}

// The first bytes of a file, as many as it has up to `n`; empty when it
// cannot be opened.
std::string headOf(const char *name, size_t n, uint64_t *size)
{
    std::string head(n, '\0');
    FILE *f = open_stream(name, "rb");
    if (!f)
        return std::string();
    *size = fileSizeOf(f);
    head.resize(std::fread(&head[0], 1, n, f));
    std::fclose(f);
    return head;
}

// Compressed LAS: the format byte of its header has bit 7 set.
bool isLaz(const std::string &head)
{
    return head.size() > 104 && head.compare(0, 4, "LASF") == 0 &&
           (static_cast<unsigned char>(head[104]) & 0x80) != 0;
}

// Why a file the validator refused cannot be read as LAS at all: a
// directory, or a file cut inside its header. (Compressed LAS, which -x
// reads, has its word from explainExtendedOnly.)
bool explainUnreadable(const char *name)
{
    if (outputTargetOf(name) == TARGET_DIRECTORY) {
        reportToStandardError("TREVLIN: %s is a directory\n", name);
        return true;
    }
    uint64_t size = 0;
    const std::string head = headOf(name, LAS_HEADER_SIZE, &size);
    if (isLaz(head))
        return false;
    // Only a name the validator read the bytes of: others are refused for
    // their name.
    const bool namedLas = classify_file_extension(name, "las") == EXTENSION_MATCHES;
    if (namedLas && !head.empty() && size < LAS_HEADER_SIZE) {
        reportToStandardError("TREVLIN: %s holds only %llu bytes; a LAS header has 227\n", name,
                              static_cast<unsigned long long>(size));
        return true;
    }
    return false;
}

bool exists(const std::string &name)
{
    FILE *f = open_stream(name.c_str(), "rb");
    if (f)
        std::fclose(f);
    return f != nullptr;
}

// A name of a list without quotes is cut at its blanks: the file that a
// missing name and the ones after it, joined by blanks, would name.
void explainCutAtBlanks(const std::vector<std::string> &names, size_t at)
{
    if (exists(names[at]))
        return;
    std::string joined = names[at];
    for (size_t k = at + 1; k < names.size() && k <= at + 8; ++k) {
        joined += ' ';
        joined += names[k];
        if (exists(joined)) {
            reportToStandardError(
                "TREVLIN: %s does not exist, but \"%s\" does: quote names that hold blanks\n",
                names[at].c_str(), joined.c_str());
            return;
        }
    }
}

} // namespace

// A LAS 1.0 or 1.1 file that declares point data format 2 or 3 is refused
// by the validator without a message of its own.
void explainUndefinedFormat(const char *name)
{
    FILE *f = open_stream(name, "rb");
    unsigned char head[105];
    const bool read = f && read_exact(f, head, sizeof head);
    if (f)
        std::fclose(f);
    if (!read)
        return;
    reportToStandardError(
        "TREVLIN: %s is LAS 1.%c with point data format %c, which LAS 1.%c does not "
        "define\n",
        name, head[25] + 48, head[104] + 48, head[25] + 48);
}

// A LAS file given with an upper-case .LAS is taken for a list.
void explainLasTakenForList(const char *name, const std::string &bytes, bool extended)
{
    if (isLaz(bytes) && extended)
        reportToStandardError("TREVLIN: %s is compressed LAS (LAZ) under a name that is not "
                              ".laz or .las; a list's name is anything else\n",
                              name);
    else if (isLaz(bytes))
        reportToStandardError(
            "TREVLIN: %s is compressed LAS (LAZ); TREVLIN -x %s <Format> converts it\n", name,
            quotedForCommandLine(name).c_str());
    else if (bytes.compare(0, 4, "LASF") == 0)
        reportToStandardError("TREVLIN: %s is a LAS file, not a list: %s\n", name,
                              LOWER_CASE_ADVICE);
}

void explainListedRefusal(const std::vector<std::string> &names, size_t at, int16_t result)
{
    const std::string &name = names[at];
    if (result == 0)
        explainUndefinedFormat(name.c_str());
    else if (explainUnreadable(name.c_str()))
        return;
    else if (endsInOtherCaseLas(name))
        reportToStandardError("TREVLIN: %s is listed with an upper-case extension: %s\n",
                              name.c_str(), LOWER_CASE_ADVICE);
    else
        explainCutAtBlanks(names, at);
}

void explainRefusedFile(const char *name, int16_t result)
{
    if (result == 0)
        explainUndefinedFormat(name);
    else
        explainUnreadable(name);
}

// The options that take no value: given with one argument after them,
// they make two arguments, and are then read as a file name.
bool isOptionWithoutValue(const std::string &word)
{
    for (const char *option : {"-q", "--quiet", "-z", "--gzip", "-x", "--extended", "--sync"})
        if (word == option ||
            (word.rfind(option, 0) == 0 && word[std::strlen(option)] == '=' && option[1] == '-'))
            return true;
    return false;
}

void explainFirstArgument(const char *name, const char *second)
{
    const bool formatLike = std::strspn(second, "0123456789.") == std::strlen(second);
    // A folder named .las is refused, and explained, as a LAS file.
    const bool namedLas = classify_file_extension(name, "las") == EXTENSION_MATCHES;
    if (!namedLas && outputTargetOf(name) == TARGET_DIRECTORY)
        reportToStandardError("TREVLIN: %s is a directory\n", name);
    else if (isOptionWithoutValue(name) && !formatLike && !exists(name))
        reportToStandardError("TREVLIN: %s looks like an option: options come before the two "
                              "arguments (TREVLIN %s <file> <Format>)\n",
                              name, name);
    else if (classify_file_extension(name, "las") == EXTENSION_NO_DOT &&
             outputTargetOf(name) == TARGET_FILE_OR_ABSENT && exists(name))
        reportToStandardError("TREVLIN: a list's name must end in a dot and three characters "
                              "other than las (tiles.txt); %s does not\n",
                              name);
}

void explainNulInList(const char *listName, const std::string &bytes)
{
    if (bytes.compare(0, 4, "LASF") == 0)
        return; // a LAS file taken for a list, which has its own word
    size_t nuls = 0;
    for (char c : bytes)
        nuls += c == '\0' ? 1 : 0;
    // Text in UTF-16 has a NUL in every other byte where it is ASCII.
    if (nuls * 4 >= bytes.size())
        reportToStandardError("TREVLIN: %s looks like UTF-16 without a byte-order mark: save the "
                              "list as UTF-8, or as UTF-16 with a byte-order mark\n",
                              listName);
}

void explainTypesDiffer(const std::string &name, const RecordType &type, const RecordType &before)
{
    reportToStandardError(
        "TREVLIN: %s is LAS 1.%d point format %d, the files before it are LAS 1.%d point "
        "format %d\n",
        name.c_str(), type.VersionMinor, type.PointFormat, before.VersionMinor, before.PointFormat);
}

void explainRefusedOption(const char *word)
{
    const auto is = [word](const char *name) {
        const size_t n = std::strlen(name);
        return std::strncmp(word, name, n) == 0 && (word[n] == '\0' || word[n] == '=');
    };
    if (is("--gzip"))
        reportToStandardError("TREVLIN: --gzip takes a level from 1 (fast) to 9 (small), as "
                              "--gzip=9, or none for 1\n");
    else if (is("-j") || is("--threads"))
        reportToStandardError("TREVLIN: %s takes a number of threads from 1 to 256\n",
                              is("-j") ? "-j" : "--threads");
    else if (is("-o") || is("--output-dir"))
        reportToStandardError("TREVLIN: %s takes a folder\n", is("-o") ? "-o" : "--output-dir");
}
