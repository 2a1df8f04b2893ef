// The command line of plovik-report: options and names, as parsed from the arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plovik {

enum class OutputEncoding { kUtf8, kCp949 };
enum class OutputFormat { kText, kJson, kCsv, kArchivematica };

// --shard I/N: the files whose place in the full list, counted from 0, is I modulo N.
struct Shard {
    unsigned index = 0;
    unsigned count = 1;
};

// More jobs than this would only hold more memory (each has its window of records).
constexpr unsigned kMostJobs = 1024;

struct CliOptions {
    OutputEncoding encoding = OutputEncoding::kUtf8;
    OutputFormat format = OutputFormat::kText;
    bool check = false;      // --check: verdicts and findings instead of reports
    bool quick = false;      // --quick: with --check, the headers and the index only
    bool strict = false;     // --strict: with --check, warnings fail too
    bool listRules = false;  // --list-rules: the rule catalogue
    bool keyFrames = false;  // --key-frames: the key-frame times in JSON
    bool scan = false;       // --scan (and --check without --quick): the movie data read too
    bool showHelp = false;
    bool showVersion = false;
    unsigned jobs = 0;  // -j N: files analysed at once; 0: as many as the usable processors
    Shard shard;
    std::optional<std::string> files0From;  // --files0-from=F; "-" is standard input
    std::vector<std::string> files;         // UTF-8 paths: files and folders
};

struct CliParseResult {
    CliOptions options;
    std::string error;  // empty when the command line is valid
};

// Parses the arguments after the program name (UTF-8).
CliParseResult ParseCliArguments(const std::vector<std::string>& args);

}  // namespace plovik
