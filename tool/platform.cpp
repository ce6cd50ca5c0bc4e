// TREVLIN: the platform-specific part of the tool's start.
#include "platform.h"

#ifdef _WIN32
#include <cstdlib>
#include <windows.h>

namespace
{

UINT consoleCodePageBefore = 0;

void restoreConsole()
{
    SetConsoleOutputCP(consoleCodePageBefore);
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
}
#else
void prepareConsole()
{
}
#endif
