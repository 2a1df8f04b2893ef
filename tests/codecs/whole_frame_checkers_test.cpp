// The checkers of codecs whose structure covers every byte (JPEG, PNG, DV, uncompressed,
// FFV1), held against the frames that real writers made: every frame whole, and the same
// frames damaged where the structure shows it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "checkers.h"
#include "crc16.h"
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
    {"ff_ffv1_rgb.avi", "dc", CheckDepth::kFull, kAll},
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

// The first frame of a corpus stream, or empty.
std::string FirstFrame(const char* file, const char* kind = "dc") {
    const auto stream = Load(file, kind);
    return stream ? stream->frames[0] : std::string();
}

std::string WithU16(std::string frame, std::size_t at, std::uint32_t value) {
    frame[at] = static_cast<char>(value >> 8);
    frame[at + 1] = static_cast<char>(value);
    return frame;
}

// The JPEG frame with its SOF0 width changed.
std::string WithWidth(const std::string& frame, std::uint32_t width) {
    return WithU16(frame, frame.find("\xFF\xC0") + 7, width);
}

std::string WithoutHuffmanTables(std::string frame) {
    for (std::size_t at; (at = frame.find("\xFF\xC4")) < frame.find("\xFF\xDA");)
        frame.erase(at, 2 + (Le(frame, at + 2, 1) << 8 | Le(frame, at + 3, 1)));
    return frame;
}

// Edits of real MJPEG frames, each checked after a whole frame: the forms writers use stay
// whole, broken ones are damaged.
TEST(JpegChecker, FormsWritersUseAndBrokenOnes) {
    const std::string f = FirstFrame("ff_mjpeg_pcm.avi");
    const std::string r = FirstFrame("ff_mjpeg_rst.avi");
    if (f.empty() || r.empty()) GTEST_SKIP();
    const std::string noEoi = f.substr(0, f.size() - 2);
    const std::string avi1(
        "\xFF\xE0\x00\x10"
        "AVI1\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00",
        18);
    const std::size_t rst = r.find("\xFF\xD0");
    const struct {
        const char* name;
        const std::string& stream;  // whose first frame goes first
        std::string frame;
        FrameState state;
    } cases[] = {
        {"padding after EOI", f, f + std::string("\0\0\xFF\xFF", 4), FrameState::kWhole},
        {"two fields", f, f + f, FrameState::kWhole},
        {"two fields, padding between", f, f + std::string(3, '\0') + f, FrameState::kWhole},
        {"default Huffman tables", f, WithoutHuffmanTables(f), FrameState::kWhole},
        {"AVI1 frame without EOI", f, noEoi.substr(0, 2) + avi1 + noEoi.substr(2),
         FrameState::kWhole},
        {"EOI left out", f, noEoi, FrameState::kDamaged},
        {"data after EOI", f, f + "JUNK", FrameState::kDamaged},
        {"fields unlike each other", f, f + WithWidth(f, 80), FrameState::kDamaged},
        {"second field cut", f, f + f.substr(0, f.size() / 2), FrameState::kDamaged},
        {"size unlike the stream's", f, WithWidth(f, 80), FrameState::kDamaged},
        {"RST out of order", r, WithU16(r, rst, 0xFFD1), FrameState::kDamaged},
        {"RST left out", r, r.substr(0, rst) + r.substr(rst + 2), FrameState::kDamaged},
    };
    for (const auto& c : cases) {
        const auto checker = MakeJpegChecker({});
        ASSERT_EQ(Feed(*checker, c.stream).state, FrameState::kWhole);
        const FrameVerdict verdict = Feed(*checker, c.frame);
        EXPECT_EQ(verdict.state, c.state) << c.name << ": " << verdict.reason;
    }
}

TEST(FrameProbes, SizeAndRateFromJpegAndDvHeaders) {
    const struct {
        const char* file;
        VideoFamily family;
        FOURCC fourcc;
        std::uint32_t width, height;
        const char* source;
        std::uint32_t rate, scale;  // 0: none
    } rows[] = {
        {"ff_mjpeg_pcm.avi", VideoFamily::kJpeg, MakeFourCC("MJPG"), 160, 120, "JPEG SOF0", 0, 0},
        {"ff_ljpeg.avi", VideoFamily::kJpeg, MakeFourCC("MJPG"), 160, 120, "JPEG SOF3", 0, 0},
        {"ff_dv_pcm.avi", VideoFamily::kDv, MakeFourCC("dvsd"), 720, 576, "DV system", 25, 1},
        {"ff_dv_ntsc.avi", VideoFamily::kDv, MakeFourCC("dvsd"), 720, 480, "DV system", 30000,
         1001},
        {"ff_dv50.avi", VideoFamily::kDv, MakeFourCC("dv50"), 720, 576, "DV system", 25, 1},
        {"ff_dv100.avi", VideoFamily::kDv, MakeFourCC("dvhd"), 1440, 1080, "DV system", 25, 1},
    };
    for (const auto& row : rows) {
        const std::string frame = FirstFrame(row.file);
        if (frame.empty()) continue;
        const auto probed = ProbeVideoFrame(AsBytes(frame));
        ASSERT_TRUE(probed.has_value()) << row.file;
        EXPECT_EQ(probed->family, row.family) << row.file;
        EXPECT_EQ(probed->fourcc, row.fourcc) << row.file;
        EXPECT_EQ(probed->width, row.width) << row.file;
        EXPECT_EQ(probed->height, row.height) << row.file;
        EXPECT_EQ(probed->source, row.source) << row.file;
        EXPECT_TRUE(probed->key) << row.file;
        EXPECT_EQ(probed->frameRate.has_value(), row.rate != 0) << row.file;
        if (!probed->frameRate) continue;
        EXPECT_EQ(probed->frameRate->rate, row.rate) << row.file;
        EXPECT_EQ(probed->frameRate->scale, row.scale) << row.file;
    }
    // An interlaced MJPEG chunk holds two fields: the picture is twice a field's height.
    const std::string field = FirstFrame("ff_mjpeg_pcm.avi");
    if (field.empty()) return;
    EXPECT_EQ(ProbeJpeg(AsBytes(field + field))->height, 240u);
}

