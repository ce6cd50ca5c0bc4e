// Shared set-up of the fuzz harnesses: a private working directory, quiet
// standard output, and whole-file helpers.
#ifndef TREVLIN_FUZZ_SUPPORT_H
#define TREVLIN_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

// Moves into a fresh temporary directory and sends stdout to /dev/null.
void enterScratchDirectory();
void writeBytes(const char *path, const uint8_t *data, size_t size);
std::string readBytes(const char *path);
// Stops the fuzzer with a report when the two texts differ.
void requireSame(const std::string &actual, const std::string &expected, const char *what);

#endif
