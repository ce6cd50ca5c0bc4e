// TREVLIN: the progress line. On a terminal, a conversion that has run for
// a while shows on standard error how far it has got, rewritten in place,
// and clears it when the file is done, so that the screen ends up holding
// exactly what standard output printed. Anywhere else it writes nothing.
#include "TREVLIN_tool.h"
#include "platform.h"

#include <chrono>
#include <cstdio>

namespace
{

using Clock = std::chrono::steady_clock;

// At most this many characters of a name, so that the line stays on one
// row of a terminal (carriage return only goes back to the row's start).
constexpr size_t NAME_COLUMNS = 40;
constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(250);

bool shown = false;                                     // standard error is a terminal
Clock::duration delay = std::chrono::milliseconds(500); // before a file counts as long
std::string fileName;                                   // the file in hand, shortened
int filePosition = 0, fileCount = 0;                    // its place in a list (0: single file)
uint64_t fileRecords = 0;                               // its records, as its size tells
Clock::time_point fileStart, lastDrawn;
size_t drawnWidth = 0; // characters of the line on screen

// The last NAME_COLUMNS characters of a long name, after "...", cut at a
// character boundary of its UTF-8.
std::string shortened(const std::string &name)
{
    size_t characters = 0, at = name.size();
    while (at > 0 && characters < NAME_COLUMNS - 3) {
        --at;
        if ((static_cast<unsigned char>(name[at]) & 0xC0) != 0x80)
            ++characters;
    }
    if (at == 0)
        return name;
    return "..." + name.substr(at);
}

std::string lineText(uint64_t done, double seconds)
{
    const uint64_t percent = done >= fileRecords ? 100 : done * 100 / fileRecords;
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    char place[32] = "";
    if (filePosition > 0)
        std::snprintf(place, sizeof place, "%d/%d ", filePosition, fileCount);
    char figures[96];
    if (rate >= 1e6)
        std::snprintf(figures, sizeof figures, ": %3u%%, %.1f M records/s",
                      static_cast<unsigned>(percent), rate / 1e6);
    else
        std::snprintf(figures, sizeof figures, ": %3u%%, %.0f records/s",
                      static_cast<unsigned>(percent), rate);
    return place + fileName + figures;
}

// Writes `line` over the one on screen, blanking what it does not cover.
void draw(const std::string &line)
{
    std::string text(1, '\r');
    text += line;
    if (line.size() < drawnWidth)
        text.append(drawnWidth - line.size(), ' ');
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    drawnWidth = line.size() > drawnWidth ? line.size() : drawnWidth;
    noteProgressWidth(drawnWidth);
}

} // namespace

void progressSetUp(bool onTerminal, long delayMilliseconds)
{
    shown = onTerminal;
    delay = std::chrono::milliseconds(delayMilliseconds);
}

void progressStartFile(const std::string &name, int position, int count, uint64_t records)
{
    if (!shown)
        return;
    fileName = shortened(name);
    filePosition = position, fileCount = count, fileRecords = records;
    fileStart = Clock::now();
    drawnWidth = 0;
}

// Called for every few thousand records, so reading the clock here costs
// nothing that a run could measure.
void progressRecords(uint64_t done)
{
    if (!shown)
        return;
    const Clock::time_point now = Clock::now();
    if (now - fileStart < delay || (drawnWidth > 0 && now - lastDrawn < REDRAW_INTERVAL))
        return;
    lastDrawn = now;
    draw(lineText(done, std::chrono::duration<double>(now - fileStart).count()));
}

void progressEndFile()
{
    if (!shown || drawnWidth == 0)
        return;
    std::string blank(drawnWidth + 2, ' ');
    blank.front() = blank.back() = '\r';
    std::fwrite(blank.data(), 1, blank.size(), stderr);
    std::fflush(stderr);
    drawnWidth = 0;
    noteProgressWidth(0);
}
