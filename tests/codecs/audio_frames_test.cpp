// The audio frame checkers and probes against what real writers made, and the damage they
// must see in it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "plovik/frame_check.h"
#include "plovik/stream_probe.h"
#include "support/media.h"

namespace plovik {
namespace {

using Chunks = std::vector<std::string>;

struct AudioFile {
    const char* name;
    int stream;
    std::uint32_t samplesPerFrame;
    bool crcEveryByte;  // a CRC covers the whole frame (AC-3), not only its head
};

// MPEG audio without CRC shows damage in its headers and lengths only, its CRC covers the
// frame's head; AC-3's two CRCs cover every byte.
constexpr AudioFile kFiles[] = {
    {"ff_mpeg4_mp3.avi", 1, 1152, false},     {"ff_mpeg4_mp3vbr.avi", 1, 1152, false},
    {"me_mpeg4_mp3.avi", 1, 1152, false},     {"me_mpeg4_mp3vbr.avi", 1, 1152, false},
    {"gst_h264_mp3.avi", 1, 1152, false},     {"gst_mpeg4_mp3.avi", 1, 1152, false},
    {"gst_mp3_only.avi", 0, 576, false},      {"ff_mp3_only.avi", 0, 1152, false},
    {"ff_msmpeg4v3_mp3.avi", 1, 1152, false}, {"ff_mpeg1_mp2.avi", 1, 1152, false},
    {"ff_mpeg2_mp2.avi", 1, 1152, false},     {"me_mpeg4_mp2.avi", 1, 1152, false},
    {"me_mpeg4_mp2crc.avi", 1, 1152, false},  {"ff_mpeg4_ac3_mp3.avi", 2, 1152, false},
    {"ff_mpeg4_ac3_mp3.avi", 1, 1536, true},  {"ff_ac3_only.avi", 0, 1536, true},
    {"me_mjpeg_ac3.avi", 1, 1536, true},      {"gst_ac3.avi", 1, 1536, true},
};

std::uint32_t Le(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

// WAVEFORMATEX; the layout is the caller's: one frame to a unit (0) or a byte stream.
AudioStreamFormat FormatOf(const std::string& strf, std::uint32_t sampleSize) {
    AudioStreamFormat format;
    format.formatTag = static_cast<std::uint16_t>(Le(strf, 0, 2));
    format.channels = static_cast<std::uint16_t>(Le(strf, 2, 2));
    format.sampleRate = Le(strf, 4, 4);
    format.sampleSize = sampleSize;
    if (strf.size() > 18) {
        format.extra = {reinterpret_cast<const std::uint8_t*>(strf.data()) + 18, strf.size() - 18};
    }
    return format;
}

std::span<const std::uint8_t> Span(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

struct Damage {
    std::size_t chunk;
    FrameVerdict verdict;
};

// Every damaged verdict of the stream, End()'s counted as chunk chunks.size().
std::vector<Damage> DamageIn(const AudioStreamFormat& format, const Chunks& chunks,
                             const std::vector<std::size_t>& restartBefore = {}) {
    std::vector<Damage> damage;
    auto checker = MakeAudioFrameChecker(format);
    if (!checker) return {{0, FrameVerdict::Damaged(0, "no checker")}};
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        for (std::size_t r : restartBefore) {
            if (r == i) checker->Restart();
        }
        FrameVerdict verdict =
            checker->Check(Span(chunks[i]), static_cast<std::uint32_t>(chunks[i].size()));
        if (verdict.state == FrameState::kDamaged) damage.push_back({i, verdict});
    }
    FrameVerdict end = checker->End();
    if (end.state == FrameState::kDamaged) damage.push_back({chunks.size(), end});
    return damage;
}

std::string Describe(const std::vector<Damage>& damage) {
    std::string text;
    for (const Damage& d : damage) {
        text += " [chunk " + std::to_string(d.chunk) + ": " + d.verdict.reason + "]";
    }
    return text;
}

// The stream's chunks in pieces of other sizes, as a writer that cuts anywhere makes them.
Chunks Recut(const Chunks& chunks) {
    std::string stream;
    for (const std::string& c : chunks) stream += c;
    static constexpr std::size_t kSizes[] = {1, 3, 700, 2, 5000, 417, 64, 1, 1999};
    Chunks pieces;
    for (std::size_t at = 0, i = 0; at < stream.size(); at += pieces.back().size(), ++i) {
        pieces.push_back(stream.substr(at, kSizes[i % std::size(kSizes)]));
    }
    return pieces;
}

template <class Each>
void ForEachFile(Each each) {
    int found = 0;
    for (const AudioFile& file : kFiles) {
        const std::string path = test::MediaFile(file.name);
        if (path.empty()) continue;
        ++found;
        SCOPED_TRACE(std::string(file.name) + " stream " + std::to_string(file.stream));
        each(file, test::StreamFormat(path, file.stream),
             test::StreamChunks(path, file.stream, "wb"));
    }
    if (found == 0) GTEST_SKIP() << "no corpus";
}

TEST(AudioFrameCheck, RealWritersFramesAreWholeHoweverChunked) {
    ForEachFile([](const AudioFile&, const std::string& strf, const Chunks& chunks) {
        ASSERT_FALSE(chunks.empty());
        EXPECT_EQ(MakeAudioFrameChecker(FormatOf(strf, 0))->Depth(), CheckDepth::kFull);
        EXPECT_EQ(Describe(DamageIn(FormatOf(strf, 0), chunks)), "");
        EXPECT_EQ(Describe(DamageIn(FormatOf(strf, 1), chunks)), "");
        EXPECT_EQ(Describe(DamageIn(FormatOf(strf, 1), Recut(chunks))), "");
        // Chunks lost on the way: the checker finds the frames again.
        EXPECT_EQ(Describe(DamageIn(FormatOf(strf, 1), Recut(chunks), {5, 9})), "");
    });
}

TEST(AudioFrameCheck, ChangedBytesAreDamageInTheirChunk) {
    struct Change {
        const char* what;
        void (*apply)(std::string&);
        bool onlyWithCrc;
    };
    static constexpr Change kChanges[] = {
        {"sync", [](std::string& c) { c[0] = 0; }, false},
        {"cut", [](std::string& c) { c.pop_back(); }, false},
        {"head", [](std::string& c) { c[8] = static_cast<char>(c[8] ^ 0x21); }, true},
        {"middle", [](std::string& c) { c[c.size() / 2] ^= 0x10; }, true},
        {"end", [](std::string& c) { c.back() ^= 0x01; }, true},
    };
    ForEachFile([](const AudioFile& file, const std::string& strf, const Chunks& chunks) {
        const std::size_t k = chunks.size() / 2;
        ASSERT_GT(chunks[k].size(), 16u);
        const bool headCrc = (static_cast<std::uint8_t>(chunks[k][1]) & 1) == 0;
        for (const Change& change : kChanges) {
            const bool covered = change.what == std::string("head") ? headCrc || file.crcEveryByte
                                                                    : file.crcEveryByte;
            if (change.onlyWithCrc && !covered) continue;
            SCOPED_TRACE(change.what);
            Chunks changed = chunks;
            change.apply(changed[k]);
            for (std::uint32_t sampleSize : {0u, 1u}) {
                const auto damage = DamageIn(FormatOf(strf, sampleSize), changed);
                ASSERT_EQ(damage.size(), 1u) << Describe(damage);
                // A byte stream shows a cut where the next frame should begin.
                const bool late = sampleSize == 1 && change.what == std::string("cut");
                EXPECT_EQ(damage[0].chunk, late ? k + 1 : k) << Describe(damage);
            }
        }
    });
}

TEST(AudioFrameCheck, OffsetsCountFromTheChunkAcrossPiecesAndTagsAreNoDamage) {
    const std::string path = test::MediaFile("me_mpeg4_mp3.avi");
    if (path.empty()) GTEST_SKIP();
    const AudioStreamFormat format = FormatOf(test::StreamFormat(path, 1), 1);
    Chunks chunks = test::StreamChunks(path, 1, "wb");
    // An ID3 tag before the first frame (its header across two chunks), an ID3v1 tag after
    // the last.
    const std::string id3 = std::string("ID3\x03\0\0\0\0\0\x05", 10) + "abcde";
    chunks.insert(chunks.begin(), {id3.substr(0, 12), id3.substr(12)});
    chunks.push_back("TAG" + std::string(125, ' '));
    EXPECT_EQ(Describe(DamageIn(format, chunks)), "");

    // A frame's sync byte lost far into the stream (each chunk here holds whole frames),
    // with its header inside one piece.
    const Chunks pieces = Recut(chunks);
    std::size_t start = 0, piece = 0, at = 0;
    for (std::size_t j = 0; start < 12345 || start - at + 4 > pieces[piece].size(); ++j) {
        start += chunks[j].size();
        while (at + pieces[piece].size() <= start) at += pieces[piece++].size();
    }
    Chunks changed = pieces;
    changed[piece][start - at] = 0;
    const auto damage = DamageIn(format, changed);
    ASSERT_EQ(damage.size(), 1u) << Describe(damage);
    EXPECT_EQ(damage[0].chunk, piece);
    EXPECT_EQ(damage[0].verdict.reason,
              "MP3 frame header expected at +" + std::to_string(start - at));
}

// Two Layer III frames that an encoder wrote with CRC (MPEG-2.5, 8 kHz, mono, 8 kbit/s).
std::string ProtectedMp3() {
    static const char kHex[] =
        "ffe218c4becc0d0c30d248000e3a61985338370b34683b30740049183e86354b4daba281bc4a530ea3f1f1c8"
        "a0f064decf5e597fffffc24dc428640bac0c430b43b39026734e42b0ffe218c4ce29150c70d64800163a6110"
        "901803a823587fe515f77084388ecaa1e4f93e6c79260c5cea2bfc6d7fffffbb3167e580a3b1000a8e841180"
        "a237014188b00229b8d2dfb8";
    std::string bytes;
    for (std::size_t i = 0; kHex[i]; i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(kHex + i, 2), nullptr, 16)));
    }
    return bytes;
}

