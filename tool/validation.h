// TREVLIN: everything the run checks before it writes a byte: the input
// file or every file of a list, the columns and the Format they must serve,
// the output folder, and that no two inputs would write one output. Each
// check prints its refusal (on standard output, with words on standard
// error) and returns false; the driver ends the run. With -k a list's
// refused files are set aside instead, each with its message.
#ifndef TREVLIN_VALIDATION_H
#define TREVLIN_VALIDATION_H

#include "las_input.h"
#include "laz_input.h"
#include "output_names.h"

#include <cstdio>
#include <string>
#include <vector>

// An input as validation found it.
struct Input {
    std::string name;
    RecordType type;
};

// What the checks depend on among the options.
struct ValidationRules {
    bool extended = false;         // -x
    bool keepGoing = false;        // -k: a refused listed file is set aside
    NamingRule naming;             // where the outputs go
    const char *columns = nullptr; // -c LIST
};

// The inputs that passed, and with -k the listed names that did not.
struct Inputs {
    std::vector<Input> accepted;
    std::vector<std::string> refused;
};

// Reads the header the file's version has into *h and makes sure it still
// describes the file that was validated, with point data after it.
bool readCheckedHeader(FILE *fin, const std::string &name, const RecordType &type, bool extended,
                       LAS15Header *h);
// A LAZ input's VLR and chunk table.
bool readCheckedLazContainer(FILE *fin, const std::string &name, const LAS14Header &h,
                             const RecordType &type, LazFile *laz);

// The one input named on the command line.
bool validateFile(const char *input, const ValidationRules &rules, Inputs *inputs);
// Every file the list `listName` names; with -k, false only when none
// passes or two would write one output.
bool validateList(const char *listName, const ValidationRules &rules, Inputs *inputs);
// -c: every input has every chosen column.
bool checkColumnsOfAll(const ValidationRules &rules, Inputs *inputs);
// The Format serves every input (without -x one type for all, and the
// refusal names `input`, the command's file or list).
bool checkAvailabilityOfAll(int Format, const char *input, const ValidationRules &rules,
                            Inputs *inputs);
// -o DIR names a folder.
bool checkOutputFolder(const char *outputDir);

#endif
