// The list-file reader on arbitrary bytes. A list of bytes gives the names
// that the rules give, worked out here on their own: white space separates
// names, and a name that begins with a double quote runs to the next one
// (or the end) and holds what lies between. A UTF-16 list gives names that
// are all UTF-8.
#include "fuzz_support.h"
#include "list_file.h"
#include "utf8.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

bool isWhite(uint8_t c)
{
    return std::memchr(" \t\n\v\f\r", c, 6) != nullptr;
}

std::vector<std::string> namesByTheRules(const uint8_t *data, size_t size)
{
    std::vector<std::string> names;
    size_t k = 0;
    for (;;) {
        while (k < size && isWhite(data[k]))
            ++k;
        if (k == size)
            return names;
        const size_t start = data[k] == '"' ? k + 1 : k;
        size_t end = start;
        if (data[k] == '"') {
            while (end < size && data[end] != '"')
                ++end;
            k = end < size ? end + 1 : end;
        } else {
            while (end < size && !isWhite(data[end]))
                ++end;
            k = end;
        }
        names.emplace_back(reinterpret_cast<const char *>(data + start), end - start);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enterScratchDirectory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<std::string> names =
        listNames(std::string(reinterpret_cast<const char *>(data), size));
    const bool utf16 =
        size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
    if (utf16) {
        for (const std::string &n : names)
            if (!isUtf8(n))
                std::abort();
        return 0;
    }
    const size_t mark = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    if (names != namesByTheRules(data + mark, size - mark))
        std::abort();
    return 0;
}
