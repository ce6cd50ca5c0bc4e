// TREVLIN: the operating-system calls of the POSIX build: output files,
// terminal detection and the handling of interrupts.
#include "interrupt_report.h"
#include "platform.h"

#include "HOLVANE_LiDAR.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const int INTERRUPTS[] = {SIGINT, SIGTERM, SIGHUP};

// Only async-signal-safe calls: the names and texts were made before the
// file was created, and the signal's default action then ends the process
// as that signal, once the handler returns and the signal is unblocked.
extern "C" void onInterrupt(int signal)
{
    reportInterrupt();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

sigset_t interruptSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : INTERRUPTS)
        sigaddset(&set, s);
    return set;
}

sigset_t maskBeforeBlocking;

} // namespace

void prepareConsole()
{
}

void flushStandardOutput()
{
    std::fflush(stdout);
}

std::string quotedForCommandLine(const std::string &name)
{
    const char *const plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                              "_-./+,:@%=";
    if (!name.empty() && name.find_first_not_of(plain) == std::string::npos)
        return name;
    std::string quoted = "'";
    for (char c : name)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

FILE *takeStandardOutputForPoints()
{
    std::fflush(stdout);
    const int points = dup(STDOUT_FILENO);
    if (points < 0)
        return nullptr;
    FILE *stream = fdopen(points, "wb");
    if (!stream || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        if (stream)
            std::fclose(stream);
        else
            close(points);
        return nullptr;
    }
    // Messages and warnings now share one descriptor: unbuffered, they
    // keep their order.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // A reader that goes away makes the write fail (EPIPE) rather than end
    // the process where it stands: the run removes what it holds under
    // temporary names, then ends by the broken pipe all the same.
    std::signal(SIGPIPE, SIG_IGN);
    return stream;
}

bool brokenPipe()
{
    return errno == EPIPE;
}

void endAsBrokenPipe()
{
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    std::raise(SIGPIPE);
    std::_Exit(128 + SIGPIPE);
}

void writeStandardError(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

// A signal ignored when the tool starts (nohup, a background job of a
// script) stays ignored, as the caller meant.
void watchForInterrupts()
{
    for (int s : INTERRUPTS) {
        struct sigaction before {
        };
        if (sigaction(s, nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {
        };
        action.sa_handler = onInterrupt;
        action.sa_mask = interruptSet(); // one interrupt handled at a time
        sigaction(s, &action, nullptr);
    }
}

FILE *openInputFile(const char *name)
{
    return open_stream(name, "rb");
}

FILE *openListFile(const char *name)
{
    return open_stream(name, "rb");
}

std::string sameFileKey(const std::string &name)
{
    const size_t at = name.find_last_of('/');
    const std::string folder = at == std::string::npos ? "." : at == 0 ? "/" : name.substr(0, at);
    struct stat about {
    };
    // A folder that cannot be looked at keeps the spelling as the key.
    if (stat(folder.c_str(), &about) != 0)
        return name;
    return std::to_string(about.st_dev) + ":" + std::to_string(about.st_ino) + "/" +
           (at == std::string::npos ? name : name.substr(at + 1));
}

size_t nameUnits(const std::string &component)
{
    return component.size();
}

FILE *createOutputFile(const char *name)
{
    return std::fopen(name, "wb");
}

void keepPermissionsOf(const char *name, FILE *f)
{
    struct stat status;
    if (stat(name, &status) == 0 && S_ISREG(status.st_mode))
        fchmod(fileno(f), status.st_mode & 07777);
}

bool syncToDisk(FILE *f)
{
    return std::fflush(f) == 0 && fsync(fileno(f)) == 0;
}

bool syncFolderOf(const char *name)
{
    const size_t at = std::string(name).find_last_of('/');
    const std::string folder = at == std::string::npos ? "." : std::string(name, at == 0 ? 1 : at);
    const int fd = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

// O_EXCL: two runs can never share one temporary name.
FILE *createNewOutputFile(const char *name, bool *nameTaken)
{
    *nameTaken = false;
    const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *nameTaken = errno == EEXIST;
        return nullptr;
    }
    FILE *f = fdopen(fd, "wb");
    if (!f)
        close(fd);
    return f;
}

OutputTarget outputTargetOf(const char *name)
{
    struct stat status;
    if (stat(name, &status) != 0 || S_ISREG(status.st_mode))
        return TARGET_FILE_OR_ABSENT;
    return S_ISDIR(status.st_mode) ? TARGET_DIRECTORY : TARGET_SPECIAL;
}

bool replaceFile(const char *from, const char *to)
{
    return std::rename(from, to) == 0;
}

bool deleteFile(const char *name)
{
    return unlink(name) == 0;
}

unsigned long processNumber()
{
    return static_cast<unsigned long>(getpid());
}

uint64_t fileSizeOf(FILE *f)
{
    struct stat status;
    if (fstat(fileno(f), &status) != 0 || status.st_size < 0)
        return 0;
    return static_cast<uint64_t>(status.st_size);
}

bool standardErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

size_t standardErrorColumns()
{
    struct winsize size {
    };
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0)
        return DEFAULT_COLUMNS;
    return size.ws_col;
}

// Linux keeps a nice value per thread; elsewhere in POSIX it is the
// process's, which would slow the writer too, so it is left alone there.
void lowerThisThreadsPriority()
{
#ifdef __linux__
    errno = 0;
    [[maybe_unused]] const int niceness = nice(4);
#endif
}

char **utf8CommandLine(int *, char **argv)
{
    return argv;
}

void blockInterrupts()
{
    const sigset_t set = interruptSet();
    pthread_sigmask(SIG_BLOCK, &set, &maskBeforeBlocking);
}

void unblockInterrupts()
{
    pthread_sigmask(SIG_SETMASK, &maskBeforeBlocking, nullptr);
}

void writeErrorSafely(const char *text, size_t n)
{
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, text, n);
}
