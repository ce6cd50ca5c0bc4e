// TREVLIN: messages on standard error, after what standard output has
// printed, shown right on a console.
#include "platform.h"

#include <cstdarg>

void reportToStandardError(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    char small[512];
    va_list again;
    va_copy(again, arguments);
    const int n = std::vsnprintf(small, sizeof small, format, arguments);
    va_end(arguments);
    std::string text;
    if (n >= 0 && static_cast<size_t>(n) < sizeof small)
        text.assign(small, static_cast<size_t>(n));
    else if (n >= 0) {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(n));
    }
    va_end(again);
    flushStandardOutput(); // what standard output printed comes first
    writeStandardError(text);
}
