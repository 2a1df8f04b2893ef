// H.264 Annex B frames: start codes, NAL headers, parameter sets before slices.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakeH264Checker(const VideoStreamFormat&) { return nullptr; }

std::optional<ProbedVideo> ProbeH264(Bytes) { return std::nullopt; }

}  // namespace plovik::frames
