// The command-line front end, `plovik-report [--encoding utf-8|cp949] [--scan] FILE...`, as a
// function of its arguments and two streams, so that it runs the same in tests and in main().
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace plovik {

enum class OutputEncoding { kUtf8, kCp949 };

// Exit status of plovik-report.
enum CliExitCode : int {
    kExitOk = 0,              // every file gave a full report
    kExitFailureMessage = 1,  // some file gave only a failure message (or output failed)
    kExitUsage = 2,           // bad command line
};

struct CliOptions {
    OutputEncoding encoding = OutputEncoding::kUtf8;
    bool scanMovieData = false;  // --scan: each report gets the data-check section
    bool showHelp = false;
    bool showVersion = false;
    std::vector<std::string> files;  // UTF-8 paths
};

struct CliParseResult {
    CliOptions options;
    std::string error;  // empty when the command line is valid
};

// Parses the arguments after the program name (UTF-8).
CliParseResult ParseCliArguments(const std::vector<std::string>& args);

struct FileReport {
    std::string text;  // lines end in "\n", bytes in the chosen encoding
    bool full;         // false when only a failure message was written
};

// The report of one file as plovik-report prints it.
FileReport MakeFileReport(const std::string& utf8Path, OutputEncoding encoding,
                          bool scanMovieData = false);

// Runs plovik-report: args without the program name, reports to out, usage errors to err.
int RunReportCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace plovik
