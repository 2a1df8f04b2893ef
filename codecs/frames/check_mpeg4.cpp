// MPEG-4 Part 2 frames: start codes, VOL and VOP headers.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakeMpeg4Checker(const VideoStreamFormat&) { return nullptr; }

std::optional<ProbedVideo> ProbeMpeg4(Bytes) { return std::nullopt; }

}  // namespace plovik::frames
