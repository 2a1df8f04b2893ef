// MPEG audio (MP2, MP3): frame headers where their lengths put them, CRC-16.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakeMpegAudioChecker(const AudioStreamFormat&) { return nullptr; }

std::optional<ProbedAudio> ProbeMpegAudio(Bytes) { return std::nullopt; }

}  // namespace plovik::frames
