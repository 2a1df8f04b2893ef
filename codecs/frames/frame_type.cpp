// Frame types from a chunk's first bytes. Start codes (00 00 01 xx) are searched for, never
// assumed at the start: a chunk may begin with headers, user data or a longer start code.
#include "plovik/frame_type.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "header_bits.h"
#include "start_codes.h"

namespace plovik {
namespace {

using Bytes = std::span<const std::uint8_t>;

// Calls each(code, after) for every start code 00 00 01 in bytes, with the code byte and the
// bytes after it, until each returns false.
template <class Each>
void ForEachStartCode(Bytes bytes, Each each) {
    for (std::size_t code = frames::FindStartCode(bytes, 0); code != frames::kNoStartCode;
         code = frames::FindStartCode(bytes, code)) {
        if (!each(bytes[code], bytes.subspan(code + 1))) return;
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

// A VOP that ends the chunk within three bytes holds its header and no picture (vop_coded
// 0, whatever its coding type): the placeholders packed streams leave. Nothing decodes from it.
constexpr std::size_t kPlaceholderVopBytes = 3;

// The first VOP's vop_coding_type (2 bits): 0 is I, unless the VOP is a placeholder.
FramePeek PeekMpeg4(Bytes bytes) {
    FramePeek peek;
    const bool whole = bytes.size() < kFramePeekBytes;  // a head this short is the whole chunk
    ForEachStartCode(bytes, [&](std::uint8_t code, Bytes after) {
        if (code == kVop) {
            ++peek.pictures;
            const bool placeholder = whole && after.size() <= kPlaceholderVopBytes;
            if (!peek.key && !after.empty()) peek.key = (after[0] >> 6) == 0 && !placeholder;
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

// One frame of a codec without start codes, its type known.
FramePeek Typed(bool key) { return {.key = key, .pictures = 1, .packedMarker = false}; }

// The 2-bit picture type of the MS MPEG-4 family: 0 for I, 1 for P; 2 and 3 are none.
FramePeek TwoBitType(unsigned type) {
    FramePeek peek;
    peek.pictures = 1;
    if (type <= 1) peek.key = type == 0;
    return peek;
}

// MS MPEG-4 v2/v3 and WMV1 have no start codes: the first 2 bits are the picture type.
FramePeek PeekMsMpeg4(Bytes bytes) { return TwoBitType(bytes[0] >> 6); }

// MS MPEG-4 v1: the start code 00 00 01 00, a 5-bit picture number, then the type.
FramePeek PeekMsMpeg4v1(Bytes bytes) {
    if (bytes.size() < 5 || bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 1 || bytes[3] != 0) {
        return {};
    }
    return TwoBitType((bytes[4] >> 1) & 3);
}

// WMV2: the first bit, 0 for I and 1 for P.
FramePeek PeekWmv2(Bytes bytes) { return Typed((bytes[0] & 0x80) == 0); }

// H.263: the picture start code (22 bits), TR (8), then PTYPE: 1, 0, split screen, document
// camera, freeze release, the source format (3; 0 forbidden, 6 reserved) and the coding type
// (0 INTRA). Source format 7 is PLUSPTYPE: UFEP (3 bits, 0 or 1), the 18 bits of OPPTYPE when
// it is 1 (ending in 1000), then MPPTYPE: the picture type (3 bits: 0 I, 1 P, 2 improved PB,
// 3 B, 4 EI, 5 EP; EI and EP lean on another layer's picture), 6 more bits ending in 001.
FramePeek PeekH263(Bytes bytes) {
    frames::HeaderBits bits(bytes);
    if (bits.Bits(22) != 0x20) return {};
    bits.Bits(8);  // TR
    if (bits.Bits(2) != 2) return {};
    bits.Bits(3);
    const std::uint32_t format = bits.Bits(3);
    if (format == 0 || format == 6) return {};
    if (format != 7) {
        const bool intra = bits.Bit() == 0;
        return bits.Short() ? FramePeek{} : Typed(intra);
    }
    const std::uint32_t ufep = bits.Bits(3);
    if (ufep > 1 || (ufep == 1 && (bits.Bits(18) & 0xF) != 0x8)) return {};
    const std::uint32_t type = bits.Bits(3);
    if (type > 5 || (bits.Bits(6) & 7) != 1 || bits.Short()) return {};
    return Typed(type == 0);
}

// VP8: the 3-byte frame tag's bit 0 is clear in a key frame, which goes on with 9D 01 2A.
FramePeek PeekVp8(Bytes bytes) {
    if (bytes.size() < 3) return {};
    if ((bytes[0] & 1) != 0) return Typed(false);
    if (bytes.size() >= 6 && bytes[3] == 0x9D && bytes[4] == 0x01 && bytes[5] == 0x2A) {
        return Typed(true);
    }
    return {};
}

// ZMBV: bit 0 of the flags byte marks an intra frame, whose header goes on with version 0.1,
// the compression, the pixel format and non-zero block sizes.
FramePeek PeekZmbv(Bytes bytes) {
    if ((bytes[0] & 1) == 0) return Typed(false);
    if (bytes.size() < 7 || bytes[1] != 0 || bytes[2] != 1 || bytes[5] == 0 || bytes[6] == 0) {
        return {};
    }
    return Typed(true);
}

constexpr std::uint8_t kCinepakIntraStrip = 0x10;
constexpr std::uint8_t kCinepakInterStrip = 0x11;
constexpr std::size_t kCinepakFrameHeader = 10;
constexpr std::size_t kCinepakStripHeader = 12;

// Cinepak: the frame header (flags, length u24, width, height, strip count u16), then the
// strips, each led by its id and its length u24 (header included). A key frame codes every
// strip intra. Where strips lie beyond the bytes looked at, the frame flags decide for them:
// bit 0 set carries codebooks over from the previous frame.
FramePeek PeekCinepak(Bytes bytes) {
    if (bytes.size() < kCinepakFrameHeader) return {};
    const unsigned strips = bytes[8] << 8 | bytes[9];
    std::size_t at = kCinepakFrameHeader;
    for (unsigned i = 0; i < strips; ++i) {
        if (at + kCinepakStripHeader > bytes.size()) {
            return (bytes[0] & 1) == 0 ? Typed(true) : FramePeek{};
        }
        const std::uint8_t id = bytes[at];
        const std::size_t length =
            std::size_t{bytes[at + 1]} << 16 | bytes[at + 2] << 8 | bytes[at + 3];
        if (id == kCinepakInterStrip) return Typed(false);
        if (id != kCinepakIntraStrip || length < kCinepakStripHeader) return {};
        at += length;
    }
    return strips == 0 ? FramePeek{} : Typed(true);
}

// FFV1: the first symbol, range coded with state 128 on a coder that starts with range 0xFF00
// and the first two bytes as its value, is 1 in a key frame: the bytes read 0x7F80 or more.
FramePeek PeekFfv1(Bytes bytes) {
    if (bytes.size() < 2) return {};
    return Typed((bytes[0] << 8 | bytes[1]) >= 0x7F80);
}

}  // namespace

bool TellsFrameType(VideoFamily family) {
    switch (family) {
        case VideoFamily::kMpeg4Part2:
        case VideoFamily::kH264:
        case VideoFamily::kMpegVideo:
        case VideoFamily::kMsMpeg4v1:
        case VideoFamily::kMsMpeg4:
        case VideoFamily::kWmv1:
        case VideoFamily::kWmv2:
        case VideoFamily::kH263:
        case VideoFamily::kVp8:
        case VideoFamily::kZmbv:
        case VideoFamily::kCinepak:
        case VideoFamily::kFfv1:
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
        case VideoFamily::kWmv1:
            return PeekMsMpeg4(bytes);
        case VideoFamily::kMsMpeg4v1:
            return PeekMsMpeg4v1(bytes);
        case VideoFamily::kWmv2:
            return PeekWmv2(bytes);
        case VideoFamily::kH263:
            return PeekH263(bytes);
        case VideoFamily::kVp8:
            return PeekVp8(bytes);
        case VideoFamily::kZmbv:
            return PeekZmbv(bytes);
        case VideoFamily::kCinepak:
            return PeekCinepak(bytes);
        case VideoFamily::kFfv1:
            return PeekFfv1(bytes);
        default:
            return {};
    }
}

}  // namespace plovik
