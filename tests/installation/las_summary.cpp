// las_summary: an example of the HOLVANE LiDAR library in another program.
// Usage: las_summary <file.las>
// Validates the file, reads its header, starts a fresh LAS 1.2 header, and
// sorts the first return counts with the index-carrying quicksort.
#include <HOLVANE_LiDAR.h>

#include <cstdint>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::puts("Usage: las_summary <file.las>");
        return 2;
    }
    const int16_t type = check_las(argv[1]);
    if (type < 1)
        return 1;
    LAS12Header h;
    FILE *f = std::fopen(argv[1], "rb");
    if (!f || !read_exact(f, &h, sizeof h))
        return 1;
    std::fclose(f);
    std::printf("LASType %d, %u records of %u bytes\n", type,
                static_cast<unsigned>(h.NumberOfPointReturns),
                static_cast<unsigned>(h.PointDataRecordLength));

    LAS12Header fresh;
    initialize_header12(&fresh);
    std::printf("fresh header: version %d.%d, point data format %d\n", fresh.VersionMajor,
                fresh.VersionMinor, fresh.PointDataFormatID);

    int32_t counts[5], order[5];
    for (int i = 0; i < 5; ++i) {
        counts[i] = static_cast<int32_t>(h.NumberOfPointsByReturn[i]);
        order[i] = i + 1;
    }
    l_quicksort(counts, 5, order);
    std::printf("returns by count:");
    for (int i = 0; i < 5; ++i)
        std::printf(" %d:%d", order[i], counts[i]);
    std::printf("\n");
    return 0;
}
