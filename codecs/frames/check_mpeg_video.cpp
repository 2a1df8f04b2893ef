// MPEG-1/2 video frames: start codes, sequence and picture headers, every picture with its
// slices.
#include <algorithm>
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

constexpr std::uint8_t kPicture = 0x00;
constexpr std::uint8_t kLastSlice = 0xAF;
constexpr std::uint8_t kUserData = 0xB2;
constexpr std::uint8_t kSequence = 0xB3;
constexpr std::uint8_t kExtension = 0xB5;
constexpr std::uint8_t kSequenceEnd = 0xB7;
constexpr std::uint8_t kGop = 0xB8;

constexpr unsigned kSequenceExtension = 1;
constexpr unsigned kPictureCodingExtension = 8;

// Slices taller than this carry three more bits of their row.
constexpr std::uint32_t kTallPicture = 2800;

struct Sequence {
    std::uint32_t width = 0;  // the 12 bits of the sequence header
    std::uint32_t height = 0;
    std::uint32_t aspect = 0;
};

HeaderFault ReadSequence(Bytes payload, Sequence& sequence) {
    HeaderBits bits(payload);
    sequence.width = bits.Bits(12);
    sequence.height = bits.Bits(12);
    sequence.aspect = bits.Bits(4);
    const std::uint32_t rate = bits.Bits(4);
    bits.Bits(18);  // bit_rate_value
    const bool marker = bits.Marker();
    bits.Bits(11);                       // vbv_buffer_size_value, constrained_parameters_flag
    if (bits.Flag()) bits.Skip(8 * 64);  // intra quantiser matrix
    if (bits.Flag()) bits.Skip(8 * 64);  // non-intra quantiser matrix
    if (bits.Short()) return FaultAt(bits, "MPEG video sequence header cut short");
    if (!marker) return FaultAt(bits, "MPEG video sequence header marker bit missing");
    if (sequence.width == 0 || sequence.height == 0) {
        return FaultAt(bits, "MPEG video picture size of zero");
    }
    // 1-14 are MPEG-1's pel aspect ratios; MPEG-2 keeps 1-4 (told by its extension).
    if (sequence.aspect == 0 || sequence.aspect == 15) {
        return FaultAt(bits, "MPEG video aspect ratio code out of range");
    }
    if (rate == 0 || rate > 8) return FaultAt(bits, "MPEG video frame_rate_code out of range");
    return {};
}

// picture_coding_type 1-4 (I, P, B, D); P and B pictures name an f_code, never 0.
HeaderFault ReadPicture(Bytes payload) {
    HeaderBits bits(payload);
    bits.Bits(10);  // temporal_reference
    const std::uint32_t type = bits.Bits(3);
    bits.Bits(16);  // vbv_delay
    bool fCodes = true;
    if (type == 2 || type == 3) fCodes = (bits.Bits(4) & 7) != 0;
    if (type == 3) fCodes = (bits.Bits(4) & 7) != 0 && fCodes;
    if (bits.Short()) return FaultAt(bits, "MPEG video picture header cut short");
    if (type == 0 || type > 4) return FaultAt(bits, "MPEG video picture_coding_type out of range");
    if (!fCodes) return FaultAt(bits, "MPEG video f_code of zero");
    return {};
}

// f_code 1-9, or 15 where unused.
bool IsFCode(std::uint32_t code) { return (code >= 1 && code <= 9) || code == 15; }

// Sequence: 1, display 2, scalable 5; quantiser matrix 3, copyright 4; picture display 7,
// coding 8, spatial and temporal scalable 9, 10.
bool IsKnownExtension(unsigned id) { return ((0x7BEu >> id) & 1) != 0; }

struct Extension {
    unsigned id = 0;
    std::uint32_t widthBits = 0;  // the sequence extension's size extension
    std::uint32_t heightBits = 0;
};

