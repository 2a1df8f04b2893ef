// H.264 Annex B frames: start codes, NAL headers, parameter sets before slices.
#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <string>

#include "checkers.h"
#include "header_bits.h"
#include "start_codes.h"

namespace plovik::frames {
namespace {

constexpr unsigned kNalSlice = 1;
constexpr unsigned kNalPartitionA = 2;
constexpr unsigned kNalIdr = 5;
constexpr unsigned kNalSps = 7;
constexpr unsigned kNalPps = 8;

// 0 and 24-31 are unspecified, 17, 18, 22 and 23 reserved: none of them belongs in a file.
bool IsKnownNalType(unsigned type) {
    return (type >= 1 && type <= 16) || (type >= 19 && type <= 21);
}

// Where the NAL unit whose header byte is at header ends, and where the next one's header
// stands. Inside a NAL unit 00 00 is followed by 03 (an escape, itself followed by 00-03 or
// the unit's end) or by a byte above 03; zero bytes after a unit belong to the byte stream and
// lead to a start code or to the chunk's end.
struct NalEnd {
    std::size_t end = 0;
    std::size_t next = kNoStartCode;
    HeaderFault fault;
};

NalEnd FindNalEnd(Bytes data, std::size_t header) {
    const std::size_t n = data.size();
    std::size_t from = header + 1;
    for (std::size_t i; (i = FindZeroPair(data, from)) != kNoStartCode; from = i + 3) {
        if (i + 2 == n) return {i, kNoStartCode, {}};
        switch (data[i + 2]) {
            case 0: {
                std::size_t j = i + 3;
                while (j < n && data[j] == 0) ++j;
                if (j == n) return {i, kNoStartCode, {}};
                if (data[j] == 1) return {i, j + 1, {}};
                return {i, kNoStartCode, {"H.264 zero bytes inside a NAL unit", i}};
            }
            case 1:
                return {i, i + 3, {}};
            case 2:
                return {i, kNoStartCode, {"H.264 bytes 00 00 02 inside a NAL unit", i}};
            case 3:
                if (i + 3 < n && data[i + 3] > 3) {
                    return {i, kNoStartCode, {"H.264 escape 00 00 03 before a byte above 03", i}};
                }
                break;
            default:
                break;
        }
    }
    // A unit never ends in a zero byte.
    if (from < n && data[n - 1] == 0) return {n - 1, kNoStartCode, {}};
    return {n, kNoStartCode, {}};
}

// Calls each(nal, at) for every NAL unit of an Annex B byte stream (nal opens with its header
// byte, at is its offset) until each returns false; the fault where the byte stream breaks.
template <class Each>
HeaderFault ForEachNal(Bytes data, Each each) {
    std::size_t header = LeadingStartCode(data);
    if (header == kNoStartCode) return {"H.264 start code expected", 0};
    while (true) {
        if (header >= data.size()) return {"H.264 start code without a NAL unit", header - 3};
        const NalEnd end = FindNalEnd(data, header);
        if (end.fault) return end.fault;
        if (!each(data.subspan(header, end.end - header), header)) return {};
        if (end.next == kNoStartCode) return {};
        header = end.next;
    }
}

// What an SPS says, as far as the checker and the probe read it.
struct Sps {
    std::uint32_t id = 0;
    std::uint32_t chromaFormat = 1;
    bool separatePlanes = false;
    std::uint32_t log2MaxFrameNum = 4;
    std::uint32_t widthMbs = 0;
    std::uint32_t heightMapUnits = 0;
    bool frameMbsOnly = true;
    std::array<std::uint32_t, 4> crop{};  // left, right, top, bottom, in crop units
    bool timing = false;
    std::uint32_t unitsInTick = 0;
    std::uint32_t timeScale = 0;
    bool fixedRate = false;

