// Lying sizes, truncation, huge and multi-part files: the walk always ends, moves
// only forward and never allocates beyond the file.
#include <gtest/gtest.h>

#include "byte_source.h"
#include "parse_helpers.h"

namespace plovik::test {
namespace {

Bytes Hdrl() { return List("hdrl", {Avih({.totalFrames = 1})}); }

TEST(HostileInput, SizesNearTwoToThe32EndTheWalk) {
    const Bytes cases[] = {
        Riff("AVI ", {Hdrl(), ChunkWithSize("JUNK", 0xFFFFFFFF, "")}),
        Riff("AVI ", {Hdrl(), ListWithSize("abcd", 0xFFFFFFFE, {})}),
        Riff("AVI ", {Hdrl(), ListWithSize("movi", 0x80000000, {})}),  // negative as a signed size
        Riff("AVI ",
             {Hdrl(), ListWithSize("INFO", 0xFFFFFFF0, {ChunkWithSize("ISFT", 0xFFFFFFF0, "x")})}),
        Riff("AVI ", {Hdrl(), ListWithSize("odml", 0xFFFFFFFC, {})}),
        Riff("AVI ",
             {ListWithSize("strl", 0xFFFFFFFC, {Strh({}), ChunkWithSize("strn", 0xFFFFFFF0, "")})}),
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        CAviParser p;
        EXPECT_TRUE(ParseFileBytes(p, cases[i]));
        EXPECT_EQ(p.m_nError, PARSE_OK);
        EXPECT_GT(p.m_llFilePos, 0);
    }
}

// A capture cut off after its headers: the format bytes that made it into the file
// still count, as far as they go.
TEST(HostileInput, FormatsCutByTheEndOfTheFileKeepTheirBytes) {
    CAviParser audio;
    // A 16-byte audio format ending the file: the 18-byte read runs 2 bytes past it.
    ASSERT_TRUE(ParseFileBytes(
        audio, Riff("AVI ", {Hdrl(), List("strl", {Strh({.type = "auds"}),
                                                   AudioStrf({.samplesPerSec = 22050}, 16)})})));
    EXPECT_EQ(audio.m_AudioFormat.wFormatTag, 0x55);
    EXPECT_EQ(audio.m_AudioFormat.nChannels, 2);
    EXPECT_EQ(audio.m_AudioFormat.nSamplesPerSec, 22050u);
    EXPECT_EQ(audio.m_AudioFormat.cbSize, 0);

    CAviParser video;
    const Bytes whole = Riff("AVI ", {Hdrl(), List("strl", {Strh({}), VideoStrf({}, 40)})});
    ASSERT_TRUE(ParseFileBytes(video, whole.substr(0, whole.size() - 20)));
    EXPECT_EQ(FourCCToString(video.m_VideoFormat.bmiHeader.biCompression), "DIVX");
    EXPECT_EQ(video.m_VideoFormat.bmiHeader.biSizeImage, 0u);
}

TEST(HostileInput, HugeMoviSizeIsKeptWhole) {
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, Riff("AVI ", {Hdrl(), ListWithSize("movi", 0xFFFFFFFF, {})})));
    EXPECT_EQ(p.m_llMoviSize, 0xFFFFFFFFll + 8);
    EXPECT_EQ(p.m_llMoviPos, 12 + Hdrl().size());
}

TEST(HostileInput, HugeIndexSizeReadsToTheEndOfFileThenFails) {
    const Bytes file =
        Riff("AVI ", {Hdrl(), ChunkWithSize("idx1", 0xFFFFFFF0, IndexEntries({Video(kKey)}))});
    CAviParser p;
    EXPECT_FALSE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_nError, PARSE_ERR_INDEX);
    EXPECT_EQ(p.m_nKeyFrames, 1u);
    EXPECT_EQ(p.m_llIndexSize, 0xFFFFFFF0ll + 8);
}

TEST(HostileInput, HugeNameSizesDoNotAllocate) {
    // A gigantic "ISFT" or "strn" inside an equally gigantic list in a small file:
    // nothing of that size can be read, so nothing of that size is allocated.
    const Bytes file = Riff(
        "AVI ", {ListWithSize("INFO", 0xFFFFFFF8, {ChunkWithSize("ISFT", 0xFFFFFFE0, "abc")})});
    CAviParser p;
    EXPECT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_strSoftware, "");
    const Bytes names = Riff(
        "AVI ", {ListWithSize("strl", 0xFFFFFFF8, {ChunkWithSize("strn", 0xFFFFFFE0, "abc")})});
    CAviParser q;
    EXPECT_FALSE(ParseFileBytes(q, names));  // the name is not there to be read
    EXPECT_EQ(q.m_nError, PARSE_ERR_STREAM);
}