TEST(AudioFrameCheck, Layer3CrcCoversTheSideInformation) {
    AudioStreamFormat format;
    format.formatTag = 0x55;
    const std::string frames = ProtectedMp3();
    ASSERT_EQ(frames.size(), 144u);
    EXPECT_EQ(Describe(DamageIn(format, {frames.substr(0, 72), frames.substr(72)})), "");
    std::string changed = frames;
    changed[72 + 10] ^= 0x04;  // side information of the second frame
    const auto damage = DamageIn(format, {changed.substr(0, 100), changed.substr(100)});
    ASSERT_EQ(damage.size(), 1u) << Describe(damage);
    EXPECT_EQ(damage[0].verdict.reason, "MP3 frame CRC mismatch (begun in an earlier chunk)");
}

// An ADTS frame of length bytes: AAC LC, 44.1 kHz, stereo, no CRC.
std::string Adts(std::uint32_t length) {
    std::string frame(length, '\0');
    const std::uint8_t header[7] = {0xFF,
                                    0xF1,
                                    0x50,
                                    static_cast<std::uint8_t>(0x80 | length >> 11),
                                    static_cast<std::uint8_t>(length >> 3),
                                    static_cast<std::uint8_t>((length & 7) << 5 | 0x1F),
                                    0xFC};
    std::memcpy(frame.data(), header, 7);
    return frame;
}

