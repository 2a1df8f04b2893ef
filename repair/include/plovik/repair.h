// A repaired copy of an AVI file: the same file, byte for byte, except what was broken
// (a cut end, damaged regions, a missing or damaged index, wrong header counts). The
// input is only ever read; the copy appears under its name whole, or not at all.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "plovik/repair_summary.h"

namespace plovik {

// The three passes of a repair: the input read, the copy written, the copy checked.
enum class RepairPhase { kReading, kWriting, kChecking };

// How far a repair has come, from 0 to 1, each phase a third.
inline double RepairDone(RepairPhase phase, std::uint64_t done, std::uint64_t total) {
    const double part = total == 0 ? 0.0 : static_cast<double>(std::min(done, total)) / total;
    return (static_cast<int>(phase) + part) / 3.0;
}

struct RepairOptions {
    bool dryRun = false;  // plan only: nothing is written
    bool force = false;   // replace an existing output file
    // Keep damaged frames of intra-only codecs as they are (else they become empty frames).
    bool keepDamagedFrames = false;
    // Called now and then with the phase, and its bytes done and to do.
    std::function<void(RepairPhase phase, std::uint64_t done, std::uint64_t total)> progress;
    const std::atomic<bool>* stop = nullptr;  // set: the repair ends soon, leaving nothing
    // Where the movie to repair begins: 0 for the first; for files joined end to end, a
    // later one's start (RepairSummary::secondMovie of the movie before it).
    std::uint64_t movieAt = 0;
    // A file recorded the same way (UTF-8 path), whose header list a file whose headers are
    // lost is rebuilt with, once checked against its data; empty: inferred from the data.
    std::string reference;
};

// Whether both paths (UTF-8) name one file, by any name (links, another spelling): the same
// device and file number. False when either cannot be found.
bool SameFile(const std::string& a, const std::string& b);

// Why a copy of input may not be written to output: it is the input, or it exists and force
// is not given; none when it may.
std::optional<std::string> RefusalOf(const std::string& input, const std::string& output,
                                     bool force);

// Repairs the file at input (UTF-8 path), or its movie at options.movieAt, into output.
RepairSummary RepairFile(const std::string& input, const std::string& output,
                         const RepairOptions& options);

}  // namespace plovik
