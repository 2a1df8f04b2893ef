// The OpenDML index of files in several RIFF parts, and the super index it is read from.
#include <gtest/gtest.h>

#include <bit>
#include <functional>

#include "byte_source.h"
#include "parse_helpers.h"
#include "plovik/trace_sink.h"
#include "tick_clock.h"

namespace plovik::test {
namespace {

bool ParseMemory(CAviParser& p, const Bytes& file, std::uint32_t timeout = 0xFFFFFFFF,
                 bool skipIndex = false) {
    return p.ParseFrom(MakeMemorySource(file), "odml.avi", timeout, skipIndex);
}

std::uint64_t Bits(double d) { return std::bit_cast<std::uint64_t>(d); }

// Key frames of the default file (parts of 4, 3 and 3 frames, one every 2) among its
// first frames.
std::uint32_t KeysAmong(std::uint32_t frames) { return (frames + 1) / 2; }

TEST(OpenDmlIndex, ThreePartsGiveTheWholeFile) {
    const OpenDmlFile f = BuildOpenDmlAvi({.partFrames = {20, 15, 16}, .keyInterval = 25});
    CAviParser p;
    ASSERT_TRUE(ParseMemory(p, f.file.Flat()));
    EXPECT_EQ(p.m_nError, PARSE_OK);
    EXPECT_EQ(p.m_nRiffParts, 3u);
    EXPECT_EQ(p.m_nIndexKind, INDEX_KIND_OPENDML);
    EXPECT_EQ(p.m_nIndexFrames, 51u);
    EXPECT_EQ(p.m_dwIndexTotalFrames, 51u);  // the stream header's, not the main header's 20
    EXPECT_TRUE(p.m_bIndexOK);
    ASSERT_EQ(p.VideoSuperIndex().size(), 3u);
    EXPECT_EQ(p.VideoSuperIndex()[2].qwOffset, f.indexChunks[2]);
    EXPECT_EQ(p.VideoSuperIndex()[2].dwDuration, 16u);
    // Key frames at frames 0, 25 and 50, in the first, second and third part.
    ASSERT_EQ(p.m_nKeyFrames, 3u);
    ASSERT_EQ(p.m_arKeyFrames.size(), 3u);
    for (std::uint32_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(p.m_arKeyFrames.Time(k), 1.0 * k);
        EXPECT_EQ(Bits(p.m_arKeyFrames[k].dTime), Bits(p.m_arKeyFrames.Time(k)));
        EXPECT_EQ(p.m_arKeyFrames[k].qwChunkPos, f.frames[25 * k]);
    }
    EXPECT_EQ(p.m_arKeyFrames[1].dwChunkOffset, 8 + 5 * 16u);  // as the entry gives it
    EXPECT_EQ(p.m_llIndexPos, PosOf(f.file.Flat(), "idx1"));   // the front-index test keeps it
    EXPECT_FALSE(p.IsFrontIndex());
}

// Chunks long enough to be read 32 entries at a time, with a key frame every third
// frame: every position in a block is a key frame somewhere.
TEST(OpenDmlIndex, KeyFramesAtEveryPositionOfABlock) {
    const OpenDmlFile f = BuildOpenDmlAvi({.partFrames = {100, 99}, .keyInterval = 3});
    CAviParser p;
    ASSERT_TRUE(ParseMemory(p, f.file.Flat()));
    ASSERT_EQ(p.m_nKeyFrames, 67u);
    for (std::uint32_t k = 0; k < 67; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(p.m_arKeyFrames[k].qwChunkPos, f.frames[3 * k]);
    }
}

TEST(OpenDmlIndex, AChunkThatCannotBeReadWholeStopsTheScan) {
    // Each case spoils the index chunk of one part: the parts before it stand.
    const OpenDmlFile good = BuildOpenDmlAvi({.audio = true});
    const std::uint64_t c0 = good.indexChunks[0], c1 = good.indexChunks[1],
                        c2 = good.indexChunks[2];
    struct Case {
        const char* name;
        std::function<Bytes(OpenDmlFile&)> spoil;
        std::uint32_t framesBefore;
    };
    const auto patch = [](std::uint64_t at, Bytes bytes) {
        return [=](OpenDmlFile& f) {
            f.file.Write(at, bytes);
            return f.file.Flat();
        };
    };
    const auto superIndex = [](std::vector<SuperIndexEntry> entries) {
        return [=](OpenDmlFile& f) {
            f.SetSuperIndex(entries);
            return f.file.Flat();
        };
    };
    const Case cases[] = {
        {"last part cut before its index",
         [&](OpenDmlFile& f) { return f.file.Flat().substr(0, c2); }, 7},
        {"entry past the end", superIndex({{c0}, {c1}, {good.file.size + 64}}), 7},
        {"entry at the same chunk twice", superIndex({{c0}, {c0}, {c1}, {c2}}), 4},
        {"a million entries in a small chunk", patch(c1 + 12, Le32(1'000'000)), 4},
        {"entries running past the chunk", patch(c1 + 4, Le32(24 + 8)), 4},
        {"wrong id", patch(c1, Id("ix01")), 4},
        {"field index", patch(c1 + 10, Bytes(1, '\1')), 4},
        {"index of indexes", patch(c1 + 11, Bytes(1, '\0')), 4},
        {"entry size", patch(c1 + 8, Le16(4)), 4},
        {"entry pointing back into the headers",
         [&](OpenDmlFile& f) {
             // A sound index chunk in the super index's unused room, inside the header list.
             const std::uint64_t inHeaders = f.superIndex + 8 + 24 + 16 * 4;
             f.file.Write(inHeaders, StdIndex(0, {{8, 8, true}, {24, 8, true}}));
             f.SetSuperIndex({{c0}, {inHeaders}, {c1}, {c2}});
             return f.file.Flat();
         },
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenDmlFile f = good;
        CAviParser p;
        EXPECT_FALSE(ParseMemory(p, c.spoil(f)));
        EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
        EXPECT_EQ(p.m_nIndexKind, INDEX_KIND_OPENDML);
        EXPECT_FALSE(p.m_bIndexOK);
        EXPECT_EQ(p.m_nIndexFrames, c.framesBefore);
        EXPECT_EQ(p.m_nKeyFrames, KeysAmong(c.framesBefore));
        EXPECT_EQ(p.m_arKeyFrames.size(), KeysAmong(c.framesBefore));
    }
}

TEST(OpenDmlIndex, WhatTheWritersWriteIsRead) {
    // Chunks named "00ix"; a super index of "00db" whose first chunk has a base offset
    // of 0 and absolute offsets.
    OpenDmlFile f = BuildOpenDmlAvi({.indexId = "00ix"});
    f.file.Write(f.superIndex + 16, Id("00db"));
    f.file.Write(f.indexChunks[0], StdIndex(0,
                                            {{static_cast<std::uint32_t>(f.frames[0] + 8), 8, true},
                                             {static_cast<std::uint32_t>(f.frames[1] + 8), 8},
                                             {static_cast<std::uint32_t>(f.frames[2] + 8), 8, true},
                                             {static_cast<std::uint32_t>(f.frames[3] + 8), 8}},
                                            "00ix"));
    CAviParser p;
    ASSERT_TRUE(ParseMemory(p, f.file.Flat()));
    EXPECT_TRUE(p.m_bIndexOK);
    EXPECT_EQ(p.m_nIndexFrames, 10u);
    ASSERT_EQ(p.m_nKeyFrames, 5u);
    EXPECT_EQ(p.m_arKeyFrames[1].qwChunkPos, f.frames[2]);
    EXPECT_EQ(p.m_arKeyFrames[2].qwChunkPos, f.frames[4]);
}

TEST(OpenDmlIndex, OnlyAVideoIndexOfIndexesIsKept) {
    // A spoilt super index is passed: the first part's "idx1" then stands.
    const OpenDmlFile good = BuildOpenDmlAvi();
    const std::uint64_t indx = good.superIndex;
    const std::pair<const char*, std::pair<std::uint64_t, Bytes>> cases[] = {
        {"field index", {indx + 10, Bytes(1, '\1')}},
        {"index of chunks", {indx + 11, Bytes(1, '\1')}},
        {"entry size", {indx + 8, Le16(2)}},
        {"audio", {indx + 16, Id("01wb")}},
        {"video of stream 1", {indx + 16, Id("01dc")}},
    };
    for (const auto& [name, patch] : cases) {
        SCOPED_TRACE(name);
        OpenDmlFile f = good;
        f.file.Write(patch.first, patch.second);
        CAviParser p;
        ASSERT_TRUE(ParseMemory(p, f.file.Flat()));
        EXPECT_TRUE(p.VideoSuperIndex().empty());
        EXPECT_EQ(p.m_nIndexKind, INDEX_KIND_IDX1);
        EXPECT_EQ(p.m_nIndexFrames, 4u);
        EXPECT_EQ(p.m_dwIndexTotalFrames, 4u);
        EXPECT_TRUE(p.m_bIndexOK);
    }
}

TEST(OpenDmlIndex, TheVideoStreamsOwnSuperIndexIsKeptWithTheEntriesThatFit) {
    const Bytes moreThanFit = Indx({{1000}, {2000}}, "01dc").replace(12, 4, Le32(9));
    const Bytes file =
        Riff("AVI ",
             {List("hdrl", {Avih({}), List("strl", {Strh({}), VideoStrf(), Indx({{10}}, "00db")}),
                            List("strl", {Strh({}), VideoStrf(), Indx({{20}}, "00dc"), moreThanFit,
                                          Indx({{30}}, "01dc", 0, 1)})})});
    CAviParser p;
    EXPECT_FALSE(ParseMemory(p, file));  // its entries point at no index chunk
    ASSERT_EQ(p.m_Layout.nVideoStream, 1);
    ASSERT_EQ(p.VideoSuperIndex().size(), 2u);  // not the one of stream 0's chunks
    EXPECT_EQ(p.VideoSuperIndex()[0].qwOffset, 1000u);
    EXPECT_EQ(p.VideoSuperIndex()[1].qwOffset, 2000u);
    EXPECT_EQ(p.m_arStreams[0].superIndex.size(), 1u);
}

TEST(OpenDmlIndex, OnePartKeepsItsIdx1AndUsesTheSuperIndexWithoutOne) {
    // With "idx1" the OpenDML index is not read: a spoilt one changes nothing.
    OpenDmlFile withIdx1 = BuildOpenDmlAvi({.partFrames = {6}, .keyInterval = 3});
    withIdx1.file.Write(withIdx1.indexChunks[0], Id("JUNK"));
    CAviParser p;
    ASSERT_TRUE(ParseMemory(p, withIdx1.file.Flat()));
    EXPECT_EQ(p.m_nIndexKind, INDEX_KIND_IDX1);
    EXPECT_TRUE(p.m_bIndexOK);
    EXPECT_EQ(p.m_nKeyFrames, 2u);
    EXPECT_EQ(p.m_arKeyFrames[1].qwChunkPos, 0u);  // "idx1" offsets have no stated base

    const OpenDmlFile withoutIdx1 = BuildOpenDmlAvi({.partFrames = {6}, .idx1 = false});
    CAviParser q;
    ASSERT_TRUE(ParseMemory(q, withoutIdx1.file.Flat()));
    EXPECT_EQ(q.m_nIndexKind, INDEX_KIND_OPENDML);
    EXPECT_TRUE(q.m_bIndexOK);
    EXPECT_EQ(q.m_nKeyFrames, 3u);
    EXPECT_EQ(q.m_llIndexPos, 0);
}

TEST(OpenDmlIndex, SkippedIndexStillNamesTheWholeFileTotal) {
    CAviParser p;
    ASSERT_TRUE(ParseMemory(p, BuildOpenDmlAvi().file.Flat(), 0xFFFFFFFF, /*skipIndex=*/true));
    EXPECT_EQ(p.m_nIndexKind, INDEX_KIND_OPENDML);
    EXPECT_EQ(p.m_dwIndexTotalFrames, 10u);
    EXPECT_EQ(p.m_nIndexFrames, 0u);
    EXPECT_EQ(p.m_nKeyFrames, 0u);
    EXPECT_FALSE(p.m_bIndexOK);
}

TEST(OpenDmlIndex, ChunkWhoseEntriesCannotBeReadAddsNone) {
    const OpenDmlFile f = BuildOpenDmlAvi({.partFrames = {4, 3, 3}});
    const Bytes bytes = f.file.Flat();
    CAviParser p;
    const auto readable = static_cast<std::size_t>(f.indexChunks[1] + 32 + 8 * 2);
    EXPECT_FALSE(p.ParseFrom(std::make_unique<MeteredSource>(bytes, readable), "cut.avi",
                             0xFFFFFFFF, false));
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    EXPECT_EQ(p.m_nIndexFrames, 4u);
    EXPECT_EQ(p.m_nKeyFrames, 2u);
    EXPECT_EQ(p.m_arKeyFrames.size(), 2u);
}

// ---- Time limit ----

std::vector<std::string> g_traces;
void CollectTrace(const char* text) { g_traces.emplace_back(text); }
// Stands still until its third reading (the start, the checks at 1000 and at 2000).
std::uint32_t g_clockReads = 0;
std::uint32_t ThirdReadingIsLate() { return g_clockReads++ >= 2 ? 1'000'000u : 0u; }

TEST(OpenDmlIndex, PassedLimitStopsRightAfterTheEntryThatReadTheClock) {
    SetTraceSink(CollectTrace);
    SetTickSource(ThirdReadingIsLate);
    // The second chunk starts at frame 968: its first block of 32 entries ends on the
    // check at 1000.
    const OpenDmlFile f = BuildOpenDmlAvi({.partFrames = {968, 1500, 1500}, .keyInterval = 100});
    CAviParser p;
    const bool result = ParseMemory(p, f.file.Flat(), 5000);
    SetTickSource(nullptr);
    SetTraceSink(nullptr);
    EXPECT_FALSE(result);
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    EXPECT_FALSE(p.m_bIndexOK);
    EXPECT_EQ(p.m_nIndexFrames, 2000u);
    EXPECT_EQ(p.m_nKeyFrames, 20u);  // those of the second chunk's first frames included
    EXPECT_EQ(p.m_arKeyFrames[p.m_arKeyFrames.size() - 1].qwChunkPos, f.frames[1900]);
    EXPECT_EQ(p.m_llFilePos, static_cast<std::int64_t>(f.indexChunks[1] + 32 + 8 * (2000 - 968)));
    ASSERT_EQ(g_traces.size(), 1u);
    EXPECT_EQ(g_traces[0], "key frame reading time over..");
}

}  // namespace
}  // namespace plovik::test
