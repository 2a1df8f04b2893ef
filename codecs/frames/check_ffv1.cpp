// FFV1 frames (version 3): slices whose sizes chain from the end of the frame, each with its
// CRC. The configuration record in the stream format says whether the slices carry CRCs and
// how many make a frame; the few fields needed are read with the range decoder.
#include <array>
#include <string>
#include <vector>

#include "checkers.h"
#include "crc32.h"
#include "frame_bytes.h"

namespace plovik::frames {
namespace {

// The range coder's default state transitions (one_state); zero_state mirrors them.
constexpr std::uint8_t kOneState[256] = {
    0,   0,   0,   0,   0,   0,   0,   0,   20,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,
    31,  32,  33,  34,  35,  36,  37,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,
    49,  50,  51,  52,  53,  54,  55,  56,  56,  57,  58,  59,  60,  61,  62,  63,  64,  65,  66,
    67,  68,  69,  70,  71,  72,  73,  74,  75,  75,  76,  77,  78,  79,  80,  81,  82,  83,  84,
    85,  86,  87,  88,  89,  90,  91,  92,  93,  94,  94,  95,  96,  97,  98,  99,  100, 101, 102,
    103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 114, 115, 116, 117, 118, 119, 120,
    121, 122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133, 133, 134, 135, 136, 137, 138,
    139, 140, 141, 142, 143, 144, 145, 146, 147, 148, 149, 150, 151, 152, 152, 153, 154, 155, 156,
    157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 171, 172, 173, 174,
    175, 176, 177, 178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 190, 191, 192,
    194, 194, 195, 196, 197, 198, 199, 200, 201, 202, 202, 204, 205, 206, 207, 208, 209, 209, 210,
    211, 212, 213, 215, 215, 216, 217, 218, 219, 220, 220, 222, 223, 224, 225, 226, 227, 227, 229,
    229, 230, 231, 232, 234, 234, 235, 236, 237, 238, 239, 240, 241, 242, 243, 244, 245, 246, 247,
    248, 248, 0,   0,   0,   0,   0,   0,   0,
};

// The state transitions after a 1 (one) and a 0 (zero): the default table above, or the one
// a record with coder_type 2 gives for its slices. zero mirrors one.
struct Transitions {
    std::array<std::uint8_t, 256> one{};
    std::array<std::uint8_t, 256> zero{};

    constexpr void MirrorZero() {
        for (int i = 1; i < 256; ++i) zero[i] = static_cast<std::uint8_t>(256 - one[256 - i]);
    }
};

constexpr Transitions DefaultTransitions() {
    Transitions t;
    for (int i = 0; i < 256; ++i) t.one[i] = kOneState[i];
    t.MirrorZero();
    return t;
}

constexpr Transitions kDefaultTransitions = DefaultTransitions();

constexpr std::size_t kContextSize = 32;
using States = std::array<std::uint8_t, kContextSize>;

States FreshStates() {
    States s;
    s.fill(128);
    return s;
}

// The binary range decoder and its symbols. Bytes past the end read as zero, as the encoder
// assumes when it ends its output: the decoder looks two bytes ahead. Reads past those mark the
// decoder overrun: whatever it decoded then is not to be trusted.
class RangeDecoder {
  public:
    RangeDecoder(Bytes bytes, const Transitions& transitions) : bytes_(bytes), t_(transitions) {
        low_ = Next() << 8;
        low_ |= Next();
        if (low_ >= range_) overrun_ = true;
    }

    bool Overrun() const { return overrun_; }

    bool Bit(std::uint8_t& state) {
        const std::uint32_t split = range_ * state >> 8;
        bool bit = false;
        if (low_ < range_ - split) {
            range_ -= split;
            state = t_.zero[state];
        } else {
            low_ -= range_ - split;
            range_ = split;
            state = t_.one[state];
            bit = true;
        }
        if (range_ < 0x100) {
            range_ <<= 8;
            low_ = low_ << 8 | Next();
        }
        return bit;
    }

    // A zero flag, then the exponent in unary and the mantissa, then the sign if signed.
    // Values past 32 bits mark the decoder overrun.
    std::int64_t Symbol(States& s, bool isSigned = false) {
        if (Bit(s[0])) return 0;
        int e = 0;
        while (Bit(s[1 + std::min(e, 9)])) {
            if (++e > 31) {
                overrun_ = true;
                return 0;
            }
        }
        std::int64_t a = 1;
        for (int i = e - 1; i >= 0; --i) a = 2 * a + Bit(s[22 + std::min(i, 9)]);
        return isSigned && Bit(s[11 + std::min(e, 10)]) ? -a : a;
    }

  private:
    std::uint32_t Next() {
        if (pos_ < bytes_.size()) return bytes_[pos_++];
        overrun_ = overrun_ || ++past_ > kLookahead;
        return 0;
    }