TEST(AudioFrameCheck, AdtsHeadersChainAndRawAacHasNoChecker) {
    AudioStreamFormat format;
    format.formatTag = 0xFF;
    const std::string chunk = Adts(200) + Adts(31) + Adts(371);
    EXPECT_EQ(MakeAudioFrameChecker(format)->Depth(), CheckDepth::kHeaders);
    EXPECT_EQ(Describe(DamageIn(format, {chunk, Adts(9), chunk})), "");
    // The second frame's header says 32 bytes where it has 31.
    const std::string changed =
        Adts(200) + Adts(32).substr(0, 7) + std::string(24, '\0') + Adts(371);
    const auto damage = DamageIn(format, {chunk, changed});
    ASSERT_EQ(damage.size(), 1u);
    EXPECT_EQ(damage[0].verdict.reason, "ADTS frame header expected at +232");

    // Raw access units with their configuration: no checker.
    const std::uint8_t config[2] = {0x12, 0x10};
    format.extra = config;
    EXPECT_EQ(MakeAudioFrameChecker(format), nullptr);

    const auto probed = ProbeAudioChunk(Span(chunk));
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->formatTag, 0xFF);
    EXPECT_EQ(probed->sampleRate, 44100u);
    EXPECT_EQ(probed->channels, 2);
    EXPECT_EQ(probed->samplesPerFrame, 1024u);
}

