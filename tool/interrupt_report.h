// TREVLIN: what an interrupt says and removes. The output being written is
// registered here before it is created, so that the platform's handler,
// which may run at any moment, removes it and prints one line.
#ifndef TREVLIN_INTERRUPT_REPORT_H
#define TREVLIN_INTERRUPT_REPORT_H

#include <cstddef>
#include <mutex>
#include <string>

// The temporary being written and the final name it is for; an interrupt
// removes the temporary and names the final name.
void setFileBeingWritten(const std::string &temporary, const std::string &finalName);
// No output is being written.
void clearFileBeingWritten();
// A whole output waiting under its temporary name for another to be
// finished before it is put in place: an interrupt removes it too, without
// a word (its final name keeps what it held).
void setFileWaiting(const std::string &temporary);
void clearFileWaiting();
// How wide the progress line on standard error is (0: none), so that an
// interrupt can clear it.
void noteProgressWidth(size_t columns);

// What every interrupt does before the process ends: the progress line is
// cleared, the file being written removed, and the one line printed. Only
// calls that are safe in a signal handler.
void reportInterrupt();

// Held while the registered names change; a handler that runs as a thread
// of its own (Windows) holds it while it reports.
std::mutex &fileBeingWrittenLock();

#endif
