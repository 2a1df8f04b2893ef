// Key frames told from a frame's first bytes, held against the key frames each corpus file was
// written with (-g N: every Nth frame; ffprobe decodes the same pattern from these files), and
// against hand-made headers for the forms no corpus file has.
#include "plovik/frame_type.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "video_frames.h"

namespace plovik {
namespace {

using test::AsBytes;

struct KeyPattern {
    const char* file;
    int period;  // a key frame every period frames, empty chunks left out
};

TEST(FrameType, KeyFramesOfRealWriters) {
    const KeyPattern kPatterns[] = {
        {"ff_vp8.avi", 25},       {"ff_cinepak.avi", 10},
        {"ff_msmpeg4v2.avi", 25}, {"ff_wmv1.avi", 25},
        {"ff_wmv2.avi", 25},      {"ff_msmpeg4v3_mp3.avi", 25},
        {"ff_h263.avi", 25},      {"ff_h263p.avi", 25},
        {"ff_ffv1_pcm.avi", 10},  {"ff_ffv1v1.avi", 10},
        {"ff_h264_pcm.avi", 25},  {"gst_h264_mp3.avi", 25},
        {"ff_mpeg4_mp3.avi", 12}, {"ff_mpeg1_mp2.avi", 12},
        {"ff_zmbv.avi", 25},  // its encoder keys by keyint_min (25), not -g: one key in 20
    };
    for (const KeyPattern& pattern : kPatterns) {
        SCOPED_TRACE(pattern.file);
        const std::string path = test::MediaFile(pattern.file);
        if (path.empty()) continue;
        const VideoStreamFormat format = test::VideoFormat(test::StreamFormat(path, 0));
        const VideoFamily family = VideoFamilyOf(format.handler, format.compression);
        EXPECT_TRUE(TellsFrameType(family));
        int frame = 0;
        for (const std::string& chunk : test::VideoFrames(path)) {
            if (chunk.empty()) continue;
            const FramePeek peek = PeekFrame(family, AsBytes(chunk));
            EXPECT_EQ(peek.key, std::optional<bool>(frame % pattern.period == 0)) << frame;
            ++frame;
        }
        EXPECT_GT(frame, 0);
    }
}

// A Cinepak frame header with two strips, the first one length bytes long.
std::string Cinepak(char flags, char firstStrip, std::uint32_t length, char secondStrip) {
    std::string frame(length + 24, '\0');
    frame[0] = flags;
    frame[9] = 2;
    frame[10] = firstStrip;
    frame[11] = static_cast<char>(length >> 16);
    frame[12] = static_cast<char>(length >> 8);
    frame[13] = static_cast<char>(length);
    frame[10 + length] = secondStrip;
    frame[10 + length + 3] = 12;
    return frame;
}

struct HandMade {
    const char* name;
    VideoFamily family;
    std::string bytes;
    std::optional<bool> key;
};

TEST(FrameType, HandMadeHeaders) {
    const std::string psc = "0000 0000 0000 0000 1000 00  0000 0001  10 000";
    const HandMade kCases[] = {
        {"v1 I", VideoFamily::kMsMpeg4v1, std::string("\0\0\1\0\x00", 5), true},
        {"v1 P", VideoFamily::kMsMpeg4v1, std::string("\0\0\1\0\x0A", 5), false},
        {"v1 type 2", VideoFamily::kMsMpeg4v1, std::string("\0\0\1\0\x04", 5), std::nullopt},
        {"v1 without its start code", VideoFamily::kMsMpeg4v1, std::string("\0\0\1\xB6\0", 5),
         std::nullopt},
        {"MPEG-4 I-VOP not coded (a packed stream's placeholder)", VideoFamily::kMpeg4Part2,
         std::string("\0\0\1\xB6\x16\x4F", 6), false},
        {"MPEG-4 I-VOP", VideoFamily::kMpeg4Part2, std::string("\0\0\1\xB6\x16\x5F\x80\x40", 8),
         true},
        {"H.263+ P, no OPPTYPE", VideoFamily::kH263, test::FromBits(psc + "111 000 001 000001"),
         false},
        {"H.263 PTYPE without 1, 0", VideoFamily::kH263,
         test::FromBits("0000 0000 0000 0000 1000 00  0000 0001  11 000 010 0"), std::nullopt},
        {"VP8 key tag without start code", VideoFamily::kVp8, std::string("\x90\x47\0\0\0\0", 6),
         std::nullopt},
        {"Cinepak inter strip", VideoFamily::kCinepak, Cinepak(0, 0x10, 12, 0x11), false},
        {"Cinepak strips unseen", VideoFamily::kCinepak, Cinepak(0, 0x10, 5000, 0x11), true},
        {"Cinepak strips unseen, codebooks kept", VideoFamily::kCinepak,
         Cinepak(1, 0x10, 5000, 0x10), std::nullopt},
    };
    for (const HandMade& made : kCases) {
        EXPECT_EQ(PeekFrame(made.family, AsBytes(made.bytes)).key, made.key) << made.name;
    }
}

}  // namespace
}  // namespace plovik
