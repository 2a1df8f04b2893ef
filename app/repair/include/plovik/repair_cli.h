// The command-line front end, plovik-repair, as a function of its arguments and its
// streams, so that tests run it in-process as main() does.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "plovik/cli_io.h"

namespace plovik {

// Exit status of plovik-repair.
enum RepairExitCode : int {
    kRepairExitOk = 0,      // the output was written (--dry-run: it would be)
    kRepairExitFailed = 1,  // not repairable, the repair failed, or it was stopped
    kRepairExitUsage = 2,   // bad command line, or refused: the output is the input or exists
};

struct RepairCliStreams {
    CliOutput& out;              // the summary, nothing else
    CliOutput& err;              // diagnostics and the progress line
    bool errIsTerminal = false;  // the progress line is drawn only on a terminal
    // Set (by a signal handler) to end the repair: nothing is left under the output's name.
    const std::atomic<bool>* stop = nullptr;
};

struct RepairSummary;

// The summary as `--format json` prints it: one object on one line, "\n" at its end.
std::string RepairJsonSummary(const RepairSummary& summary, const std::string& input,
                              const std::string& output);

// Runs plovik-repair: args without the program name, paths in UTF-8.
int RunRepairCli(const std::vector<std::string>& args, const RepairCliStreams& streams);
// The same without a terminal and without a stop flag.
int RunRepairCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace plovik
