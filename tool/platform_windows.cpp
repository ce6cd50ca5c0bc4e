// TREVLIN: the operating-system calls of the Windows build: the console,
// output files, terminal detection and the handling of interrupts.
#include "interrupt_report.h"
#include "platform.h"
#include "utf8.h"

#include "HOLVANE_LiDAR.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <mutex>
#include <sys/stat.h>
#include <vector>
#include <windows.h>

namespace
{

UINT consoleCodePageBefore = 0;

void restoreConsole()
{
    if (consoleCodePageBefore != 0)
        SetConsoleOutputCP(consoleCodePageBefore);
}

bool isConsole(HANDLE h)
{
    DWORD mode = 0;
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

// UTF-8 text onto a console as UTF-16: what the console shows right
// whatever its code page.
void writeConsoleText(HANDLE console, const char *text, size_t n)
{
    if (n == 0)
        return;
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0);
    if (units <= 0)
        return;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(n), wide.data(), units);
    DWORD written = 0;
    WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

// Standard output on a console: the C runtime writes its bytes into a
// pipe, and they are passed on to the console at every flush of standard
// output, and at the end. Both threads that may pass them on (the main
// thread and the console handler's) hold the lock.
HANDLE consoleOut = nullptr;
HANDLE relayRead = nullptr;
std::string relayPending;
std::mutex relayLock;

void drainRelay()
{
    if (!relayRead)
        return;
    std::lock_guard<std::mutex> held(relayLock);
    DWORD waiting = 0;
    char chunk[65536];
    while (PeekNamedPipe(relayRead, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
        DWORD got = 0;
        if (!ReadFile(relayRead, chunk, sizeof chunk, &got, nullptr) || got == 0)
            break;
        relayPending.append(chunk, got);
    }
    const size_t whole = wholeCharacterBytes(relayPending);
    writeConsoleText(consoleOut, relayPending.data(), whole);
    relayPending.erase(0, whole);
}

void finishRelay()
{
    std::fflush(stdout);
    drainRelay();
}

// The pipe that standard output writes into while it is a console.
void relayStandardOutput()
{
    // A handle of our own on the console: the one standard output held is
    // closed when the pipe takes its place.
    const HANDLE process = GetCurrentProcess();
    HANDLE out = nullptr, readEnd = nullptr, writeEnd = nullptr;
    if (!isConsole(GetStdHandle(STD_OUTPUT_HANDLE)) ||
        !DuplicateHandle(process, GetStdHandle(STD_OUTPUT_HANDLE), process, &out, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 20)) {
        CloseHandle(out);
        return;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(writeEnd), _O_WRONLY | _O_TEXT);
    if (fd == -1 || _dup2(fd, _fileno(stdout)) != 0) {
        CloseHandle(out);
        CloseHandle(readEnd);
        if (fd == -1)
            CloseHandle(writeEnd);
        else
            _close(fd);
        return;
    }
    _close(fd);
    consoleOut = out;
    relayRead = readEnd;
    std::atexit(finishRelay);
}

// Runs in a thread of its own, while the conversion goes on. The point
// file was created with FILE_SHARE_DELETE, so it can be deleted while the
// writer still has it open; it disappears when the process ends, which
// TerminateProcess makes immediate (an orderly exit could wait for locks
// that the writer holds).
// The console control handler runs in a thread of its own: it waits at
// this gate while the main thread creates or renames an output, so that it
// never removes a file in the middle of either.
std::mutex interruptGate;

BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    std::lock_guard<std::mutex> gate(interruptGate);
    std::lock_guard<std::mutex> held(fileBeingWrittenLock());
    drainRelay();
    reportInterrupt();
    restoreConsole();
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

} // namespace

// The application manifest makes the process's code page UTF-8, so names
// arrive and are printed as UTF-8; the console itself keeps its own code
// page unless told, and the change is undone when the process ends.
void prepareConsole()
{
    const UINT before = GetConsoleOutputCP(); // 0 when there is no console
    if (before != 0 && before != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        consoleCodePageBefore = before;
        std::atexit(restoreConsole);
    }
    relayStandardOutput();
}

void flushStandardOutput()
{
    std::fflush(stdout);
    drainRelay();
}

// cmd splits words at blanks and gives these characters a meaning of their
// own; within double quotes they are plain (a name holds no quote).
std::string quotedForCommandLine(const std::string &name)
{
    if (!name.empty() && name.find_first_of(" \t&()[]{}^=;!'+,`~%<>|") == std::string::npos)
        return name;
    return "\"" + name + "\"";
}

FILE *takeStandardOutputForPoints()
{
    flushStandardOutput();
    const int points = _dup(_fileno(stdout));
    if (points < 0)
        return nullptr;
    // The tool's own line ends, CR LF, go out as they are.
    _setmode(points, _O_BINARY);
    FILE *stream = _fdopen(points, "wb");
    if (!stream || _dup2(_fileno(stderr), _fileno(stdout)) != 0) {
        if (stream)
            std::fclose(stream);
        else
            _close(points);
        return nullptr;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return stream;
}

// A pipe whose reader is gone fails a write with EPIPE, or with EINVAL
// where the C runtime does not map the system's error.
bool brokenPipe()
{
    return errno == EPIPE || errno == EINVAL;
}

// Windows has no signal for it: the run ends with the tool's failure
// status, and no word.
void endAsBrokenPipe()
{
    std::_Exit(255);
}

// Standard error is unbuffered: its text goes straight to the console, or
// as bytes (in text mode, as fprintf would) to a file or a pipe.
void writeStandardError(const std::string &text)
{
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (isConsole(err)) {
        std::string crlf;
        for (char c : text) {
            if (c == '\n')
                crlf += '\r';
            crlf += c;
        }
        writeConsoleText(err, crlf.data(), crlf.size());
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void watchForInterrupts()
{
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

namespace
{

// Creates `name` as `disposition` says, shared so that an interrupt can
// delete it while it is open, as a binary stream; null when it cannot,
// with GetLastError telling why.
FILE *createShared(const char *name, DWORD disposition)
{
    const std::wstring wide = windows_file_name(name);
    if (wide.empty())
        return nullptr;
    const HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd == -1) {
        CloseHandle(h);
        return nullptr;
    }
    FILE *f = _fdopen(fd, "wb");
    if (!f)
        _close(fd);
    return f;
}

} // namespace

FILE *openInputFile(const char *name)
{
    return open_stream(name, "rb");
}

FILE *openListFile(const char *name)
{
    return open_stream(name, "rb");
}

namespace
{

// The name folded as NTFS compares names: without regard to case.
std::string foldedName(const std::string &name)
{
    std::string key = name;
    for (char &c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c == '/')
            c = '\\';
    return key;
}

// The volume and file index of a folder: one folder whatever path reaches
// it. False when it cannot be opened.
bool folderIdentity(const std::string &folder, std::string *identity)
{
    const HANDLE h = CreateFileW(windows_file_name(folder.c_str()).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION about;
    const bool known = GetFileInformationByHandle(h, &about) != 0;
    CloseHandle(h);
    if (known)
        *identity = std::to_string(about.dwVolumeSerialNumber) + ":" +
                    std::to_string(about.nFileIndexHigh) + ":" +
                    std::to_string(about.nFileIndexLow);
    return known;
}

} // namespace

std::string sameFileKey(const std::string &name)
{
    const size_t at = name.find_last_of("\\/");
    std::string folder = at == std::string::npos ? "." : name.substr(0, at + 1);
    std::string identity;
    if (!folderIdentity(folder, &identity))
        return foldedName(name);
    return identity + "\\" + foldedName(at == std::string::npos ? name : name.substr(at + 1));
}

FILE *createOutputFile(const char *name)
{
    return createShared(name, CREATE_ALWAYS);
}

// Windows limits a name component in UTF-16 units.
size_t nameUnits(const std::string &component)
{
    return utf16Units(component);
}

// Windows gives a new file the folder's inherited permissions.
void keepPermissionsOf(const char *, FILE *)
{
}

bool syncToDisk(FILE *f)
{
    if (std::fflush(f) != 0)
        return false;
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h) != 0;
}

// A rename on NTFS is journalled with the file's metadata.
bool syncFolderOf(const char *)
{
    return true;
}

FILE *createNewOutputFile(const char *name, bool *nameTaken)
{
    SetLastError(ERROR_SUCCESS);
    FILE *f = createShared(name, CREATE_NEW);
    const DWORD error = GetLastError();
    *nameTaken = !f && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
    return f;
}

// Windows has no pipes or devices under ordinary file names.
OutputTarget outputTargetOf(const char *name)
{
    const DWORD attributes = GetFileAttributesW(windows_file_name(name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return TARGET_DIRECTORY;
    return TARGET_FILE_OR_ABSENT;
}

bool replaceFile(const char *from, const char *to)
{
    const std::wstring wideFrom = windows_file_name(from), wideTo = windows_file_name(to);
    return !wideFrom.empty() && !wideTo.empty() &&
           MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// The console handler is a thread of its own, so it may convert the name.
bool deleteFile(const char *name)
{
    const std::wstring wide = windows_file_name(name);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

unsigned long processNumber()
{
    return GetCurrentProcessId();
}

uint64_t fileSizeOf(FILE *f)
{
    struct _stat64 status;
    if (_fstat64(_fileno(f), &status) != 0 || status.st_size < 0)
        return 0;
    return static_cast<uint64_t>(status.st_size);
}

bool standardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

size_t standardErrorColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return DEFAULT_COLUMNS;
    const long columns = static_cast<long>(info.srWindow.Right) - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<size_t>(columns) : DEFAULT_COLUMNS;
}

void lowerThisThreadsPriority()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

void blockInterrupts()
{
    interruptGate.lock();
}

void unblockInterrupts()
{
    interruptGate.unlock();
}

namespace
{

std::string utf8Of(const wchar_t *wide)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), n, nullptr, nullptr);
    text.resize(static_cast<size_t>(n - 1));
    return text;
}

} // namespace

// The command line as Windows holds it, in UTF-16, whatever the ANSI code
// page: the char* arguments would have lost what it cannot hold.
char **utf8CommandLine(int *argc, char **argv)
{
    int n = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide)
        return argv;
    static std::vector<std::string> texts;
    static std::vector<char *> pointers;
    for (int k = 0; k < n; ++k)
        texts.push_back(utf8Of(wide[k]));
    LocalFree(wide);
    for (std::string &t : texts)
        pointers.push_back(t.data());
    pointers.push_back(nullptr);
    *argc = n;
    return pointers.data();
}

void writeErrorSafely(const char *text, size_t n)
{
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (isConsole(err)) {
        writeConsoleText(err, text, n);
        return;
    }
    DWORD written = 0;
    WriteFile(err, text, static_cast<DWORD>(n), &written, nullptr);
}
