// AAC: ADTS headers whose lengths chain. Raw access units (what AVI writers put, with the
// AudioSpecificConfig in the format) carry no structure to check without decoding.
#include "checkers.h"
#include "framed_audio.h"

namespace plovik::frames {

namespace {

constexpr std::uint32_t kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                            22050, 16000, 12000, 11025, 8000,  7350};

struct AdtsHeader {
    bool mpeg2 = false;
    bool crcPresent = false;
    int profile = 0;  // the object type - 1
    int rateIndex = 0;
    int channelConfiguration = 0;
    std::uint32_t length = 0;  // the frame's, header included
    int blocks = 0;            // raw data blocks, each of 1024 samples

    std::size_t HeaderBytes() const { return crcPresent ? 9 : 7; }
};

// 12 sync bits, then ID, layer (00: MPEG audio reserves it, which tells the two apart).
bool IsAdtsSync(const std::uint8_t* p) { return p[0] == 0xFF && (p[1] & 0xF6) == 0xF0; }

std::optional<AdtsHeader> ParseHeader(const std::uint8_t* p) {
    if (!IsAdtsSync(p)) return std::nullopt;
    AdtsHeader h;
    h.mpeg2 = (p[1] & 0x08) != 0;
    h.crcPresent = (p[1] & 1) == 0;
    h.profile = p[2] >> 6;
    h.rateIndex = p[2] >> 2 & 15;
    h.channelConfiguration = (p[2] & 1) << 2 | p[3] >> 6;
    h.length = (p[3] & 3u) << 11 | p[4] << 3 | p[5] >> 5;
    h.blocks = (p[6] & 3) + 1;
    if (h.rateIndex >= 13 || h.length < h.HeaderBytes()) return std::nullopt;
    return h;
}

class AdtsSyntax final : public FrameSyntax {
  public:
    std::size_t HeaderSize() const override { return 7; }
    std::uint8_t SyncByte() const override { return 0xFF; }
    std::size_t MaxFrame() const override { return 8191; }  // 13 length bits
    const char* StreamName() const override { return "ADTS"; }
    const char* FixedFields() const override { return "profile or sample rate"; }

    FrameHead Read(const std::uint8_t* header) const override {
        const auto h = ParseHeader(header);
        if (!h) return {};
        // Not the channels: broadcasts switch between layouts.
        const auto fixed =
            static_cast<std::uint32_t>(h->mpeg2 << 6 | h->profile << 4 | h->rateIndex);
        return {FrameHead::Kind::kFrame, h->length, fixed, "ADTS"};
    }

    // The CRC covers parts of the raw data blocks that only their parser finds.
    const char* Fault(Bytes) const override { return nullptr; }
};

// ADTS data goes to the ADTS checker; a stream that opens with anything else is taken as raw
// access units, which nothing here can judge.
class AdtsOrRawChecker final : public FrameChecker {
  public:
    explicit AdtsOrRawChecker(const AudioStreamFormat& format)
        : adts_(MakeFramedAudioChecker(std::make_unique<AdtsSyntax>(), format,
                                       CheckDepth::kHeaders)) {}

    CheckDepth Depth() const override { return CheckDepth::kHeaders; }

    FrameVerdict Check(Bytes data, std::uint32_t size) override {
        if (data.empty()) return FrameVerdict::Whole();
        if (!decided_) {
            decided_ = true;
            raw_ = data.size() < 2 || !IsAdtsSync(data.data());
        }
        return raw_ ? FrameVerdict::CannotTell() : adts_->Check(data, size);
    }
    void Restart() override { adts_->Restart(); }
    FrameVerdict End() override { return raw_ ? FrameVerdict::CannotTell() : adts_->End(); }

  private:
    std::unique_ptr<FrameChecker> adts_;
    bool decided_ = false;
    bool raw_ = false;
};

constexpr std::uint16_t kRawAacTag = 0x00FF;
constexpr std::uint16_t kAdtsTag = 0x1600;

}  // namespace

// Raw AAC with its AudioSpecificConfig has no checker; the other AAC tags may hold ADTS.
std::unique_ptr<FrameChecker> MakeAacChecker(const AudioStreamFormat& format) {
    const bool rawUnits = format.formatTag == 0x1601 || format.formatTag == 0x1602 ||
                          (format.formatTag != kAdtsTag && format.extra.size() >= 2);
    if (rawUnits) return nullptr;
    return std::make_unique<AdtsOrRawChecker>(format);
}

std::optional<ProbedAudio> ProbeAac(Bytes data) {
    const AdtsSyntax syntax;
    const auto found = ProbeFirstFrame(syntax, data);
    if (!found) return std::nullopt;
    const AdtsHeader h = *ParseHeader(data.data() + found->at);
    ProbedAudio probed;
    probed.family = AudioFamily::kAac;
    probed.formatTag = kRawAacTag;
    // Configuration 0 leaves the channels to a program element in the data; 7 is 7.1.
    probed.channels =
        static_cast<std::uint16_t>(h.channelConfiguration == 7 ? 8 : h.channelConfiguration);
    probed.sampleRate = kSampleRates[h.rateIndex];
    probed.samplesPerFrame = 1024u * static_cast<unsigned>(h.blocks);
    // The largest access unit: 6144 bits a channel.
    probed.blockAlign = static_cast<std::uint16_t>(768 * std::max<int>(probed.channels, 1));
    probed.source = "ADTS header";
    return probed;
}

}  // namespace plovik::frames
