// The "idx1" scan: frame counts, key-frame times, completeness and the time limit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "byte_source.h"
#include "parse_helpers.h"
#include "plovik/trace_sink.h"
#include "tick_clock.h"

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

TEST(IndexRead, KeyFrameTimesAndRecords) {
    auto entries = VideoEntries(60, 25);
    entries.insert(entries.begin() + 3, Audio(kKey));  // a flagged audio entry is no key frame
    entries.insert(entries.begin() + 5, {"02tx", kKey, 0, 4});  // other ids are ignored
    CAviParser p;
    ASSERT_TRUE(
        ParseFileBytes(p, FileWithIndex(entries, {.microSecPerFrame = 40000, .totalFrames = 60})));
    ASSERT_EQ(p.m_nKeyFrames, 3u);
    EXPECT_EQ(p.m_arKeyFrames.Time(0), 0.0);
    EXPECT_EQ(p.m_arKeyFrames.Time(1), 1.0);
    EXPECT_EQ(p.m_arKeyFrames.Time(2), 2.0);
    ASSERT_EQ(p.m_arKeyFrames.size(), 3u);
    EXPECT_EQ(p.m_arKeyFrames[1].dTime, 1.0);
    EXPECT_EQ(p.m_arKeyFrames[1].dwChunkOffset, 1025u);
    EXPECT_EQ(p.m_arKeyFrames[1].dwReserved, 0u);
    EXPECT_TRUE(p.m_bIndexOK);
}

TEST(IndexRead, UncompressedFramesCountAndTimesUseTheExactProduct) {
    // The product (v - 1) x dwMicroSecPerFrame is exact in 64 bits and scaled in extended
    // precision: bit for bit, plain double arithmetic would be one unit off in both.
    struct Case {
        std::uint32_t microSecPerFrame;
        std::uint32_t keyEntry;  // video entry number of the second key frame
        double seconds;
    };
    const Case cases[] = {
        {0xFFFFFFFF, 3, 0x1.0c6f7a0a52695p+13},  // 8589.93459: past 32 bits
        {33367, 26637, 0x1.bc61b77c02afep+9},    // 888.763412
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keyEntry);
        std::vector<IndexEntry> entries(c.keyEntry, {"00db", 0});
        entries.front().flags = entries.back().flags = kKey;
        CAviParser p;
        ASSERT_TRUE(ParseFileBytes(
            p, FileWithIndex(entries,
                             {.microSecPerFrame = c.microSecPerFrame, .totalFrames = c.keyEntry})));
        ASSERT_EQ(p.m_nKeyFrames, 2u);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(p.m_arKeyFrames.Time(1)),
                  std::bit_cast<std::uint64_t>(c.seconds));
        EXPECT_TRUE(p.m_bIndexOK);
    }
}

TEST(IndexRead, ZeroFrameDurationGivesZeroTimes) {
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(
        p, FileWithIndex(VideoEntries(10, 3), {.microSecPerFrame = 0, .totalFrames = 10})));
    ASSERT_EQ(p.m_nKeyFrames, 4u);
    for (std::uint32_t i = 0; i < 4; ++i) EXPECT_EQ(p.m_arKeyFrames.Time(i), 0.0);
}

TEST(IndexRead, CompletenessComparesVideoCountWithTotalFrames) {
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
        SCOPED_TRACE(testing::Message() << c.entries.size() << " entries, total " << c.totalFrames);
        CAviParser p;
        ASSERT_TRUE(ParseFileBytes(p, FileWithIndex(c.entries, {.totalFrames = c.totalFrames})));
        EXPECT_EQ(p.m_bIndexOK, c.ok);
    }
}

