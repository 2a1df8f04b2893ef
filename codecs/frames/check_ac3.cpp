// AC-3: sync frames with CRC1 and CRC2.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakeAc3Checker(const AudioStreamFormat&) { return nullptr; }

std::optional<ProbedAudio> ProbeAc3(Bytes) { return std::nullopt; }

}  // namespace plovik::frames
