// TREVLIN: the life of an output file (name, create, write, then commit or
// discard), shared by the header report and the point file.
//
// The states, and why each is safe when the process is stopped in it:
//   1. named: the temporary's name is known to the interrupt handler and
//      to the exit handler, but no file exists yet. Removing it finds
//      nothing; the final name is untouched.
//   2. created and being written: only the temporary holds new bytes. An
//      interrupt or an exit removes it; a SIGKILL leaves it, under a name
//      that says it is incomplete, and the final name holds its old file.
//   3. closed and checked: the rename replaces the final name in one step,
//      so a reader sees the old file or the new one.
//   4. committed or discarded: nothing is registered any more.
#include "output_file.h"

#include "interrupt_report.h"
#include "output_names.h"
#include "platform.h"

#include <cerrno>
#include <cstdlib>

namespace
{

// The output between begin and commit, and one closed whole that waits
// to be placed; an exit removes their temporaries.
OutputFile *active = nullptr;
OutputFile *waiting = nullptr;

// Whether each output is flushed to the disk before its rename.
bool durable = false;

// A pipe or a device is written under its own name, with no temporary.
bool hasTemporary(const OutputFile &f)
{
    return f.temporary != f.name;
}

void removeActiveAtExit()
{
    if (active && hasTemporary(*active))
        deleteFile(active->temporary.c_str());
    if (waiting && hasTemporary(*waiting))
        deleteFile(waiting->temporary.c_str());
}

void registerExitHandler()
{
    static const bool registered = std::atexit(removeActiveAtExit) == 0;
    (void)registered;
}

constexpr int MAX_ATTEMPTS = 100;

FILE *createTemporary(OutputFile *f)
{
    for (int attempt = 1; attempt <= MAX_ATTEMPTS; ++attempt) {
        f->temporary = temporaryNameOf(f->name, processNumber(), attempt);
        setFileBeingWritten(f->temporary, f->name);
        bool nameTaken = false;
        blockInterrupts(); // an interrupt now would remove a file half made
        FILE *stream = createNewOutputFile(f->temporary.c_str(), &nameTaken);
        unblockInterrupts();
        if (stream || !nameTaken)
            return stream;
        clearFileBeingWritten();
    }
    return nullptr;
}

void closeQuietly(OutputFile *f)
{
    if (f->stream)
        std::fclose(f->stream);
    f->stream = nullptr;
}

// Closes and checks the output, flushed to the disk when durable.
bool closeWhole(OutputFile *f, bool written)
{
    if (hasTemporary(*f)) {
        keepPermissionsOf(f->name.c_str(), f->stream);
        if (durable && written)
            written = syncToDisk(f->stream);
    }
    const bool closed = std::fclose(f->stream) == 0;
    f->stream = nullptr;
    return closed && written;
}

void discardOutputOf(OutputFile *f);

// Renames the closed output over its final name; `registered` tells the
// interrupt handler that it no longer needs removing.
OutputOutcome renameIntoPlace(OutputFile *f, void (*registered)())
{
    // An interrupt waits until the rename is done and nothing is in force,
    // so it can neither remove the file being renamed nor make the rename
    // fail.
    blockInterrupts();
    const bool renamed = !hasTemporary(*f) || replaceFile(f->temporary.c_str(), f->name.c_str());
    if (renamed)
        registered();
    unblockInterrupts();
    if (!renamed) {
        discardOutputOf(f);
        return OUTPUT_RENAME_FAILED;
    }
    // The rename is kept once the folder is; the file is whole under its
    // final name by now, so a failure here is only a weaker promise.
    if (durable && hasTemporary(*f) && !syncFolderOf(f->name.c_str()))
        return OUTPUT_WRITE_FAILED;
    return OUTPUT_DONE;
}

void discardOutputOf(OutputFile *f)
{
    closeQuietly(f);
    if (hasTemporary(*f))
        deleteFile(f->temporary.c_str());
    if (waiting == f) {
        clearFileWaiting();
        waiting = nullptr;
        return;
    }
    clearFileBeingWritten();
    active = nullptr;
}

} // namespace

OutputOutcome beginOutput(OutputFile *f, const std::string &name)
{
    registerExitHandler();
    f->name = name;
    f->stream = nullptr;
    switch (outputTargetOf(name.c_str())) {
    case TARGET_DIRECTORY: errno = EISDIR; break;
    case TARGET_SPECIAL:
        f->temporary = name;
        clearFileBeingWritten();
        f->stream = createOutputFile(name.c_str());
        break;
    default: f->stream = createTemporary(f); break;
    }
    if (!f->stream) {
        const int error = errno; // the caller tells the user the system's reason
        clearFileBeingWritten();
        errno = error;
        return OUTPUT_OPEN_FAILED;
    }
    active = f;
    return OUTPUT_DONE;
}

void setDurableOutputs(bool wanted)
{
    durable = wanted;
}

OutputOutcome commitOutput(OutputFile *f, bool written)
{
    if (!closeWhole(f, written)) {
        discardOutput(f);
        return OUTPUT_WRITE_FAILED;
    }
    const OutputOutcome placed = renameIntoPlace(f, clearFileBeingWritten);
    if (active == f)
        active = nullptr;
    return placed;
}

OutputOutcome closeOutput(OutputFile *f, bool written)
{
    if (!closeWhole(f, written)) {
        discardOutput(f);
        return OUTPUT_WRITE_FAILED;
    }
    // From being written to waiting, with no moment when neither removes it.
    if (hasTemporary(*f))
        setFileWaiting(f->temporary);
    clearFileBeingWritten();
    waiting = f;
    active = nullptr;
    return OUTPUT_DONE;
}

OutputOutcome placeOutput(OutputFile *f)
{
    const OutputOutcome placed = renameIntoPlace(f, clearFileWaiting);
    waiting = nullptr;
    return placed;
}

const char *outputFailureMessage(OutputOutcome outcome)
{
    switch (outcome) {
    case OUTPUT_OPEN_FAILED: return "\nFailed to open file %s for writing\n";
    case OUTPUT_RENAME_FAILED: return "\nFailed to rename the complete text of %s into place\n";
    default: return "\nFailed to write file %s\n";
    }
}

void discardOutput(OutputFile *f)
{
    discardOutputOf(f);
}
