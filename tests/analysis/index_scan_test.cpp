// The "idx1" scan: frame counts, key-frame times, completeness and the time limit.
#include <gtest/gtest.h>

#include <cmath>

#include "byte_source.h"
#include "parse_helpers.h"

namespace plovik::test {
namespace {

Bytes FileWithIndex(const std::vector<IndexEntry>& entries, MainHeader header = {},
                    bool indexFirst = false) {
    const Bytes hdrl = List("hdrl", {Avih(header)});
    const Bytes movi = List("movi", {Chunk("00dc", Zeros(8))});
    return indexFirst ? Riff("AVI ", {hdrl, Idx1(entries), movi})
                      : Riff("AVI ", {hdrl, movi, Idx1(entries)});
}

std::vector<IndexEntry> VideoEntries(std::uint32_t count, std::uint32_t keyInterval) {
    std::vector<IndexEntry> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        entries.push_back(Video(i % keyInterval == 0 ? kKey : 0, 1000 + i));
    }
    return entries;
}

TEST(IndexScan, KeyFrameTimesAndRecords) {
    auto entries = VideoEntries(60, 25);
    entries.insert(entries.begin() + 3, Audio(kKey));  // a flagged audio entry is no key frame
    entries.insert(entries.begin() + 5, {"02tx", kKey, 0, 4});  // other ids are ignored
    CAviParser p;
    ASSERT_TRUE(
        ParseFileBytes(p, FileWithIndex(entries, {.microSecPerFrame = 40000, .totalFrames = 60})));
    ASSERT_EQ(p.m_nKeyFrames, 3u);
    EXPECT_EQ(p.m_arKeyTimes[0], 0.0);
    EXPECT_EQ(p.m_arKeyTimes[1], 1.0);
    EXPECT_EQ(p.m_arKeyTimes[2], 2.0);
    ASSERT_EQ(p.m_listKeyFrames.size(), 3u);
    EXPECT_EQ(p.m_listKeyFrames[1].dTime, 1.0);
    EXPECT_EQ(p.m_listKeyFrames[1].dwChunkOffset, 1025u);
    EXPECT_EQ(p.m_listKeyFrames[1].dwReserved, 0u);
    EXPECT_TRUE(p.m_bIndexOK);
}

TEST(IndexScan, UncompressedFramesCountAndTimesUseTheExactProduct) {
    const std::vector<IndexEntry> entries{{"00db", kKey}, {"00db", 0}, {"00db", kKey}};
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(
        p, FileWithIndex(entries, {.microSecPerFrame = 0xFFFFFFFF, .totalFrames = 3})));
    ASSERT_EQ(p.m_nKeyFrames, 2u);
    EXPECT_DOUBLE_EQ(p.m_arKeyTimes[1], 2.0 * 4294967295.0 * 1e-6);
    EXPECT_TRUE(p.m_bIndexOK);
}

TEST(IndexScan, ZeroFrameDurationGivesZeroTimes) {
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(
        p, FileWithIndex(VideoEntries(10, 3), {.microSecPerFrame = 0, .totalFrames = 10})));
    ASSERT_EQ(p.m_nKeyFrames, 4u);
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(p.m_arKeyTimes[i], 0.0);
}

TEST(IndexScan, CompletenessComparesVideoCountWithTotalFrames) {
    struct Case {
        std::vector<IndexEntry> entries;
        std::uint32_t totalFrames;
        bool ok;
    };
    const Case cases[] = {
        {{}, 0, true},
        {{}, 5, false},
        {VideoEntries(5, 1), 5, true},
        {VideoEntries(5, 1), 6, false},
        {{{"01dc", kKey}, {"01dc", kKey}}, 2, false},  // video stored as stream 1 is not seen
        {{{"01dc", kKey}}, 0, true},
    };
    for (const Case& c : cases) {
        CAviParser p;
        ASSERT_TRUE(ParseFileBytes(p, FileWithIndex(c.entries, {.totalFrames = c.totalFrames})));
        EXPECT_EQ(p.m_bIndexOK, c.ok);
    }
}