HeaderFault ReadExtension(Bytes payload, Extension& extension) {
    HeaderBits bits(payload);
    extension.id = bits.Bits(4);
    switch (extension.id) {
        case kSequenceExtension: {
            bits.Bits(9);  // profile_and_level_indication, progressive_sequence
            const std::uint32_t chroma = bits.Bits(2);
            extension.widthBits = bits.Bits(2);
            extension.heightBits = bits.Bits(2);
            bits.Bits(12);  // bit_rate_extension
            const bool marker = bits.Marker();
            if (bits.Short()) return FaultAt(bits, "MPEG video sequence extension cut short");
            if (!marker) return FaultAt(bits, "MPEG video sequence extension marker bit missing");
            if (chroma == 0) return FaultAt(bits, "MPEG video chroma_format out of range");
            return {};
        }
        case kPictureCodingExtension: {
            bool fCodes = true;
            for (int i = 0; i < 4; ++i) fCodes = IsFCode(bits.Bits(4)) && fCodes;
            bits.Bits(2);  // intra_dc_precision
            const std::uint32_t structure = bits.Bits(2);
            if (bits.Short()) return FaultAt(bits, "MPEG video picture coding extension cut short");
            if (!fCodes) return FaultAt(bits, "MPEG video f_code out of range");
            if (structure == 0) return FaultAt(bits, "MPEG video picture_structure out of range");
            return {};
        }
        default:
            if (!IsKnownExtension(extension.id))
                return FaultAt(bits, "MPEG video reserved extension");
            return {};
    }
}

// The time code of a group of pictures.
HeaderFault ReadGop(Bytes payload) {
    HeaderBits bits(payload);
    bits.Bit();  // drop_frame_flag
    const std::uint32_t hours = bits.Bits(5);
    const std::uint32_t minutes = bits.Bits(6);
    const bool marker = bits.Marker();
    const std::uint32_t seconds = bits.Bits(6);
    const std::uint32_t pictures = bits.Bits(6);
    if (bits.Short()) return FaultAt(bits, "MPEG video GOP header cut short");
    if (!marker) return FaultAt(bits, "MPEG video GOP marker bit missing");
    if (hours > 23 || minutes > 59 || seconds > 59 || pictures > 59) {
        return FaultAt(bits, "MPEG video GOP time code out of range");
    }
    return {};
}

// Whether the start code after the sequence header at its code byte is a sequence extension:
// an MPEG-2 stream's must follow at once.
bool IsMpeg2Sequence(Bytes data, std::size_t sequenceCode) {
    const std::size_t next = FindStartCode(data, sequenceCode);
    return next != kNoStartCode && next + 1 < data.size() && data[next] == kExtension &&
           data[next + 1] >> 4 == kSequenceExtension;
}

class MpegVideoChecker final : public FrameChecker {
  public:
    // The sequence header may stand in the format too.
    explicit MpegVideoChecker(Bytes extra) {
        if (LeadingStartCode(extra) != kNoStartCode) (void)Check(extra, 0);
    }

    CheckDepth Depth() const override { return CheckDepth::kHeaders; }

    FrameVerdict Check(Bytes data, std::uint32_t) override {
        if (data.empty()) return FrameVerdict::Whole();
        const std::size_t first = LeadingStartCode(data);
        if (first == kNoStartCode) {
            return Damaged(0, [&] { return "MPEG video start code expected at +0"; });
        }
        m_data = data;
        m_picture.reset();
        m_unsure = false;
        FrameVerdict verdict = FrameVerdict::Whole();
        const std::size_t stray = ForEachStartCodeUnit(
            data, first, [&](std::uint8_t code, Bytes payload, std::size_t at) {
                verdict = CheckUnit(code, payload, at);
                return verdict.state != FrameState::kDamaged;
            });
        if (verdict.state == FrameState::kDamaged) return verdict;
        if (stray != kNoStartCode) return DamagedAt("MPEG video zero bytes inside a frame", stray);
        if (FrameVerdict end = EndPicture(); end.state == FrameState::kDamaged) return end;
        return m_unsure ? FrameVerdict::CannotTell() : FrameVerdict::Whole();
    }

  private:
    // The picture whose slices are being met.
    struct Picture {
        std::size_t at = 0;
        int slices = 0;
        std::uint32_t lastRow = 0;
    };