    std::uint32_t FrameHeightMbs() const { return heightMapUnits * (frameMbsOnly ? 1 : 2); }
    std::uint32_t FrameMbs() const { return widthMbs * FrameHeightMbs(); }
    // The crop units: chroma samples, or luma ones without chroma (monochrome, separate
    // planes), and rows of a field picture twice over.
    std::uint32_t CropX() const {
        return separatePlanes || chromaFormat == 0 || chromaFormat == 3 ? 1 : 2;
    }
    std::uint32_t CropY() const {
        return (separatePlanes || chromaFormat != 1 ? 1 : 2) * (frameMbsOnly ? 1 : 2);
    }
    std::uint32_t Width() const { return 16 * widthMbs - CropX() * (crop[0] + crop[1]); }
    std::uint32_t Height() const { return 16 * FrameHeightMbs() - CropY() * (crop[2] + crop[3]); }
};

// The profiles whose SPS carries the chroma format, bit depths and scaling matrices.
bool HasChromaFields(std::uint32_t profile) {
    static constexpr std::uint32_t kProfiles[] = {100, 110, 122, 244, 44,  83,  86,
                                                  118, 128, 138, 139, 134, 135, 144};
    return std::find(std::begin(kProfiles), std::end(kProfiles), profile) != std::end(kProfiles);
}

bool IsKnownProfile(std::uint32_t profile) {
    return profile == 66 || profile == 77 || profile == 88 || HasChromaFields(profile);
}

// The largest frame of the highest level, in macroblocks, and its widest side.
constexpr std::uint64_t kMaxFrameMbs = 139264;
constexpr std::uint32_t kMaxSideMbs = 1055;

HeaderFault SkipScalingList(HeaderBits& bits, int size) {
    int last = 8;
    int next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            const std::int32_t delta = bits.Se();
            if (delta < -128 || delta > 127) {
                return FaultAt(bits, "H.264 SPS scaling list out of range");
            }
            next = (last + delta + 256) % 256;
        }
        if (next != 0) last = next;
    }
    return {};
}

HeaderFault ReadChromaFields(HeaderBits& bits, Sps& sps) {
    sps.chromaFormat = bits.Ue();
    if (sps.chromaFormat > 3) return FaultAt(bits, "H.264 SPS chroma_format_idc out of range");
    if (sps.chromaFormat == 3) sps.separatePlanes = bits.Flag();
    if (bits.Ue() > 6 || bits.Ue() > 6) return FaultAt(bits, "H.264 SPS bit depth out of range");
    bits.Bit();  // qpprime_y_zero_transform_bypass_flag
    if (!bits.Flag()) return {};
    const int lists = sps.chromaFormat == 3 ? 12 : 8;
    for (int i = 0; i < lists; ++i) {
        if (!bits.Flag()) continue;
        if (HeaderFault fault = SkipScalingList(bits, i < 6 ? 16 : 64)) return fault;
    }
    return {};
}

HeaderFault ReadPicOrderCount(HeaderBits& bits) {
    const std::uint32_t type = bits.Ue();
    if (type > 2) return FaultAt(bits, "H.264 SPS pic_order_cnt_type out of range");
    if (type == 0 && bits.Ue() > 12) {
        return FaultAt(bits, "H.264 SPS log2_max_pic_order_cnt out of range");
    }
    if (type != 1) return {};
    bits.Bit();  // delta_pic_order_always_zero_flag
    bits.Se();   // offset_for_non_ref_pic
    bits.Se();   // offset_for_top_to_bottom_field
    const std::uint32_t cycle = bits.Ue();
    if (cycle > 255) return FaultAt(bits, "H.264 SPS pic_order_cnt cycle out of range");
    for (std::uint32_t i = 0; i < cycle && !bits.Short(); ++i) bits.Se();
    return {};
}

// The VUI as far as its timing.
HeaderFault ReadVuiTiming(HeaderBits& bits, Sps& sps) {
    if (bits.Flag() && bits.Bits(8) == 255) bits.Bits(32);  // aspect ratio, the SAR
    if (bits.Flag()) bits.Bit();                            // overscan
    if (bits.Flag()) {                                      // video signal type
        bits.Bits(4);
        if (bits.Flag()) bits.Bits(24);  // colour description
    }
    if (bits.Flag() && (bits.Ue() > 5 || bits.Ue() > 5)) {
        return FaultAt(bits, "H.264 VUI chroma sample location out of range");
    }
    sps.timing = bits.Flag();
    if (!sps.timing) return {};
    sps.unitsInTick = bits.Bits(32);
    sps.timeScale = bits.Bits(32);
    sps.fixedRate = bits.Flag();
    if (sps.unitsInTick == 0 || sps.timeScale == 0)
        return FaultAt(bits, "H.264 VUI timing of zero");
    return {};
}

