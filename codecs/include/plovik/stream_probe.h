// Stream headers inferred from the data alone: what a frame's own headers say of its codec,
// picture, rate and sound, for a file whose header list is lost or must be checked against
// a reference.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "plovik/codec_family.h"

namespace plovik {

// A rate as a stream header holds it: rate / scale units per second.
struct ProbedRate {
    std::uint32_t rate = 0;
    std::uint32_t scale = 0;
    std::string source;  // what gave it: "H.264 VUI timing", "MPEG-4 VOL", "DV system"
};

struct ProbedVideo {
    VideoFamily family = VideoFamily::kUnknown;
    FOURCC fourcc = 0;  // the FourCC to write for it ("MJPG", "FMP4", "H264", "dvsd")
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitCount = 24;
    std::optional<ProbedRate> frameRate;  // none where the bitstream carries no rate
    bool key = false;                     // the frame probed is a key frame
    std::string source;                   // what gave the size: "JPEG SOF0", "H.264 SPS"
    // MPEG-4 Part 2: the VOL's vop_time_increment_resolution, which the VOPs' times count in.
    std::uint32_t timeResolution = 0;
};

// The time a frame of MPEG-4 Part 2 shows at, from its first VOP: the seconds its
// modulo_time_base adds and its vop_time_increment, in ticks of the VOL's resolution.
struct VopTime {
    bool bidirectional = false;  // a B-VOP: its time counts from another VOP's second
    std::uint32_t seconds = 0;
    std::uint32_t increment = 0;
};
std::optional<VopTime> ProbeVopTime(std::span<const std::uint8_t> frame, std::uint32_t resolution);

// The frame rate of MPEG-4 Part 2 frames from the times of their VOPs in file order, where
// every step from one to the next is the same (none with a B-VOP among them, or fewer than
// two).
std::optional<ProbedRate> RateOfVopTimes(std::span<const VopTime> times, std::uint32_t resolution);

struct ProbedAudio {
    AudioFamily family = AudioFamily::kUnknown;
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bitRate = 0;          // bits per second; 0 where not constant or not known
    std::uint32_t samplesPerFrame = 0;  // 0 for PCM
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::string source;  // "MPEG-1 Layer III header", "AC-3 sync frame"
};

// The video frame's own headers, trying each family whose signature the bytes carry (or
// only hint's, when it is not kUnknown); none when no family reads them.
std::optional<ProbedVideo> ProbeVideoFrame(std::span<const std::uint8_t> frame,
                                           VideoFamily hint = VideoFamily::kUnknown);
// The audio chunk's frame headers (MPEG audio, AC-3, ADTS); none for data without them
// (PCM).
std::optional<ProbedAudio> ProbeAudioChunk(std::span<const std::uint8_t> data,
                                           AudioFamily hint = AudioFamily::kUnknown);

}  // namespace plovik
