// TREVLIN: what differs between the platforms the tool is built for. This
// file and platform.cpp are the only places that know.
#ifndef TREVLIN_PLATFORM_H
#define TREVLIN_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The output files are opened in binary mode and the writers put the line
// end themselves: on Windows that is CR LF, as text mode would store it,
// but a C runtime's text-mode translation is several times slower.
#ifdef _WIN32
inline constexpr char LINE_END[] = "\r\n";
#else
inline constexpr char LINE_END[] = "\n";
#endif
inline constexpr size_t LINE_END_LENGTH = sizeof LINE_END - 1;

// Makes the console show the UTF-8 bytes that names are printed in, for as
// long as the process runs (Windows); does nothing elsewhere.
void prepareConsole();

// Creates (or empties) an output file for writing in binary mode, in a way
// that lets an interrupt remove it while it is open; null when it cannot.
FILE *createOutputFile(const char *name);

// Size in bytes of an open file; 0 when it cannot be told.
uint64_t fileSizeOf(FILE *f);

bool standardErrorIsTerminal();

// ====================== Interrupts ======================
// Ctrl+C, a kill or a scheduler's SIGTERM, a closed terminal or console:
// the output file being written is removed, the progress line cleared, one
// line says so on standard error, and the process ends as interrupted
// (by the same signal on POSIX systems, so that shells and schedulers see
// it). Standard output gets nothing more.
void watchForInterrupts();

// The output file about to be created and written: named before it exists,
// so that an interrupt never leaves it half-written.
void setFileBeingWritten(const std::string &name);
// No output file is being written: an interrupt removes nothing.
void clearFileBeingWritten();

// Characters of the progress line on the terminal (0: none).
void noteProgressWidth(size_t columns);

// Makes the calling thread give way to the process's other threads.
void lowerThisThreadsPriority();

// Interrupts are blocked in the calling thread from blockInterrupts() to
// unblockInterrupts(): threads started in between never receive them.
void blockInterrupts();
void unblockInterrupts();

#endif
