// AC-3: sync frames with CRC1 and CRC2.
#include "checkers.h"
#include "crc16.h"
#include "framed_audio.h"

namespace plovik::frames {

namespace {

constexpr std::uint16_t kBitRates[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                         192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr std::uint32_t kSampleRates[3] = {48000, 44100, 32000};
constexpr int kLastAc3Bsid = 10;   // 9 and 10: the half and quarter sample rates
constexpr int kLastEac3Bsid = 16;  // 11-16: enhanced AC-3, another header

struct Ac3Header {
    int fscod = 0;
    int frmsizecod = 0;
    int bsid = 0;

    bool Enhanced() const { return bsid > kLastAc3Bsid; }
    std::uint32_t BitRate() const { return 1000u * kBitRates[frmsizecod >> 1]; }
    std::uint32_t SampleRate() const { return kSampleRates[fscod] >> (bsid > 8 ? bsid - 8 : 0); }
    // 16-bit words; 44.1 kHz frames are one word longer at odd codes to keep the rate.
    std::uint32_t Words() const {
        const std::uint32_t kbps = kBitRates[frmsizecod >> 1];
        if (fscod == 0) return 2 * kbps;
        if (fscod == 2) return 3 * kbps;
        return kbps * 320 / 147 + (frmsizecod & 1);
    }
};

// bsid of an enhanced frame still reads: its syncinfo and bsid lie at the same places.
std::optional<Ac3Header> ParseHeader(const std::uint8_t* p) {
    Ac3Header h{p[4] >> 6, p[4] & 0x3F, p[5] >> 3};
    if (p[0] != 0x0B || p[1] != 0x77 || h.bsid > kLastEac3Bsid) return std::nullopt;
    if (!h.Enhanced() && (h.fscod == 3 || h.frmsizecod > 37)) return std::nullopt;
    return h;
}

class Ac3Syntax final : public FrameSyntax {
  public:
    std::size_t HeaderSize() const override { return 8; }
    std::uint8_t SyncByte() const override { return 0x0B; }
    std::size_t MaxFrame() const override { return 3840; }  // 640 kbit/s at 32 kHz
    const char* StreamName() const override { return "AC-3"; }
    const char* FixedFields() const override { return "sample rate"; }

    FrameHead Read(const std::uint8_t* header) const override {
        const auto h = ParseHeader(header);
        if (!h) return {};
        if (h->Enhanced()) return {FrameHead::Kind::kUnsized, 0, 0, "E-AC-3"};
        return {FrameHead::Kind::kFrame, 2 * h->Words(), static_cast<std::uint32_t>(h->fscod),
                "AC-3"};
    }

    // CRC1 covers the first 5/8 of the frame after the sync word, CRC2 the rest: each leaves
    // the register at 0.
    const char* Fault(Bytes frame) const override {
        const std::size_t words = frame.size() / 2;
        const std::size_t fiveEighths = 2 * ((words >> 1) + (words >> 3));
        if (Crc16(0, frame.subspan(2, fiveEighths - 2)) != 0) return "CRC1 mismatch";
        if (Crc16(0, frame.subspan(fiveEighths)) != 0) return "CRC2 mismatch";
        return nullptr;
    }
};

// Channels by acmod, before the LFE channel.
constexpr std::uint16_t kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};

// After acmod: the mix levels its layout carries, then lfeon.
bool LfeOn(std::uint8_t bsiByte) {
    const int acmod = bsiByte >> 5;
    int bit = 3;
    if ((acmod & 1) && acmod != 1) bit += 2;  // cmixlev
    if (acmod & 4) bit += 2;                  // surmixlev
    if (acmod == 2) bit += 2;                 // dsurmod
    return (bsiByte >> (7 - bit) & 1) != 0;
}

}  // namespace

std::unique_ptr<FrameChecker> MakeAc3Checker(const AudioStreamFormat& format) {
    return MakeFramedAudioChecker(std::make_unique<Ac3Syntax>(), format, CheckDepth::kFull);
}

std::optional<ProbedAudio> ProbeAc3(Bytes data) {
    const Ac3Syntax syntax;
    const auto found = ProbeFirstFrame(syntax, data);
    if (!found || found->head.kind != FrameHead::Kind::kFrame) return std::nullopt;
    const std::uint8_t* p = data.data() + found->at;
    const Ac3Header h = *ParseHeader(p);
    ProbedAudio probed;
    probed.family = AudioFamily::kAc3;
    probed.formatTag = 0x2000;
    probed.channels = static_cast<std::uint16_t>(kChannels[p[6] >> 5] + LfeOn(p[6]));
    probed.sampleRate = h.SampleRate();
    probed.bitRate = h.BitRate();
    probed.samplesPerFrame = 1536;
    // Chunks of whole frames are written one frame to a unit with the largest frame as the
    // block; other chunks as a byte stream.
    const bool wholeFrames = found->at == 0 && FramesFillToEnd(syntax, data, 0);
    probed.blockAlign = static_cast<std::uint16_t>(wholeFrames ? 3840 : 1);
    probed.source = "AC-3 sync frame";
    return probed;
}

}  // namespace plovik::frames
