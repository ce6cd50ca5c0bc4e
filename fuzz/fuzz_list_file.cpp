// The list-file reader on arbitrary bytes: every name is a non-empty run
// of non-white bytes, and together the names hold every non-white byte.
#include "TREVLIN_tool.h"
#include "fuzz_support.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enterScratchDirectory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeBytes("l.txt", data, size);
    FILE *flist = std::fopen("l.txt", "r");
    std::string name, joined;
    while (readListName(flist, &name)) {
        if (name.empty() || name.find_first_of(" \t\n\v\f\r") != std::string::npos)
            std::abort();
        joined += name;
    }
    std::fclose(flist);
    std::string expected;
    for (size_t k = 0; k < size; ++k)
        if (std::string(" \t\n\v\f\r").find(static_cast<char>(data[k])) == std::string::npos)
            expected += static_cast<char>(data[k]);
    if (joined != expected)
        std::abort();
    return 0;
}
