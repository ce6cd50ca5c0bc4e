// TREVLIN: reading the names of a list file.
#include "TREVLIN_tool.h"

namespace
{

// White space as the C locale's isspace sees it, whatever the locale.
bool isListSeparator(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

void rewindList(FILE *flist)
{
    std::rewind(flist);
    unsigned char mark[3];
    if (std::fread(mark, 1, 3, flist) == 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF)
        return;
    std::rewind(flist);
}

bool readListName(FILE *flist, std::string *name)
{
    int c;
    do
        c = std::getc(flist);
    while (isListSeparator(c));
    if (c == EOF)
        return false;
    name->clear();
    for (; c != EOF && !isListSeparator(c); c = std::getc(flist))
        name->push_back(static_cast<char>(c));
    return true;
}
