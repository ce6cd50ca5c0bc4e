// TREVLIN: the names a list file holds.
#ifndef TREVLIN_LIST_FILE_H
#define TREVLIN_LIST_FILE_H

#include <cstdio>
#include <string>
#include <vector>

// The whole of a list file, read once (a list may be a pipe); false when
// reading failed.
bool readListBytes(FILE *flist, std::string *bytes);

// The names of a list: separated by white space, or written in double
// quotes and then holding blanks; they may hold any other byte. A UTF-8
// byte-order mark is skipped; after a UTF-16 one the list is read as
// UTF-16 and its names are given in UTF-8.
std::vector<std::string> listNames(const std::string &bytes);

// The names of a list of tiles as find prints them: one a line, taken
// whole (blanks and quotes are part of a name), a line end of CR LF as
// one of LF, blank lines skipped.
std::vector<std::string> listLines(const std::string &bytes);

#endif