TEST(HostileInput, ListsSmallerThanTheirType) {
    // The walk goes on right after the type; nothing moves back.
    for (const char* type : {"strl", "movi", "INFO", "odml", "abcd"}) {
        for (std::uint32_t size : {0u, 1u, 3u}) {
            SCOPED_TRACE(testing::Message() << type << " " << size);
            const Bytes file =
                Riff("AVI ", {Hdrl(), ListWithSize(type, size, {}), List("movi", {})});
            CAviParser p;
            EXPECT_TRUE(ParseFileBytes(p, file));
            EXPECT_EQ(p.m_llMoviPos, static_cast<std::int64_t>(file.rfind("movi")) - 8);
        }
    }
}

TEST(HostileInput, SubChunkRunningPastItsListEndsTheList) {
    const Bytes tail = List("movi", {});
    const Bytes cases[] = {
        // A stream header larger than its list.
        List("strl", {ChunkWithSize("strh", 400, Strh({}).substr(8))}),
        // A video format larger than its list.
        List("strl", {Strh({}), ChunkWithSize("strf", 4000, VideoStrf().substr(8))}),
        // An audio format larger than its list.
        List("strl", {Strh({.type = "auds"}), ChunkWithSize("strf", 4000, AudioStrf().substr(8))}),
        // Junk, indx and strd larger than their list.
        List("strl", {ChunkWithSize("JUNK", 100, Zeros(4))}),
        List("strl", {ChunkWithSize("indx", 100, Zeros(4))}),
        List("strl", {ChunkWithSize("strd", 100, Zeros(4))}),
        // Fewer than 8 bytes left in the list for a sub-chunk header.
        List("strl", {Zeros(6)}),
        List("strl", {Strh({}), Zeros(4)}),
        List("INFO", {ChunkWithSize("ISFT", 100, "abcdef")}),
        List("INFO", {Zeros(4)}),
    };
    for (const Bytes& list : cases) {
        SCOPED_TRACE(testing::PrintToString(list.substr(8, 12)));
        const Bytes file = Riff("AVI ", {Hdrl(), list, tail});
        CAviParser p;
        EXPECT_TRUE(ParseFileBytes(p, file));
        EXPECT_EQ(p.m_llMoviPos, static_cast<std::int64_t>(12 + Hdrl().size() + list.size()));
        EXPECT_EQ(p.m_strSoftware, "");
    }
}

TEST(HostileInput, EveryTruncationEndsWithAKnownCode) {
    const Bytes file = BuildSimpleAvi({.frames = 12, .keyInterval = 4, .software = "Enc"});
    TempDir dir;
    for (std::size_t length = 0; length <= file.size(); ++length) {
        CAviParser p;
        const bool ok = p.Parse(dir.Write("cut.avi", file.substr(0, length)), 0xFFFFFFFF, false);
        const int code = p.m_nError;
        EXPECT_TRUE(code == PARSE_OK || code == PARSE_ERR_NOT_AVI || code == PARSE_ERR_HEADER ||
                    code == PARSE_ERR_STREAM || code == PARSE_ERR_INDEX)
            << length;
        if (ok) {
            EXPECT_EQ(code, PARSE_OK) << length;
        }
        EXPECT_EQ(p.m_qwFileSize, length);
        if (length < 12) {
            EXPECT_EQ(code, PARSE_ERR_NOT_AVI);
        }
        if (length == file.size()) {
            EXPECT_TRUE(ok && p.m_bIndexOK);
        }
        EXPECT_LE(p.m_nKeyFrames, 3u);
    }
}

// 200,000 empty "JUNK" chunks and as many empty lists: the walk stays linear, reading
// each header about once (at most two reads a chunk, twice the file's bytes).
TEST(HostileInput, ManyTinyChunksAreReadOnce) {
    constexpr std::uint64_t kChunks = 400'000;
    const Bytes junk = Chunk("JUNK", "") + ListWithSize("abcd", 0, {});
    Bytes body;
    for (std::uint64_t i = 0; i < kChunks / 2; ++i) body += junk;
    const Bytes file = Riff("AVI ", {Hdrl(), body, List("movi", {})});
    ReadCounts counts;
    CAviParser p;
    ASSERT_TRUE(p.ParseFrom(std::make_unique<MeteredSource>(file, file.size(), &counts), "many.avi",
                            0xFFFFFFFF, false));
    EXPECT_NE(p.m_llMoviPos, 0);
    EXPECT_LE(counts.bytes, 2 * file.size());
    EXPECT_LE(counts.reads, 2 * kChunks);
}

// ---- Large and multi-part files (sparse: only the headers hold data) ----

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

