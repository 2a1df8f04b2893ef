// AAC: ADTS headers whose lengths chain.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakeAacChecker(const AudioStreamFormat&) { return nullptr; }

std::optional<ProbedAudio> ProbeAac(Bytes) { return std::nullopt; }

}  // namespace plovik::frames
