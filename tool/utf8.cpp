// TREVLIN: UTF-8 decoding, validation, encoding and cutting.
#include "utf8.h"

namespace
{

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Bytes of the character a lead byte begins; 0 for a continuation byte or
// a byte no UTF-8 character begins with.
size_t sequenceLength(unsigned char lead)
{
    return lead < 0x80   ? 1
           : lead < 0xC0 ? 0
           : lead < 0xE0 ? 2
           : lead < 0xF0 ? 3
           : lead < 0xF8 ? 4
                         : 0;
}

} // namespace

char32_t decodeUtf8(const std::string &text, size_t at, size_t *length)
{
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const size_t n = sequenceLength(lead);
    *length = 1;
    if (n <= 1 || at + n > text.size())
        return lead;
    char32_t c = lead & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if (!isContinuation(next))
            return lead;
        c = c << 6 | (next & 0x3F);
    }
    *length = n;
    return c;
}

bool isUtf8(const std::string &text)
{
    for (size_t k = 0; k < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[k]);
        const size_t n = sequenceLength(lead);
        if (n == 0 || (n > 1 && (lead < 0xC2 || k + n > text.size())))
            return false;
        for (size_t j = 1; j < n; ++j)
            if (!isContinuation(static_cast<unsigned char>(text[k + j])))
                return false;
        k += n;
    }
    return true;
}

void appendUtf8(std::string *text, char32_t c)
{
    if (c < 0x80) {
        text->push_back(static_cast<char>(c));
        return;
    }
    const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static const unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
    text->push_back(static_cast<char>(lead[extra] | (c >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k)
        text->push_back(static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F)));
}

size_t wholeCharacterBytes(const std::string &text)
{
    for (size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const unsigned char c = static_cast<unsigned char>(text[text.size() - back]);
        if (isContinuation(c))
            continue;
        return sequenceLength(c) > back ? text.size() - back : text.size();
    }
    return text.size();
}

void dropLastCharacter(std::string *text)
{
    while (!text->empty() && isContinuation(static_cast<unsigned char>(text->back())))
        text->pop_back();
    if (!text->empty())
        text->pop_back();
}

size_t utf16Units(const std::string &text)
{
    size_t units = 0;
    for (char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        units += isContinuation(b) ? 0 : 1;
        units += b >= 0xF0 ? 1 : 0;
    }
    return units;
}

std::string quotableName(const std::string &raw)
{
    std::string name;
    for (size_t at = 0; at < raw.size();) {
        size_t length = 0;
        const char32_t c = decodeUtf8(raw, at, &length);
        const bool notUtf8 = length == 1 && c >= 0x80;
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        if (notUtf8 || control)
            name += '?';
        else if (c == '"')
            name += '\'';
        else if (c == '\\')
            name += '/';
        else
            name.append(raw, at, length);
        at += length;
    }
    return name;
}
