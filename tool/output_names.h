// TREVLIN: every name a run writes, made in one place: the point file
// (<name>.asc or <name>.asc.gz), the header report (<name>_hdr.asc) and
// their temporaries, beside the input or in the output folder; and the
// check that no two inputs of a run would write one of them.
#ifndef TREVLIN_OUTPUT_NAMES_H
#define TREVLIN_OUTPUT_NAMES_H

#include <string>
#include <vector>

// Where the outputs go and how the point file is written.
struct NamingRule {
    const char *outputDir = nullptr; // -o DIR; null: beside each input
    bool gzip = false;               // -z: <name>.asc.gz
};

struct OutputNames {
    std::string points, report;
};

// The outputs of an input named `<stem>.<ext>` (an extension of three
// characters, as validation ensures).
OutputNames outputNamesOf(const std::string &input, const NamingRule &rule);

// Where an output is written until it is whole: beside it, as
// <name>.<process>.incomplete (-2, -3... on later attempts), the stem
// shortened where the last component would pass the file system's limit.
std::string temporaryNameOf(const std::string &name, unsigned long process, int attempt);

// `name` in the folder `dir`, with the separator `dir` already uses, or
// the platform's own ("o\a.asc" on Windows, "o/a.asc" elsewhere).
std::string joinPath(const std::string &dir, const std::string &name);
// The name without its folders.
std::string lastPathComponent(const std::string &path);

// Two inputs that would write one file, and the file.
struct NameCollision {
    std::string first, second, output;
};

// Whether two different inputs would write the same file: any output of
// one against any output of the other, as the file system tells files
// apart (sameFileKey). An input named twice, however spelled, writes its
// files twice, which is no collision.
bool findNameCollision(const std::vector<std::string> &inputs, const NamingRule &rule,
                       NameCollision *collision);

// An input whose output would replace `file` (the list being read): its
// name and the output's; false when none would.
bool findOutputOnto(const std::vector<std::string> &inputs, const NamingRule &rule,
                    const std::string &file, NameCollision *collision);

#endif