TEST(IndexScan, IndexSizeNotAMultipleOf16FailsAfterItsWholeEntries) {
    // Two whole entries and 8 stray bytes; the key-frame entry after the chunk is not read.
    const Bytes idx1 = Chunk("idx1", IndexEntries({Video(kKey), Video(kKey)}) + Zeros(8));
    const Bytes file = Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 2})}), List("movi", {}),
                                     idx1, IndexEntries({Video(kKey), Video(kKey)})});
    CAviParser p;
    EXPECT_FALSE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    EXPECT_EQ(p.m_nKeyFrames, 2u);
    EXPECT_FALSE(p.m_bIndexOK);
    EXPECT_EQ(p.m_lIndexSize, 40 + 8);
}

TEST(IndexScan, TruncatedIndexKeepsPartialResults) {
    const Bytes file = FileWithIndex(VideoEntries(10, 2), {.totalFrames = 10});
    CAviParser p;
    EXPECT_FALSE(ParseFileBytes(p, file.substr(0, file.size() - 16 * 5)));
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    EXPECT_EQ(p.m_nKeyFrames, 3u);
    EXPECT_FALSE(p.m_bIndexOK);
    EXPECT_EQ(p.m_llIndexPos, PosOf(file, "idx1"));
    EXPECT_EQ(p.m_lIndexSize, 10 * 16 + 8);
}

TEST(IndexScan, SkippedIndexIsRecordedButNotScanned) {
    const Bytes file = FileWithIndex(VideoEntries(10, 2), {.totalFrames = 10}, /*indexFirst=*/true);
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file, 0xFFFFFFFF, /*skipIndex=*/true));
    EXPECT_EQ(p.m_llIndexPos, PosOf(file, "idx1"));
    EXPECT_EQ(p.m_lIndexSize, 10 * 16 + 8);
    EXPECT_EQ(p.m_nKeyFrames, 0u);
    EXPECT_FALSE(p.m_bIndexOK);
    EXPECT_EQ(p.m_llMoviPos, PosOf(file, "movi") - 8);  // the walk goes on after the skip
    EXPECT_TRUE(p.IsFrontIndex());
}

TEST(IndexScan, FrontIndex) {
    CAviParser front;
    ASSERT_TRUE(ParseFileBytes(front, BuildSimpleAvi({.indexFirst = true})));
    EXPECT_TRUE(front.IsFrontIndex());
    EXPECT_TRUE(front.m_bIndexOK);
    CAviParser usual;
    ASSERT_TRUE(ParseFileBytes(usual, BuildSimpleAvi({.indexFirst = false})));
    EXPECT_FALSE(usual.IsFrontIndex());
    CAviParser noMovi;
    ASSERT_TRUE(ParseFileBytes(noMovi, Riff("AVI ", {List("hdrl", {Avih({})}), Idx1({})})));
    EXPECT_FALSE(noMovi.IsFrontIndex());
    CAviParser noIndex;
    ASSERT_TRUE(
        ParseFileBytes(noIndex, Riff("AVI ", {List("hdrl", {Avih({})}), List("movi", {})})));
    EXPECT_FALSE(noIndex.IsFrontIndex());
}

TEST(IndexScan, ManyKeyFramesGrowTheArray) {
    const std::uint32_t frames = 100'005;
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, FileWithIndex(VideoEntries(frames, 1), {.microSecPerFrame = 1000,
                                                                          .totalFrames = frames})));
    ASSERT_EQ(p.m_nKeyFrames, frames);
    ASSERT_GE(p.m_arKeyTimes.size(), frames);
    EXPECT_EQ(p.m_listKeyFrames.size(), frames);
    EXPECT_DOUBLE_EQ(p.m_arKeyTimes[frames - 1], (frames - 1) * 1e-3);
    EXPECT_TRUE(p.m_bIndexOK);
}

TEST(IndexScan, EachIndexChunkStartsItsCountsAfresh) {
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 2})}), Idx1(VideoEntries(5, 1)),
                      List("movi", {}), Idx1(VideoEntries(2, 2))});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_nKeyFrames, 1u);
    EXPECT_EQ(p.m_listKeyFrames.size(), 1u);
    EXPECT_TRUE(p.m_bIndexOK);
}

