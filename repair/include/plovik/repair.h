// A repaired copy of an AVI file: the same file, byte for byte, except what was broken
// (a cut end, damaged regions, a missing or damaged index, wrong header counts). The
// input is only ever read; the copy appears under its name whole, or not at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "plovik/movie_scan.h"

namespace plovik {

struct RepairOptions {
    bool dryRun = false;  // plan only: nothing is written
    bool force = false;   // replace an existing output file
    // Called now and then with the bytes done and the bytes to do (reading, then writing).
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    const std::atomic<bool>* stop = nullptr;  // set: the repair ends soon, leaving nothing
};

enum class RepairStatus {
    kWritten,        // the output was written and checked
    kPlanned,        // a dry run: it would be written
    kNotRepairable,  // not AVI, no readable header list, no stream data
    kRefused,        // the output is the input, or exists without force
    kFailed,         // reading, writing or the check of the output failed
    kStopped,        // stopped on request
};

// A header field the repair set: where it is, what it read and what it reads now.
struct RepairFieldChange {
    std::string field;  // "avih.dwTotalFrames", "strh[1].dwLength"
    std::uint64_t oldValue = 0;
    std::uint64_t newValue = 0;
};

struct RepairSummary {
    RepairStatus status = RepairStatus::kFailed;
    std::string message;                 // why it was not written (English); empty when it was
    std::uint64_t videoFrames = 0;       // frames kept, empty ones included
    std::uint64_t emptyVideoFrames = 0;  // zero-size (dropped) frames among them
    std::uint64_t audioBytes = 0;        // of the audio stream the report shows
    std::uint64_t chunksKept = 0;
    // Damaged regions and a cut last chunk: the input's bytes that the copy does not hold
    // (not those a cut file lacks).
    std::uint64_t regionsLeftOut = 0;
    std::uint64_t bytesLeftOut = 0;
    std::vector<DAMAGEDREGION> regions;  // the first ones, in file order
    std::uint64_t indexEntries = 0;      // entries of the index written
    // Where the key flags of the video frames came from.
    std::uint64_t keysFromIndex = 0;      // an entry of the original index for the same chunk
    std::uint64_t keysFromBitstream = 0;  // the frame's own bytes (or an intra-only codec)
    std::uint64_t keysAssumed = 0;        // neither: marked key
    std::string assumedFourCC;            // the codec of those, when there are any
    std::vector<RepairFieldChange> changes;
    std::uint64_t outputSize = 0;
    std::uint32_t riffParts = 0;
};

// Whether both paths (UTF-8) name one file, by any name (links, another spelling): the same
// device and file number. False when either cannot be found.
bool SameFile(const std::string& a, const std::string& b);

// Why a copy of input may not be written to output: it is the input, or it exists and force
// is not given; none when it may.
std::optional<std::string> RefusalOf(const std::string& input, const std::string& output,
                                     bool force);

// Repairs the file at input (UTF-8 path) into output.
RepairSummary RepairFile(const std::string& input, const std::string& output,
                         const RepairOptions& options);

}  // namespace plovik
