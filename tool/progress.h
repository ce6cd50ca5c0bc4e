// TREVLIN: the progress line on a terminal.
#ifndef TREVLIN_PROGRESS_H
#define TREVLIN_PROGRESS_H

#include <cstdint>
#include <string>

// Shown only when standard error is a terminal; called only by the thread
// that writes. `position` is the input's place in a list (0: single file).
void progressStartFile(const std::string &name, int position, int count, uint64_t records);
// Decides, once per run, whether the line is shown and after how long a
// conversion counts as long.
void progressSetUp(bool shown, long delayMilliseconds);
// Records written so far of the file in hand.
void progressRecords(uint64_t done);
// Clears the line, if one is shown.
void progressEndFile();

#endif