// ---- Time limit ----

std::vector<std::string> g_traces;
void CollectTrace(const char* text) { g_traces.emplace_back(text); }

class IndexTimeLimit : public ::testing::Test {
  protected:
    void SetUp() override {
        g_traces.clear();
        SetTraceSink(CollectTrace);
    }
    void TearDown() override { SetTraceSink(nullptr); }

    // A large index in memory of audio entries only: with the video count at 0, every
    // entry reads the clock, so the scan lasts well over a millisecond and the limit
    // is seen as soon as it has passed.
    static constexpr std::uint32_t kEntries = 1'000'000;
    static const Bytes& LargeFile() {
        static const Bytes file = [] {
            const Bytes entry = IndexEntries({Audio(kKey)});
            Bytes entries;
            entries.reserve(entry.size() * kEntries);
            for (std::uint32_t i = 0; i < kEntries; ++i) entries += entry;
            return Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 0})}), List("movi", {}),
                                 Chunk("idx1", entries)});
        }();
        return file;
    }
};

TEST_F(IndexTimeLimit, PassedLimitStopsTheScanWithATrace) {
    CAviParser p;
    EXPECT_FALSE(p.ParseFrom(MakeMemorySource(LargeFile()), "big.avi", 1, false));
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    EXPECT_FALSE(p.m_bIndexOK);
    // Stopped right after a whole entry, long before the end of the index.
    EXPECT_LT(p.m_llFilePos, static_cast<std::int64_t>(LargeFile().size()) / 2);
    EXPECT_EQ((p.m_llFilePos - PosOf(LargeFile(), "idx1") - 8) % 16, 0);
    ASSERT_EQ(g_traces.size(), 1u);
    EXPECT_EQ(g_traces[0], "key frame reading time over..");
}

TEST_F(IndexTimeLimit, ZeroAndMaximumLimitsNeverFire) {
    for (const std::uint32_t limit : {0u, 0xFFFFFFFFu}) {
        CAviParser p;
        EXPECT_TRUE(p.ParseFrom(MakeMemorySource(LargeFile()), "big.avi", limit, false));
        EXPECT_TRUE(p.m_bIndexOK);
    }
    EXPECT_TRUE(g_traces.empty());
}

}  // namespace
}  // namespace plovik::test

namespace plovik::test {
namespace {

// The scan against a plain entry-by-entry reading of random indexes: mixed ids, key
// flags on any entry, lengths that do not fill whole blocks.
TEST(IndexScan, MatchesAnEntryByEntryReading) {
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    const char* ids[] = {"00dc", "00db", "01wb", "01dc", "00wb", "02tx", "00dd"};
    for (int round = 0; round < 40; ++round) {
        std::vector<IndexEntry> entries;
        const std::uint32_t length = next() % 3000;
        for (std::uint32_t i = 0; i < length; ++i) {
            const bool key = next() % (round % 5 + 2) == 0;
            entries.push_back({ids[next() % 7], key ? kKey | 0x100u : 0x100u, next(), 8});
        }
        std::vector<double> times;
        std::vector<std::uint32_t> offsets;
        std::uint32_t video = 0;
        for (const IndexEntry& e : entries) {
            if (e.id != "00dc" && e.id != "00db") continue;
            ++video;
            if (e.flags & kKey) {
                times.push_back((video - 1) * 40000 * 1e-6);
                offsets.push_back(e.offset);
            }
        }
        CAviParser p;
        ASSERT_TRUE(ParseFileBytes(
            p, Riff("AVI ", {List("hdrl", {Avih({.totalFrames = video})}), Idx1(entries)})));
        EXPECT_TRUE(p.m_bIndexOK);
        ASSERT_EQ(p.m_nKeyFrames, times.size());
        for (std::size_t k = 0; k < times.size(); ++k) {
            EXPECT_DOUBLE_EQ(p.m_arKeyTimes[k], times[k]);
            EXPECT_EQ(p.m_listKeyFrames[k].dwChunkOffset, offsets[k]);
        }
    }
}

}  // namespace
}  // namespace plovik::test
