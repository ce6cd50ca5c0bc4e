// TREVLIN: what differs between the platforms the tool is built for. This
// file, platform_posix.cpp and platform_windows.cpp (one of which CMake
// builds) are the only places that know; the .cpp files hold only calls of
// the operating system.
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

// What separates a path's components; the first is the platform's own.
#ifdef _WIN32
inline constexpr char PATH_SEPARATORS[] = "\\/";
#else
inline constexpr char PATH_SEPARATORS[] = "/";
#endif

// The last line of --help: where the platform's users find the manual.
#ifdef _WIN32
inline constexpr char WHERE_THE_MANUAL_IS[] =
    "The Windows guide: README-Windows.txt beside TREVLIN.exe; the full manual:\n"
    "  README.md.\n";
#else
inline constexpr char WHERE_THE_MANUAL_IS[] = "The full manual: man TREVLIN, or README.md.\n";
#endif

// Whether a single argument asks for the help text as the platform's own
// programs take it: "/?" on Windows; nothing elsewhere, where it is a name.
inline bool isPlatformHelpWord(const char *word)
{
#ifdef _WIN32
    return word[0] == '/' && word[1] == '?' && word[2] == '\0';
#else
    (void)word;
    return false;
#endif
}

// The command line in UTF-8: on Windows read again as UTF-16 and turned
// into UTF-8, so that no name is lost to the ANSI code page; argv as it is
// elsewhere. *argc is set to the count.
char **utf8CommandLine(int *argc, char **argv);

// Makes the console show the UTF-8 text that names are printed in, for as
// long as the process runs (Windows): standard output and standard error
// reach a console through WriteConsoleW, as UTF-16, while to a file or a
// pipe they stay the same bytes. Does nothing elsewhere.
void prepareConsole();

// Flushes standard output, through to the console when it is one.
void flushStandardOutput();

// A name as it must be typed on this platform's command line (POSIX
// shells; cmd on Windows) to reach the program as one word: as it is when
// it needs no quotes, quoted otherwise.
std::string quotedForCommandLine(const std::string &name);

// --stdout: standard output becomes the point text's, as a binary stream
// that the tool's own line ends go to unchanged; what the tool prints goes
// to standard error from then on. Null when it cannot be had.
FILE *takeStandardOutputForPoints();
// Whether the last write failed because the reader of the pipe is gone.
bool brokenPipe();
// Ends the run as a process whose pipe closed ends (POSIX: by SIGPIPE),
// without a word.
[[noreturn]] void endAsBrokenPipe();

// Text on standard error, shown right on a console.
void writeStandardError(const std::string &text);

// A printf-formatted text on standard error, after what standard output
// has printed.
void reportToStandardError(const char *format, ...)
#if defined(__GNUC__) && !defined(_WIN32)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Opens a file for reading in binary mode by its UTF-8 name; null when it
// cannot.
FILE *openInputFile(const char *name);

// Opens a list file for reading, in binary mode: the reader treats CR as
// white space and tells UTF-16 by its byte-order mark itself.
FILE *openListFile(const char *name);

// The length of a name component as the file system limits it: bytes on
// POSIX systems, UTF-16 units on Windows.
size_t nameUnits(const std::string &component);

// A key that every name of one file shares, however it is spelled: the
// identity of its folder (x.asc and ./x.asc, or a folder reached by two
// paths), then its last component, case folded where the file system
// folds it (Windows). The file itself need not exist; its folder should.
std::string sameFileKey(const std::string &name);

// Creates (or empties) an output file for writing in binary mode, in a way
// that lets an interrupt remove it while it is open; null when it cannot.
FILE *createOutputFile(const char *name);

// The same, but only when no file of that name exists yet; null with
// *nameTaken set when one does, null alone for every other failure.
FILE *createNewOutputFile(const char *name, bool *nameTaken);

enum OutputTarget {
    TARGET_FILE_OR_ABSENT, // a regular file, or nothing yet
    TARGET_DIRECTORY,      // cannot be written
    TARGET_SPECIAL,        // a pipe or a device (after links): written directly
};
OutputTarget outputTargetOf(const char *name);

// Renames `from` over `to`, replacing a file of that name in one step.
bool replaceFile(const char *from, const char *to);

// Gives the open file `f` the permission bits of the regular file `name`,
// if there is one, so that replacing it keeps who may read it (POSIX).
void keepPermissionsOf(const char *name, FILE *f);

// Flushes the open file's data to the disk; false when that fails.
bool syncToDisk(FILE *f);
// Flushes the folder holding `name` to the disk, so that a rename in it is
// kept (POSIX; Windows keeps it with the file). False when that fails.
bool syncFolderOf(const char *name);

// Removes a file; false when it cannot. Safe to call in an interrupt.
bool deleteFile(const char *name);

// This process's number, which makes temporary names its own.
unsigned long processNumber();

// Size in bytes of an open file; 0 when it cannot be told.
uint64_t fileSizeOf(FILE *f);

bool standardErrorIsTerminal();

// The width of a terminal that does not say.
constexpr size_t DEFAULT_COLUMNS = 80;

// Columns of the terminal that standard error shows on, asked afresh at
// each call so that a resized window is followed; 80 when it cannot tell.
size_t standardErrorColumns();

// ====================== Interrupts ======================
// Ctrl+C, a kill or a scheduler's SIGTERM, a closed terminal or console:
// the output file being written is removed, the progress line cleared, one
// line says so on standard error, and the process ends as interrupted
// (by the same signal on POSIX systems, so that shells and schedulers see
// it). Standard output gets nothing more.
// The handlers run reportInterrupt (interrupt_report.h).
void watchForInterrupts();

// Writes to standard error with calls that are safe in an interrupt, as
// deleteFile is.
void writeErrorSafely(const char *text, size_t n);

// Makes the calling thread give way to the process's other threads.
void lowerThisThreadsPriority();

// Interrupts are held back from blockInterrupts() to unblockInterrupts():
// in the calling thread on POSIX systems (threads started in between never
// receive them), and on Windows the console handler's thread waits until
// the section ends. Not nested.
void blockInterrupts();
void unblockInterrupts();

#endif
