// Frame checkers: whether a stream chunk holds a whole, well-formed frame of its codec, told
// from the structure the codec carries (markers, lengths that chain, CRCs, fixed block
// patterns, fixed sizes) without decoding a picture or a sound.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "plovik/codec_family.h"

namespace plovik {

// How much of a stream's frames its checker covers.
enum class CheckDepth : std::uint8_t {
    kNone,     // no checker: the codec is unknown or has no structure to check (PCM)
    kHeaders,  // start codes and headers only; damage inside the coded data shows to a decoder
    kFull,     // the structure covers every byte (JPEG markers, slice CRCs, DIF blocks, ...)
};
std::string_view CheckDepthName(CheckDepth depth);  // "none", "headers", "full"

enum class FrameState : std::uint8_t {
    kWhole,       // the structure holds
    kDamaged,     // it breaks at offset, for reason
    kCannotTell,  // nothing here to judge by (a form the checker does not know)
};

struct FrameVerdict {
    FrameState state = FrameState::kCannotTell;
    std::uint32_t offset = 0;  // kDamaged: the first byte of the chunk's data where it breaks
    std::string reason;        // kDamaged: "JPEG data end without EOI"

    static FrameVerdict Whole() { return {FrameState::kWhole, 0, {}}; }
    static FrameVerdict CannotTell() { return {}; }
    static FrameVerdict Damaged(std::uint32_t offset, std::string reason) {
        return {FrameState::kDamaged, offset, std::move(reason)};
    }
};

// What a video stream's headers say of its frames.
struct VideoStreamFormat {
    FOURCC handler = 0;       // the stream header's fccHandler
    FOURCC compression = 0;   // BITMAPINFOHEADER biCompression
    std::int32_t width = 0;   // biWidth
    std::int32_t height = 0;  // biHeight (negative: top-down)
    std::uint16_t bitCount = 0;
    std::uint32_t sizeImage = 0;
    std::span<const std::uint8_t> extra;  // the format's bytes after its 40-byte header
};

// What an audio stream's headers say of its data.
struct AudioStreamFormat {
    std::uint16_t formatTag = 0;  // the sub-format's tag for WAVE_FORMAT_EXTENSIBLE
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint32_t sampleSize = 0;  // the stream header's dwSampleSize
    std::uint32_t scale = 0;       // the stream header's dwScale and dwRate
    std::uint32_t rate = 0;
    std::span<const std::uint8_t> extra;  // the format's bytes after WAVEFORMATEX's 18
};

// Makes damaged verdicts whose reason is made (reason()) only where reasons are kept.
class DamageReasons {
  public:
    explicit DamageReasons(bool keep = true) : m_keep(keep) {}
    template <class Reason>
    FrameVerdict Damaged(std::uint32_t offset, Reason reason) const {
        return FrameVerdict::Damaged(offset, m_keep ? std::string(reason()) : std::string());
    }

  private:
    bool m_keep;
};

// Checks the chunks of one stream, in file order. A checker keeps what runs from chunk to
// chunk: the first frame's invariants (size, sampling), parameter sets met, an audio frame
// that runs on into the next chunk. Each call is linear in the chunk's size; a checker never
// reads outside the bytes it is given.
class FrameChecker {
  public:
    virtual ~FrameChecker() = default;
    virtual CheckDepth Depth() const = 0;
    // False when only the chunk's size is judged (Check then gets an empty span).
    virtual bool NeedsData() const { return true; }
    // One chunk's data, whole, and its size (data.size() unless NeedsData() is false). A
    // zero-size chunk (a dropped frame) is whole.
    virtual FrameVerdict Check(std::span<const std::uint8_t> data, std::uint32_t size) = 0;
    // The chunks before the next one were lost (a damaged region, a chunk left out): what
    // runs from chunk to chunk starts afresh.
    virtual void Restart() {}
    // After the stream's last chunk: damage that only the end shows (an audio frame cut off).
    virtual FrameVerdict End() { return FrameVerdict::Whole(); }
    // Whether the verdicts from now on carry their reasons: a caller that keeps the reasons of
    // only so many frames spares the rest the text (in a stream whose every frame is damaged,
    // it costs more than the check).
    void KeepReasons(bool keep) { m_reasons = DamageReasons(keep); }

  protected:
    template <class Reason>
    FrameVerdict Damaged(std::uint32_t offset, Reason reason) const {
        return m_reasons.Damaged(offset, reason);
    }
    // For the readers a checker runs.
    const DamageReasons& Reasons() const { return m_reasons; }

  private:
    DamageReasons m_reasons;
};

// The checker of a stream's codec; null where none is known (its depth is kNone).
std::unique_ptr<FrameChecker> MakeVideoFrameChecker(const VideoStreamFormat& format);
std::unique_ptr<FrameChecker> MakeAudioFrameChecker(const AudioStreamFormat& format);

}  // namespace plovik
