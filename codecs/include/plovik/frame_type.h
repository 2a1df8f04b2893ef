// Frame types told from the first bytes of a video chunk, without decoding: whether a frame
// is a key frame, how many pictures the chunk starts, and the marker of a packed stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "plovik/codec_family.h"

namespace plovik {

// At most this many first bytes of a chunk are looked at.
inline constexpr std::size_t kFramePeekBytes = 4096;

struct FramePeek {
    std::optional<bool> key;     // none: the bytes do not tell
    std::uint32_t pictures = 0;  // VOPs (MPEG-4 Part 2) / pictures (MPEG-1/2) / primary-slice
                                 // starts of new access units (H.264) seen in the bytes
    bool packedMarker = false;   // MPEG-4 encoder user data marking the stream packed (user
                                 // data string ending in 'p' after a build number)
};

// Whether the family's frames tell their type from their first bytes (intra-only families
// do: every frame is key).
bool TellsFrameType(VideoFamily family);

// Reads at most the first kFramePeekBytes of head as one frame chunk of that family. Never
// reads past the span; safe for any bytes.
FramePeek PeekFrame(VideoFamily family, std::span<const std::uint8_t> head);

}  // namespace plovik