TEST(IndexRead, VideoStoredAsAStreamAfterAudioIsCountedWhenStreamZeroHasNoFrames) {
    const Bytes hdrl =
        List("hdrl",
             {Avih({.microSecPerFrame = 40000, .totalFrames = 3}),
              List("strl", {Strh({.type = "auds", .handler = std::string(4, '\0')}), AudioStrf()}),
              List("strl", {Strh({.length = 3}), VideoStrf()})});
    auto parse = [&](const std::vector<IndexEntry>& entries, CAviParser& p) {
        ASSERT_TRUE(ParseFileBytes(
            p, Riff("AVI ", {hdrl, List("movi", {Chunk("01dc", Zeros(8))}), Idx1(entries)})));
    };
    CAviParser p;
    parse({{"00wb", kKey}, {"01dc", kKey}, {"01dc", 0}, {"00wb", kKey}, {"01dc", kKey}}, p);
    EXPECT_EQ(p.m_nIndexFrames, 3u);
    EXPECT_TRUE(p.m_bIndexOK);
    ASSERT_EQ(p.m_nKeyFrames, 2u);
    EXPECT_EQ(p.m_arKeyFrames.Time(1), 0.08);  // the third frame of stream 1
    // Frames of stream 0 come first: then they alone count.
    CAviParser q;
    parse({{"00dc", kKey}, {"01dc", kKey}, {"01dc", kKey}}, q);
    EXPECT_EQ(q.m_nIndexFrames, 1u);
    EXPECT_EQ(q.m_nKeyFrames, 1u);
}

TEST(IndexRead, IndexSizeNotAMultipleOf16FailsAfterItsWholeEntries) {
    // Two whole entries and 8 stray bytes; the key-frame entry after the chunk is not read.
    const Bytes idx1 = Chunk("idx1", IndexEntries({Video(kKey), Video(kKey)}) + Zeros(8));
    const Bytes file = Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 2})}), List("movi", {}),
                                     idx1, IndexEntries({Video(kKey), Video(kKey)})});
    CAviParser p;
    EXPECT_FALSE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    EXPECT_EQ(p.m_nKeyFrames, 2u);
    EXPECT_FALSE(p.m_bIndexOK);
    EXPECT_EQ(p.m_llIndexSize, 40 + 8);
}

TEST(IndexRead, TruncatedIndexKeepsPartialResults) {
    const Bytes file = FileWithIndex(VideoEntries(10, 2), {.totalFrames = 10});
    CAviParser p;
    EXPECT_FALSE(ParseFileBytes(p, file.substr(0, file.size() - 16 * 5)));
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    ASSERT_EQ(p.m_nKeyFrames, 3u);
    ASSERT_EQ(p.m_arKeyFrames.size(), 3u);
    for (std::uint32_t k = 0; k < 3; ++k) {  // the key frames found are complete
        SCOPED_TRACE(k);
        EXPECT_DOUBLE_EQ(p.m_arKeyFrames.Time(k), k * 2 * 0.04);
        EXPECT_EQ(p.m_arKeyFrames[k].dTime, p.m_arKeyFrames.Time(k));
        EXPECT_EQ(p.m_arKeyFrames[k].dwChunkOffset, 1000 + 2 * k);
    }
    EXPECT_FALSE(p.m_bIndexOK);
    EXPECT_EQ(p.m_llIndexPos, PosOf(file, "idx1"));
    EXPECT_EQ(p.m_llIndexSize, 10 * 16 + 8);
}

TEST(IndexRead, SkippedIndexIsRecordedButNotScanned) {
    const Bytes file = FileWithIndex(VideoEntries(10, 2), {.totalFrames = 10}, /*indexFirst=*/true);
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file, 0xFFFFFFFF, /*skipIndex=*/true));
    EXPECT_EQ(p.m_llIndexPos, PosOf(file, "idx1"));
    EXPECT_EQ(p.m_llIndexSize, 10 * 16 + 8);
    EXPECT_EQ(p.m_nKeyFrames, 0u);
    EXPECT_FALSE(p.m_bIndexOK);
    EXPECT_EQ(p.m_llMoviPos, PosOf(file, "movi") - 8);  // the walk goes on after the skip
    EXPECT_TRUE(p.IsFrontIndex());
}

