// TREVLIN: a word on standard error for the refusals whose message on
// standard output, kept as it is, does not tell the user what to do.
#include "TREVLIN_tool.h"
#include "platform.h"

#include <cstring>
#include <string>

namespace
{

const char LOWER_CASE_ADVICE[] =
    "LAS files are recognised by the lower-case extension .las; rename it (on Windows, "
    "typing the name with .las is enough)";

// A listed name that ends in .LAS, .Las...: the validator wants ".las".
bool endsInOtherCaseLas(const std::string &name)
{
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".las") == 0)
        return false;
    const std::string end = name.substr(name.size() - 4);
    return end[0] == '.' && (end[1] | 0x20) == 'l' && (end[2] | 0x20) == 'a' &&
           (end[3] | 0x20) == 's';
}

} // namespace

// A LAS 1.0 or 1.1 file that declares point data format 2 or 3 is refused
// by the validator without a message of its own.
void explainUndefinedFormat(const char *name)
{
    FILE *f = open_stream(name, "rb");
    unsigned char head[105];
    const bool read = f && read_exact(f, head, sizeof head);
    if (f)
        std::fclose(f);
    if (!read)
        return;
    reportToStandardError(
        "TREVLIN: %s is LAS 1.%c with point data format %c, which LAS 1.%c does not "
        "define\n",
        name, head[25] + 48, head[104] + 48, head[25] + 48);
}

// A LAS file given with an upper-case .LAS is taken for a list.
void explainLasTakenForList(const char *name, const std::string &bytes)
{
    if (bytes.compare(0, 4, "LASF") == 0)
        reportToStandardError("TREVLIN: %s is a LAS file, not a list: %s\n", name,
                              LOWER_CASE_ADVICE);
}

// Why a listed name was refused, where the validator says nothing useful.
void explainListedRefusal(const std::string &name, int16_t LASType)
{
    if (LASType == 0)
        explainUndefinedFormat(name.c_str());
    else if (endsInOtherCaseLas(name))
        reportToStandardError("TREVLIN: %s is listed with an upper-case extension: %s\n",
                              name.c_str(), LOWER_CASE_ADVICE);
}
