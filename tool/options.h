// TREVLIN: the options in front of the two arguments.
#ifndef TREVLIN_OPTIONS_H
#define TREVLIN_OPTIONS_H

// What the options ask for; every field's default is the run that two
// arguments alone make.
struct RunOptions {
    const char *outputDir = nullptr;       // -o DIR: outputs there, not beside the input
    int gzipLevel = 0;                     // -z, --gzip=LEVEL: the point file as .asc.gz
    bool quiet = false;                    // -q: standard output gets failures only
    bool extended = false;                 // -x: LAS 1.3/1.4, formats 4-10, extra bytes
    const char *threads = nullptr;         // -j N: as TREVLIN_THREADS, and before it
    const char *threadsOption = nullptr;   // the word that gave it, for its refusal
    const char *sync = nullptr;            // --sync[=0|1]: as TREVLIN_SYNC, and before it
    const char *columns = nullptr;         // -c LIST, --columns=LIST: these columns, no Format
    const char *delimiter = nullptr;       // -d CHAR, --delimiter=CHAR, --csv: between columns
    const char *delimiterOption = nullptr; // the word that gave it, for its refusal
    bool toStandardOutput = false;         // --stdout: the point text to standard output
    bool keepGoing = false;                // -k, --keep-going: a list goes on past a refused file
    const char *checkNames = nullptr;      // --check-names TILES: judge the names, convert nothing
    const char *printOutputs = nullptr;    // --print-outputs NAME: the outputs NAME would write
};
constexpr int DEFAULT_GZIP_LEVEL = 1;

// Takes the options into *o and returns the index of the first of the two
// arguments; a command line of two arguments has none. An unknown option,
// or one without its value, returns -1 with the word in *refused.
int parseOptions(int argc, char **argv, RunOptions *o, const char **refused);
// The same for every word of argv[1..argc-1], however many there are.
int parseOptionWords(int argc, char **argv, RunOptions *o, const char **refused);

#endif
