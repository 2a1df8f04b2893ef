// JPEG (MJPEG) frames: markers, segments and entropy-coded data.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakeJpegChecker(const VideoStreamFormat&) { return nullptr; }

std::optional<ProbedVideo> ProbeJpeg(Bytes) { return std::nullopt; }

}  // namespace plovik::frames
