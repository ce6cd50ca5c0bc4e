// check_las on arbitrary file bytes: never crashes, and whenever it accepts
// a file with a whole header, the header alone gives the same verdict.
#include "HOLVANE_LiDAR.h"
#include "fuzz_support.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enterScratchDirectory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeBytes("f.las", data, size);
    const int16_t type = check_las("f.las");
    if (type < -1 || type > 8)
        std::abort();
    if (size >= sizeof(LAS12Header)) {
        LAS12Header h;
        std::memcpy(&h, data, sizeof h);
        if (las_type_of_header(h) != type)
            std::abort();
    }
    return 0;
}