// Reads an SPS NAL unit (header byte first) as far as its VUI timing.
HeaderFault ReadSps(Bytes nal, Sps& sps) {
    HeaderBits bits(nal, true);
    bits.Bits(8);
    const std::uint32_t profile = bits.Bits(8);
    if (!IsKnownProfile(profile)) return FaultAt(bits, "H.264 SPS of an unknown profile");
    bits.Bits(16);  // constraint flags, level_idc
    sps.id = bits.Ue();
    if (sps.id > 31) return FaultAt(bits, "H.264 SPS seq_parameter_set_id out of range");
    if (HasChromaFields(profile)) {
        if (HeaderFault fault = ReadChromaFields(bits, sps)) return fault;
    }
    const std::uint32_t log2MaxFrameNumMinus4 = bits.Ue();
    if (log2MaxFrameNumMinus4 > 12)
        return FaultAt(bits, "H.264 SPS log2_max_frame_num out of range");
    sps.log2MaxFrameNum = log2MaxFrameNumMinus4 + 4;
    if (HeaderFault fault = ReadPicOrderCount(bits)) return fault;
    if (bits.Ue() > 16) return FaultAt(bits, "H.264 SPS max_num_ref_frames out of range");
    bits.Bit();  // gaps_in_frame_num_value_allowed_flag
    sps.widthMbs = bits.Ue() + 1;
    sps.heightMapUnits = bits.Ue() + 1;
    sps.frameMbsOnly = bits.Flag();
    if (!sps.frameMbsOnly) bits.Bit();  // mb_adaptive_frame_field_flag
    bits.Bit();                         // direct_8x8_inference_flag
    if (bits.Flag()) {
        for (std::uint32_t& side : sps.crop) side = bits.Ue();
    }
    const bool vui = bits.Flag();
    if (bits.Short()) return FaultAt(bits, "H.264 SPS cut short");
    const std::uint64_t heightMbs = std::uint64_t{sps.heightMapUnits} * (sps.frameMbsOnly ? 1 : 2);
    if (sps.widthMbs > kMaxSideMbs || heightMbs > kMaxSideMbs ||
        sps.widthMbs * heightMbs > kMaxFrameMbs) {
        return FaultAt(bits, "H.264 SPS picture size out of range");
    }
    if (std::uint64_t{sps.CropX()} * (std::uint64_t{sps.crop[0]} + sps.crop[1]) >=
            16 * std::uint64_t{sps.widthMbs} ||
        std::uint64_t{sps.CropY()} * (std::uint64_t{sps.crop[2]} + sps.crop[3]) >= 16 * heightMbs) {
        return FaultAt(bits, "H.264 SPS cropping past the picture");
    }
    if (!vui) return {};
    if (HeaderFault fault = ReadVuiTiming(bits, sps)) return fault;
    if (bits.Short()) return FaultAt(bits, "H.264 SPS cut short");
    return {};
}

struct Pps {
    std::uint32_t id = 0;
    std::uint32_t spsId = 0;
};

// Reads a PPS NAL unit as far as its fields that need no SPS (and no slice group map).
HeaderFault ReadPps(Bytes nal, Pps& pps) {
    HeaderBits bits(nal, true);
    bits.Bits(8);
    pps.id = bits.Ue();
    if (pps.id > 255) return FaultAt(bits, "H.264 PPS pic_parameter_set_id out of range");
    pps.spsId = bits.Ue();
    if (pps.spsId > 31) return FaultAt(bits, "H.264 PPS seq_parameter_set_id out of range");
    bits.Bits(2);  // entropy_coding_mode_flag, bottom_field_pic_order_in_frame_present_flag
    const std::uint32_t sliceGroups = bits.Ue() + 1;
    if (sliceGroups > 8) return FaultAt(bits, "H.264 PPS slice group count out of range");
    if (sliceGroups == 1) {
        if (bits.Ue() > 31 || bits.Ue() > 31) {
            return FaultAt(bits, "H.264 PPS reference count out of range");
        }
        bits.Bit();  // weighted_pred_flag
        if (bits.Bits(2) > 2) return FaultAt(bits, "H.264 PPS weighted_bipred_idc out of range");
        const std::int32_t qp = bits.Se();  // down to -26 - 6 * (14 - 8) at 14 bits
        const std::int32_t qs = bits.Se();
        const std::int32_t chromaOffset = bits.Se();
        if (qp < -62 || qp > 25 || qs < -26 || qs > 25 || chromaOffset < -12 || chromaOffset > 12) {
            return FaultAt(bits, "H.264 PPS quantiser out of range");
        }
        bits.Bits(3);  // deblocking, constrained intra, redundant_pic_cnt flags
    }
    if (bits.Short()) return FaultAt(bits, "H.264 PPS cut short");
    return {};
}

