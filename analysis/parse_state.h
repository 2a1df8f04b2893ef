// The readers of one Parse and what they share: the results being filled, the source
// with its one position, and the few facts that one reader leaves for another.
//
//   chunk_walk.cpp     the RIFF walk, the main header, the INFO list, the RIFF parts
//   stream_list.cpp    "strl" lists: stream headers, formats, the video super index
//   idx1_key_frames.cpp      the "idx1" index
//   opendml_index.cpp  the standard index chunks that the super index lists
//   index_read.h       what both index readers share: video entries, key frames, clock
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "byte_source.h"
#include "plovik/avi_parser.h"

namespace plovik {

struct ParseState {
    ParseState(CAviParser& results, ByteSource& file, ParseExtras asked)
        : avi(results), source(file), extras(asked) {}

    CAviParser& avi;
    ByteSource& source;
    const ParseExtras extras;
    int streamLists = 0;  // "strl" lists met so far: the number of the next one
    // The stored formats as file bytes: a shorter format keeps earlier bytes.
    std::array<std::uint8_t, 44> videoFormatBytes{};
    std::array<std::uint8_t, 18> audioFormatBytes{};
    // End of the header list: no index chunk of the file stands before it.
    std::int64_t headersEnd = 0;
    bool idx1Met = false;
    bool partsCounted = false;
    // The top-level chunks of the first RIFF part are known up to here: the walk notes
    // them as it meets them, and the layout hops over the rest once the walk is over.
    std::int64_t layoutAt = 12;
    std::int64_t firstPartEnd = 0;
    std::vector<AVIEXTENT> laterParts;  // the RIFF parts after the first (the first kept)
};

// chunk_walk.cpp: the top-level walk; false ends Parse with m_nError (possibly 0).
bool WalkChunks(ParseState& state);
// Counts the top-level RIFF parts and sums their sizes (once; the position is kept).
std::uint32_t CountRiffParts(ParseState& state);
// After the walk: the "movi" lists of the parts that the walk did not cover.
void CompleteLayout(ParseState& state);

// stream_list.cpp: the sub-chunks of one "strl" list that ends at listEnd.
bool ParseStreamList(ParseState& state, std::int64_t listEnd);

// idx1_key_frames.cpp: an "idx1" chunk whose header was just read; false: code 6.
bool ReadIdx1(ParseState& state, std::uint32_t size);

// opendml_index.cpp: whether the OpenDML index stands for the file once the walk is
// over, and whether it will replace an "idx1" met now.
bool OpenDmlIndexApplies(ParseState& state);
bool OpenDmlIndexReplacesIdx1(ParseState& state);
// Reads it and replaces the index results; false: damaged or out of time (code 6).
bool ReadOpenDmlIndex(ParseState& state);

}  // namespace plovik
