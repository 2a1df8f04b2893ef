// MPEG-4 Part 2 frames: start codes, VOL and VOP headers.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "checkers.h"
#include "header_bits.h"
#include "start_codes.h"
#include "stream_invariant.h"

namespace plovik::frames {
namespace {

constexpr std::uint8_t kFirstVol = 0x20;
constexpr std::uint8_t kLastVol = 0x2F;
constexpr std::uint8_t kUserData = 0xB2;
constexpr std::uint8_t kGov = 0xB3;
constexpr std::uint8_t kVop = 0xB6;

// Video objects and layers, the headers B0-B6 but B4 (a session error), the object and layer
// codes BA-C3; the rest is reserved or belongs to systems streams.
bool IsVisualCode(std::uint8_t code) {
    return code <= kLastVol || (code >= 0xB0 && code <= kVop && code != 0xB4) ||
           (code >= 0xBA && code <= 0xC3);
}

bool IsVol(std::uint8_t code) { return code >= kFirstVol && code <= kLastVol; }

// A not-coded VOP of a packed stream may be written as a few bytes of any form.
constexpr std::size_t kPlaceholderBytes = 8;

// What a VOL says, as far as its size. Shapes other than rectangular leave the size out and
// change the fields after the shape: such a VOL is not read on.
struct Vol {
    bool rectangular = false;
    std::uint32_t resolution = 0;  // vop_time_increment_resolution
    int timeBits = 1;              // the bits of a vop_time_increment
    bool fixedRate = false;
    std::uint32_t fixedIncrement = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The bits that hold resolution - 1, at least 1.
int TimeBits(std::uint32_t resolution) {
    int bits = 1;
    while (bits < 16 && (resolution - 1) >> bits != 0) ++bits;
    return bits;
}

// vbv_parameters: bit rate, buffer size and occupancy in halves, each ended by a marker.
bool SkipVbvParameters(HeaderBits& bits) {
    static constexpr int kFields[] = {15, 15, 15, 3 + 11, 15};
    bool markers = true;
    for (int width : kFields) {
        bits.Bits(width);
        markers = bits.Marker() && markers;
    }
    return markers;
}

HeaderFault ReadVol(Bytes payload, Vol& vol) {
    HeaderBits bits(payload);
    bits.Bits(9);                           // random_accessible_vol, video_object_type_indication
    if (bits.Flag()) bits.Bits(7);          // verid, priority
    if (bits.Bits(4) == 15) bits.Bits(16);  // aspect_ratio_info, par
    bool markers = true;
    if (bits.Flag()) {  // vol_control_parameters
        bits.Bits(3);   // chroma_format, low_delay
        if (bits.Flag()) markers = SkipVbvParameters(bits);
    }
    vol.rectangular = bits.Bits(2) == 0;
    if (!vol.rectangular) {
        return bits.Short() ? FaultAt(bits, "MPEG-4 VOL cut short") : HeaderFault{};
    }
    markers = bits.Marker() && markers;
    vol.resolution = bits.Bits(16);
    markers = bits.Marker() && markers;
    vol.timeBits = TimeBits(vol.resolution);
    vol.fixedRate = bits.Flag();
    if (vol.fixedRate) vol.fixedIncrement = bits.Bits(vol.timeBits);
    markers = bits.Marker() && markers;
    vol.width = bits.Bits(13);
    markers = bits.Marker() && markers;
    vol.height = bits.Bits(13);
    markers = bits.Marker() && markers;
    if (bits.Short()) return FaultAt(bits, "MPEG-4 VOL cut short");
    if (!markers) return FaultAt(bits, "MPEG-4 VOL marker bit missing");
    if (vol.resolution == 0) return FaultAt(bits, "MPEG-4 VOL time resolution of zero");
    if (vol.width == 0 || vol.height == 0) return FaultAt(bits, "MPEG-4 VOL picture size of zero");
    return {};
}

// The VOP's time fields.
std::optional<VopTime> ReadVopTime(Bytes payload, int timeBits) {
    HeaderBits bits(payload);
    VopTime time;
    time.bidirectional = bits.Bits(2) == 2;  // vop_coding_type
    while (!bits.Short() && bits.Flag()) ++time.seconds;
    const bool marker = bits.Marker();
    time.increment = bits.Bits(timeBits);
    if (bits.Short() || !marker) return std::nullopt;
    return time;
}

// The VOP's first fields, up to vop_coded, read with the VOL's time resolution.
HeaderFault ReadVop(Bytes payload, const Vol& vol) {
    HeaderBits bits(payload);
    bits.Bits(2);        // vop_coding_type
    bool second = true;  // modulo_time_base: a 1 for each second passed, then a 0
    while (second && !bits.Short()) second = bits.Flag();
    bool markers = bits.Marker();
    const std::uint32_t increment = bits.Bits(vol.timeBits);
    markers = bits.Marker() && markers;
    bits.Bit();  // vop_coded
    if (bits.Short()) return FaultAt(bits, "MPEG-4 VOP header cut short");
    if (!markers) return FaultAt(bits, "MPEG-4 VOP marker bit missing");
    if (increment >= vol.resolution) {
        return FaultAt(bits, "MPEG-4 vop_time_increment past its resolution");
    }
    return {};
}

// The time code of a group of VOPs.
HeaderFault ReadGov(Bytes payload) {
    HeaderBits bits(payload);
    const std::uint32_t hours = bits.Bits(5);
    const std::uint32_t minutes = bits.Bits(6);
    const bool marker = bits.Marker();
    const std::uint32_t seconds = bits.Bits(6);
    if (bits.Short()) return FaultAt(bits, "MPEG-4 GOV header cut short");
    if (!marker) return FaultAt(bits, "MPEG-4 GOV marker bit missing");
    if (hours > 23 || minutes > 59 || seconds > 59) {
        return FaultAt(bits, "MPEG-4 GOV time code out of range");
    }
    return {};
}

// A chunk of H.263 pictures ("short video header" streams) rather than start codes.
bool IsShortHeader(Bytes data) {
    return data.size() >= 3 && data[0] == 0 && data[1] == 0 && (data[2] & 0xFC) == 0x80;
}

class Mpeg4Checker final : public FrameChecker {
  public:
    explicit Mpeg4Checker(Bytes extra) {
        const std::size_t first = LeadingStartCode(extra);
        if (first != kNoStartCode) (void)Walk(extra, first);
    }

