// DV frames: DIF blocks in their fixed order, a frame size fixed by the system.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakeDvChecker(const VideoStreamFormat&) { return nullptr; }

std::optional<ProbedVideo> ProbeDv(Bytes) { return std::nullopt; }

}  // namespace plovik::frames
