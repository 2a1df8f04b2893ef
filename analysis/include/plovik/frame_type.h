// Frame types told from the first bytes of a video chunk, without decoding: whether a frame
// is a key frame, how many pictures the chunk starts, and the marker of a packed stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "plovik/avi_parser.h"

namespace plovik {

// How a video stream's frames tell their type.
enum class BitstreamKind {
    kNone,        // not known: the bytes are not read
    kMpeg4Part2,  // start codes, VOP coding type
    kH264AnnexB,  // start codes, NAL unit types
    kMpegVideo,   // MPEG-1/2 video: start codes, picture coding type
    kIntraOnly,   // every frame stands alone
    kMsMpeg4,     // the MPEG-4 variants without start codes: the picture type in the first bits
};

// From the stream's handler and compression FourCCs (either may name the codec; letter case
// ignored). The compression decides where both name a kind.
BitstreamKind BitstreamKindOf(FOURCC handler, FOURCC compression);

// At most this many first bytes of a chunk are looked at.
inline constexpr std::size_t kFramePeekBytes = 4096;

struct FramePeek {
    std::optional<bool> key;     // none: the bytes do not tell
    std::uint32_t pictures = 0;  // VOPs (MPEG-4 Part 2) / pictures (MPEG-1/2) / primary-slice
                                 // starts of new access units (H.264) seen in the bytes
    bool packedMarker = false;   // MPEG-4 encoder user data marking the stream packed (user
                                 // data string ending in 'p' after a build number)
};

// Reads at most the first kFramePeekBytes of head as one frame chunk of that kind. Never reads
// past the span; safe for any bytes.
FramePeek PeekFrame(BitstreamKind kind, std::span<const std::uint8_t> head);

}  // namespace plovik