    CheckDepth Depth() const override { return CheckDepth::kHeaders; }

    FrameVerdict Check(Bytes data, std::uint32_t) override {
        if (data.empty()) return FrameVerdict::Whole();
        const std::size_t first = LeadingStartCode(data);
        if (first == kNoStartCode) {
            if (data.size() <= kPlaceholderBytes || IsShortHeader(data)) {
                return FrameVerdict::CannotTell();
            }
            return Damaged(0, [&] { return "MPEG-4 start code expected at +0"; });
        }
        return Walk(data, first);
    }

  private:
    struct Tally {
        int vops = 0;
        int vols = 0;
        bool unsure = false;  // a VOP before any VOL: its times cannot be judged
    };

    FrameVerdict Walk(Bytes data, std::size_t first) {
        Tally tally;
        FrameVerdict verdict = FrameVerdict::Whole();
        const std::size_t stray = ForEachStartCodeUnit(
            data, first, [&](std::uint8_t code, Bytes payload, std::size_t at) {
                verdict = CheckUnit(code, payload, at, tally);
                return verdict.state != FrameState::kDamaged;
            });
        if (verdict.state == FrameState::kDamaged) return verdict;
        if (stray != kNoStartCode) {
            return Damaged(static_cast<std::uint32_t>(stray),
                           [&] { return ReasonAt("MPEG-4 zero bytes inside a frame", stray); });
        }
        if (tally.vops == 0 && tally.vols == 0) {
            if (data.size() <= kPlaceholderBytes) return FrameVerdict::CannotTell();
            return Damaged(0, [&] { return "MPEG-4 frame without a VOP"; });
        }
        return tally.unsure ? FrameVerdict::CannotTell() : FrameVerdict::Whole();
    }

