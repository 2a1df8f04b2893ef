// The command-line front end, plovik-report, as a function of its arguments and its
// streams, so that it runs the same in tests, benchmarks and main().
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "plovik/cli_io.h"
#include "plovik/cli_options.h"

namespace plovik {

// Exit status of plovik-report.
enum CliExitCode : int {
    kExitOk = 0,              // every file gave a full report (--check: every file is ok)
    kExitFailureMessage = 1,  // some file gave only a message (--check: has a problem)
    kExitUsage = 2,           // bad command line or unreadable --files0-from list
};

struct CliStreams {
    CliOutput& out;              // the reports, nothing else
    CliOutput& err;              // diagnostics, the check summary, the progress line
    CliInput* in = nullptr;      // for --files0-from=-; null: no standard input
    bool errIsTerminal = false;  // the progress line is drawn only on a terminal
    bool outIsTerminal = false;  // then the progress line makes way for the reports
    // Set (by a signal handler) to end the run: the records written so far stay whole.
    const std::atomic<bool>* interrupted = nullptr;
    // The progress line's clock: it shows once the run has lasted a second.
    std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;
};

// Runs plovik-report: args without the program name.
int RunReportCli(const std::vector<std::string>& args, const CliStreams& streams);
// The same without standard input and without a terminal.
int RunReportCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace plovik
