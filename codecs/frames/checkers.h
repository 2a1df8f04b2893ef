// The checkers and probes of each codec family, one source file per family; the registry
// (frame_check.cpp, stream_probe.cpp) picks one by the stream's family.
#pragma once

#include <memory>
#include <optional>
#include <span>

#include "plovik/frame_check.h"
#include "plovik/stream_probe.h"

namespace plovik::frames {

using Bytes = std::span<const std::uint8_t>;

// Video: null where the format is one the family's checker does not know.
std::unique_ptr<FrameChecker> MakeJpegChecker(const VideoStreamFormat& format);
std::unique_ptr<FrameChecker> MakePngChecker(const VideoStreamFormat& format);
std::unique_ptr<FrameChecker> MakeDvChecker(const VideoStreamFormat& format);
std::unique_ptr<FrameChecker> MakeRawChecker(VideoFamily family, const VideoStreamFormat& format);
std::unique_ptr<FrameChecker> MakeFfv1Checker(const VideoStreamFormat& format);
std::unique_ptr<FrameChecker> MakeH264Checker(const VideoStreamFormat& format);
std::unique_ptr<FrameChecker> MakeMpeg4Checker(const VideoStreamFormat& format);
std::unique_ptr<FrameChecker> MakeMpegVideoChecker(const VideoStreamFormat& format);

// Audio.
std::unique_ptr<FrameChecker> MakeMpegAudioChecker(const AudioStreamFormat& format);
std::unique_ptr<FrameChecker> MakeAc3Checker(const AudioStreamFormat& format);
std::unique_ptr<FrameChecker> MakeAacChecker(const AudioStreamFormat& format);

// Probes: none when the bytes are not a frame of the family.
std::optional<ProbedVideo> ProbeJpeg(Bytes frame);
std::optional<ProbedVideo> ProbeDv(Bytes frame);
std::optional<ProbedVideo> ProbeMpeg4(Bytes frame);
std::optional<VopTime> FirstVopTime(Bytes frame, std::uint32_t resolution);
std::optional<ProbedVideo> ProbeH264(Bytes frame);
std::optional<ProbedAudio> ProbeMpegAudio(Bytes data);
std::optional<ProbedAudio> ProbeAc3(Bytes data);
std::optional<ProbedAudio> ProbeAac(Bytes data);

}  // namespace plovik::frames
