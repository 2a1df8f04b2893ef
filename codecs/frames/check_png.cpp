// PNG frames: the signature, chunks whose lengths chain, each chunk's CRC-32, IHDR first and
// IEND last. Every byte of a frame lies in a chunk covered by a CRC.
#include <algorithm>
#include <cstring>
#include <string>

#include "checkers.h"
#include "crc32.h"
#include "frame_bytes.h"

namespace plovik::frames {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC
constexpr std::uint32_t kMaxLength = 0x7FFFFFFF;

struct PngSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool operator==(const PngSize&) const = default;
};

// A frame read whole, or where it breaks.
struct PngFrame {
    FrameVerdict verdict;
    PngSize size;
};

std::string At(std::size_t offset) { return " at +" + std::to_string(offset); }

bool IsLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool TypeIs(const std::uint8_t* type, const char* name) { return std::memcmp(type, name, 4) == 0; }

// Bit depths allowed for each colour type (a bit set per depth 1, 2, 4, 8, 16).
bool IsValidDepth(std::uint8_t colourType, std::uint8_t depth) {
    std::uint32_t allowed = 0;
    switch (colourType) {
        case 0:  // grey
            allowed = 1u << 1 | 1u << 2 | 1u << 4 | 1u << 8 | 1u << 16;
            break;
        case 3:  // palette
            allowed = 1u << 1 | 1u << 2 | 1u << 4 | 1u << 8;
            break;
        case 2:  // RGB, grey + alpha, RGBA
        case 4:
        case 6:
            allowed = 1u << 8 | 1u << 16;
            break;
        default:
            return false;
    }
    return depth <= 16 && (allowed >> depth & 1) != 0;
}

// IHDR's 13 bytes: width, height, depth, colour type, compression, filter, interlace.
bool IsValidHeader(const std::uint8_t* d) {
    const std::uint32_t width = Be32(d);
    const std::uint32_t height = Be32(d + 4);
    return width != 0 && height != 0 && width <= kMaxLength && height <= kMaxLength &&
           IsValidDepth(d[9], d[8]) && d[10] == 0 && d[11] == 0 && d[12] <= 1;
}

// The walk of one frame's chunks, in file order.
class PngWalk {
  public:
    PngWalk(Bytes data, const DamageReasons& reasons) : data_(data), reasons_(reasons) {}

    PngFrame Run() {
        if (data_.size() < sizeof kSignature ||
            std::memcmp(data_.data(), kSignature, sizeof kSignature) != 0) {
            return Fail(0, [&] { return "PNG signature missing"; });
        }
        std::size_t at = sizeof kSignature;
        for (int index = 0;; ++index) {
            if (data_.size() - at < kChunkOverhead)
                return Fail(at, [&] { return "PNG data end without IEND"; });
            const std::uint32_t length = Be32(data_.data() + at);
            if (length > kMaxLength || length > data_.size() - at - kChunkOverhead)
                return Fail(at, [&] { return "PNG chunk length runs past the frame" + At(at); });
            const std::uint8_t* type = data_.data() + at + 4;
            const std::uint32_t stored = Be32(type + 4 + length);
            if (Crc32Reflected(data_.subspan(at + 4, 4 + length)) != stored)
                return Fail(
                    at, [&] { return "PNG chunk " + TypeName(type) + " CRC mismatch" + At(at); });
            if (!std::all_of(type, type + 4, IsLetter))
                return Fail(at + 4, [&] { return "PNG chunk type not letters" + At(at + 4); });
            if (std::string problem = Order(index, type, length); !problem.empty())
                return Fail(at, [&] { return problem + At(at); });
            const std::size_t next = at + kChunkOverhead + length;
            if (TypeIs(type, "IEND")) return End(next);
            at = next;
        }
    }

  private:
    static std::string TypeName(const std::uint8_t* type) {
        return std::all_of(type, type + 4, IsLetter) ? std::string(type, type + 4) : "?";
    }

    template <class Reason>
    PngFrame Fail(std::size_t offset, Reason reason) {
        return {reasons_.Damaged(static_cast<std::uint32_t>(offset), reason), {}};
    }

    // The rules of the critical chunks: IHDR first, PLTE before the image data, the IDAT
    // chunks in one run, IEND empty and after the image data. Empty where the chunk fits.
    std::string Order(int index, const std::uint8_t* type, std::uint32_t length) {
        const std::uint8_t* d = type + 4;
        const bool isHeader = TypeIs(type, "IHDR");
        if ((index == 0) != isHeader)
            return index == 0 ? "PNG frame without IHDR first" : "PNG second IHDR";
        if (isHeader) {
            if (length != 13 || !IsValidHeader(d)) return "PNG IHDR invalid";
            size_ = {Be32(d), Be32(d + 4)};
            colourType_ = d[9];
            return {};
        }
        const bool isData = TypeIs(type, "IDAT");
        if (isData && idatEnded_) return "PNG IDAT chunks not consecutive";
        if (TypeIs(type, "PLTE") && (length % 3 != 0 || length > 768 || seenIdat_))
            return "PNG PLTE invalid";
        hasPalette_ = hasPalette_ || TypeIs(type, "PLTE");
        if (TypeIs(type, "IEND")) {
            if (length != 0) return "PNG IEND not empty";
            if (!seenIdat_) return "PNG frame without IDAT";
            if (colourType_ == 3 && !hasPalette_) return "PNG palette frame without PLTE";
        }
        idatEnded_ = idatEnded_ || (seenIdat_ && !isData);
        seenIdat_ = seenIdat_ || isData;
        return {};
    }

    PngFrame End(std::size_t next) {
        if (!IsPadding(data_.subspan(next)))
            return Fail(next, [&] { return "PNG data after IEND" + At(next); });
        return {FrameVerdict::Whole(), size_};
    }

    Bytes data_;
    const DamageReasons& reasons_;
    PngSize size_;
    std::uint8_t colourType_ = 0;
    bool seenIdat_ = false;
    bool idatEnded_ = false;
    bool hasPalette_ = false;
};

class PngChecker final : public FrameChecker {
  public:
    CheckDepth Depth() const override { return CheckDepth::kFull; }

    FrameVerdict Check(Bytes data, std::uint32_t) override {
        if (data.empty()) return FrameVerdict::Whole();
        PngFrame frame = PngWalk(data, Reasons()).Run();
        if (frame.verdict.state != FrameState::kWhole) return std::move(frame.verdict);
        if (!reference_) reference_ = frame.size;
        if (frame.size != *reference_) {
            return Damaged(16, [&] {
                return "PNG size " + Text(frame.size) + " differs from the stream's " +
                       Text(*reference_);
            });
        }
        return frame.verdict;
    }

  private:
    static std::string Text(PngSize s) {
        return std::to_string(s.width) + "x" + std::to_string(s.height);
    }

    std::optional<PngSize> reference_;  // the first whole frame's
};

}  // namespace

std::unique_ptr<FrameChecker> MakePngChecker(const VideoStreamFormat&) {
    return std::make_unique<PngChecker>();
}

}  // namespace plovik::frames