struct SpsSlot {
    bool known = false;
    std::uint32_t frameMbs = 0;
    std::uint32_t log2MaxFrameNum = 4;
    bool separatePlanes = false;
};

struct PpsSlot {
    bool known = false;
    std::uint32_t spsId = 0;
};

// NAL units behind 4-byte big-endian lengths that chain to the chunk's end, each with a valid
// header: the form of files whose format lacks the configuration record that would say so.
bool IsLengthPrefixed(Bytes data) {
    std::size_t at = 0;
    while (data.size() - at > 4) {
        const std::size_t length = std::size_t{data[at]} << 24 | std::size_t{data[at + 1]} << 16 |
                                   std::size_t{data[at + 2]} << 8 | data[at + 3];
        if (length == 0 || length > data.size() - at - 4) return false;
        const unsigned header = data[at + 4];
        if ((header & 0x80) != 0 || !IsKnownNalType(header & 0x1F)) return false;
        at += 4 + length;
    }
    return at == data.size();
}

class H264Checker final : public FrameChecker {
  public:
    explicit H264Checker(Bytes extra) {
        if (LeadingStartCode(extra) != kNoStartCode) (void)Walk(extra);
    }

    CheckDepth Depth() const override { return CheckDepth::kHeaders; }

    FrameVerdict Check(Bytes data, std::uint32_t) override {
        if (data.empty()) return FrameVerdict::Whole();
        if (LeadingStartCode(data) == kNoStartCode && IsLengthPrefixed(data)) {
            return FrameVerdict::CannotTell();
        }
        return Walk(data);
    }

    // The parameter sets met stay in force; one sent in the lost chunks may be missing.
    void Restart() override { m_afterLoss = true; }

  private:
    FrameVerdict Walk(Bytes data) {
        FrameVerdict verdict = FrameVerdict::Whole();
        bool unsure = false;
        const HeaderFault fault = ForEachNal(data, [&](Bytes nal, std::size_t at) {
            verdict = CheckNal(nal, at);
            unsure = unsure || verdict.state == FrameState::kCannotTell;
            return verdict.state != FrameState::kDamaged;
        });
        if (verdict.state == FrameState::kDamaged) return verdict;
        if (fault) return Damaged(Offset(fault.at), [&] { return ReasonAt(fault.what, fault.at); });
        return unsure ? FrameVerdict::CannotTell() : FrameVerdict::Whole();
    }

    FrameVerdict CheckNal(Bytes nal, std::size_t at) {
        const unsigned header = nal[0];
        if ((header & 0x80) != 0) {
            return Damaged(Offset(at),
                           [&] { return ReasonAt("H.264 NAL header with forbidden bit", at); });
        }
        const unsigned type = header & 0x1F;
        if (!IsKnownNalType(type)) {
            return Damaged(Offset(at), [&] {
                return ReasonAt("H.264 NAL unit of unknown type " + std::to_string(type), at);
            });
        }
        HeaderFault fault;
        switch (type) {
            case kNalSps:
                fault = TakeSps(nal);
                break;
            case kNalPps:
                fault = TakePps(nal);
                break;
            case kNalSlice:
            case kNalPartitionA:
            case kNalIdr:
                return CheckSlice(nal, at, type == kNalIdr);
            default:
                break;
        }
        if (fault) {
            return Damaged(Offset(at + fault.at),
                           [&] { return ReasonAt(fault.what, at + fault.at); });
        }
        return FrameVerdict::Whole();
    }

    HeaderFault TakeSps(Bytes nal) {
        Sps sps;
        if (HeaderFault fault = ReadSps(nal, sps)) return fault;
        m_sps[sps.id] = {true, sps.FrameMbs(), sps.log2MaxFrameNum, sps.separatePlanes};
        return {};
    }

    HeaderFault TakePps(Bytes nal) {
        Pps pps;
        if (HeaderFault fault = ReadPps(nal, pps)) return fault;
        m_pps[pps.id] = {true, pps.spsId};
        return {};
    }