TEST(AudioFrameCheck, FormsWithoutLengthsCannotBeTold) {
    struct Form {
        std::uint16_t formatTag;
        std::string chunk;
    };
    const Form kForms[] = {
        {0x55, std::string("\xFF\xFB\x04\xC4", 4) + std::string(400, '\x55')},  // free format
        {0x2000, std::string("\x0B\x77\x01\x7F\x3F\x80", 6) + std::string(400, '\x55')},  // E-AC-3
        {0xFF, std::string("\xDE\x02\x00\x4C\x61\x76", 6)},  // raw AAC without its configuration
    };
    for (const Form& form : kForms) {
        AudioStreamFormat format;
        format.formatTag = form.formatTag;
        for (std::uint32_t sampleSize : {0u, 1u}) {
            format.sampleSize = sampleSize;
            auto checker = MakeAudioFrameChecker(format);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(checker->Check(Span(form.chunk), 0).state, FrameState::kCannotTell)
                    << form.formatTag;
            }
        }
    }
}

TEST(AudioProbe, FirstChunkTellsWhatTheWriterWrote) {
    ForEachFile([](const AudioFile& file, const std::string& strf, const Chunks& chunks) {
        const AudioStreamFormat format = FormatOf(strf, 0);
        std::string stream;
        for (const std::string& c : chunks) stream += c;
        // The first chunk, and a piece of the stream that begins inside a frame.
        for (const std::string& data : {chunks[0], stream.substr(1000, 3000)}) {
            const auto probed = ProbeAudioChunk(Span(data));
            ASSERT_TRUE(probed);
            EXPECT_EQ(probed->family, AudioFamilyOf(format.formatTag));
            EXPECT_EQ(probed->formatTag, format.formatTag);
            EXPECT_EQ(probed->channels, format.channels);
            EXPECT_EQ(probed->sampleRate, format.sampleRate);
            EXPECT_EQ(probed->samplesPerFrame, file.samplesPerFrame);
        }
    });
}

TEST(AudioProbe, SoundWithoutHeadersIsNoneOfThem) {
    int found = 0;
    for (const char* name :
         {"ff_mjpeg_pcm.avi", "gst_pcm_only.avi", "ff_h264_aac.avi", "ff_huffyuv_adpcm.avi"}) {
        const std::string path = test::MediaFile(name);
        if (path.empty()) continue;
        ++found;
        const int stream = std::string(name).find("only") != std::string::npos ? 0 : 1;
        for (const std::string& chunk : test::StreamChunks(path, stream, "wb")) {
            EXPECT_FALSE(ProbeAudioChunk(Span(chunk))) << name;
        }
    }
    if (found == 0) GTEST_SKIP();
}

}  // namespace
}  // namespace plovik
