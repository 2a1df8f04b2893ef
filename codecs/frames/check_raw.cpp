// Uncompressed frames: a size that the format fixes. The size is the whole structure, so only
// the chunk's size is judged.
#include <array>
#include <string>

#include "checkers.h"
#include "frame_bytes.h"

namespace plovik::frames {
namespace {

using Size = std::uint64_t;  // products of header fields overflow 32 bits

Size Ceil(Size value, Size unit) { return (value + unit - 1) / unit; }
Size Align4(Size bytes) { return Ceil(bytes, 4) * 4; }

// A frame's rows as planes: each plane rows x bytes per row. Writers store them tight or
// with each row rounded up to 4 bytes.
struct Plane {
    Size rowBytes = 0;
    Size rows = 0;
};

struct Layout {
    std::array<Plane, 3> planes{};
};

Size FrameBytes(const Layout& layout, bool alignRows) {
    Size total = 0;
    for (const Plane& p : layout.planes)
        total += (alignRows ? Align4(p.rowBytes) : p.rowBytes) * p.rows;
    return total;
}

enum class YuvKind : std::uint8_t { kPacked422, kPlanar420, kPlanar422, kLuma, kV210 };

struct YuvRow {
    FOURCC fcc;
    YuvKind kind;
};

constexpr YuvRow Yuv(const char (&s)[5], YuvKind kind) { return {MakeFourCC(s), kind}; }

// Upper case, as UpperFourCC gives them.
constexpr std::array kYuvLayouts = {
    Yuv("YUY2", YuvKind::kPacked422), Yuv("YUYV", YuvKind::kPacked422),
    Yuv("UYVY", YuvKind::kPacked422), Yuv("YVYU", YuvKind::kPacked422),
    Yuv("HDYC", YuvKind::kPacked422), Yuv("2VUY", YuvKind::kPacked422),
    Yuv("I420", YuvKind::kPlanar420), Yuv("IYUV", YuvKind::kPlanar420),
    Yuv("YV12", YuvKind::kPlanar420), Yuv("NV12", YuvKind::kPlanar420),
    Yuv("YV16", YuvKind::kPlanar422), Yuv("Y800", YuvKind::kLuma),
    Yuv("Y8  ", YuvKind::kLuma),      Yuv("GREY", YuvKind::kLuma),
    Yuv("V210", YuvKind::kV210),
};

std::optional<YuvKind> YuvKindOf(FOURCC fcc) {
    for (const YuvRow& row : kYuvLayouts) {
        if (row.fcc == UpperFourCC(fcc)) return row.kind;
    }
    return std::nullopt;
}

// NV12's one chroma plane of interleaved U and V has the two planar planes' bytes.
Layout YuvLayout(YuvKind kind, Size w, Size h) {
    const Size cw = Ceil(w, 2);
    const Size ch = Ceil(h, 2);
    switch (kind) {
        case YuvKind::kPacked422:
            return {{{{cw * 4, h}}}};
        case YuvKind::kPlanar420:
            return {{{{w, h}, {cw, ch}, {cw, ch}}}};
        case YuvKind::kPlanar422:
            return {{{{w, h}, {cw, h}, {cw, h}}}};
        case YuvKind::kLuma:
            return {{{{w, h}}}};
        case YuvKind::kV210:  // 48 pixels in 128 bytes, rows a whole number of those
            return {{{{Ceil(w, 48) * 128, h}}}};
    }
    return {};
}

bool IsRgbCompression(FOURCC fcc) {
    return fcc == 0 || fcc == 3 || fcc == MakeFourCC("DIB ") || fcc == MakeFourCC("RGB ") ||
           fcc == MakeFourCC("RAW ");
}

bool IsRgbDepth(std::uint16_t bits) {
    switch (bits) {
        case 1:
        case 2:
        case 4:
        case 8:
        case 15:
        case 16:
        case 24:
        case 32:
        case 48:
        case 64:
            return true;
        default:
            return false;
    }
}

// Rows rounded to 4 bytes as the bitmap header defines them, or tight as some writers store
// them.
std::optional<Layout> RgbLayout(const VideoStreamFormat& f, Size w, Size h) {
    if (!IsRgbDepth(f.bitCount)) return std::nullopt;
    return Layout{{{{Ceil(w * f.bitCount, 8), h}}}};
}

std::optional<Layout> LayoutOf(VideoFamily family, const VideoStreamFormat& f) {
    if (f.width <= 0 || f.height == 0) return std::nullopt;
    const Size w = static_cast<Size>(f.width);
    const Size h =
        f.height < 0 ? Size{0} - static_cast<Size>(f.height) : static_cast<Size>(f.height);
    if (family == VideoFamily::kRawRgb) {
        if (!IsRgbCompression(f.compression)) return std::nullopt;
        return RgbLayout(f, w, h);
    }
    std::optional<YuvKind> kind = YuvKindOf(f.compression);
    if (!kind) kind = YuvKindOf(f.handler);
    if (!kind) return std::nullopt;
    return YuvLayout(*kind, w, h);
}

class RawChecker final : public FrameChecker {
  public:
    RawChecker(Size tight, Size aligned, Size declared)
        : tight_(tight), aligned_(aligned), declared_(declared) {}

    CheckDepth Depth() const override { return CheckDepth::kFull; }
    bool NeedsData() const override { return false; }

    FrameVerdict Check(Bytes, std::uint32_t size) override {
        if (size == 0 || size == tight_ || size == aligned_ || size == declared_)
            return FrameVerdict::Whole();
        const Size expected = size < tight_ ? tight_ : aligned_;
        return Damaged(static_cast<std::uint32_t>(std::min<Size>(size, expected)), [&] {
            return "raw frame of " + std::to_string(size) + " bytes, the format gives " +
                   std::to_string(expected);
        });
    }

  private:
    Size tight_;
    Size aligned_;
    Size declared_;  // biSizeImage, where it holds at least the tight frame: that writer's own
                     // row alignment
};

}  // namespace

// HuffYUV frames are compressed to a size that varies: nothing structural to check without
// decoding.
std::unique_ptr<FrameChecker> MakeRawChecker(VideoFamily family, const VideoStreamFormat& format) {
    if (family != VideoFamily::kRawRgb && family != VideoFamily::kRawYuv) return nullptr;
    const std::optional<Layout> layout = LayoutOf(family, format);
    if (!layout) return nullptr;
    const Size tight = FrameBytes(*layout, false);
    const Size aligned = FrameBytes(*layout, true);
    if (tight == 0 || aligned > 0xFFFFFFFFu) return nullptr;
    const Size declared = format.sizeImage >= tight ? format.sizeImage : aligned;
    return std::make_unique<RawChecker>(tight, aligned, declared);
}

}  // namespace plovik::frames
