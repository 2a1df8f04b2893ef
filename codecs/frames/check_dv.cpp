// DV frames: 80-byte DIF blocks in their fixed order, a frame size fixed by the system.
// A frame is channels x sequences x 150 blocks; every block's ID says its section type, its
// sequence and channel and its number in the section, so a block lost, repeated, shifted or
// zeroed shows at its first byte.
#include <array>
#include <string>

#include "checkers.h"

namespace plovik::frames {
namespace {

constexpr std::size_t kBlockBytes = 80;
constexpr std::size_t kSequenceBlocks = 150;
constexpr std::size_t kSequenceBytes = kBlockBytes * kSequenceBlocks;  // 12,000

enum Section : std::uint8_t { kHeader = 0, kSubcode = 1, kVaux = 2, kAudio = 3, kVideo = 4 };

struct BlockId {
    std::uint8_t section = 0;  // SCT
    std::uint8_t number = 0;   // DBN
};

// One sequence's blocks: header, 2 subcode, 3 VAUX, then 9 times an audio block and 15 video
// blocks.
constexpr std::array<BlockId, kSequenceBlocks> SequencePattern() {
    std::array<BlockId, kSequenceBlocks> p{};
    p[0] = {kHeader, 0};
    p[1] = {kSubcode, 0};
    p[2] = {kSubcode, 1};
    for (std::uint8_t i = 0; i < 3; ++i) p[3 + i] = {kVaux, i};
    for (std::uint8_t k = 0; k < 9; ++k) {
        p[6 + 16 * k] = {kAudio, k};
        for (std::uint8_t v = 0; v < 15; ++v)
            p[7 + 16 * k + v] = {kVideo, static_cast<std::uint8_t>(15 * k + v)};
    }
    return p;
}

constexpr auto kPattern = SequencePattern();

struct DvSystem {
    bool dsf;               // header DSF: 625/50 (12 sequences a channel) when set
    std::uint8_t stype;     // VAUX source pack STYPE
    std::uint8_t channels;  // DIF channels
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t rate;
    std::uint32_t scale;
    FOURCC fourcc;

