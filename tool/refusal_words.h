// TREVLIN: a word on standard error for the refusals whose message on
// standard output, kept as it is, does not tell the user what went wrong
// or what to do. One line each; standard output stays as it is.
#ifndef TREVLIN_REFUSAL_WORDS_H
#define TREVLIN_REFUSAL_WORDS_H

#include "las_input.h"

#include <string>
#include <vector>

// A LAS 1.0/1.1 file declaring point data format 2 or 3 (check_las gives 0).
void explainUndefinedFormat(const char *name);
// A would-be list that is a LAS file (named .LAS) or a LAZ file; with -x
// given (`extended`), the name is what keeps it from being read.
void explainLasTakenForList(const char *name, const std::string &bytes, bool extended);
// A listed name that the validator refused with `result`, where it says
// nothing useful: an upper-case extension, a LAZ file, a directory, a file
// cut inside its header, or a name cut at a blank (`names` is the list,
// `at` the name's place in it).
void explainListedRefusal(const std::vector<std::string> &names, size_t at, int16_t result);
// The input named on the command line, refused by the validator.
void explainRefusedFile(const char *name, int16_t result);
// A first argument that does not name a file (a directory, an option given
// before too few arguments), before its malformed name ends the run.
void explainFirstArgument(const char *name, const char *second);
// An option refused for its value: the values it takes.
void explainRefusedOption(const char *word);
// A list whose bytes hold NULs: UTF-16 without its byte-order mark.
void explainNulInList(const char *listName, const std::string &bytes);
// Two listed files of different types, without -x.
void explainTypesDiffer(const std::string &name, const RecordType &type, const RecordType &before);

#endif
