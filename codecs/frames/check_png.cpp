// PNG frames: chunks and their CRC-32.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakePngChecker(const VideoStreamFormat&) { return nullptr; }

}  // namespace plovik::frames
