// The H.264, MPEG-4 and MPEG-1/2 video checkers and probes on the frames of real writers,
// whole and damaged, and on the rules those frames do not reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "checkers.h"
#include "start_codes.h"
#include "video_frames.h"

namespace plovik {
namespace {

using test::AsBytes;

struct CorpusStream {
    const char* file;
    VideoFamily family;
};

constexpr CorpusStream kStreams[] = {
    {"ff_h264_pcm.avi", VideoFamily::kH264},
    {"ff_h264_aac.avi", VideoFamily::kH264},
    {"me_h264_pcm.avi", VideoFamily::kH264},
    {"gst_h264_mp3.avi", VideoFamily::kH264},
    {"ff_mpeg4_mp3.avi", VideoFamily::kMpeg4Part2},
    {"ff_mpeg4_mp3vbr.avi", VideoFamily::kMpeg4Part2},
    {"ff_mpeg4_ac3_mp3.avi", VideoFamily::kMpeg4Part2},
    {"me_mpeg4_mp3.avi", VideoFamily::kMpeg4Part2},
    {"me_mpeg4_mp3vbr.avi", VideoFamily::kMpeg4Part2},
    {"me_mpeg4_mp2.avi", VideoFamily::kMpeg4Part2},
    {"gst_mpeg4_mp3.avi", VideoFamily::kMpeg4Part2},
    {"ff_xvid_packed.avi", VideoFamily::kMpeg4Part2},
    {"ff_mpeg1_mp2.avi", VideoFamily::kMpegVideo},
    {"ff_mpeg2_mp2.avi", VideoFamily::kMpegVideo},
};

// A corpus file's video stream; empty frames when the corpus lacks the file.
struct Stream {
    explicit Stream(const char* file) {
        const std::string path = test::MediaFile(file);
        if (path.empty()) return;
        strf = test::StreamFormat(path, 0);
        format = test::VideoFormat(strf);
        frames = test::VideoFrames(path);
    }
    std::string strf;
    VideoStreamFormat format;
    std::vector<std::string> frames;
};

FrameVerdict Check(FrameChecker& checker, const std::string& frame) {
    return checker.Check(AsBytes(frame), static_cast<std::uint32_t>(frame.size()));
}

// Two zero bytes in a row are found sixteen bytes at a time where the processor can: at every
// offset of a block, across blocks and in the tail, as a byte-by-byte search finds them.
TEST(StartCodeSearch, ZeroPairsAsAByteByByteSearchFindsThem) {
    std::mt19937 random(26);
    std::vector<std::uint8_t> bytes(200);
    for (int round = 0; round < 2000; ++round) {
        const unsigned sparseness = 2 + round % 40;  // from a zero in two to one in 41
        for (std::uint8_t& b : bytes) {
            b = random() % sparseness == 0 ? 0 : static_cast<std::uint8_t>(random() | 1);
        }
        const std::size_t n = random() % bytes.size();
        const std::size_t from = random() % (n + 2);
        std::size_t expected = frames::kNoStartCode;
        for (std::size_t i = from; i + 1 < n; ++i) {
            if (bytes[i] == 0 && bytes[i + 1] == 0) {
                expected = i;
                break;
            }
        }
        ASSERT_EQ(frames::FindZeroPair({bytes.data(), n}, from), expected) << n << " " << from;
    }
}

TEST(StartCodeCheckers, EveryFrameOfRealWritersIsWhole) {
    for (const CorpusStream& corpus : kStreams) {
        SCOPED_TRACE(corpus.file);
        const Stream stream(corpus.file);
        if (stream.frames.empty()) continue;
        ASSERT_EQ(VideoFamilyOf(stream.format.handler, stream.format.compression), corpus.family);
        const auto checker = MakeVideoFrameChecker(stream.format);
        ASSERT_NE(checker, nullptr);
        EXPECT_EQ(checker->Depth(), CheckDepth::kHeaders);
        for (std::size_t i = 0; i < stream.frames.size(); ++i) {
            const FrameVerdict verdict = Check(*checker, stream.frames[i]);
            EXPECT_EQ(verdict.state, FrameState::kWhole) << "frame " << i << ": " << verdict.reason;
        }
    }
}

// The offset of the code byte of the frame's last start code.
std::size_t LastStartCode(const std::string& frame) {
    std::size_t last = frames::kNoStartCode;
    for (std::size_t code = frames::FindStartCode(AsBytes(frame), 0); code != frames::kNoStartCode;
         code = frames::FindStartCode(AsBytes(frame), code)) {
        last = code;
    }
    return last;
}

struct Damage {
    const char* name;
    bool firstFrame;  // damages the first frame (its headers), else the largest
    void (*apply)(std::string& frame, VideoFamily family);
};

// Slice data is not read (the depth is kHeaders): a frame cut inside it, or bytes changed in
// it, shows only where a start code, a run of zero bytes or a header breaks.
const Damage kDamages[] = {
    {"no start code", true,
     [](std::string& frame, VideoFamily) { frame.replace(0, 4, "\xFF\xFF\xFF\xFF"); }},
    {"reserved code byte", true,
     [](std::string& frame, VideoFamily) {
         frame[frames::LeadingStartCode(AsBytes(frame))] = '\xB9';
     }},
    {"zeroed bytes", false,
     [](std::string& frame, VideoFamily) {
         std::size_t at = frame.size() / 2;
         while (static_cast<std::uint8_t>(frame[at + 8]) <= 1) ++at;  // not to a start code
         frame.replace(at, 8, 8, '\0');
     }},
    {"cut in a header", true,
     [](std::string& frame, VideoFamily family) {
         // An MPEG video picture cut before its slices; a slice or VOP cut inside its header.
         const std::size_t picture = frame.find(std::string("\0\0\1\0", 4));
         frame.resize(family == VideoFamily::kMpegVideo ? picture + 8 : LastStartCode(frame) + 2);
     }},
};

TEST(StartCodeCheckers, DamageToStartCodesAndHeadersShows) {
    for (const CorpusStream& corpus : kStreams) {
        const Stream stream(corpus.file);
        if (stream.frames.empty()) continue;
        std::size_t largest = 0;
        for (std::size_t i = 0; i < stream.frames.size(); ++i) {
            if (stream.frames[i].size() > stream.frames[largest].size()) largest = i;
        }
        for (const Damage& damage : kDamages) {
            SCOPED_TRACE(std::string(corpus.file) + ", " + damage.name);
            const std::size_t damaged = damage.firstFrame ? 0 : largest;
            const auto checker = MakeVideoFrameChecker(stream.format);
            for (std::size_t i = 0; i < damaged; ++i) Check(*checker, stream.frames[i]);
            std::string frame = stream.frames[damaged];
            damage.apply(frame, corpus.family);
            const FrameVerdict verdict = Check(*checker, frame);
            EXPECT_EQ(verdict.state, FrameState::kDamaged);
            EXPECT_LE(verdict.offset, frame.size());
            EXPECT_FALSE(verdict.reason.empty());
        }
    }
}

// The frame's NAL units behind 4-byte lengths instead of start codes.
std::string LengthPrefixed(const std::string& frame) {
    std::string units;
    const auto bytes = AsBytes(frame);
    for (std::size_t code = frames::FindStartCode(bytes, 0); code != frames::kNoStartCode;) {
        const std::size_t next = frames::FindStartCode(bytes, code);
        std::size_t end = next == frames::kNoStartCode ? frame.size() : next - 3;
        while (frame[end - 1] == 0) --end;  // a 4-byte start code's first zero
        const auto size = static_cast<std::uint32_t>(end - code);
        for (int shift = 24; shift >= 0; shift -= 8)
            units.push_back(static_cast<char>(size >> shift));
        units += frame.substr(code, size);
        code = next;
    }
    return units;
}

TEST(StartCodeCheckers, H264SlicesNeedTheirParameterSets) {
    const Stream stream("ff_h264_pcm.avi");
    if (stream.frames.empty()) GTEST_SKIP();
    const std::string& inter = stream.frames[1];  // a slice alone
    const auto checker = MakeVideoFrameChecker(stream.format);
    EXPECT_EQ(Check(*checker, inter).state, FrameState::kDamaged);
    checker->Restart();  // the parameter sets may have been in the chunks lost
    EXPECT_EQ(Check(*checker, inter).state, FrameState::kCannotTell);

    // The first frame's SPS and PPS, before its SEI, in the format.
    const std::string& first = stream.frames[0];
    const std::string sets = first.substr(0, first.find(std::string("\0\0\1\x06", 4)));
    VideoStreamFormat format = stream.format;
    format.extra = AsBytes(sets);
    EXPECT_EQ(Check(*MakeVideoFrameChecker(format), inter).state, FrameState::kWhole);

    const std::string avcConfiguration("\x01\x42\xC0\x1E\xFF\xE1", 6);
    format.extra = AsBytes(avcConfiguration);
    EXPECT_EQ(MakeVideoFrameChecker(format), nullptr);  // length-prefixed units, not read
    // Such units without the record that says so.
    EXPECT_EQ(Check(*MakeVideoFrameChecker(stream.format), LengthPrefixed(first)).state,
              FrameState::kCannotTell);
}

TEST(StartCodeCheckers, Mpeg4VolFromTheFormatAndOneSize) {
    const Stream stream("ff_mpeg4_mp3.avi");
    if (stream.frames.empty()) GTEST_SKIP();
    const std::string& first = stream.frames[0];
    const std::string& inter = stream.frames[2];
    EXPECT_EQ(Check(*MakeVideoFrameChecker(stream.format), inter).state, FrameState::kCannotTell);

    const std::string headers = first.substr(0, first.find(std::string("\0\0\1\xB6", 4)));
    VideoStreamFormat format = stream.format;
    format.extra = AsBytes(headers);
    const auto checker = MakeVideoFrameChecker(format);
    EXPECT_EQ(Check(*checker, inter).state, FrameState::kWhole);

    // The VOL's marker, width 160, marker, height 120, marker: the width made 176.
    std::string bits = test::ToBits(first);
    const std::string size =
        "1"
        "0000010100000"
        "1"
        "0000001111000"
        "1";
    const std::size_t at = bits.find(size);
    ASSERT_NE(at, std::string::npos);
    bits.replace(at + 1, 13, "0000010110000");
    const FrameVerdict verdict = Check(*checker, test::FromBits(bits));
    EXPECT_EQ(verdict.state, FrameState::kDamaged);
    EXPECT_NE(verdict.reason.find("size"), std::string::npos) << verdict.reason;

    // The few bytes that stand for a not-coded frame may take any form.
    EXPECT_EQ(Check(*checker, "\x7F").state, FrameState::kCannotTell);
}

TEST(StartCodeCheckers, OneDamagedPictureSizeRaisesOneAlarm) {
    const Stream stream("ff_mpeg2_mp2.avi");
    if (stream.frames.empty()) GTEST_SKIP();
    // The first sequence header, then one inside: the width 160 (0A 0) made 176 (0B 0).
    for (const std::size_t damaged : {0, 10}) {
        SCOPED_TRACE(damaged);
        std::vector<std::string> frames = stream.frames;
        ASSERT_EQ(frames[damaged].substr(0, 5), std::string("\0\0\1\xB3\x0A", 5));
        frames[damaged][4] = '\x0B';
        const auto checker = MakeVideoFrameChecker(stream.format);
        int alarms = 0;
        for (const std::string& frame : frames) {
            alarms += Check(*checker, frame).state == FrameState::kDamaged ? 1 : 0;
        }
        EXPECT_EQ(alarms, 1);
    }
}

struct ProbeCase {
    const char* file;
    FOURCC fourcc;
    std::uint32_t rate;  // 0: none
    std::uint32_t scale;
    const char* rateSource;
};

TEST(StartCodeProbes, FirstFramesOfRealWriters) {
    const ProbeCase kCases[] = {
        {"ff_h264_pcm.avi", MakeFourCC("H264"), 25, 1, "H.264 VUI timing, frame rate not fixed"},
        {"me_h264_pcm.avi", MakeFourCC("H264"), 25, 1, "H.264 VUI timing, fixed frame rate"},
        {"ff_mpeg4_mp3.avi", MakeFourCC("FMP4"), 0, 0, ""},
        {"ff_xvid_packed.avi", MakeFourCC("XVID"), 25, 1, "MPEG-4 VOL fixed_vop_rate"},
    };
    for (const ProbeCase& probe : kCases) {
        SCOPED_TRACE(probe.file);
        const Stream stream(probe.file);
        if (stream.frames.empty()) continue;
        const auto probed = ProbeVideoFrame(AsBytes(stream.frames[0]));
        ASSERT_TRUE(probed.has_value());
        EXPECT_EQ(probed->fourcc, probe.fourcc);
        EXPECT_EQ(probed->width, 160u);
        EXPECT_EQ(probed->height, 120u);
        EXPECT_TRUE(probed->key);
        // An inter frame carries no size.
        EXPECT_FALSE(ProbeVideoFrame(AsBytes(stream.frames[3])).has_value());
        ASSERT_EQ(probed->frameRate.has_value(), probe.rate != 0);
        if (!probed->frameRate) continue;
        EXPECT_EQ(probed->frameRate->rate, probe.rate);
        EXPECT_EQ(probed->frameRate->scale, probe.scale);
        EXPECT_EQ(probed->frameRate->source, probe.rateSource);
    }
    // Without a fixed rate the VOPs' times tell it where they step evenly; B-VOPs do not.
    for (const auto& [file, rate] :
         {std::pair{"ff_mpeg4_mp3.avi", 25u}, {"ff_xvid_packed.avi", 0u}}) {
        const Stream stream(file);
        if (stream.frames.empty()) continue;
        const std::uint32_t resolution = ProbeVideoFrame(AsBytes(stream.frames[0]))->timeResolution;
        std::vector<VopTime> times;
        for (const std::string& frame : stream.frames) {
            if (auto time = ProbeVopTime(AsBytes(frame), resolution)) times.push_back(*time);
        }
        const std::optional<ProbedRate> told = RateOfVopTimes(times, resolution);
        EXPECT_EQ(told ? told->rate / told->scale : 0u, rate) << file;
    }
    // MPEG-2 slices (start codes 01-AF) are neither H.264 units nor MPEG-4 layers.
    const Stream mpeg2("ff_mpeg2_mp2.avi");
    for (std::size_t i = 0; i < std::min<std::size_t>(mpeg2.frames.size(), 3); ++i) {
        EXPECT_FALSE(ProbeVideoFrame(AsBytes(mpeg2.frames[i])).has_value()) << i;
    }
}

}  // namespace
}  // namespace plovik