std::string WriteSparse(const TempDir& dir, const SparseFile& file) {
    const std::string path = dir.PathOf("big.avi");
    file.WriteTo(path);
    return path;
}

TEST(LargeFile, FiveGibibyteFileReportsItsRealSize) {
    const Bytes first = Riff("AVI ", {Hdrl(), List("movi", {}), Idx1({Video(kKey)})});
    TempDir dir;
    CAviParser p;
    ASSERT_TRUE(p.Parse(WriteSparse(dir, {5 * kGiB, {{0, first}}}), 0xFFFFFFFF, false));
    EXPECT_EQ(p.m_qwFileSize, 5 * kGiB);
    EXPECT_EQ(p.m_qwDataSize, first.size() - 8);
    EXPECT_TRUE(p.m_bIndexOK);
}

TEST(LargeFile, RiffPartsAreSummedAndTheWalkEndsAtTheSecond) {
    // RIFF "AVI " with a large movi list, then two "AVIX" parts past 4 GiB.
    const std::uint32_t moviSize = 0xF0000000;
    const std::uint32_t firstSize = 4 + static_cast<std::uint32_t>(Hdrl().size()) + 8 + moviSize;
    const Bytes head =
        RiffWithSize("AVI ", firstSize, {Hdrl(), ListWithSize("movi", moviSize, {})});
    const std::uint64_t second = 8 + 4 + Hdrl().size() + 8 + moviSize;
    const std::uint32_t secondSize = 0x40000001;  // odd: a pad byte follows
    const std::uint64_t third = second + 8 + secondSize + 1;
    const std::uint32_t thirdSize = 0x20000000;
    const Bytes avix2 = RiffWithSize("AVIX", secondSize, {Idx1({Video(kKey)})});
    const Bytes avix3 = RiffWithSize("AVIX", thirdSize, {});
    TempDir dir;
    CAviParser p;
    ASSERT_TRUE(p.Parse(
        WriteSparse(dir, {third + 8 + thirdSize, {{0, head}, {second, avix2}, {third, avix3}}}),
        0xFFFFFFFF, false));
    EXPECT_EQ(p.m_qwFileSize, third + 8 + thirdSize);
    EXPECT_GT(p.m_qwFileSize, 5 * kGiB);
    EXPECT_EQ(p.m_llMoviPos, static_cast<std::int64_t>(12 + Hdrl().size()));
    EXPECT_EQ(p.m_llIndexPos, 0);  // the walk ended at the second "RIFF"
    EXPECT_EQ(p.m_dwRiffSize, firstSize);
    EXPECT_EQ(p.m_qwDataSize, std::uint64_t{firstSize} + secondSize + thirdSize);
}

TEST(LargeFile, OpenDmlPositionsPastFourGibibytes) {
    // Parts of 1.5 GiB of movie data: the last index chunk and its frames lie past 4 GiB.
    const OpenDmlFile f = BuildOpenDmlAvi({.partFrames = {3, 3, 3}, .frameBytes = kGiB / 2});
    ASSERT_GT(f.indexChunks[2], 4 * kGiB);
    TempDir dir;
    CAviParser p;
    ASSERT_TRUE(p.Parse(WriteSparse(dir, f.file), 0xFFFFFFFF, false));
    EXPECT_TRUE(p.m_bIndexOK);
    EXPECT_EQ(p.m_nIndexFrames, 9u);
    ASSERT_EQ(p.m_nKeyFrames, 5u);
    EXPECT_EQ(p.m_arKeyFrames[4].qwChunkPos, f.frames[8]);
    EXPECT_EQ(p.VideoSuperIndex()[2].qwOffset, f.indexChunks[2]);
}

TEST(LargeFile, LyingPartSizesStillEnd) {
    const Bytes first = Riff("AVI ", {Hdrl()});
    const Bytes zeroPart = RiffWithSize("AVIX", 0, {}).substr(0, 8);
    Bytes file = first;
    for (int i = 0; i < 1000; ++i) file += zeroPart;  // each hop moves 8 bytes
    file += RiffWithSize("AVIX", 0xFFFFFFFF, {});     // runs past the end of the file
    file += RiffWithSize("AVIX", 16, {});             // never reached
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_qwDataSize, std::uint64_t{first.size() - 8} + 0xFFFFFFFF);
    CAviParser q;  // anything but "RIFF" ends the parts
    ASSERT_TRUE(ParseFileBytes(q, first + Chunk("JUNK", "") + RiffWithSize("AVIX", 64, {})));
    EXPECT_EQ(q.m_qwDataSize, first.size() - 8);
}

}  // namespace
}  // namespace plovik::test