    FrameVerdict CheckUnit(std::uint8_t code, Bytes payload, std::size_t at) {
        if (code >= 0x01 && code <= kLastSlice) return CheckSlice(code, payload, at);
        if (code == kPicture || code == kSequence || code == kGop || code == kSequenceEnd) {
            if (FrameVerdict end = EndPicture(); end.state == FrameState::kDamaged) return end;
        }
        HeaderFault fault;
        switch (code) {
            case kPicture:
                m_picture = Picture{at, 0, 0};
                fault = ReadPicture(payload);
                break;
            case kSequence:
                fault = TakeSequence(payload, at);
                break;
            case kExtension:
                fault = TakeExtension(payload);
                break;
            case kGop:
                fault = ReadGop(payload);
                break;
            case kUserData:
            case kSequenceEnd:
                break;
            default:  // reserved, a sequence error, or a systems stream's code
                return DamagedAt("MPEG video unexpected start code", at);
        }
        if (!fault) return FrameVerdict::Whole();
        return DamagedAt(fault.what, at + 1 + fault.at);
    }

    FrameVerdict EndPicture() {
        if (m_picture && m_picture->slices == 0) {
            return DamagedAt("MPEG video picture without slices", m_picture->at);
        }
        m_picture.reset();
        return FrameVerdict::Whole();
    }

    FrameVerdict CheckSlice(std::uint8_t code, Bytes payload, std::size_t at) {
        if (!m_picture) return DamagedAt("MPEG video slice outside a picture", at);
        ++m_picture->slices;
        if (!m_size.Value()) {
            m_unsure = true;  // no size to hold the row against
            return FrameVerdict::Whole();
        }
        std::uint32_t row = code;
        const std::uint32_t height = Height();
        if (m_sizeBits.Value() && height > kTallPicture) {  // MPEG-2 only
            HeaderBits bits(payload);
            row += bits.Bits(3) << 7;
        }
        // Rows count from 1; an interlaced MPEG-2 picture has an even count of them.
        const std::uint32_t rows = std::max((height + 15) / 16, 2 * ((height + 31) / 32));
        if (row > rows) return DamagedAt("MPEG video slice below the picture", at);
        if (row < m_picture->lastRow) return DamagedAt("MPEG video slices out of order", at);
        m_picture->lastRow = row;
        return FrameVerdict::Whole();
    }

    HeaderFault TakeSequence(Bytes payload, std::size_t at) {
        Sequence sequence;
        if (HeaderFault fault = ReadSequence(payload, sequence)) return fault;
        if (IsMpeg2Sequence(m_data, at) && sequence.aspect > 4) {
            return {"MPEG video aspect ratio code out of range", 3};
        }
        if (!m_size.Hold({sequence.width, sequence.height})) {
            return {"MPEG video picture size differs from the stream's", 0};
        }
        return {};
    }

    HeaderFault TakeExtension(Bytes payload) {
        Extension extension;
        if (HeaderFault fault = ReadExtension(payload, extension)) return fault;
        if (extension.id != kSequenceExtension) return {};
        if (!m_sizeBits.Hold({extension.widthBits, extension.heightBits})) {
            return {"MPEG video picture size differs from the stream's", 0};
        }
        return {};
    }

    std::uint32_t Height() const {
        const std::uint32_t bits = m_sizeBits.Value() ? m_sizeBits.Value()->second : 0;
        return m_size.Value()->second | bits << 12;
    }

    FrameVerdict DamagedAt(std::string_view what, std::size_t at) const {
        return Damaged(static_cast<std::uint32_t>(at), [&] { return ReasonAt(what, at); });
    }

    Bytes m_data;  // the chunk being checked
    std::optional<Picture> m_picture;
    using Size = std::pair<std::uint32_t, std::uint32_t>;  // width, height
    StreamInvariant<Size> m_size;                          // of the sequence headers
    StreamInvariant<Size> m_sizeBits;                      // and of their extensions (MPEG-2)
    bool m_unsure = false;  // a slice before any sequence header: its row cannot be judged
};

}  // namespace

std::unique_ptr<FrameChecker> MakeMpegVideoChecker(const VideoStreamFormat& format) {
    return std::make_unique<MpegVideoChecker>(format.extra);
}

}  // namespace plovik::frames
