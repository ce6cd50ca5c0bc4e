// TREVLIN: the names of the output files.
#include "output_names.h"

#include "platform.h"
#include "utf8.h"

#include <map>

namespace
{

// Leftovers of a killed run end in this, which says what they are.
constexpr char TEMPORARY_SUFFIX[] = ".incomplete";

// The longest name component file systems take: 255 bytes on Linux, 255
// UTF-16 units on Windows (as nameUnits counts them).
constexpr size_t MAX_NAME_UNITS = 255;

} // namespace

std::string joinPath(const std::string &dir, const std::string &name)
{
    if (dir.empty())
        return name;
    if (std::string(PATH_SEPARATORS).find(dir.back()) != std::string::npos)
        return dir + name;
    const size_t at = dir.find_last_of(PATH_SEPARATORS);
    return dir + (at == std::string::npos ? PATH_SEPARATORS[0] : dir[at]) + name;
}

std::string lastPathComponent(const std::string &path)
{
    const size_t at = path.find_last_of(PATH_SEPARATORS);
    return at == std::string::npos ? path : path.substr(at + 1);
}

OutputNames outputNamesOf(const std::string &input, const NamingRule &rule)
{
    std::string stem = input.substr(0, input.size() - 4);
    if (rule.outputDir)
        stem = joinPath(rule.outputDir, lastPathComponent(stem));
    return {stem + (rule.gzip ? ".asc.gz" : ".asc"), stem + "_hdr.asc"};
}

std::string temporaryNameOf(const std::string &name, unsigned long process, int attempt)
{
    // Appended piece by piece: GCC 12 warns falsely on a chain of operator+.
    std::string suffix = ".";
    suffix += std::to_string(process);
    if (attempt > 1) {
        suffix += '-';
        suffix += std::to_string(attempt);
    }
    suffix += TEMPORARY_SUFFIX;
    std::string component = lastPathComponent(name);
    const std::string folder = name.substr(0, name.size() - component.size());
    while (!component.empty() && nameUnits(component) + nameUnits(suffix) > MAX_NAME_UNITS)
        dropLastCharacter(&component);
    return folder + component + suffix;
}

bool findNameCollision(const std::vector<std::string> &inputs, const NamingRule &rule,
                       NameCollision *collision)
{
    struct Writer {
        const std::string *input;
        std::string key; // the input's, as the file system knows it
    };
    std::map<std::string, Writer> writerOf; // output key -> input
    for (const std::string &input : inputs) {
        const OutputNames names = outputNamesOf(input, rule);
        const std::string inputKey = sameFileKey(input);
        for (const std::string *output : {&names.points, &names.report}) {
            const auto [at, isNew] =
                writerOf.emplace(sameFileKey(*output), Writer{&input, inputKey});
            if (isNew || at->second.key == inputKey)
                continue;
            *collision = NameCollision{*at->second.input, input, *output};
            return true;
        }
    }
    return false;
}

bool findOutputOnto(const std::vector<std::string> &inputs, const NamingRule &rule,
                    const std::string &file, NameCollision *collision)
{
    const std::string fileKey = sameFileKey(file);
    for (const std::string &input : inputs) {
        const OutputNames names = outputNamesOf(input, rule);
        for (const std::string *output : {&names.points, &names.report})
            if (sameFileKey(*output) == fileKey) {
                *collision = NameCollision{input, file, *output};
                return true;
            }
    }
    return false;
}
