// TREVLIN: the checks made before anything is written.
#include "validation.h"

#include "extra_bytes.h"
#include "list_file.h"
#include "platform.h"
#include "point_export.h"
#include "refusal_words.h"
#include "utf8.h"

#include <cerrno>
#include <cstring>

namespace
{

// What the conversion would refuse on the header alone: the file opens
// and its header is whole, with point data after it; a LAZ file's VLR and
// chunk table are whole too.
bool checkHeaderOf(const std::string &name, const RecordType &type, bool extended)
{
    FILE *fin = openInputFile(name.c_str());
    if (!fin) {
        std::printf("\nCannot open binary file %s for reading\n\n", name.c_str());
        return false;
    }
    LAS15Header h;
    bool whole = readCheckedHeader(fin, name, type, extended, &h);
    if (whole && type.compressed) {
        LazFile laz;
        whole = readCheckedLazContainer(fin, name, h.Base, type, &laz);
    }
    std::fclose(fin);
    return whole;
}

// Two listed files that would write one output (x.las and x_hdr.las, or
// with an output folder two of one last name): the second would replace
// the first's. An output onto the list would replace the list.
bool checkOutputsApart(const std::vector<std::string> &names, const NamingRule &rule,
                       const char *listName)
{
    NameCollision c;
    if (findOutputOnto(names, rule, listName, &c)) {
        std::printf("\n%s, listed in %s, would be written as %s, the list itself\n",
                    c.first.c_str(), listName, c.output.c_str());
        return false;
    }
    if (!findNameCollision(names, rule, &c))
        return true;
    std::printf("\n%s and %s, listed in %s, would both be written as %s\n", c.first.c_str(),
                c.second.c_str(), listName, c.output.c_str());
    return false;
}

// A refused listed file, with every word that may help.
void explainRefusedListed(const std::vector<std::string> &names, size_t at, const char *listName,
                          int16_t result, bool extended)
{
    const std::string &name = names[at];
    explainListedRefusal(names, at, result);
    if (!extended)
        explainExtendedOnly(name.c_str(), listName);
    if (!isUtf8(name))
        reportToStandardError("TREVLIN: %s is not UTF-8: a list must be UTF-8, or UTF-16 with its "
                              "byte-order mark\n",
                              listName);
    std::printf("%s (listed in %s) is not a valid LAS file\n", name.c_str(), listName);
}

// With -x a listed file that cannot be opened gets one line, with the
// system's reason; without it, the validator's own words.
bool opensUnderExtended(const std::string &name, const char *listName)
{
    FILE *f = openInputFile(name.c_str());
    if (f) {
        std::fclose(f);
        return true;
    }
    const int error = errno;
    std::printf("\n%s (listed in %s) cannot be opened: %s\n", name.c_str(), listName,
                std::strerror(error));
    return false;
}

// Judges one listed file; prints why it is refused.
bool acceptListed(const std::vector<std::string> &names, size_t at, const char *listName,
                  const std::string &bytes, const ValidationRules &rules,
                  const std::vector<Input> &before, RecordType *type)
{
    const std::string &name = names[at];
    // A name with a NUL byte would reach the file system cut short.
    if (name.find('\0') != std::string::npos) {
        explainNulInList(listName, bytes);
        std::printf("\nA name listed in %s contains a NUL byte\n", listName);
        return false;
    }
    if (rules.extended && !opensUnderExtended(name, listName))
        return false;
    const int16_t result = checkInput(name.c_str(), rules.extended, type);
    if (result < 1) {
        explainRefusedListed(names, at, listName, result, rules.extended);
        return false;
    }
    if (!rules.extended && !before.empty() && *type != before.front().type) {
        explainTypesDiffer(name, *type, before.front().type);
        std::printf("\nType of file %s differs from that of previous files in %s\n", name.c_str(),
                    listName);
        return false;
    }
    return checkHeaderOf(name, *type, rules.extended);
}

// The bytes of a list, read whole before any name is checked.
bool readList(const char *listName, bool extended, std::string *bytes)
{
    FILE *flist = openListFile(listName);
    const bool read = flist && readListBytes(flist, bytes);
    if (flist)
        std::fclose(flist);
    if (!read) {
        std::printf("\nCannot open input ASCII file %s for reading\n", listName);
        return false;
    }
    explainLasTakenForList(listName, *bytes, extended);
    return true;
}

bool checkAvailability(int Format, const RecordType &type, const char *name)
{
    if (formatServesType(Format, type))
        return true;
    const bool wantsTime = Format == 13 || Format == 17 || Format == 18;
    std::printf(wantsTime ? "\n%s does not contain GPS Time data\n"
                          : "\n%s does not contain RGB data\n",
                name);
    return false;
}

// The chosen columns of one input, or its refusal.
bool hasColumns(const Input &in, const ValidationRules &rules)
{
    FILE *fin = openInputFile(in.name.c_str());
    if (!fin) {
        std::printf("\nCannot open binary file %s for reading\n\n", in.name.c_str());
        return false;
    }
    LAS15Header h;
    if (!readCheckedHeader(fin, in.name, in.type, rules.extended, &h)) {
        std::fclose(fin);
        return false;
    }
    std::string unused;
    const ExtraColumns extras =
        extraBytesOf(in.type) > 0 ? extraColumnsOf(fin, h.Base, in.type, &unused) : ExtraColumns{};
    std::fclose(fin);
    std::vector<int> chosen;
    std::string problem;
    if (chooseColumns(rules.columns, in.type, &extras, &chosen, &problem))
        return true;
    if (problem.compare(0, 2, "-c") == 0)
        std::printf("\n%s\n", problem.c_str());
    else
        std::printf("\n%s %s\n", in.name.c_str(), problem.c_str());
    return false;
}

// Keeps the inputs `passes` accepts; with -k the others are set aside,
// without it the first refused ends the checks.
template <typename Check>
bool keepPassing(const ValidationRules &rules, Inputs *inputs, Check passes)
{
    std::vector<Input> kept;
    for (const Input &in : inputs->accepted) {
        if (passes(in)) {
            kept.push_back(in);
            continue;
        }
        if (!rules.keepGoing)
            return false;
        inputs->refused.push_back(in.name);
    }
    inputs->accepted = kept;
    return !kept.empty();
}

} // namespace

