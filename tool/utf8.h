// TREVLIN: UTF-8, the text every name is held in: decoding, validating,
// encoding and cutting at character boundaries, in one place.
#ifndef TREVLIN_UTF8_H
#define TREVLIN_UTF8_H

#include <cstddef>
#include <cstdint>
#include <string>

// The code point at text[at], and in *length the bytes it takes. A byte
// that does not begin valid UTF-8 stands for itself, one byte long.
char32_t decodeUtf8(const std::string &text, size_t at, size_t *length);

// Whether the text is UTF-8 throughout (no overlong two-byte forms).
bool isUtf8(const std::string &text);

// Appends the UTF-8 bytes of a code point.
void appendUtf8(std::string *text, char32_t c);

// How many leading bytes of `text` end on a whole character, so that a
// character split between two writes is sent whole.
size_t wholeCharacterBytes(const std::string &text);

// Removes the last character.
void dropLastCharacter(std::string *text);

// UTF-16 units the text takes: one per character, two beyond U+FFFF.
size_t utf16Units(const std::string &text);

// A name from a file as it can stand inside double quotes on one line of
// text: a double quote becomes ', a backslash /, and a control character
// or a byte that is not UTF-8 ?, so that every reader finds the quotes
// balanced and the line whole.
std::string quotableName(const std::string &raw);

#endif
