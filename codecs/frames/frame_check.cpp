// The registry of frame checkers: a stream's family picks its checker.
#include "plovik/frame_check.h"

#include "checkers.h"

namespace plovik {

using namespace frames;

std::string_view CheckDepthName(CheckDepth depth) {
    switch (depth) {
        case CheckDepth::kNone:
            return "none";
        case CheckDepth::kHeaders:
            return "headers";
        case CheckDepth::kFull:
            return "full";
    }
    return "none";
}

std::unique_ptr<FrameChecker> MakeVideoFrameChecker(const VideoStreamFormat& format) {
    const VideoFamily family = VideoFamilyOf(format.handler, format.compression);
    switch (family) {
        case VideoFamily::kJpeg:
            return MakeJpegChecker(format);
        case VideoFamily::kPng:
            return MakePngChecker(format);
        case VideoFamily::kDv:
            return MakeDvChecker(format);
        case VideoFamily::kRawRgb:
        case VideoFamily::kRawYuv:
        case VideoFamily::kHuffyuv:
            return MakeRawChecker(family, format);
        case VideoFamily::kFfv1:
            return MakeFfv1Checker(format);
        case VideoFamily::kH264:
            return MakeH264Checker(format);
        case VideoFamily::kMpeg4Part2:
            return MakeMpeg4Checker(format);
        case VideoFamily::kMpegVideo:
            return MakeMpegVideoChecker(format);
        default:
            return nullptr;
    }
}

std::unique_ptr<FrameChecker> MakeAudioFrameChecker(const AudioStreamFormat& format) {
    switch (AudioFamilyOf(format.formatTag)) {
        case AudioFamily::kMpegAudio:
            return MakeMpegAudioChecker(format);
        case AudioFamily::kAc3:
            return MakeAc3Checker(format);
        case AudioFamily::kAac:
            return MakeAacChecker(format);
        default:
            return nullptr;
    }
}

}  // namespace plovik
