// Frame types from a chunk's first bytes. Start codes (00 00 01 xx) are searched for, never
// assumed at the start: a chunk may begin with headers, user data or a longer start code.
#include "plovik/frame_type.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace plovik {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Calls each(code, after) for every start code 00 00 01 in bytes, with the code byte and the
// bytes after it, until each returns false.
// The 01 byte is looked for with memchr (in large steps): the scan peeks at every frame of
// a file, and a byte-by-byte search of 4 KiB a frame would cost more than the walk itself.
template <class Each>
void ForEachStartCode(Bytes bytes, Each each) {
    std::size_t i = 2;  // where the 01 of the next start code may stand
    while (i + 1 < bytes.size()) {
        const void* found = std::memchr(bytes.data() + i, 1, bytes.size() - 1 - i);
        if (found == nullptr) return;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
        if (bytes[i - 1] == 0 && bytes[i - 2] == 0) {
            if (!each(bytes[i + 1], bytes.subspan(i + 2))) return;
            i += 3;  // the next start code begins after this one's code byte
        } else {
            ++i;
        }
    }
}

// "DivX503b1393p": a build number after "b" or "Build", then "p".
bool IsPackedMarker(std::string_view text) {
    if (text.size() < 3 || text.back() != 'p') return false;
    std::size_t digits = text.size() - 1;
    while (digits > 0 && text[digits - 1] >= '0' && text[digits - 1] <= '9') --digits;
    if (digits == text.size() - 1 || digits == 0) return false;
    const std::string_view before = text.substr(0, digits);
    return before.back() == 'b' || before.ends_with("Build") || before.ends_with("build");
}

// User data runs up to the next start code, which begins with a zero byte.
std::string_view UserDataText(Bytes after) {
    const auto end = std::find(after.begin(), after.end(), std::uint8_t{0});
    return {reinterpret_cast<const char*>(after.data()),
            static_cast<std::size_t>(end - after.begin())};
}

constexpr std::uint8_t kVop = 0xB6;
constexpr std::uint8_t kUserData = 0xB2;

// The first VOP's vop_coding_type (2 bits): 0 is I.
FramePeek PeekMpeg4(Bytes bytes) {
    FramePeek peek;
    ForEachStartCode(bytes, [&](std::uint8_t code, Bytes after) {
        if (code == kVop) {
            ++peek.pictures;
            if (!peek.key && !after.empty()) peek.key = (after[0] >> 6) == 0;
        } else if (code == kUserData) {
            peek.packedMarker = peek.packedMarker || IsPackedMarker(UserDataText(after));
        }
        return true;
    });
    return peek;
}

constexpr std::uint8_t kNalSlice = 1;
constexpr std::uint8_t kNalPartitionA = 2;
constexpr std::uint8_t kNalIdr = 5;

// The first slice decides: an IDR slice is key, any other is not. An I slice that is not IDR
// (a recovery point) counts as not key: telling it would need the slice header decoded. A
// slice whose first_mb_in_slice is 0 (its first bit set) starts a new picture.
FramePeek PeekH264(Bytes bytes) {
    FramePeek peek;
    ForEachStartCode(bytes, [&](std::uint8_t header, Bytes after) {
        if ((header & 0x80) != 0) return true;  // forbidden_zero_bit: not a NAL header
        const std::uint8_t type = header & 0x1F;
        if (type != kNalSlice && type != kNalPartitionA && type != kNalIdr) return true;
        if (!peek.key) peek.key = type == kNalIdr;
        if (!after.empty() && (after[0] & 0x80) != 0) ++peek.pictures;
        return true;
    });
    return peek;
}

constexpr std::uint8_t kPictureStart = 0x00;

// picture_coding_type, 3 bits after the 10-bit temporal_reference: 1 I, 2 P, 3 B, 4 D (intra).
FramePeek PeekMpegVideo(Bytes bytes) {
    FramePeek peek;
    ForEachStartCode(bytes, [&](std::uint8_t code, Bytes after) {
        if (code != kPictureStart) return true;
        ++peek.pictures;
        if (peek.key || after.size() < 2) return true;
        const int type = (after[1] >> 3) & 7;
        if (type >= 1 && type <= 4) peek.key = type == 1 || type == 4;
        return true;
    });
    return peek;
}

// No start codes: the first 2 bits are the picture type, 0 for I and 1 for P.
FramePeek PeekMsMpeg4(Bytes bytes) {
    FramePeek peek;
    peek.pictures = 1;
    const int type = bytes[0] >> 6;
    if (type <= 1) peek.key = type == 0;
    return peek;
}

}  // namespace

bool TellsFrameType(VideoFamily family) {
    switch (family) {
        case VideoFamily::kMpeg4Part2:
        case VideoFamily::kH264:
        case VideoFamily::kMpegVideo:
        case VideoFamily::kMsMpeg4:
            return true;
        default:
            return IsIntraOnly(family);
    }
}

// An empty chunk (a dropped frame) tells nothing, whatever the kind.
FramePeek PeekFrame(VideoFamily family, std::span<const std::uint8_t> head) {
    const Bytes bytes = head.first(std::min(head.size(), kFramePeekBytes));
    if (bytes.empty()) return {};
    if (IsIntraOnly(family)) return {.key = true, .pictures = 1, .packedMarker = false};
    switch (family) {
        case VideoFamily::kMpeg4Part2:
            return PeekMpeg4(bytes);
        case VideoFamily::kH264:
            return PeekH264(bytes);
        case VideoFamily::kMpegVideo:
            return PeekMpegVideo(bytes);
        case VideoFamily::kMsMpeg4:
            return PeekMsMpeg4(bytes);
        default:
            return {};
    }
}

}  // namespace plovik