    std::size_t Sequences() const { return dsf ? 12 : 10; }
    std::size_t FrameBytes() const { return kSequenceBytes * Sequences() * channels; }
};

constexpr DvSystem kSystems[] = {
    {false, 0x00, 1, 720, 480, 30000, 1001, MakeFourCC("dvsd")},
    {true, 0x00, 1, 720, 576, 25, 1, MakeFourCC("dvsd")},
    {false, 0x04, 2, 720, 480, 30000, 1001, MakeFourCC("dv50")},
    {true, 0x04, 2, 720, 576, 25, 1, MakeFourCC("dv50")},
    {false, 0x14, 4, 1280, 1080, 30000, 1001, MakeFourCC("dvhd")},
    {true, 0x14, 4, 1440, 1080, 25, 1, MakeFourCC("dvhd")},
    {false, 0x18, 2, 960, 720, 60000, 1001, MakeFourCC("dvhd")},
    {true, 0x18, 2, 960, 720, 50, 1, MakeFourCC("dvhd")},
};

bool Dsf(Bytes frame) { return (frame[3] & 0x80) != 0; }

// A header block with sequence 0 opens every frame.
bool OpensFrame(Bytes frame) {
    return frame.size() >= kBlockBytes && (frame[0] >> 5) == kHeader && (frame[1] >> 4) == 0 &&
           frame[2] == 0;
}

// The system of the frame's size and DSF: the block pattern depends on no more.
const DvSystem* SystemBySize(std::size_t size, bool dsf) {
    for (const DvSystem& s : kSystems) {
        if (s.dsf == dsf && s.FrameBytes() == size) return &s;
    }
    return nullptr;
}

// The VAUX source pack (type 0x60) of the first sequence names DV50 and DV100; none (or
// another pack there) leaves the size to tell.
const DvSystem* SystemOf(Bytes frame) {
    constexpr std::size_t kSourcePack = kBlockBytes * 5 + 48;
    const bool dsf = Dsf(frame);
    if (frame.size() >= kSourcePack + 5 && frame[kSourcePack] == 0x60) {
        const std::uint8_t stype = frame[kSourcePack + 3] & 0x1F;
        for (const DvSystem& s : kSystems) {
            if (s.dsf == dsf && s.stype == stype) return &s;
        }
    }
    return SystemBySize(frame.size(), dsf);
}

std::string At(std::size_t offset) { return " at +" + std::to_string(offset); }

// The first block of the frame's first `size` bytes whose ID breaks the system's pattern.
FrameVerdict WalkBlocks(Bytes frame, const DvSystem& system, const DamageReasons& reasons) {
    const std::size_t blocks = std::min(frame.size(), system.FrameBytes()) / kBlockBytes;
    const std::size_t sequences = system.Sequences();
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::uint8_t* id = frame.data() + i * kBlockBytes;
        const BlockId& want = kPattern[i % kSequenceBlocks];
        const std::size_t sequence = i / kSequenceBlocks % sequences;
        const std::size_t channel = i / kSequenceBlocks / sequences;
        // FSC is the channel's low bit, FSP clear only on DV100's channels 2 and 3.
        const bool fsc = (id[1] & 0x08) != 0;
        const bool fsp = (id[1] & 0x04) != 0;
        const bool channelOk =
            system.channels == 1 ||
            (fsc == ((channel & 1) != 0) && (system.channels != 4 || fsp == (channel < 2)));
        if ((id[0] >> 5) != want.section || (id[1] >> 4) != sequence || id[2] != want.number ||
            !channelOk) {
            return reasons.Damaged(static_cast<std::uint32_t>(i * kBlockBytes),
                                   [&] { return "DV block out of order" + At(i * kBlockBytes); });
        }
        if (want.section == kHeader && Dsf(Bytes(id, kBlockBytes)) != system.dsf) {
            return reasons.Damaged(static_cast<std::uint32_t>(i * kBlockBytes), [&] {
                return "DV header DSF unlike the frame's" + At(i * kBlockBytes);
            });
        }
    }
    return FrameVerdict::Whole();
}

// Video blocks' STA (error concealment status) is left alone: cameras and capture tools set
// it on frames recorded from a tape with dropouts, which are files written whole.
class DvChecker final : public FrameChecker {
  public:
    CheckDepth Depth() const override { return CheckDepth::kFull; }

    FrameVerdict Check(Bytes data, std::uint32_t) override {
        if (data.empty()) return FrameVerdict::Whole();
        if (!OpensFrame(data)) return Damaged(0, [&] { return "DV frame without header block"; });
        const DvSystem* system = system_ ? system_ : SystemBySize(data.size(), Dsf(data));
        if (system == nullptr) {
            return Damaged(static_cast<std::uint32_t>(data.size()), [&] {
                return "DV frame of " + std::to_string(data.size()) + " bytes fits no DV system";
            });
        }
        FrameVerdict verdict = WalkBlocks(data, *system, Reasons());
        if (verdict.state != FrameState::kWhole) return verdict;
        if (data.size() != system->FrameBytes()) {
            return Damaged(
                static_cast<std::uint32_t>(std::min(data.size(), system->FrameBytes())), [&] {
                    return "DV frame of " + std::to_string(data.size()) +
                           " bytes, the stream's have " + std::to_string(system->FrameBytes());
                });
        }
        system_ = system;
        return verdict;
    }

  private:
    const DvSystem* system_ = nullptr;  // the first whole frame's
};

}  // namespace

std::unique_ptr<FrameChecker> MakeDvChecker(const VideoStreamFormat&) {
    return std::make_unique<DvChecker>();
}

std::optional<ProbedVideo> ProbeDv(Bytes frame) {
    if (!OpensFrame(frame) || (frame[3] & 0x7F) != 0x3F) return std::nullopt;
    const DvSystem* system = SystemOf(frame);
    if (system == nullptr) return std::nullopt;
    ProbedVideo probed;
    probed.family = VideoFamily::kDv;
    probed.fourcc = system->fourcc;
    probed.width = system->width;
    probed.height = system->height;
    probed.frameRate = ProbedRate{system->rate, system->scale, "DV system"};
    probed.key = true;
    probed.source = "DV system";
    return probed;
}

}  // namespace plovik::frames
