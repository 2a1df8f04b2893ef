// Uncompressed frames: a size that the format fixes.
#include "checkers.h"

namespace plovik::frames {

std::unique_ptr<FrameChecker> MakeRawChecker(VideoFamily, const VideoStreamFormat&) {
    return nullptr;
}

}  // namespace plovik::frames