    static constexpr std::size_t kLookahead = 2;

    Bytes bytes_;
    const Transitions& t_;
    std::size_t pos_ = 0;
    std::size_t past_ = 0;  // zero bytes read past the end
    std::uint32_t low_ = 0;
    std::uint32_t range_ = 0xFF00;
    bool overrun_ = false;
};

// What a frame's slices follow, from the configuration record.
struct Layout {
    Transitions transitions = kDefaultTransitions;  // of the slices' range coders
    std::uint32_t hSlices = 1;
    std::uint32_t vSlices = 1;
    bool ec = false;  // slices end with error status and CRC parity
};

constexpr std::int64_t kMaxSlicesOnAxis = 1024;
constexpr int kContextInputs = 5;
constexpr std::int64_t kMaxContexts = 32768;

// One quantisation table of a set: run lengths covering 128 entries. Its number of steps, or
// 0 where the runs do not fit.
std::int64_t ReadQuantTable(RangeDecoder& rc) {
    States s = FreshStates();
    std::int64_t steps = 0;
    for (std::int64_t filled = 0; filled < 128; ++steps) {
        const std::int64_t run = rc.Symbol(s) + 1;
        if (run > 128 - filled || rc.Overrun()) return 0;
        filled += run;
    }
    return steps;
}

// A table set's contexts: the product of its five tables' signed step counts, halved.
std::int64_t ReadQuantTableSet(RangeDecoder& rc) {
    std::int64_t scale = 1;
    for (int i = 0; i < kContextInputs; ++i) {
        const std::int64_t steps = ReadQuantTable(rc);
        if (steps == 0) return 0;
        scale *= 2 * steps - 1;
        if (scale > kMaxContexts) return 0;
    }
    return (scale + 1) / 2;
}

// Initial states coded per table set: one signed delta per context and state.
bool SkipInitialStates(RangeDecoder& rc, States& s, std::int64_t sets,
                       const std::array<std::int64_t, 8>& contexts) {
    std::array<States, kContextSize> perState;
    perState.fill(FreshStates());
    for (std::int64_t i = 0; i < sets; ++i) {
        if (!rc.Bit(s[0])) continue;
        for (std::int64_t j = 0; j < contexts[i]; ++j) {
            for (States& k : perState) rc.Symbol(k, true);
            if (rc.Overrun()) return false;
        }
    }
    return true;
}

// The parameters of a version 3 record, in their order; none for other versions or a record
// that does not read.
std::optional<Layout> ReadParameters(Bytes record) {
    RangeDecoder rc(record, kDefaultTransitions);
    States s = FreshStates();
    const std::int64_t version = rc.Symbol(s);
    if (version != 3 || rc.Overrun()) return std::nullopt;
    const std::int64_t micro = rc.Symbol(s);
    Layout layout;
    if (rc.Symbol(s) > 1) {  // coder_type 2: the slices' transitions differ from the default
        for (int i = 1; i < 256; ++i) {
            layout.transitions.one[i] =
                static_cast<std::uint8_t>(kOneState[i] + rc.Symbol(s, true));
        }
        layout.transitions.MirrorZero();
    }
    rc.Symbol(s);  // colorspace_type
    rc.Symbol(s);  // bits_per_raw_sample
    rc.Bit(s[0]);  // chroma_planes
    rc.Symbol(s);  // log2 of the chroma subsampling
    rc.Symbol(s);
    rc.Bit(s[0]);  // alpha plane
    const std::int64_t h = rc.Symbol(s) + 1;
    const std::int64_t v = rc.Symbol(s) + 1;
    const std::int64_t sets = rc.Symbol(s);
    if (h > kMaxSlicesOnAxis || v > kMaxSlicesOnAxis || sets < 1 || sets > 8 || rc.Overrun())
        return std::nullopt;
    layout.hSlices = static_cast<std::uint32_t>(h);
    layout.vSlices = static_cast<std::uint32_t>(v);
    std::array<std::int64_t, 8> contexts{};
    for (std::int64_t i = 0; i < sets; ++i) {
        contexts[i] = ReadQuantTableSet(rc);
        if (contexts[i] == 0) return std::nullopt;
    }
    if (!SkipInitialStates(rc, s, sets, contexts)) return std::nullopt;
    const std::int64_t ec = rc.Symbol(s);
    if (micro > 2) rc.Symbol(s);  // intra
    if (ec > 1 || rc.Overrun()) return std::nullopt;
    layout.ec = ec == 1;
    return layout;
}

// The record is what the format holds after its header, less a pad byte some writers add to
// an odd chunk: whichever has a CRC residue of 0.
std::optional<Layout> ReadRecord(Bytes extra) {
    for (std::size_t pad = 0; pad < 2 && extra.size() > pad + 4; ++pad) {
        const Bytes record = extra.first(extra.size() - pad);
        if (Crc32Msb(record) == 0) return ReadParameters(record.first(record.size() - 4));
    }
    return std::nullopt;
}

std::string At(std::size_t offset) { return " at +" + std::to_string(offset); }

struct Slice {
    std::size_t start = 0;
    std::size_t end = 0;  // after its footer
};

class Ffv1Checker final : public FrameChecker {
  public:
    explicit Ffv1Checker(Layout layout)
        : layout_(layout),
          footer_(layout.ec ? 8 : 3),
          raster_(std::size_t{layout.hSlices} * layout.vSlices) {
        slices_.reserve(raster_.size());
    }