TEST(IndexRead, FrontIndex) {
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

TEST(IndexRead, ManyKeyFrames) {
    const std::uint32_t frames = 100'005;
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, FileWithIndex(VideoEntries(frames, 1), {.microSecPerFrame = 1000,
                                                                          .totalFrames = frames})));
    ASSERT_EQ(p.m_nKeyFrames, frames);
    ASSERT_EQ(p.m_arKeyFrames.size(), frames);
    for (const std::uint32_t k : {0u, 99'999u, 100'000u, frames - 1}) {
        SCOPED_TRACE(k);
        EXPECT_DOUBLE_EQ(p.m_arKeyFrames.Time(k), k * 1e-3);
        EXPECT_EQ(p.m_arKeyFrames[k].dTime, p.m_arKeyFrames.Time(k));
        EXPECT_EQ(p.m_arKeyFrames[k].dwChunkOffset, 1000 + k);
    }
    EXPECT_TRUE(p.m_bIndexOK);
}

TEST(IndexRead, EachIndexChunkStartsItsCountsAfresh) {
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 2})}), Idx1(VideoEntries(5, 1)),
                      List("movi", {}), Idx1(VideoEntries(2, 2))});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_nKeyFrames, 1u);
    EXPECT_EQ(p.m_arKeyFrames.size(), 1u);
    EXPECT_TRUE(p.m_bIndexOK);
}

// ---- Time limit ----

std::vector<std::string> g_traces;
void CollectTrace(const char* text) { g_traces.emplace_back(text); }

// Reads `start` at the start of the scan and start + elapsed at its checks.
std::uint32_t g_start = 0;
std::uint32_t g_elapsed = 0;
int g_reads = 0;
std::uint32_t TwoReadingClock() { return g_reads++ == 0 ? g_start : g_start + g_elapsed; }

class IndexTimeLimit : public ::testing::Test {
  protected:
    void SetUp() override {
        g_traces.clear();
        SetTraceSink(CollectTrace);
        SetTickSource(TwoReadingClock);
        g_reads = 0;
    }
    void TearDown() override {
        SetTickSource(nullptr);
        SetTraceSink(nullptr);
    }

    // An index of audio entries only: with the video count at 0, every entry reads the
    // clock.
    static const Bytes& AudioIndexFile() {
        static const Bytes file = [] {
            const Bytes entry = IndexEntries({Audio(kKey)});
            Bytes entries;
            for (int i = 0; i < 1000; ++i) entries += entry;
            return Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 0})}), List("movi", {}),
                                 Chunk("idx1", entries)});
        }();
        return file;
    }
};

// The clock is past the limit at the first entry's check: the scan stops right after it.
TEST_F(IndexTimeLimit, PassedLimitStopsTheScanWithATrace) {
    g_start = 0;
    g_elapsed = 2;
    CAviParser p;
    EXPECT_FALSE(p.ParseFrom(MakeMemorySource(AudioIndexFile()), "big.avi", 1, false));
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    EXPECT_FALSE(p.m_bIndexOK);
    EXPECT_EQ(p.m_llFilePos, PosOf(AudioIndexFile(), "idx1") + 8 + 16);
    ASSERT_EQ(g_traces.size(), 1u);
    EXPECT_EQ(g_traces[0], "key frame reading time over..");
}

