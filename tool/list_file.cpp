// TREVLIN: reading the names of a list file.
//
// Lists come as Windows editors and shells write them: UTF-8 with or
// without a byte-order mark, or UTF-16 (little- or big-endian) after its
// byte-order mark, as Notepad's "Unicode" and PowerShell 5.1's `>` write
// it; UTF-16 names are turned into UTF-8. A name in double quotes may hold
// blanks ("C:\Survey Data\Kachel 01.las"); the quotes are not part of it.
// No Windows name can contain a double quote, so no list that converted
// before changes meaning.
#include "TREVLIN_tool.h"

#include <cstring>

namespace
{

enum ListEncoding { LIST_BYTES, LIST_UTF16_LE, LIST_UTF16_BE };

// The encoding of the list being read, found by rewindList.
ListEncoding encoding = LIST_BYTES;

constexpr long END_OF_LIST = -1;
constexpr long REPLACEMENT = 0xFFFD; // for a UTF-16 unit that pairs with nothing

// White space as the C locale's isspace sees it, whatever the locale.
bool isListSeparator(long c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next UTF-16 unit; END_OF_LIST when fewer than two bytes are left.
long nextUnit(FILE *flist)
{
    const int first = std::getc(flist);
    const int second = first == EOF ? EOF : std::getc(flist);
    if (second == EOF)
        return END_OF_LIST;
    return encoding == LIST_UTF16_LE ? first | second << 8 : first << 8 | second;
}

// A unit read ahead that was not the low half of a pair.
long pendingUnit = END_OF_LIST;

long nextCodePoint(FILE *flist)
{
    long unit = pendingUnit != END_OF_LIST ? pendingUnit : nextUnit(flist);
    pendingUnit = END_OF_LIST;
    if (unit < 0xD800 || unit > 0xDFFF)
        return unit;
    if (unit > 0xDBFF)
        return REPLACEMENT;
    const long low = nextUnit(flist);
    if (low < 0xDC00 || low > 0xDFFF) {
        pendingUnit = low;
        return REPLACEMENT;
    }
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

// The next character: a byte of a list kept as its bytes, or a code point.
long nextCharacter(FILE *flist)
{
    if (encoding == LIST_BYTES) {
        const int c = std::getc(flist);
        return c == EOF ? END_OF_LIST : c;
    }
    return nextCodePoint(flist);
}

void appendUtf8(std::string *name, long c)
{
    if (c < 0x80) {
        name->push_back(static_cast<char>(c));
        return;
    }
    const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static const unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
    name->push_back(static_cast<char>(lead[extra] | (c >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k)
        name->push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
}

void appendCharacter(std::string *name, long c)
{
    if (encoding == LIST_BYTES)
        name->push_back(static_cast<char>(c));
    else
        appendUtf8(name, c);
}

bool startsWith(const unsigned char *mark, size_t got, const char *bytes, size_t n)
{
    return got >= n && std::memcmp(mark, bytes, n) == 0;
}

} // namespace

void rewindList(FILE *flist)
{
    std::rewind(flist);
    encoding = LIST_BYTES;
    pendingUnit = END_OF_LIST;
    unsigned char mark[3];
    const size_t got = std::fread(mark, 1, 3, flist);
    size_t skipped = 0;
    if (startsWith(mark, got, "\xEF\xBB\xBF", 3))
        skipped = 3;
    else if (startsWith(mark, got, "\xFF\xFE", 2))
        encoding = LIST_UTF16_LE, skipped = 2;
    else if (startsWith(mark, got, "\xFE\xFF", 2))
        encoding = LIST_UTF16_BE, skipped = 2;
    std::rewind(flist);
    for (size_t k = 0; k < skipped; ++k)
        std::getc(flist);
}

bool readListName(FILE *flist, std::string *name)
{
    long c;
    do
        c = nextCharacter(flist);
    while (isListSeparator(c));
    if (c == END_OF_LIST)
        return false;
    name->clear();
    if (c == '"') {
        for (c = nextCharacter(flist); c != END_OF_LIST && c != '"'; c = nextCharacter(flist))
            appendCharacter(name, c);
        return true;
    }
    for (; c != END_OF_LIST && !isListSeparator(c); c = nextCharacter(flist))
        appendCharacter(name, c);
    return true;
}

bool isUtf8(const std::string &text)
{
    for (size_t k = 0; k < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        const size_t extra = c < 0x80         ? 0
                             : (c >> 5) == 6  ? 1
                             : (c >> 4) == 14 ? 2
                             : (c >> 3) == 30 ? 3
                                              : 4;
        if (extra == 4 || (extra > 0 && (c < 0xC2 || k + extra >= text.size())))
            return false;
        for (size_t j = 1; j <= extra; ++j)
            if ((static_cast<unsigned char>(text[k + j]) & 0xC0) != 0x80)
                return false;
        k += extra + 1;
    }
    return true;
}