bool readCheckedHeader(FILE *fin, const std::string &name, const RecordType &type, bool extended,
                       LAS15Header *h)
{
    *h = LAS15Header{};
    const unsigned bytes = headerBytesToRead(type, extended);
    if (!read_exact(fin, h, bytes)) {
        std::printf("\nFile %s ends within its %u-byte header\n", name.c_str(), bytes);
        return false;
    }
    if (recordTypeOfHeader(*h, extended) != type) {
        std::printf("\nFile %s has changed since it was validated\n", name.c_str());
        return false;
    }
    if (h->Base.Public.OffsetToData < LAS_HEADER_SIZE) {
        std::printf("\nOffsetToData of %s (%u) lies within its 227-byte header\n", name.c_str(),
                    static_cast<unsigned>(h->Base.Public.OffsetToData));
        return false;
    }
    return true;
}

bool readCheckedLazContainer(FILE *fin, const std::string &name, const LAS14Header &h,
                             const RecordType &type, LazFile *laz)
{
    std::string why;
    const LazReadOutcome outcome = readLazFile(fin, h, type, laz, &why);
    if (outcome == LAZ_READ)
        return true;
    std::printf(lazRefusalMessage(outcome), name.c_str(), why.c_str());
    return false;
}

bool validateFile(const char *input, const ValidationRules &rules, Inputs *inputs)
{
    RecordType type;
    const int16_t result = checkInput(input, rules.extended, &type);
    if (result < 1)
        explainRefusedFile(input, result);
    if (result < 0 && !rules.extended)
        explainExtendedOnly(input, input);
    if (result < 1)
        return false;
    // A LAZ file is judged whole before anything is written, as a list is.
    if (type.compressed && !checkHeaderOf(input, type, rules.extended))
        return false;
    inputs->accepted = {Input{input, type}};
    return true;
}

// Every name must be a convertible LAS file, and without -x all of one
// record type. The names are kept, so that the conversion converts
// exactly what was checked. Collisions are judged on the whole list, the
// refused names too: a list is one collection.
bool validateList(const char *listName, const ValidationRules &rules, Inputs *inputs)
{
    std::string bytes;
    if (!readList(listName, rules.extended, &bytes))
        return false;
    const std::vector<std::string> names = listNames(bytes);
    for (size_t at = 0; at < names.size(); ++at) {
        RecordType type;
        if (acceptListed(names, at, listName, bytes, rules, inputs->accepted, &type)) {
            inputs->accepted.push_back(Input{names[at], type});
            continue;
        }
        if (!rules.keepGoing)
            return false;
        inputs->refused.push_back(names[at]);
    }
    if (inputs->accepted.empty()) {
        std::printf("\nFile %s contains no valid .las files\n", listName);
        return false;
    }
    return checkOutputsApart(names, rules.naming, listName);
}

bool checkColumnsOfAll(const ValidationRules &rules, Inputs *inputs)
{
    return keepPassing(rules, inputs, [&](const Input &in) { return hasColumns(in, rules); });
}

// Without -x every input has one type, and a refusal names the command's
// input (the file or the list); with -x a list may mix types, and the
// refusal names the file that the Format does not serve.
bool checkAvailabilityOfAll(int Format, const char *input, const ValidationRules &rules,
                            Inputs *inputs)
{
    if (!rules.extended)
        return checkAvailability(Format, inputs->accepted.front().type, input);
    return keepPassing(rules, inputs, [&](const Input &in) {
        return checkAvailability(Format, in.type, in.name.c_str());
    });
}

bool checkOutputFolder(const char *outputDir)
{
    if (!outputDir || outputTargetOf(outputDir) == TARGET_DIRECTORY)
        return true;
    std::printf("\n%s is not a directory\n", outputDir);
    return false;
}
