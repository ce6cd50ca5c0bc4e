// TREVLIN: the life of an output file. Every output comes into being the
// same way, so that a file under its final name is always whole: the one
// from before the run, or the new one, never a part. The calling sequence:
//   beginOutput    names a temporary beside the final name, tells the
//                  interrupt handler, then creates it (exclusively);
//   write          into f.stream;
//   commitOutput   closes, checks the close, renames over the final name
//                  (or closeOutput now and placeOutput later, so that one
//                  output waits whole for another before either is in
//                  place);
//   or discardOutput, which closes and removes the temporary.
// A failure anywhere removes the temporary, and so does every exit of the
// process while one is open. Only a kill that no handler sees (SIGKILL, a
// crash) leaves one, under a name ending in ".incomplete".
// A final name that is a pipe or a device (/dev/null, a FIFO a reader
// waits on) is written directly: there is no file there to replace.
#ifndef TREVLIN_OUTPUT_FILE_H
#define TREVLIN_OUTPUT_FILE_H

#include <cstdio>
#include <string>

struct OutputFile {
    std::string name;      // the final name
    std::string temporary; // where the text is written; `name` when directly
    FILE *stream;
};

// What became of an output; the caller reports a failure and ends the run.
enum OutputOutcome {
    OUTPUT_DONE,          // whole under its final name
    OUTPUT_OPEN_FAILED,   // "Failed to open file <name> for writing"
    OUTPUT_WRITE_FAILED,  // "Failed to write file <name>"
    OUTPUT_RENAME_FAILED, // "Failed to rename the complete text of <name> into place"
};

// Opens the output: OUTPUT_DONE, or OUTPUT_OPEN_FAILED with nothing left
// and errno saying why.
OutputOutcome beginOutput(OutputFile *f, const std::string &name);
// Puts the complete output under its final name. `written` says whether
// every write succeeded; when not, or when the close or the rename fails,
// the temporary is removed and the final name keeps what it held.
OutputOutcome commitOutput(OutputFile *f, bool written);
// The two halves of commitOutput. closeOutput leaves the whole output
// under its temporary name, removed by an exit or an interrupt until
// placeOutput renames it; one output at a time may wait so.
OutputOutcome closeOutput(OutputFile *f, bool written);
OutputOutcome placeOutput(OutputFile *f);
// Closes the output and removes the temporary; the final name keeps what
// it held before.
void discardOutput(OutputFile *f);
// With `durable`, each output reaches the disk before its rename, and the
// rename before the next output begins, so that a power cut leaves the old
// file or the new one under the final name, whole.
void setDurableOutputs(bool durable);

// The message of a failed outcome, with "%s" for the file's name.
const char *outputFailureMessage(OutputOutcome outcome);

#endif
