// Where everything goes in the copy: the first RIFF part's top-level chunks in their
// original order, the movie data split into parts of at most 1 GiB for an OpenDML copy, and
// the sizes of every index, known before a byte is written.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "header_list.h"
#include "kept_chunks.h"

namespace plovik {

// A top-level chunk of the copy's first RIFF part.
struct TopItem {
    enum Kind { kCopy, kHeaderList, kMovie } kind;  // kMovie: the new "movi" list and "idx1"
    std::uint64_t position;                         // kCopy: of the input's chunk header
    std::uint64_t bytes;                            // kCopy: with its pad byte
};

// One RIFF part of the copy and the chunks it holds, [first, end) of the kept chunks.
struct CopyPart {
    std::size_t first = 0;
    std::size_t end = 0;
    std::uint64_t position = 0;                            // of its "RIFF" header in the copy
    std::uint64_t moviPosition = 0;                        // of its "movi" list's header
    std::uint64_t dataBytes = 0;                           // of its chunks, pad bytes included
    std::uint64_t bytes = 0;                               // of the whole part
    std::array<std::uint32_t, kMaxStreamLists> entries{};  // of each stream's standard index
    std::array<std::uint64_t, kMaxStreamLists> units{};    // of each stream, for its duration
};

struct CopyPlan {
    std::vector<TopItem> items;
    HeaderList header;
    bool openDml = false;
    std::vector<CopyPart> parts;
    std::array<FOURCC, kMaxStreamLists> chunkIds{};  // each stream's, for its indexes
    std::uint64_t idx1Entries = 0;
    // False for a file without video whose header claims no index and that has none: its
    // copy stays without one, as intact files repair into themselves.
    bool withIdx1 = true;
    bool idx1Absolute = false;  // its offsets count from the file's start, as the original's did
    std::uint64_t indexEntries = 0;  // idx1's and the standard indexes' together
    std::uint64_t outputSize = 0;

    // Bytes of the standard index chunk of a stream in a part; 0 when it has none.
    static std::uint64_t StandardIndexBytes(std::uint32_t entries) {
        return entries == 0 ? 0 : 32 + 8 * std::uint64_t{entries};
    }
};

// Splits the chunks into parts and sets every position and size; the header list gets
// room for the super indexes first when the copy is OpenDML. False when a part would not
// fit a RIFF size.
bool PlanParts(CopyPlan& plan, const std::vector<KeptChunk>& chunks);

}  // namespace plovik
