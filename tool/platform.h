// TREVLIN: what differs between the platforms the tool is built for. This
// file and platform.cpp are the only places that know.
#ifndef TREVLIN_PLATFORM_H
#define TREVLIN_PLATFORM_H

#include <cstddef>

// The output files are opened in binary mode and the writers put the line
// end themselves: on Windows that is CR LF, as text mode would store it,
// but a C runtime's text-mode translation is several times slower.
#ifdef _WIN32
inline constexpr char LINE_END[] = "\r\n";
#else
inline constexpr char LINE_END[] = "\n";
#endif
inline constexpr size_t LINE_END_LENGTH = sizeof LINE_END - 1;
inline constexpr const char *OUTPUT_FILE_MODE = "wb";

// Makes the console show the UTF-8 bytes that names are printed in, for as
// long as the process runs (Windows); does nothing elsewhere.
void prepareConsole();

#endif