    FrameVerdict CheckSlice(Bytes nal, std::size_t at, bool idr) {
        HeaderBits bits(nal, true);
        bits.Bits(8);
        const std::uint32_t firstMb = bits.Ue();
        const std::uint32_t type = bits.Ue();
        const std::uint32_t ppsId = bits.Ue();
        const auto damaged = [&](const char* what) {
            return Damaged(Offset(at + bits.Offset()),
                           [&] { return ReasonAt(what, at + bits.Offset()); });
        };
        if (bits.Short()) return damaged("H.264 slice header cut short");
        if (type > 9) return damaged("H.264 slice_type out of range");
        if (ppsId > 255) return damaged("H.264 slice pic_parameter_set_id out of range");
        const PpsSlot& pps = m_pps[ppsId];
        if (!pps.known || !m_sps[pps.spsId].known) {
            if (m_afterLoss) return FrameVerdict::CannotTell();
            return damaged("H.264 slice before its parameter sets");
        }
        const SpsSlot& sps = m_sps[pps.spsId];
        if (firstMb >= sps.frameMbs) return damaged("H.264 first_mb_in_slice past the picture");
        if (sps.separatePlanes && bits.Bits(2) > 2) {
            return damaged("H.264 colour_plane_id out of range");
        }
        const std::uint32_t frameNum = bits.Bits(static_cast<int>(sps.log2MaxFrameNum));
        if (bits.Short()) return damaged("H.264 slice header cut short");
        if (idr && type % 5 != 2 && type % 5 != 4) return damaged("H.264 IDR slice not intra");
        if (idr && frameNum != 0) return damaged("H.264 IDR slice with a frame_num");
        return FrameVerdict::Whole();
    }

    static std::uint32_t Offset(std::size_t at) { return static_cast<std::uint32_t>(at); }

    std::array<SpsSlot, 32> m_sps{};
    std::array<PpsSlot, 256> m_pps{};
    bool m_afterLoss = false;
};

// An avcC record (version 1) rather than Annex B parameter sets: the chunks then hold NAL
// units behind length fields, a form this checker does not read.
bool IsAvcConfiguration(Bytes extra) { return !extra.empty() && extra[0] == 1; }

std::optional<ProbedRate> RateOf(const Sps& sps) {
    if (!sps.timing) return std::nullopt;
    std::uint64_t rate = sps.timeScale;
    std::uint64_t scale = 2 * std::uint64_t{sps.unitsInTick};
    const std::uint64_t common = std::gcd(rate, scale);
    rate /= common;
    scale /= common;
    if (scale > UINT32_MAX) return std::nullopt;
    return ProbedRate{static_cast<std::uint32_t>(rate), static_cast<std::uint32_t>(scale),
                      sps.fixedRate ? "H.264 VUI timing, fixed frame rate"
                                    : "H.264 VUI timing, frame rate not fixed"};
}

}  // namespace

std::unique_ptr<FrameChecker> MakeH264Checker(const VideoStreamFormat& format) {
    if (IsAvcConfiguration(format.extra)) return nullptr;
    return std::make_unique<H264Checker>(format.extra);
}

// The frame's first SPS; every NAL header before it must be one, or the bytes are no H.264.
std::optional<ProbedVideo> ProbeH264(Bytes frame) {
    std::optional<Sps> sps;
    bool valid = true;
    bool idr = false;
    (void)ForEachNal(frame, [&](Bytes nal, std::size_t) {
        const unsigned type = nal[0] & 0x1F;
        if ((nal[0] & 0x80) != 0 || !IsKnownNalType(type)) {
            valid = sps.has_value();
            return false;
        }
        if (type == kNalSps && !sps) {
            Sps read;
            if (ReadSps(nal, read)) {
                valid = false;
                return false;
            }
            sps = read;
        }
        idr = idr || type == kNalIdr;
        return true;
    });
    if (!valid || !sps) return std::nullopt;
    ProbedVideo probed;
    probed.family = VideoFamily::kH264;
    probed.fourcc = MakeFourCC("H264");
    probed.width = sps->Width();
    probed.height = sps->Height();
    probed.frameRate = RateOf(*sps);
    probed.key = idr;
    probed.source = "H.264 SPS";
    return probed;
}

}  // namespace plovik::frames
