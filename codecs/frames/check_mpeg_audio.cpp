// MPEG audio (MP1, MP2, MP3): frame headers where their lengths put them, CRC-16.
#include <array>
#include <cstring>

#include "checkers.h"
#include "crc16.h"
#include "framed_audio.h"

namespace plovik::frames {

namespace {

constexpr int kMpeg1 = 3;  // the header's version bits: 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
constexpr int kMono = 3;   // mode bits
constexpr int kJointStereo = 1;

struct MpegAudioHeader {
    int version = 0;
    int layer = 0;  // 1, 2, 3
    bool protectedByCrc = false;
    int bitrateIndex = 0;
    int rateIndex = 0;
    bool padding = false;
    int mode = 0;
    int modeExtension = 0;
    std::uint32_t bitRate = 0;  // bit/s; 0 in free format
    std::uint32_t sampleRate = 0;

    bool Lsf() const { return version != kMpeg1; }  // the half and quarter rates
    int Channels() const { return mode == kMono ? 1 : 2; }
    std::uint32_t Samples() const { return layer == 1 ? 384 : layer == 2 || !Lsf() ? 1152 : 576; }
    // The frame's bytes; 0 in free format.
    std::uint32_t Length() const {
        if (layer == 1) return (12 * bitRate / sampleRate + padding) * 4;
        return Samples() / 8 * bitRate / sampleRate + padding;
    }
    // Layer III: the side information's bytes.
    std::size_t SideInfo() const {
        if (Lsf()) return mode == kMono ? 9 : 17;
        return mode == kMono ? 17 : 32;
    }
    // Joint stereo codes the subbands from this one up once for both channels.
    int Bound(int subbands) const {
        return mode == kJointStereo ? std::min(4 * (modeExtension + 1), subbands) : subbands;
    }
};

// kbit/s by [LSF][layer - 1][index - 1].
constexpr std::uint16_t kBitRates[2][3][14] = {
    {{32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
constexpr std::uint32_t kSampleRates[3] = {44100, 48000, 32000};

std::optional<MpegAudioHeader> ParseHeader(const std::uint8_t* p) {
    const std::uint32_t bits = std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
    MpegAudioHeader h;
    h.version = bits >> 19 & 3;
    h.layer = 4 - static_cast<int>(bits >> 17 & 3);
    h.protectedByCrc = (bits >> 16 & 1) == 0;
    h.bitrateIndex = bits >> 12 & 15;
    h.rateIndex = bits >> 10 & 3;
    h.padding = (bits >> 9 & 1) != 0;
    h.mode = bits >> 6 & 3;
    h.modeExtension = bits >> 4 & 3;
    // MPEG-2.5 is Layer III only.
    if (bits >> 21 != 0x7FF || h.version == 1 || h.layer == 4 || h.bitrateIndex == 15 ||
        h.rateIndex == 3 || (h.version == 0 && h.layer != 3)) {
        return std::nullopt;
    }
    if (h.bitrateIndex > 0) h.bitRate = 1000u * kBitRates[h.Lsf()][h.layer - 1][h.bitrateIndex - 1];
    h.sampleRate = kSampleRates[h.rateIndex] >> (h.version == kMpeg1 ? 0 : h.version == 2 ? 1 : 2);
    return h;
}

// Reads bits MSB first from a frame, past its end as zeros (the caller checks the count).
class BitReader {
  public:
    BitReader(Bytes bytes, std::size_t bit) : bytes_(bytes), bit_(bit) {}
    unsigned Read(int count) {
        unsigned value = 0;
        for (int i = 0; i < count; ++i, ++bit_) {
            const std::size_t byte = bit_ / 8;
            const unsigned b = byte < bytes_.size() ? bytes_[byte] >> (7 - bit_ % 8) & 1 : 0;
            value = value << 1 | b;
        }
        return value;
    }
    std::size_t Position() const { return bit_; }

  private:
    Bytes bytes_;
    std::size_t bit_;
};

// Layer II's bit allocation tables: how many subbands, and the allocation's bits in each
// (4 for the first ones, then 3, then 2).
struct AllocationTable {
    int fourBits, threeBits, twoBits;
    int Subbands() const { return fourBits + threeBits + twoBits; }
    int Bits(int subband) const {
        return subband < fourBits ? 4 : subband < fourBits + threeBits ? 3 : 2;
    }
};

AllocationTable Layer2Table(const MpegAudioHeader& h) {
    if (h.Lsf()) return {4, 7, 19};
    const std::uint32_t perChannel = h.bitRate / 1000 / static_cast<unsigned>(h.Channels());
    if ((h.sampleRate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80)) {
        return {11, 12, 4};
    }
    if (h.sampleRate != 48000 && perChannel >= 96) return {11, 12, 7};
    if (h.sampleRate != 32000 && perChannel <= 48) return {2, 6, 0};
    return {2, 10, 0};
}

// The bits after the CRC word that the CRC covers: Layer I's allocation, Layer II's allocation
// and scale factor selection, Layer III's side information.
std::size_t CoveredBits(const MpegAudioHeader& h, Bytes frame) {
    if (h.layer == 3) return 8 * h.SideInfo();
    const int channels = h.Channels();
    if (h.layer == 1) {
        const int bound = h.Bound(32);
        return static_cast<std::size_t>(4 * (bound * channels + 32 - bound));
    }
    const AllocationTable table = Layer2Table(h);
    const int subbands = table.Subbands();
    const int bound = h.Bound(subbands);
    BitReader reader(frame, 48);
    std::array<std::array<unsigned, 32>, 2> allocation{};
    for (int sb = 0; sb < subbands; ++sb) {
        for (int ch = 0; ch < (sb < bound ? channels : 1); ++ch) {
            allocation[ch][sb] = reader.Read(table.Bits(sb));
        }
        if (sb >= bound) allocation[1][sb] = allocation[0][sb];
    }
    std::size_t scfsi = 0;
    for (int sb = 0; sb < subbands; ++sb) {
        for (int ch = 0; ch < channels; ++ch) scfsi += allocation[ch][sb] ? 2 : 0;
    }
    return reader.Position() - 48 + scfsi;
}

const char* NameOf(int layer) { return layer == 3 ? "MP3" : layer == 2 ? "MP2" : "MP1"; }

class MpegAudioSyntax final : public FrameSyntax {
  public:
    explicit MpegAudioSyntax(std::uint16_t formatTag) : formatTag_(formatTag) {}

    std::size_t HeaderSize() const override { return 4; }
    std::uint8_t SyncByte() const override { return 0xFF; }
    // MPEG-1 Layer II at 32 kHz and 384 kbit/s, padded.
    std::size_t MaxFrame() const override { return 1729; }
    const char* StreamName() const override { return formatTag_ == 0x50 ? "MP2" : "MP3"; }
    const char* FixedFields() const override { return "version, layer or sample rate"; }

    FrameHead Read(const std::uint8_t* header) const override {
        const auto h = ParseHeader(header);
        if (!h) return {};
        FrameHead head;
        head.kind = h->bitRate ? FrameHead::Kind::kFrame : FrameHead::Kind::kUnsized;
        head.length = h->bitRate ? h->Length() : 0;
        // Not the mode: broadcasts switch between mono and stereo.
        head.fixed = static_cast<std::uint32_t>(h->version << 4 | h->layer << 2 | h->rateIndex);
        head.name = NameOf(h->layer);
        return head;
    }

    const char* Fault(Bytes frame) const override {
        const auto h = ParseHeader(frame.data());
        if (!h || !h->protectedByCrc) return nullptr;
        const std::size_t bits = CoveredBits(*h, frame);
        if (6 + (bits + 7) / 8 > frame.size()) return "shorter than its CRC covers";
        std::uint16_t crc = Crc16(0xFFFF, frame.subspan(2, 2));
        crc = Crc16Bits(crc, frame.subspan(6), bits);
        return crc == (frame[4] << 8 | frame[5]) ? nullptr : "CRC mismatch";
    }

    // An ID3v2 tag: "ID3", version, flags, a size in four 7-bit bytes, a footer when flagged.
    std::size_t OpeningTag(Bytes data) const override {
        if (data.size() < 10 || std::memcmp(data.data(), "ID3", 3) != 0) return 0;
        std::size_t size = 0;
        for (int i = 6; i < 10; ++i) {
            if (data[i] & 0x80) return 0;
            size = size << 7 | data[i];
        }
        return 10 + size + (data[5] & 0x10 ? 10 : 0);
    }

  private:
    std::uint16_t formatTag_;
};

// The encoder's tag frame of a VBR stream ("Xing" after the side information, "VBRI" after
// 32 bytes): its bit rate is not the stream's.
bool IsVbrTagFrame(const MpegAudioHeader& h, Bytes frame) {
    if (h.layer != 3) return false;
    const auto at = [&](std::size_t offset, const char* tag) {
        return frame.size() >= offset + 4 && std::memcmp(frame.data() + offset, tag, 4) == 0;
    };
    return at(4 + (h.protectedByCrc ? 2 : 0) + h.SideInfo(), "Xing") || at(36, "VBRI");
}

}  // namespace

std::unique_ptr<FrameChecker> MakeMpegAudioChecker(const AudioStreamFormat& format) {
    return MakeFramedAudioChecker(std::make_unique<MpegAudioSyntax>(format.formatTag), format,
                                  CheckDepth::kFull);
}

std::optional<ProbedAudio> ProbeMpegAudio(Bytes data) {
    const MpegAudioSyntax syntax(0x55);
    const auto found = ProbeFirstFrame(syntax, data);
    if (!found) return std::nullopt;
    const MpegAudioHeader h = *ParseHeader(data.data() + found->at);
    ProbedAudio probed;
    probed.family = AudioFamily::kMpegAudio;
    probed.formatTag = h.layer == 3 ? 0x55 : 0x50;
    probed.channels = static_cast<std::uint16_t>(h.Channels());
    probed.sampleRate = h.sampleRate;
    probed.bitRate = h.bitRate;
    const Bytes frame = data.subspan(found->at);
    if (IsVbrTagFrame(h, frame)) probed.bitRate = 0;
    if (found->chained && h.bitRate) {
        const auto next = ParseHeader(data.data() + found->at + h.Length());
        if (next->bitRate != h.bitRate) probed.bitRate = 0;
    }
    probed.samplesPerFrame = h.Samples();
    // Chunks of whole frames are written one frame to a unit, the block the samples of a
    // frame; other chunks as a byte stream.
    const bool wholeFrames = found->at == 0 && FramesFillToEnd(syntax, data, 0);
    probed.blockAlign = static_cast<std::uint16_t>(wholeFrames ? h.Samples() : 1);
    probed.source = std::string(h.version == kMpeg1 ? "MPEG-1"
                                : h.version == 2    ? "MPEG-2"
                                                    : "MPEG-2.5") +
                    " Layer " +
                    (h.layer == 3   ? "III"
                     : h.layer == 2 ? "II"
                                    : "I") +
                    " header";
    return probed;
}

}  // namespace plovik::frames