// A PNG frame whose IHDR says another size, its CRC made good: whole alone, damaged in a
// stream of the first size.
TEST(PngChecker, SizeUnlikeTheStreamsIsDamaged) {
    const std::string f = FirstFrame("ff_png.avi");
    if (f.empty()) GTEST_SKIP();
    std::string other = WithU16(f, 16 + 2, 48);  // IHDR width's low half
    const std::uint32_t crc = Crc32Reflected(AsBytes(other).subspan(12, 17));
    for (int i = 0; i < 4; ++i) other[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    EXPECT_EQ(Feed(*MakePngChecker({}), other).state, FrameState::kWhole);
    const auto checker = MakePngChecker({});
    EXPECT_EQ(Feed(*checker, f).state, FrameState::kWhole);
    EXPECT_EQ(Feed(*checker, other).state, FrameState::kDamaged);
}

// Uncompressed sizes: rows rounded to 4 bytes or tight, chroma rounded up for odd sizes, a
// writer's own biSizeImage.
TEST(RawChecker, SizesTheFormatGives) {
    const struct {
        const char* compression;
        std::int32_t width, height;
        std::uint16_t bitCount;
        std::uint32_t sizeImage;
        std::vector<std::uint32_t> whole;
        std::uint32_t damaged;
    } rows[] = {
        {"\0\0\0\0", 97, -72, 24, 0, {291 * 72, 292 * 72}, 291 * 72 - 1},
        {"\0\0\0\0", 32, 2, 1, 0, {8}, 4},
        {"I420", 97, 72, 12, 0, {97 * 72 + 2 * 49 * 36, 100 * 72 + 2 * 52 * 36}, 10513},
        {"YUY2", 97, 72, 16, 0, {196 * 72}, 194 * 72},
        {"v210", 1280, 720, 20, 0, {27 * 128 * 720}, 1280 * 720 * 8 / 3},
        {"I420", 160, 120, 12, 30000, {28800, 30000}, 29000},
    };
    for (const auto& row : rows) {
        VideoStreamFormat format;
        format.compression = MakeFourCC(*reinterpret_cast<const char(*)[5]>(row.compression));
        format.width = row.width;
        format.height = row.height;
        format.bitCount = row.bitCount;
        format.sizeImage = row.sizeImage;
        const auto checker = MakeVideoFrameChecker(format);
        ASSERT_NE(checker, nullptr) << row.compression;
        EXPECT_FALSE(checker->NeedsData());
        for (std::uint32_t size : row.whole)
            EXPECT_EQ(checker->Check({}, size).state, FrameState::kWhole)
                << row.compression << size;
        EXPECT_EQ(checker->Check({}, row.damaged).state, FrameState::kDamaged) << row.compression;
    }
}

TEST(Crc32, CheckValuesInBothBitOrders) {
    const std::string text = "123456789";
    EXPECT_EQ(Crc32Reflected(AsBytes(text)), 0xCBF43926u);
    EXPECT_EQ(Crc32Reflected(AsBytes(text).subspan(4), Crc32Reflected(AsBytes(text).first(4))),
              0xCBF43926u);
    EXPECT_EQ(Crc32Msb(AsBytes(text)), 0x89A1897Fu);
}

// The CRCs fold long runs by carry-less multiplication where the processor has it: every
// length around its block sizes, at every alignment, from any register before.
TEST(Crc, FoldedCrcsMatchTheBitwiseOnes) {
    auto reflected = [](Bytes bytes, std::uint32_t crc) {
        crc = ~crc;
        for (const std::uint8_t b : bytes) {
            crc ^= b;
            for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
        return ~crc;
    };
    auto bitwise = [](Bytes bytes, std::uint32_t crc, int width, std::uint32_t polynomial) {
        const std::uint32_t top = 1u << (width - 1);
        const std::uint32_t mask = top | (top - 1);
        for (const std::uint8_t b : bytes) {
            crc ^= std::uint32_t{b} << (width - 8);
            for (int i = 0; i < 8; ++i) crc = (crc & top) ? (crc << 1) ^ polynomial : crc << 1;
            crc &= mask;
        }
        return crc;
    };
    std::mt19937 random(26);
    std::vector<std::uint8_t> data(70000);
    for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random());
    for (int round = 0; round < 3000; ++round) {
        const std::size_t at = random() % 16;
        const std::size_t n = round < 2000 ? round % 200 : random() % (data.size() - at);
        const std::uint32_t before = random();
        const Bytes bytes(data.data() + at, n);
        ASSERT_EQ(Crc32Msb(bytes, before), bitwise(bytes, before, 32, 0x04C11DB7u))
            << "at " << at << " n " << n;
        ASSERT_EQ(Crc32Reflected(bytes, before), reflected(bytes, before))
            << "at " << at << " n " << n;
        const auto before16 = static_cast<std::uint16_t>(before);
        ASSERT_EQ(Crc16(before16, bytes), bitwise(bytes, before16, 16, 0x8005u))
            << "at " << at << " n " << n;
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