TEST_F(IndexTimeLimit, ZeroAndMaximumLimitsNeverFire) {
    g_start = 0;
    g_elapsed = 0xFFFFFFFF;
    for (const std::uint32_t limit : {0u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(limit);
        CAviParser p;
        EXPECT_TRUE(p.ParseFrom(MakeMemorySource(AudioIndexFile()), "big.avi", limit, false));
        EXPECT_TRUE(p.m_bIndexOK);
    }
    EXPECT_TRUE(g_traces.empty());
}

TEST_F(IndexTimeLimit, FiresOnlyWhenMoreThanTheLimitHasPassed) {
    // One audio entry: the clock is read at the start and at its check.
    const Bytes file = Riff("AVI ", {List("hdrl", {Avih({})}), Idx1({Audio()})});
    struct Case {
        std::uint32_t start, elapsed;
        bool over;
    };
    const Case cases[] = {
        {1000, 500, false},
        {1000, 501, true},  // the limit itself has not passed
        {0xFFFFFF00, 500, false},
        {0xFFFFFF00, 501, true},  // across the counter's wrap
        {0xFFFFFFFF, 0xFFFFFFFF, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << ", elapsed " << c.elapsed);
        g_start = c.start;
        g_elapsed = c.elapsed;
        g_reads = 0;
        g_traces.clear();
        CAviParser p;
        EXPECT_EQ(p.ParseFrom(MakeMemorySource(file), "clip.avi", 500, false), !c.over);
        EXPECT_EQ(g_reads, 2);
        EXPECT_EQ(g_traces.size(), c.over ? 1u : 0u);
    }
}

}  // namespace
}  // namespace plovik::test

namespace plovik::test {
namespace {

// ---- The scan against a plain entry-by-entry reading ----

// A clock that stands still until its timeOutRead-th reading (the one at the start
// of the scan is reading 0), from which on it is far past any limit.
std::uint32_t g_clockReads = 0;
std::uint32_t g_timeOutRead = 0;
std::uint32_t SteppingClock() { return g_clockReads++ >= g_timeOutRead ? 1'000'000u : 0u; }

// What reading the entries one at a time gives, with the clock read after each
// video or "01wb" entry while the video count is a multiple of 1000.
struct Reading {
    std::vector<double> times;
    std::vector<std::uint32_t> offsets;
    std::uint32_t videos = 0;
    std::size_t timedOutAfter = 0;  // entries taken when the time ran out; 0: it did not
};

Reading ReadEntryByEntry(const std::vector<IndexEntry>& entries, std::uint32_t microSecPerFrame,
                         std::uint32_t timeOutRead) {
    Reading r;
    std::uint32_t clockReads = 1;  // the one at the start
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const IndexEntry& e = entries[i];
        const bool video = e.id == "00dc" || e.id == "00db";
        if (!video && e.id != "01wb") continue;
        if (video) ++r.videos;
        if (video && (e.flags & kKey)) {
            // The exact product, scaled in extended precision.
            const long double micros = std::uint64_t{r.videos - 1} * microSecPerFrame;
            r.times.push_back(static_cast<double>(micros * static_cast<long double>(1e-6)));
            r.offsets.push_back(e.offset);
        }
        if (r.videos % 1000 == 0 && clockReads++ == timeOutRead) {
            r.timedOutAfter = i + 1;
            break;
        }
    }
    return r;
}

// Random indexes: mostly video and audio so that the count passes several multiples
// of 1000, runs of audio only, key flags on any entry, lengths that fill neither
// whole blocks nor whole read buffers.
std::vector<IndexEntry> RandomIndex(std::uint32_t (*next)(), std::uint32_t length) {
    const char* ids[] = {"00dc", "00dc", "00dc", "00db", "01wb", "01wb", "01dc", "00wb", "02tx"};
    std::vector<IndexEntry> entries;
    const std::uint32_t keyOdds = next() % 40 + 1;
    while (entries.size() < length) {
        const bool audioRun = next() % 50 == 0;
        const std::uint32_t run = audioRun ? next() % 80 : 1;
        for (std::uint32_t i = 0; i < run && entries.size() < length; ++i) {
            const char* id = audioRun ? "01wb" : ids[next() % std::size(ids)];
            const bool key = next() % keyOdds == 0;
            entries.push_back({id, (key ? kKey : 0u) | (next() & 0xFFEFu), next(), 8});
        }
    }
    return entries;
}

std::uint32_t g_seed = 12345;
std::uint32_t NextRandom() { return g_seed = g_seed * 1103515245u + 12345u, g_seed >> 8; }

class IndexReadAgainstReading : public ::testing::Test {
  protected:
    void SetUp() override {
        g_traces.clear();
        SetTraceSink(CollectTrace);
        SetTickSource(SteppingClock);
    }
    void TearDown() override {
        SetTickSource(nullptr);
        SetTraceSink(nullptr);
    }

