// Shared set-up of the fuzz harnesses.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

void enterScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "trevlin-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0)
        std::abort();
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
}

void writeBytes(const char *path, const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(path, "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
        std::abort();
}

std::string readBytes(const char *path)
{
    std::string text;
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return text;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    std::fclose(f);
    return text;
}

void requireSame(const std::string &actual, const std::string &expected, const char *what)
{
    if (actual == expected)
        return;
    std::fprintf(stderr,
                 "%s differs from the fprintf reference\n--- expected\n%s\n--- actual\n%s\n", what,
                 expected.c_str(), actual.c_str());
    std::abort();
}
