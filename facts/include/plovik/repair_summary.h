// The record of a repair: what the copy kept and left out, what it set in the headers, or why
// there is no copy. Rendered by the repair's command line, the window and the library alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plovik/movie_scan.h"

namespace plovik {

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

// A header field that the rebuild of a file whose headers are lost wrote, and what gave it.
struct RebuiltField {
    std::uint32_t stream = 0;
    std::string field;     // "codec", "picture size", "frame rate", "audio format"
    std::string value;     // "H264", "160x120", "25/1", "PCM 48000 Hz, 2 channels, 16 bits"
    std::string source;    // "H.264 SPS", "the audio's length (MPEG audio header)", "reference"
    bool assumed = false;  // nothing in the data tells it
};

// Where the header list of a file whose headers were lost came from.
enum class HeadersFrom {
    kNone,       // not rebuilt: the headers were there
    kReference,  // the reference file's
    kOwnList,    // the file's own list (only its movie list header was lost)
    kData,       // inferred from the data
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
    // Frames whose codec's structure their bytes break: kept as they are, or (of an
    // intra-only codec) written as empty frames.
    std::uint64_t damagedFramesKept = 0;
    std::uint64_t damagedFramesEmptied = 0;
    // The headers were lost and rebuilt: from what, and the fields so written.
    HeadersFrom headersFrom = HeadersFrom::kNone;
    std::string reference;  // the reference file's path, as given
    std::vector<RebuiltField> rebuilt;
    std::vector<RepairFieldChange> changes;
    std::uint64_t outputSize = 0;
    std::uint32_t riffParts = 0;
    // Where another movie joined to the input begins (left out of the copy); 0: none.
    std::uint64_t secondMovie = 0;
};

}  // namespace plovik