    static void ExpectKeyFrames(const CAviParser& p, const Reading& r) {
        ASSERT_EQ(p.m_nKeyFrames, r.times.size());
        ASSERT_EQ(p.m_arKeyFrames.size(), r.times.size());
        for (std::size_t k = 0; k < r.times.size(); ++k) {
            EXPECT_EQ(p.m_arKeyFrames.Time(k), r.times[k]) << k;
            EXPECT_EQ(p.m_arKeyFrames[k].dTime, r.times[k]) << k;
            EXPECT_EQ(p.m_arKeyFrames[k].dwChunkOffset, r.offsets[k]) << k;
            EXPECT_EQ(p.m_arKeyFrames[k].dwReserved, 0u);
        }
    }
};

TEST_F(IndexReadAgainstReading, WholeScansWithAndWithoutTheClock) {
    g_seed = 12345;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        const auto entries = RandomIndex(NextRandom, NextRandom() % (round < 10 ? 300 : 9000));
        const std::uint32_t microSecPerFrame =
            round % 7 == 0 ? 0 : (round % 7 == 1 ? 0xFFFFFFFF : NextRandom() % 100000);
        const Reading r = ReadEntryByEntry(entries, microSecPerFrame, 0);
        const Bytes file = Riff(
            "AVI ",
            {List("hdrl", {Avih({.microSecPerFrame = microSecPerFrame, .totalFrames = r.videos})}),
             Idx1(entries)});
        for (const std::uint32_t limit : {0u, 5000u, 0xFFFFFFFFu}) {
            SCOPED_TRACE(limit);
            g_clockReads = 0;
            g_timeOutRead = 0xFFFFFFFF;
            CAviParser p;
            ASSERT_TRUE(ParseFileBytes(p, file, limit));
            EXPECT_TRUE(p.m_bIndexOK);
            ExpectKeyFrames(p, r);
        }
    }
    EXPECT_TRUE(g_traces.empty());
}

TEST_F(IndexReadAgainstReading, TimeOutStopsRightAfterTheEntryThatReadTheClock) {
    g_seed = 777;
    int timedOut = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const auto entries = RandomIndex(NextRandom, 2000 + NextRandom() % 8000);
        const std::uint32_t timeOutRead = NextRandom() % 4 + 1;
        const Reading r = ReadEntryByEntry(entries, 40000, timeOutRead);
        const Bytes hdrl = List("hdrl", {Avih({.totalFrames = r.videos})});
        const Bytes file = Riff("AVI ", {hdrl, Idx1(entries)});
        g_traces.clear();
        g_clockReads = 0;
        g_timeOutRead = timeOutRead;
        CAviParser p;
        const bool result = ParseFileBytes(p, file, 5000);
        ExpectKeyFrames(p, r);
        if (r.timedOutAfter == 0) {
            EXPECT_TRUE(result);
            EXPECT_TRUE(p.m_bIndexOK);
            EXPECT_TRUE(g_traces.empty());
            continue;
        }
        ++timedOut;
        EXPECT_FALSE(result);
        EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
        EXPECT_FALSE(p.m_bIndexOK);
        const auto indexData = static_cast<std::int64_t>(12 + hdrl.size() + 8);
        EXPECT_EQ(p.m_llFilePos, indexData + static_cast<std::int64_t>(16 * r.timedOutAfter));
        ASSERT_EQ(g_traces.size(), 1u);
        EXPECT_EQ(g_traces[0], "key frame reading time over..");
    }
    EXPECT_GT(timedOut, 20);  // both outcomes are well covered
}

}  // namespace
}  // namespace plovik::test