    CheckDepth Depth() const override {
        return layout_.ec ? CheckDepth::kFull : CheckDepth::kHeaders;
    }

    FrameVerdict Check(Bytes data, std::uint32_t) override {
        if (data.empty()) return FrameVerdict::Whole();
        if (FrameVerdict v = Chain(data); v.state != FrameState::kWhole) return v;
        for (std::size_t i = 0; i < slices_.size(); ++i) {
            if (FrameVerdict v = CheckSlice(data, i); v.state != FrameState::kWhole) return v;
        }
        if (std::find(raster_.begin(), raster_.end(), 0) != raster_.end())
            return Damaged(0, [&] { return "FFV1 frame without all its slices"; });
        return FrameVerdict::Whole();
    }

  private:
    // The slices from the frame's end: each footer's size leads to the one before, down to
    // byte 0 exactly. slices_ ends in file order.
    FrameVerdict Chain(Bytes data) {
        slices_.clear();
        std::size_t end = data.size();
        while (end > 0) {
            if (end < footer_ || Be24(&data[end - footer_]) > end - footer_) {
                const std::size_t at = end < footer_ ? 0 : end - footer_;
                return Damaged(static_cast<std::uint32_t>(at),
                               [&] { return "FFV1 slice sizes do not chain" + At(at); });
            }
            const std::size_t start = end - footer_ - Be24(&data[end - footer_]);
            if (slices_.size() == raster_.size()) {
                return Damaged(static_cast<std::uint32_t>(start), [&] {
                    return "FFV1 frame with more slices than the stream's " +
                           std::to_string(raster_.size());
                });
            }
            slices_.push_back({start, end});
            end = start;
        }
        std::reverse(slices_.begin(), slices_.end());
        std::fill(raster_.begin(), raster_.end(), 0);
        return FrameVerdict::Whole();
    }

    FrameVerdict CheckSlice(Bytes data, std::size_t i) {
        const Slice& slice = slices_[i];
        const Bytes bytes = data.subspan(slice.start, slice.end - slice.start);
        const char* problem = nullptr;
        if (layout_.ec && Crc32Msb(bytes) != 0) {
            problem = " CRC mismatch";
        } else if (layout_.ec && bytes[bytes.size() - 5] != 0) {
            problem = " marked in error by its encoder";
        } else if (!Place(bytes.first(bytes.size() - footer_), i == 0)) {
            problem = " header out of the slice raster";
        }
        if (problem == nullptr) return FrameVerdict::Whole();
        return Damaged(static_cast<std::uint32_t>(slice.start),
                       [&] { return "FFV1 slice " + std::to_string(i) + problem; });
    }

    // The slice's position and extent on the raster, from its header (in the first slice
    // after the frame's key-frame bit), marked where no other slice is.
    bool Place(Bytes slice, bool first) {
        RangeDecoder rc(slice, layout_.transitions);
        if (first) {
            std::uint8_t keyState = 128;
            rc.Bit(keyState);
        }
        States s = FreshStates();
        const std::int64_t x = rc.Symbol(s);
        const std::int64_t y = rc.Symbol(s);
        const std::int64_t w = rc.Symbol(s) + 1;
        const std::int64_t h = rc.Symbol(s) + 1;
        if (rc.Overrun() || x + w > layout_.hSlices || y + h > layout_.vSlices) return false;
        for (std::int64_t row = y; row < y + h; ++row) {
            for (std::int64_t col = x; col < x + w; ++col) {
                std::uint8_t& cell = raster_[row * layout_.hSlices + col];
                if (cell != 0) return false;
                cell = 1;
            }
        }
        return true;
    }

    Layout layout_;
    std::size_t footer_;
    std::vector<std::uint8_t> raster_;  // the slice positions a frame's slices fill
    std::vector<Slice> slices_;         // at most one per raster position
};

}  // namespace

// Versions 0 and 1 carry no record and no slice footers: nothing to check but a key-frame
// bit. A record that does not read leaves the frames unjudged too.
std::unique_ptr<FrameChecker> MakeFfv1Checker(const VideoStreamFormat& format) {
    const std::optional<Layout> layout = ReadRecord(format.extra);
    if (!layout) return nullptr;
    return std::make_unique<Ffv1Checker>(*layout);
}

}  // namespace plovik::frames
