// TREVLIN: the progress line. On a terminal, once a run has gone on for a
// while, standard error shows how far the file in hand has got, rewritten
// in place, and the line is cleared when the file is done, before standard
// output prints anything more, so that the screen ends up holding exactly
// what standard output printed. Anywhere else it writes nothing.
//
// The line must never wrap: a carriage return only goes back to the start
// of its row, so a wrapped line leaves a stale row behind at every redraw.
// It is therefore measured in display columns (a CJK character takes two,
// a combining mark none) against the terminal's width, asked at each
// redraw, and stops short of the last column.
#include "progress.h"

#include "interrupt_report.h"
#include "platform.h"
#include "utf8.h"

#include <chrono>
#include <cstdio>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(250);
// A file's rate is steady enough to tell the time left after this long.
constexpr auto STEADY_AFTER = std::chrono::seconds(2);

bool shown = false;                                     // standard error is a terminal
Clock::duration delay = std::chrono::milliseconds(500); // from the run's start
Clock::time_point runStart, fileStart, lastDrawn;
std::string fileName;                // the file in hand, as it is shown
int filePosition = 0, fileCount = 0; // its place in a list (0: single file)
uint64_t fileRecords = 0;            // its records, as its size tells
size_t drawnWidth = 0;               // columns of the line on screen

// ====================== Display columns ======================
struct CodeRange {
    char32_t first, last;
};

// East Asian wide and fullwidth characters, which terminals draw two
// columns wide.
constexpr CodeRange WIDE[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x16FE0, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks, joiners and variation selectors, which take no column.
constexpr CodeRange ZERO_WIDTH[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E},
    {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x20D0, 0x20FF},
    {0x302A, 0x302F}, {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
};

template <size_t N> bool within(char32_t c, const CodeRange (&ranges)[N])
{
    for (const CodeRange &r : ranges)
        if (c >= r.first && c <= r.last)
            return true;
    return false;
}

size_t columnsOf(char32_t c)
{
    return within(c, ZERO_WIDTH) ? 0 : within(c, WIDE) ? 2 : 1;
}

size_t displayColumns(const std::string &text)
{
    size_t columns = 0;
    for (size_t at = 0, n = 0; at < text.size(); at += n)
        columns += columnsOf(decodeUtf8(text, at, &n));
    return columns;
}

// The longest start of `text` that takes at most `columns`.
std::string fittingStart(const std::string &text, size_t columns)
{
    size_t used = 0, at = 0;
    for (size_t n = 0; at < text.size(); at += n) {
        const size_t w = columnsOf(decodeUtf8(text, at, &n));
        if (used + w > columns)
            break;
        used += w;
    }
    return text.substr(0, at);
}

// The longest end of `text` that takes at most `columns`, cut at a
// character's start.
std::string fittingEnd(const std::string &text, size_t columns)
{
    std::vector<size_t> starts; // where each character begins
    for (size_t at = 0, n = 0; at < text.size(); at += n) {
        decodeUtf8(text, at, &n);
        starts.push_back(at);
    }
    size_t used = 0, start = text.size();
    for (size_t k = starts.size(); k-- > 0;) {
        size_t n = 0;
        const size_t w = columnsOf(decodeUtf8(text, starts[k], &n));
        if (used + w > columns)
            break;
        used += w;
        start = starts[k];
    }
    return text.substr(start);
}

// A name as the line shows it: a control character would move the cursor,
// so it shows as '?'.
std::string printable(const std::string &name)
{
    std::string shownName = name;
    for (char &c : shownName)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return shownName;
}

// ====================== The line ======================
// m:ss, or h:mm:ss from an hour on.
std::string clockText(double seconds)
{
    const unsigned long s = static_cast<unsigned long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lu:%02lu", s / 60, s % 60);
    return text;
}

std::string figuresText(uint64_t done, Clock::duration elapsed)
{
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const uint64_t percent = done >= fileRecords ? 100 : done * 100 / fileRecords;
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    char figures[96];
    if (rate >= 1e6)
        std::snprintf(figures, sizeof figures, ": %3u%%, %.1f M records/s",
                      static_cast<unsigned>(percent), rate / 1e6);
    else
        std::snprintf(figures, sizeof figures, ": %3u%%, %.0f records/s",
                      static_cast<unsigned>(percent), rate);
    std::string text = figures;
    if (elapsed >= STEADY_AFTER && rate > 0 && done < fileRecords)
        text += ", " + clockText(static_cast<double>(fileRecords - done) / rate) + " left";
    return text;
}

// The line in at most `columns`: the name shortened from the left to what
// the place and the figures leave, or, when even they do not fit, the
// start of the whole line.
std::string lineText(uint64_t done, Clock::duration elapsed, size_t columns)
{
    std::string place;
    if (filePosition > 0)
        place = std::to_string(filePosition) + "/" + std::to_string(fileCount) + " ";
    const std::string figures = figuresText(done, elapsed);
    const size_t fixed = displayColumns(place) + displayColumns(figures);
    const size_t nameColumns = displayColumns(fileName);
    if (fixed + nameColumns <= columns)
        return place + fileName + figures;
    if (fixed + 4 <= columns)
        return place + "..." + fittingEnd(fileName, columns - fixed - 3) + figures;
    return fittingStart(place + fileName + figures, columns);
}

// Writes `line` over the one on screen, blanking what it does not cover.
void draw(const std::string &line)
{
    const size_t width = displayColumns(line);
    std::string text(1, '\r');
    text += line;
    if (width < drawnWidth)
        text.append(drawnWidth - width, ' ');
    writeStandardError(text);
    drawnWidth = width > drawnWidth ? width : drawnWidth;
    noteProgressWidth(drawnWidth);
}

void redraw(uint64_t done, Clock::time_point now)
{
    const size_t columns = standardErrorColumns();
    if (columns < 2)
        return;
    lastDrawn = now;
    // A line that shrank with the window would leave blanks past its edge.
    if (drawnWidth > columns - 1)
        drawnWidth = columns - 1;
    draw(lineText(done, now - fileStart, columns - 1));
}

} // namespace

void progressSetUp(bool onTerminal, long delayMilliseconds)
{
    shown = onTerminal;
    delay = std::chrono::milliseconds(delayMilliseconds);
    runStart = Clock::now();
}

void progressStartFile(const std::string &name, int position, int count, uint64_t records)
{
    if (!shown)
        return;
    fileName = printable(name);
    filePosition = position, fileCount = count, fileRecords = records;
    fileStart = Clock::now();
    drawnWidth = 0;
    // A list of short files shows its place from file to file.
    if (fileStart - runStart >= delay)
        redraw(0, fileStart);
}

// Called for every few thousand records, so reading the clock here costs
// nothing that a run could measure.
void progressRecords(uint64_t done)
{
    if (!shown)
        return;
    const Clock::time_point now = Clock::now();
    if (now - runStart < delay || (drawnWidth > 0 && now - lastDrawn < REDRAW_INTERVAL))
        return;
    redraw(done, now);
}

void progressEndFile()
{
    if (!shown || drawnWidth == 0)
        return;
    std::string blank(drawnWidth + 2, ' ');
    blank.front() = blank.back() = '\r';
    writeStandardError(blank);
    drawnWidth = 0;
    noteProgressWidth(0);
}