    FrameVerdict CheckUnit(std::uint8_t code, Bytes payload, std::size_t at, Tally& tally) {
        HeaderFault fault;
        if (!IsVisualCode(code)) {
            return Damaged(static_cast<std::uint32_t>(at),
                           [&] { return ReasonAt("MPEG-4 reserved start code " + Hex(code), at); });
        } else if (IsVol(code)) {
            ++tally.vols;
            fault = TakeVol(payload);
        } else if (code == kVop) {
            ++tally.vops;
            if (m_vol && m_vol->rectangular) {
                fault = ReadVop(payload, *m_vol);
            } else {
                tally.unsure = true;
            }
        } else if (code == kGov) {
            fault = ReadGov(payload);
        }
        if (!fault) return FrameVerdict::Whole();
        const std::size_t offset = at + 1 + fault.at;
        return Damaged(static_cast<std::uint32_t>(offset),
                       [&] { return ReasonAt(fault.what, offset); });
    }

    HeaderFault TakeVol(Bytes payload) {
        Vol vol;
        if (HeaderFault fault = ReadVol(payload, vol)) return fault;
        m_vol = vol;
        if (vol.rectangular && !m_size.Hold({vol.width, vol.height})) {
            return {"MPEG-4 VOL size differs from the stream's", 0};
        }
        return {};
    }

    static std::string Hex(std::uint8_t code) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        return {kDigits[code >> 4], kDigits[code & 15]};
    }

    StreamInvariant<std::pair<std::uint32_t, std::uint32_t>> m_size;  // width, height
    std::optional<Vol> m_vol;  // the latest VOL: its time resolution holds for the VOPs
};

// The encoder's name in user data tells the FourCC its own writer would have used.
FOURCC FourCCOfEncoder(std::string_view userData) {
    if (userData.starts_with("XviD")) return MakeFourCC("XVID");
    if (userData.starts_with("DivX")) return MakeFourCC("DX50");
    return 0;
}

}  // namespace

std::unique_ptr<FrameChecker> MakeMpeg4Checker(const VideoStreamFormat& format) {
    return std::make_unique<Mpeg4Checker>(format.extra);
}

// A VOL and a VOP (which MPEG-1/2 video never has) make the bytes MPEG-4.
std::optional<ProbedVideo> ProbeMpeg4(Bytes frame) {
    const std::size_t first = LeadingStartCode(frame);
    if (first == kNoStartCode) return std::nullopt;
    std::optional<Vol> vol;
    std::optional<bool> key;
    FOURCC fourcc = MakeFourCC("FMP4");
    (void)ForEachStartCodeUnit(frame, first, [&](std::uint8_t code, Bytes payload, std::size_t) {
        if (!IsVisualCode(code)) return false;
        if (IsVol(code) && !vol) {
            Vol read;
            if (ReadVol(payload, read) || !read.rectangular) return false;
            vol = read;
        } else if (code == kUserData) {
            const std::string_view text(reinterpret_cast<const char*>(payload.data()),
                                        payload.size());
            // Xvid's packed streams also carry a DivX build string for old decoders.
            const FOURCC named = FourCCOfEncoder(text);
            if (named != 0 && fourcc != MakeFourCC("XVID")) fourcc = named;
        } else if (code == kVop && !payload.empty()) {
            key = (payload[0] >> 6) == 0;
            return false;
        }
        return true;
    });
    if (!vol || !key) return std::nullopt;
    ProbedVideo probed;
    probed.family = VideoFamily::kMpeg4Part2;
    probed.fourcc = fourcc;
    probed.width = vol->width;
    probed.height = vol->height;
    if (vol->fixedRate && vol->fixedIncrement != 0) {
        probed.frameRate =
            ProbedRate{vol->resolution, vol->fixedIncrement, "MPEG-4 VOL fixed_vop_rate"};
    }
    probed.key = *key;
    probed.source = "MPEG-4 VOL";
    probed.timeResolution = vol->resolution;
    return probed;
}

std::optional<VopTime> FirstVopTime(Bytes frame, std::uint32_t resolution) {
    const std::size_t first = LeadingStartCode(frame);
    if (first == kNoStartCode || resolution == 0) return std::nullopt;
    std::optional<VopTime> time;
    (void)ForEachStartCodeUnit(frame, first, [&](std::uint8_t code, Bytes payload, std::size_t) {
        if (code != kVop) return IsVisualCode(code);
        time = ReadVopTime(payload, TimeBits(resolution));
        return false;
    });
    if (time && time->increment >= resolution) return std::nullopt;
    return time;
}

}  // namespace plovik::frames
