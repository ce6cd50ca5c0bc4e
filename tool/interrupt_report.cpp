// TREVLIN: the output an interrupt removes, and the line it prints.
#include "interrupt_report.h"

#include "platform.h"

#include <atomic>

namespace
{

// The output file being written and the line an interrupt prints for it.
// There are two sets, so that a handler always finds a complete one: the
// next is prepared while the other is in force.
std::string outputName[2], removedMessage[2];
std::atomic<int> outputInForce{-1}; // index of the set in force; -1: none
std::string waitingName[2];
std::atomic<int> waitingInForce{-1};
std::atomic<size_t> progressColumns{0};
std::mutex outputNameLock; // held while a set changes

const char INTERRUPTED[] = "TREVLIN: interrupted";

// "\r", then blanks over the progress line; the line is never wider.
constexpr size_t MAX_CLEARED = 256;
struct ClearText {
    char text[MAX_CLEARED + 1];
    constexpr ClearText() : text{}
    {
        text[0] = '\r';
        for (size_t k = 1; k <= MAX_CLEARED; ++k)
            text[k] = ' ';
    }
};
constexpr ClearText CLEAR{};

size_t clearedColumns()
{
    const size_t columns = progressColumns.load();
    return columns < MAX_CLEARED ? columns : MAX_CLEARED;
}

} // namespace

void reportInterrupt()
{
    if (const size_t columns = clearedColumns(); columns > 0) {
        writeErrorSafely(CLEAR.text, columns + 1);
        writeErrorSafely("\r", 1);
    }
    if (const int w = waitingInForce.load(); w >= 0)
        deleteFile(waitingName[w].c_str());
    const int k = outputInForce.load();
    if (k >= 0 && deleteFile(outputName[k].c_str())) {
        writeErrorSafely(removedMessage[k].data(), removedMessage[k].size());
    } else {
        writeErrorSafely(INTERRUPTED, sizeof INTERRUPTED - 1);
        writeErrorSafely(LINE_END, LINE_END_LENGTH);
    }
}

std::mutex &fileBeingWrittenLock()
{
    return outputNameLock;
}

void setFileBeingWritten(const std::string &temporary, const std::string &finalName)
{
    std::lock_guard<std::mutex> held(outputNameLock);
    const int next = outputInForce.load() == 0 ? 1 : 0;
    outputName[next] = temporary;
    removedMessage[next] =
        std::string(INTERRUPTED) + "; removed incomplete " + finalName + LINE_END;
    outputInForce.store(next);
}

void clearFileBeingWritten()
{
    outputInForce.store(-1);
}

void setFileWaiting(const std::string &temporary)
{
    std::lock_guard<std::mutex> held(outputNameLock);
    const int next = waitingInForce.load() == 0 ? 1 : 0;
    waitingName[next] = temporary;
    waitingInForce.store(next);
}

void clearFileWaiting()
{
    waitingInForce.store(-1);
}

void noteProgressWidth(size_t columns)
{
    progressColumns.store(columns);
}
