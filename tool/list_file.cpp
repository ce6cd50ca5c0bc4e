// TREVLIN: reading the names of a list file.
//
// Lists come as Windows editors and shells write them: UTF-8 with or
// without a byte-order mark, or UTF-16 (little- or big-endian) after its
// byte-order mark, as Notepad's "Unicode" and PowerShell 5.1's `>` write
// it; UTF-16 names are turned into UTF-8. A name in double quotes may hold
// blanks ("C:\Survey Data\Kachel 01.las"); the quotes are not part of it.
// No Windows name can contain a double quote, so no list that converted
// before changes meaning.
#include "list_file.h"

#include "utf8.h"

#include <cstring>

namespace
{

enum ListEncoding { LIST_BYTES, LIST_UTF16_LE, LIST_UTF16_BE };

constexpr long END_OF_LIST = -1;
constexpr long REPLACEMENT = 0xFFFD; // for a UTF-16 unit that pairs with nothing

// A list's bytes being read, character by character.
struct ListCursor {
    const std::string &bytes;
    size_t at;
    ListEncoding encoding;
    long pendingUnit; // a unit read ahead that was not the low half of a pair
};

// White space as the C locale's isspace sees it, whatever the locale.
bool isListSeparator(long c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next UTF-16 unit; END_OF_LIST when fewer than two bytes are left.
long nextUnit(ListCursor *list)
{
    if (list->bytes.size() - list->at < 2)
        return END_OF_LIST;
    const long first = static_cast<unsigned char>(list->bytes[list->at]);
    const long second = static_cast<unsigned char>(list->bytes[list->at + 1]);
    list->at += 2;
    return list->encoding == LIST_UTF16_LE ? first | second << 8 : first << 8 | second;
}

long nextCodePoint(ListCursor *list)
{
    long unit = list->pendingUnit != END_OF_LIST ? list->pendingUnit : nextUnit(list);
    list->pendingUnit = END_OF_LIST;
    if (unit < 0xD800 || unit > 0xDFFF)
        return unit;
    if (unit > 0xDBFF)
        return REPLACEMENT;
    const long low = nextUnit(list);
    if (low < 0xDC00 || low > 0xDFFF) {
        list->pendingUnit = low;
        return REPLACEMENT;
    }
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

// The next character: a byte of a list kept as its bytes, or a code point.
long nextCharacter(ListCursor *list)
{
    if (list->encoding != LIST_BYTES)
        return nextCodePoint(list);
    if (list->at == list->bytes.size())
        return END_OF_LIST;
    return static_cast<unsigned char>(list->bytes[list->at++]);
}

void appendCharacter(const ListCursor &list, std::string *name, long c)
{
    if (list.encoding == LIST_BYTES)
        name->push_back(static_cast<char>(c));
    else
        appendUtf8(name, static_cast<char32_t>(c));
}

// The list at its first name: after the UTF-8 byte-order mark that Windows
// editors write there; a UTF-16 byte-order mark makes it read as UTF-16.
ListCursor startOf(const std::string &bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return ListCursor{bytes, 3, LIST_BYTES, END_OF_LIST};
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        return ListCursor{bytes, 2, LIST_UTF16_LE, END_OF_LIST};
    if (bytes.compare(0, 2, "\xFE\xFF") == 0)
        return ListCursor{bytes, 2, LIST_UTF16_BE, END_OF_LIST};
    return ListCursor{bytes, 0, LIST_BYTES, END_OF_LIST};
}

bool nextName(ListCursor *list, std::string *name)
{
    long c;
    do
        c = nextCharacter(list);
    while (isListSeparator(c));
    if (c == END_OF_LIST)
        return false;
    name->clear();
    if (c == '"') {
        for (c = nextCharacter(list); c != END_OF_LIST && c != '"'; c = nextCharacter(list))
            appendCharacter(*list, name, c);
        return true;
    }
    for (; c != END_OF_LIST && !isListSeparator(c); c = nextCharacter(list))
        appendCharacter(*list, name, c);
    return true;
}

} // namespace

bool readListBytes(FILE *flist, std::string *bytes)
{
    bytes->clear();
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, flist)) > 0)
        bytes->append(chunk, got);
    return std::ferror(flist) == 0;
}

std::vector<std::string> listNames(const std::string &bytes)
{
    std::vector<std::string> names;
    ListCursor list = startOf(bytes);
    std::string name;
    while (nextName(&list, &name))
        names.push_back(name);
    return names;
}

std::vector<std::string> listLines(const std::string &bytes)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < bytes.size();) {
        size_t end = bytes.find('\n', at);
        end = end == std::string::npos ? bytes.size() : end;
        std::string line = bytes.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos)
            lines.push_back(line);
        at = end + 1;
    }
    return lines;
}
