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

constexpr FOURCC Upper(FOURCC fcc) {
    FOURCC out = 0;
    for (int i = 0; i < 4; ++i) {
        auto c = static_cast<std::uint8_t>(fcc >> (8 * i));
        if (c >= 'a' && c <= 'z') c = static_cast<std::uint8_t>(c - 'a' + 'A');
        out |= FOURCC{c} << (8 * i);
    }
    return out;
}

struct KindRow {
    FOURCC fcc;  // upper case
    BitstreamKind kind;
};

constexpr KindRow Row(const char (&s)[5], BitstreamKind kind) { return {MakeFourCC(s), kind}; }

constexpr BitstreamKind kPart2 = BitstreamKind::kMpeg4Part2;
constexpr BitstreamKind kAvc = BitstreamKind::kH264AnnexB;
constexpr BitstreamKind kMpeg = BitstreamKind::kMpegVideo;
constexpr BitstreamKind kIntra = BitstreamKind::kIntraOnly;
constexpr BitstreamKind kMs = BitstreamKind::kMsMpeg4;

// Not intra-only, though often thought so: Cinepak, MS Video 1 and RLE code skipped blocks
// against the previous frame; FFV1 is written with inter frames too.
constexpr std::array kKinds = {
    Row("XVID", kPart2), Row("DIVX", kPart2), Row("DX50", kPart2), Row("FMP4", kPart2),
    Row("MP4V", kPart2), Row("MP4S", kPart2), Row("M4S2", kPart2), Row("3IV2", kPart2),
    Row("XVIX", kPart2), Row("BLZ0", kPart2), Row("DXGM", kPart2), Row("RMP4", kPart2),
    Row("SMP4", kPart2), Row("UMP4", kPart2), Row("DM4V", kPart2), Row("HDX4", kPart2),
    Row("SEDG", kPart2),  //
    Row("H264", kAvc),   Row("X264", kAvc),   Row("AVC1", kAvc),   Row("DAVC", kAvc),
    Row("VSSH", kAvc),  //
    Row("MPG1", kMpeg),  Row("MPG2", kMpeg),  Row("MPEG", kMpeg),  Row("MP2V", kMpeg),
    Row("MPGV", kMpeg),  Row("PIM1", kMpeg),  Row("PIM2", kMpeg),  Row("EM2V", kMpeg),
    Row("MMES", kMpeg),  //
    Row("MP42", kMs),    Row("DIV2", kMs),    Row("MP43", kMs),    Row("DIV3", kMs),
    Row("DIV4", kMs),    Row("DIV5", kMs),    Row("DIV6", kMs),    Row("MPG3", kMs),
    Row("DVX3", kMs),    Row("AP41", kMs),    Row("COL0", kMs),    Row("COL1", kMs),  //
    Row("MJPG", kIntra), Row("AVRN", kIntra), Row("DMB1", kIntra), Row("LJPG", kIntra),
    Row("JPGL", kIntra), Row("MJLS", kIntra), Row("DVSD", kIntra), Row("DVHD", kIntra),
    Row("DVSL", kIntra), Row("DV25", kIntra), Row("DV50", kIntra), Row("CDVC", kIntra),
    Row("DVH1", kIntra), Row("DVCP", kIntra), Row("DVPP", kIntra), Row("DIB ", kIntra),
    Row("RGB ", kIntra), Row("RAW ", kIntra), Row("YUY2", kIntra), Row("YUYV", kIntra),
    Row("UYVY", kIntra), Row("YVYU", kIntra), Row("I420", kIntra), Row("IYUV", kIntra),
    Row("YV12", kIntra), Row("YV16", kIntra), Row("NV12", kIntra), Row("Y800", kIntra),
    Row("Y8  ", kIntra), Row("GREY", kIntra), Row("V210", kIntra), Row("2VUY", kIntra),
    Row("HDYC", kIntra), Row("HFYU", kIntra), Row("FFVH", kIntra), Row("ULRG", kIntra),
    Row("ULRA", kIntra), Row("ULY0", kIntra), Row("ULY2", kIntra), Row("ULY4", kIntra),
    Row("ULH0", kIntra), Row("ULH2", kIntra), Row("ULH4", kIntra), Row("UQY0", kIntra),
    Row("UQY2", kIntra), Row("UQRG", kIntra), Row("UQRA", kIntra), Row("LAGS", kIntra),
    Row("MPNG", kIntra), Row("PNG1", kIntra), Row("PNG ", kIntra), Row("MAGY", kIntra),
};

constexpr FOURCC kBiRgb = 0;
constexpr FOURCC kBiBitfields = 3;

BitstreamKind KindOf(FOURCC fcc) {
    if (fcc == kBiRgb || fcc == kBiBitfields) return kIntra;  // uncompressed, palette too
    const FOURCC upper = Upper(fcc);
    const auto* row = std::find_if(kKinds.begin(), kKinds.end(),
                                   [upper](const KindRow& r) { return r.fcc == upper; });
    return row == kKinds.end() ? BitstreamKind::kNone : row->kind;
}

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

BitstreamKind BitstreamKindOf(FOURCC handler, FOURCC compression) {
    const BitstreamKind kind = KindOf(compression);
    return kind != BitstreamKind::kNone ? kind : KindOf(handler);
}

// An empty chunk (a dropped frame) tells nothing, whatever the kind.
FramePeek PeekFrame(BitstreamKind kind, std::span<const std::uint8_t> head) {
    const Bytes bytes = head.first(std::min(head.size(), kFramePeekBytes));
    if (bytes.empty()) return {};
    switch (kind) {
        case BitstreamKind::kMpeg4Part2:
            return PeekMpeg4(bytes);
        case BitstreamKind::kH264AnnexB:
            return PeekH264(bytes);
        case BitstreamKind::kMpegVideo:
            return PeekMpegVideo(bytes);
        case BitstreamKind::kMsMpeg4:
            return PeekMsMpeg4(bytes);
        case BitstreamKind::kIntraOnly:
            return {.key = true, .pictures = 1, .packedMarker = false};
        case BitstreamKind::kNone:
            break;
    }
    return {};
}

}  // namespace plovik
