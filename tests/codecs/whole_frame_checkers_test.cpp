// The checkers of codecs whose structure covers every byte (JPEG, PNG, DV, uncompressed,
// FFV1), held against the frames that real writers made: every frame whole, and the same
// frames damaged where the structure shows it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "checkers.h"
#include "crc32.h"
#include "plovik/frame_check.h"
#include "plovik/stream_probe.h"
#include "support/media.h"

namespace plovik::frames {
namespace {

Bytes AsBytes(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

std::uint32_t Le(const std::string& s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(s[at + i]);
    return v;
}

// A corpus file's video stream: its format chunk and frames.
struct Stream {
    std::string strf;
    std::vector<std::string> frames;

    VideoStreamFormat Format() const {
        VideoStreamFormat f;
        f.width = static_cast<std::int32_t>(Le(strf, 4, 4));
        f.height = static_cast<std::int32_t>(Le(strf, 8, 4));
        f.bitCount = static_cast<std::uint16_t>(Le(strf, 14, 2));
        f.compression = Le(strf, 16, 4);
        f.sizeImage = Le(strf, 20, 4);
        f.extra = AsBytes(strf).subspan(40);
        return f;
    }
};

// Empty when the corpus lacks the file.
std::unique_ptr<Stream> Load(const char* file, const char* kind = "dc") {
    const std::string path = test::MediaFile(file);
    if (path.empty()) return nullptr;
    auto stream = std::make_unique<Stream>();
    stream->strf = test::StreamFormat(path, 0);
    stream->frames = test::StreamChunks(path, 0, kind);
    EXPECT_GE(stream->strf.size(), 40u) << file;
    EXPECT_FALSE(stream->frames.empty()) << file;
    return stream;
}

FrameVerdict Feed(FrameChecker& checker, const std::string& frame) {
    const auto size = static_cast<std::uint32_t>(frame.size());
    return checker.Check(checker.NeedsData() ? AsBytes(frame) : Bytes{}, size);
}

enum Damage : unsigned {
    kFirst = 1,   // the first byte changed
    kMiddle = 2,  // FF D9 written at the middle (on a DIF block boundary)
    kLast = 4,    // the last byte changed
    kCut = 8,     // the last third lost
    kAll = 15,
};

std::string Damaged(std::string frame, Damage damage) {
    const std::size_t middle = frame.size() / 2 / 80 * 80;
    switch (damage) {
        case kFirst:
            frame[0] = static_cast<char>(frame[0] ^ 0xFF);
            break;
        case kMiddle:
            frame[middle] = '\xFF';
            frame[middle + 1] = '\xD9';
            break;
        case kLast:
            frame.back() = static_cast<char>(frame.back() ^ 0x55);
            break;
        default:
            frame.resize(frame.size() * 2 / 3);
    }
    return frame;
}

struct Row {
    const char* file;
    const char* kind;
    CheckDepth depth;
    unsigned shown;  // the damages the structure shows
};

constexpr Row kRows[] = {
    {"ff_mjpeg_pcm.avi", "dc", CheckDepth::kFull, kAll},
    {"ff_mjpeg_rst.avi", "dc", CheckDepth::kFull, kAll},
    {"ff_ljpeg.avi", "dc", CheckDepth::kFull, kAll},
    {"me_mjpeg_ac3.avi", "dc", CheckDepth::kFull, kAll},
    {"gst_mjpeg_pcm.avi", "db", CheckDepth::kFull, kAll},
    {"gst_ac3.avi", "db", CheckDepth::kFull, kAll},
    {"ff_png.avi", "dc", CheckDepth::kFull, kAll},
    {"ff_png_pal.avi", "dc", CheckDepth::kFull, kAll},
    // Of a DIF block only its ID is structure: the last byte is picture data.
    {"ff_dv_pcm.avi", "dc", CheckDepth::kFull, kFirst | kMiddle | kCut},
    {"ff_dv_ntsc.avi", "dc", CheckDepth::kFull, kFirst | kMiddle | kCut},
    {"ff_dv50.avi", "dc", CheckDepth::kFull, kFirst | kMiddle | kCut},
    {"ff_dv100.avi", "dc", CheckDepth::kFull, kFirst | kMiddle | kCut},
    // Uncompressed frames have nothing but their size.
    {"ff_rawrgb_pcm.avi", "dc", CheckDepth::kFull, kCut},
    {"ff_rawyuv.avi", "dc", CheckDepth::kFull, kCut},
    {"gst_raw_pcm.avi", "db", CheckDepth::kFull, kCut},
    {"ff_ffv1_pcm.avi", "dc", CheckDepth::kFull, kAll},
    // Without slice CRCs only the sizes and the slice headers are structure.
    {"ff_ffv1_nocrc.avi", "dc", CheckDepth::kHeaders, kFirst | kLast | kCut},
};

TEST(WholeFrameCheckers, EveryFrameOfRealWritersIsWhole) {
    for (const Row& row : kRows) {
        const auto stream = Load(row.file, row.kind);
        if (!stream) continue;
        const auto checker = MakeVideoFrameChecker(stream->Format());
        ASSERT_NE(checker, nullptr) << row.file;
        EXPECT_EQ(checker->Depth(), row.depth) << row.file;
        for (std::size_t i = 0; i < stream->frames.size(); ++i) {
            const FrameVerdict verdict = Feed(*checker, stream->frames[i]);
            EXPECT_EQ(verdict.state, FrameState::kWhole)
                << row.file << " frame " << i << ": " << verdict.reason;
        }
        EXPECT_EQ(checker->End().state, FrameState::kWhole) << row.file;
    }
}

// Each frame damaged after a whole first frame, which sets the stream's invariants.
TEST(WholeFrameCheckers, DamageShowsWhereTheStructureCoversIt) {
    for (const Row& row : kRows) {
        const auto stream = Load(row.file, row.kind);
        if (!stream) continue;
        for (const Damage damage : {kFirst, kMiddle, kLast, kCut}) {
            if ((row.shown & damage) == 0) continue;
            for (std::size_t i = 0; i < stream->frames.size(); ++i) {
                const auto checker = MakeVideoFrameChecker(stream->Format());
                ASSERT_EQ(Feed(*checker, stream->frames[0]).state, FrameState::kWhole);
                const std::string frame = Damaged(stream->frames[i], damage);
                const FrameVerdict verdict = Feed(*checker, frame);
                EXPECT_EQ(verdict.state, FrameState::kDamaged)
                    << row.file << " frame " << i << " damage " << damage;
                EXPECT_LE(verdict.offset, frame.size()) << row.file;
                EXPECT_FALSE(verdict.state == FrameState::kDamaged && verdict.reason.empty());
            }
        }
    }
}

// FFV1 versions 0 and 1 carry no slice footers, HuffYUV frames a size that varies: nothing to
// check without decoding.
TEST(WholeFrameCheckers, NoneForFramesWithoutStructure) {
    for (const char* file : {"ff_ffv1v1.avi", "ff_huffyuv_adpcm.avi"}) {
        const auto stream = Load(file);
        if (!stream) continue;
        EXPECT_EQ(MakeVideoFrameChecker(stream->Format()), nullptr) << file;
    }
}

}  // namespace
}  // namespace plovik::frames
