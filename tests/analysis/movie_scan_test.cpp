// The movie-data scan: what it counts, the regions it reports, the index check, and
// hostile layouts that must end quickly without reading what they claim.
#include "plovik/movie_scan.h"

#include "plovik/file_analysis.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "byte_source.h"
#include "parse_helpers.h"
#include "scan_reader.h"

namespace plovik::test {
namespace {

Bytes Hdrl(std::uint32_t frames = 10) {
    return List("hdrl", {Avih({.totalFrames = frames, .streams = 2}),
                         List("strl", {Strh({.length = frames}), VideoStrf()}),
                         List("strl", {Strh({.type = "auds", .rate = 16000}), AudioStrf()})});
}

// The header id and size of each movi child; a list names its type, as "idx1" does.
std::vector<IndexEntry> EntriesOf(const std::vector<Bytes>& chunks, std::uint32_t firstOffset) {
    std::vector<IndexEntry> entries;
    std::uint32_t offset = firstOffset;
    for (const Bytes& chunk : chunks) {
        const std::string id =
            chunk.substr(0, 4) == "LIST" ? chunk.substr(8, 4) : chunk.substr(0, 4);
        const auto size = static_cast<std::uint32_t>(static_cast<unsigned char>(chunk[4]) |
                                                     static_cast<unsigned char>(chunk[5]) << 8 |
                                                     static_cast<unsigned char>(chunk[6]) << 16);
        entries.push_back({id, 0, offset, size});
        offset += static_cast<std::uint32_t>(chunk.size());
    }
    return entries;
}

// "RIFF" "AVI " with the header list, a "movi" list of chunks and an "idx1" naming each
// of them, with offsets relative to "movi" or absolute.
Bytes Movie(const std::vector<Bytes>& chunks, bool absolute = false) {
    const std::uint32_t moviType = 12 + static_cast<std::uint32_t>(Hdrl().size()) + 8;
    return Riff("AVI ", {Hdrl(), List("movi", chunks),
                         Idx1(EntriesOf(chunks, absolute ? moviType + 4 : 4))});
}

std::vector<Bytes> Interleaved(int frames) {
    std::vector<Bytes> chunks;
    for (int i = 0; i < frames; ++i) {
        chunks.push_back(Chunk("00dc", Zeros(6)));
        chunks.push_back(Chunk("01wb", Zeros(4)));
    }
    return chunks;
}

// A scan with the tallies it filled; the test files' stream 0 is video, stream 1 audio.
struct Scanned : CMovieScan {
    StreamTallies streams;
    const StreamTally::Data& Stream(std::size_t s) const {
        static const StreamTally::Data kNone;
        return s < streams.size() ? streams[s].data : kNone;
    }
    std::uint64_t VideoFrames() const { return Stream(0).chunks; }
    std::uint64_t EmptyFrames() const { return Stream(0).emptyChunks; }
    std::uint64_t AudioChunks() const { return Stream(1).chunks; }
    std::uint64_t AudioBytes() const { return Stream(1).bytes; }
};

Scanned ScanWith(RawFile& raw, const Bytes& file) {
    CAviParser avi;
    avi.ParseFrom(MakeMemorySource(file), "clip.avi", 0xFFFFFFFF, false);
    Scanned scan;
    scan.ScanFrom(raw, avi);
    scan.streams = avi.m_arStreams;
    return scan;
}

Scanned ScanBytes(const Bytes& file) { return ScanWith(*MakeMemoryRawFile(file), file); }

using RegionList = std::vector<std::pair<std::uint64_t, std::uint64_t>>;  // position, length

RegionList Regions(const CMovieScan& scan) {
    RegionList regions;
    for (const DAMAGEDREGION& r : scan.m_arDamagedRegions)
        regions.emplace_back(r.qwPosition, r.qwLength);
    return regions;
}

TEST(MovieScan, CompleteFileCountsEveryStreamAndMatchesItsIndex) {
    std::vector<Bytes> chunks = Interleaved(3);
    chunks.push_back(Chunk("00dc", ""));  // an empty (dropped) frame
    chunks.push_back(List("rec ", {Chunk("00db", "odd"), Chunk("01wb", Zeros(7))}));
    chunks.push_back(Chunk("JUNK", Zeros(5)));
    chunks.push_back(Chunk("ix00", Zeros(24)));
    chunks.push_back(Chunk("00pc", Zeros(4)));  // stream 0, not a frame
    for (const bool absolute : {false, true}) {
        const Scanned scan = ScanBytes(Movie(chunks, absolute));
        EXPECT_EQ(scan.VideoFrames(), 5u);
        EXPECT_EQ(scan.EmptyFrames(), 1u);
        EXPECT_EQ(scan.AudioChunks(), 4u);
        EXPECT_EQ(scan.AudioBytes(), 19u);
        EXPECT_EQ(scan.m_qwDamagedRegions, 0u);
        EXPECT_TRUE(scan.m_bIndexMatched);
        EXPECT_EQ(scan.m_qwIndexEntries, chunks.size());
        EXPECT_EQ(scan.m_qwIndexMismatches, 0u) << "absolute " << absolute;
    }
    // Every RIFF part's "movi" list is walked.
    const Bytes two = Movie(Interleaved(2)) + Riff("AVIX", {List("movi", Interleaved(3))});
    EXPECT_EQ(ScanBytes(two).VideoFrames(), 5u);
    EXPECT_EQ(ScanBytes(two).m_qwIndexMismatches, 0u);
}

// Checkers make the reasons of only the damaged frames that are listed: every listed frame
// has its reason, those that waited for the stream's first whole frame too, and the rest are
// counted.
TEST(MovieScan, EveryListedDamagedFrameHasItsReason) {
    const Bytes hdrl =
        List("hdrl",
             {Avih({.streams = 1}),
              List("strl",
                   {Strh({.handler = std::string(4, '\0')}),
                    VideoStrf({.compression = std::string(4, '\0'), .width = 4, .height = 2})})});
    std::vector<Bytes> chunks(3, Chunk("00db", Zeros(10)));
    chunks.push_back(Chunk("00db", Zeros(24)));  // whole: 4 x 2 pixels of 3 bytes
    chunks.insert(chunks.end(), kScanKeptDamagedFrames + 5, Chunk("00db", Zeros(10)));
    const Scanned scan = ScanBytes(Riff("AVI ", {hdrl, List("movi", chunks)}));
    EXPECT_EQ(scan.m_qwDamagedFrames, kScanKeptDamagedFrames + 8);
    ASSERT_EQ(scan.m_arDamagedFrames.size(), kScanKeptDamagedFrames);
    for (const DAMAGEDFRAME& frame : scan.m_arDamagedFrames) {
        ASSERT_EQ(frame.reason, "raw frame of 10 bytes, the format gives 24") << frame.qwFrame;
    }
}

TEST(MovieScan, CutFileKeepsTheWholeChunksAndReportsOneRegion) {
    const Bytes whole = Movie(Interleaved(10));
    const std::size_t movi = whole.find("movi") - 8;
    const std::size_t sixthFrame = movi + 12 + 5 * 26;
    TempDir dir;
    for (const std::size_t cut : {sixthFrame + 11, sixthFrame}) {
        CFileAnalysis analysis;
        analysis.Analyse(dir.Write("cut.avi", whole.substr(0, cut)), {.scan = true, .data = {}});
        ASSERT_TRUE(analysis.m_bScanned);
        const CMovieScan& scan = analysis.m_scan;
        EXPECT_EQ(analysis.m_parser.m_arStreams[0].data.chunks, 5u);
        EXPECT_EQ(analysis.m_parser.m_arStreams[1].data.bytes, 20u);
        // The part of the cut chunk that the file holds; what it lacks is no region.
        const RegionList held = cut == sixthFrame ? RegionList{} : RegionList{{sixthFrame, 11}};
        EXPECT_EQ(Regions(scan), held);
        EXPECT_EQ(scan.m_qwCutAt, sixthFrame);
        EXPECT_FALSE(scan.m_bIndexMatched);  // the index was cut off
    }
    CFileAnalysis missing;
    missing.Analyse(dir.PathOf("missing.avi"), {.scan = true, .data = {}});
    EXPECT_FALSE(missing.m_bScanned);
    EXPECT_EQ(missing.m_parser.m_nError, PARSE_ERR_OPEN);
    EXPECT_FALSE(missing.m_strOpenError.empty());
}

TEST(MovieScan, DamageEndsAtAChunkFollowedByAWellFormedHeader) {
    std::vector<Bytes> chunks = Interleaved(2);
    // A decoy of a known stream not followed by a header, one of a stream that does not
    // exist, then a frame larger than half the buffer (its follower is read on its own).
    const Bytes garbage = "\x01\x02zz" + Chunk("00dc", Zeros(2)) + Bytes("#\x02\0\0\0\0\0\0", 8) +
                          Chunk("07dc", "") + Chunk("00dc", "") + "q";
    std::vector<Bytes> damaged = chunks;
    damaged.push_back(garbage);
    damaged.push_back(Chunk("00dc", Zeros(700000)));
    damaged.push_back(Chunk("01wb", Zeros(4)));
    // The index names the chunks as if the garbage were not there.
    std::vector<Bytes> indexed = chunks;
    indexed.push_back(Chunk("00dc", Zeros(700000)));
    indexed.push_back(Chunk("01wb", Zeros(4)));
    const std::uint32_t moviType = 12 + static_cast<std::uint32_t>(Hdrl().size()) + 8;
    const Bytes file = Riff("AVI ", {Hdrl(), List("movi", damaged), Idx1(EntriesOf(indexed, 4))});
    const Scanned scan = ScanBytes(file);
    EXPECT_EQ(scan.VideoFrames(), 3u);
    EXPECT_EQ(scan.AudioChunks(), 3u);
    const std::uint64_t start = moviType + 4 + 2 * 26;
    EXPECT_EQ(Regions(scan), (RegionList{{start, garbage.size()}}));
    EXPECT_EQ(scan.m_qwDamagedBytes, garbage.size());
    EXPECT_EQ(scan.m_qwIndexMismatches, 2u);  // the two after the garbage

    // Damage that runs to the end of a "rec " list and on after it is one region.
    const Bytes rec = List("rec ", {Chunk("00dc", ""), Bytes("zzzz")});
    const Bytes touching =
        Riff("AVI ", {Hdrl(), List("movi", {rec, Bytes("zzzz"), Chunk("00dc", "")})});
    EXPECT_EQ(Regions(ScanBytes(touching)), (RegionList{{touching.find("zzzz"), 8}}));
}

TEST(MovieScan, IndexEntriesThatDoNotNameAChunkAreCounted) {
    const std::vector<Bytes> chunks = Interleaved(4);
    std::vector<IndexEntry> entries = EntriesOf(chunks, 4);
    entries[1].length = 5;                   // wrong size
    entries[2].id = "00db";                  // wrong id
    entries[5].offset += 2;                  // between chunks
    entries.push_back({"00dc", 0, 200, 6});  // past the movie data
    auto scan = [&](const std::vector<IndexEntry>& index) {
        return ScanBytes(Riff("AVI ", {Hdrl(), List("movi", chunks), Idx1(index)}));
    };
    const CMovieScan inOrder = scan(entries);
    EXPECT_TRUE(inOrder.m_bIndexInOrder);
    EXPECT_EQ(inOrder.m_qwIndexEntries, 9u);
    EXPECT_EQ(inOrder.m_qwIndexMismatches, 4u);
    // Out of file order: checked from a sorted copy, with the same result.
    std::reverse(entries.begin(), entries.end());
    const CMovieScan reversed = scan(entries);
    EXPECT_FALSE(reversed.m_bIndexInOrder);
    EXPECT_EQ(reversed.m_qwIndexMismatches, 4u);
}

TEST(MovieScan, OpenDmlIndexEntriesNameTheirChunks) {
    OpenDmlFile f = BuildOpenDmlAvi({.partFrames = {40, 30}, .audio = true, .chunkHeaders = true});
    Scanned scan = ScanBytes(f.file.Flat());
    EXPECT_EQ(scan.VideoFrames(), 70u);
    EXPECT_EQ(scan.m_qwIndexEntries, 80u + 70u);  // "idx1" of the first part, then "ix00"
    EXPECT_EQ(scan.m_qwIndexMismatches, 0u);
    // A wrong size in the second part's "ix00"; a super index that lists the parts
    // backwards (checked in two sorted slices), then a chunk that is not an index.
    f.file.Write(f.indexChunks[1] + 32 + 4, Le32(9));
    f.SetSuperIndex({{f.indexChunks[1]}, {f.indexChunks[0]}, {f.frames[3]}});
    scan = ScanBytes(f.file.Flat());
    EXPECT_FALSE(scan.m_bIndexInOrder);
    EXPECT_EQ(scan.m_qwIndexEntries, 80u + 70u + 1u);
    EXPECT_EQ(scan.m_qwIndexMismatches, 2u);
}

TEST(MovieScan, HostileListsEndTheirWalk) {
    // A "rec " list that claims the rest of the file is not well formed: only its header
    // is passed over, and the chunks inside still count.
    std::vector<Bytes> claims{ListWithSize("rec ", 0xFFFFFFF0, {}), Chunk("00dc", Zeros(6))};
    const Bytes claimsRest = Riff("AVI ", {Hdrl(), List("movi", claims)});
    Scanned scan = ScanBytes(claimsRest);
    EXPECT_EQ(scan.VideoFrames(), 1u);
    EXPECT_EQ(scan.m_qwDamagedBytes, 12u);

    // Lists inside lists deeper than the walk follows are passed whole.
    Bytes nested = Chunk("00dc", "");
    for (int i = 0; i < 40; ++i) nested = List("rec ", {nested, Chunk("00dc", "")});
    scan = ScanBytes(Riff("AVI ", {Hdrl(), List("movi", {nested})}));
    EXPECT_EQ(scan.VideoFrames(), 15u);
    EXPECT_EQ(scan.m_qwDamagedRegions, 0u);

    // A chunk size near 2^32 in the middle: the rest of the list is one region.
    scan = ScanBytes(
        Riff("AVI ", {Hdrl(), List("movi", {ChunkWithSize("00dc", 0xFFFFFFFE, Zeros(64))})}));
    EXPECT_EQ(scan.m_qwDamagedRegions, 1u);
    EXPECT_EQ(scan.m_qwDamagedBytes, 72u);

    // Millions of tiny chunks.
    std::vector<Bytes> tiny(1 << 20, Chunk("00dc", ""));
    EXPECT_EQ(ScanBytes(Riff("AVI ", {Hdrl(), List("movi", tiny)})).EmptyFrames(), 1u << 20);

    // Damage of 40 MiB: the search through it reports its progress on the way.
    const Bytes damaged = Riff("AVI ", {Hdrl(), List("movi", {Zeros(40u << 20)})});
    CAviParser avi;
    avi.ParseFrom(MakeMemorySource(damaged), "clip.avi", 0xFFFFFFFF, false);
    std::vector<std::uint64_t> reached;
    scan.ScanFrom(*MakeMemoryRawFile(damaged), avi, [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, damaged.size());
        reached.push_back(done);
    });
    EXPECT_GE(reached.size(), 3u);
    EXPECT_GT(reached.back(), 32u << 20);
}

// Counts the bytes read from the file it wraps.
class CountingFile final : public RawFile {
  public:
    explicit CountingFile(std::unique_ptr<RawFile> inner) : m_inner(std::move(inner)) {}
    std::uint64_t Size() const override { return m_inner->Size(); }
    std::uint64_t bytesRead = 0;
    // The reads that start in the range [watchFrom, watchTo).
    std::uint64_t watchFrom = 0;
    std::uint64_t watchTo = 0;
    int readsInRange = 0;

  protected:
    std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) override {
        const std::int64_t got = m_inner->ReadAt(position, buffer, n);
        bytesRead += static_cast<std::uint64_t>(got);
        if (position >= watchFrom && position < watchTo) ++readsInRange;
        return got;
    }
    std::string ErrorText() const override { return {}; }

  private:
    std::unique_ptr<RawFile> m_inner;
};

// Keeps what the walk tells: each chunk's place and the head of its data, each region.
class Recorder final : public ScanObserver {
  public:
    explicit Recorder(std::size_t headBytes) : m_headBytes(headBytes) {}
    std::size_t HeadBytes() const override { return m_headBytes; }
    void Chunk(const SCANCHUNK& chunk) override {
        chunks.push_back({chunk.qwPosition, chunk.fccId, chunk.dwSize, chunk.nDepth,
                          std::string(chunk.head.begin(), chunk.head.end())});
    }
    void Damaged(std::uint64_t position, std::uint64_t length) override {
        regions.emplace_back(position, length);
    }
    struct Seen {
        std::uint64_t position;
        FOURCC id;
        std::uint32_t size;
        std::uint32_t depth;
        std::string head;
    };
    std::vector<Seen> chunks;
    RegionList regions;

  private:
    std::size_t m_headBytes;
};

TEST(MovieScan, ObserverSeesEveryChunkInFileOrderWithTheHeadOfItsData) {
    // A frame larger than the walk's buffer: its head is read on its own.
    const Bytes big = "BIG!" + Zeros(kScanBlockBytes + 100);
    const std::vector<Bytes> chunks = {Chunk("00dc", "frame-one"), Chunk("01wb", "ab"),
                                       List("rec ", {Chunk("00dc", big)}), Chunk("JUNK", "x"),
                                       Chunk("00dc", "ab")};
    const Bytes file = Movie(chunks);
    CAviParser avi;
    avi.ParseFrom(MakeMemorySource(file), "clip.avi", 0xFFFFFFFF, false);
    Recorder seen(4);
    CMovieScan scan;
    scan.ScanFrom(*MakeMemoryRawFile(file), avi,
                  {.progress = {}, .observer = &seen, .stop = nullptr});
    ASSERT_EQ(seen.chunks.size(), 6u);
    const std::uint64_t first = avi.m_Layout.arMoviLists.front().qwPosition + 12;
    EXPECT_EQ(seen.chunks[0].position, first);
    EXPECT_EQ(seen.chunks[0].head, "fram");
    EXPECT_EQ(seen.chunks[1].head, "ab");  // smaller than asked
    EXPECT_EQ(seen.chunks[2].id, MakeFourCC("LIST"));
    EXPECT_EQ(seen.chunks[3].head, "BIG!");
    EXPECT_EQ(seen.chunks[3].depth, 1u);
    EXPECT_EQ(seen.chunks[4].id, MakeFourCC("JUNK"));
    EXPECT_TRUE(seen.chunks[4].head.empty());
    EXPECT_EQ(seen.chunks[5].head, "ab");
    for (std::size_t i = 1; i < seen.chunks.size(); ++i) {
        EXPECT_GT(seen.chunks[i].position, seen.chunks[i - 1].position);
    }
    EXPECT_EQ(avi.m_arStreams[0].data.chunks, 3u);  // the observer changes no count

    // Heads that run past the buffer's end move it; their chunks still count as what they are.
    std::vector<Bytes> manyChunks;
    for (int i = 0; i < 600; ++i) {
        manyChunks.push_back(Chunk("00dc", Zeros(999)));
        manyChunks.push_back(Chunk("01wb", Zeros(1001)));
    }
    const Bytes longFile = Movie(manyChunks);
    CAviParser longAvi;
    longAvi.ParseFrom(MakeMemorySource(longFile), "clip.avi", 0xFFFFFFFF, false);
    Recorder heads(4096);
    scan.ScanFrom(*MakeMemoryRawFile(longFile), longAvi,
                  {.progress = {}, .observer = &heads, .stop = nullptr});
    EXPECT_EQ(longAvi.m_arStreams[1].data.chunks, 600u);
    EXPECT_EQ(longAvi.m_arStreams[0].data.chunks, 600u);

    // Damage is told as it is found.
    Bytes garbled = Movie(Interleaved(4));
    garbled.replace(static_cast<std::size_t>(first) + 14, 4, "\xff\xff\xff\xff");
    Recorder damaged(0);
    CAviParser avi2;
    avi2.ParseFrom(MakeMemorySource(garbled), "clip.avi", 0xFFFFFFFF, false);
    scan.ScanFrom(*MakeMemoryRawFile(garbled), avi2,
                  {.progress = {}, .observer = &damaged, .stop = nullptr});
    EXPECT_FALSE(damaged.regions.empty());
    EXPECT_EQ(damaged.regions, Regions(scan));
}

TEST(MovieScan, LaterScanReadsTheFileItsReportWasMadeOf) {
    TempDir dir;
    const std::string path = dir.Write("clip.avi", Movie(Interleaved(4)));
    CFileAnalysis analysis;
    analysis.Analyse(path, {.scan = false, .data = {}, .indexTallies = false, .keepOpen = true});
    ASSERT_FALSE(analysis.m_bScanned);
    // The name now names another file: the scan still reads the one analysed.
    std::filesystem::rename(path, dir.PathOf("moved.avi"));
    dir.Write("clip.avi", Movie(Interleaved(9)));
    ASSERT_TRUE(analysis.ScanData({}));
    EXPECT_TRUE(analysis.m_bScanned);
    EXPECT_EQ(analysis.m_parser.m_arStreams[0].data.chunks, 4u);
    EXPECT_EQ(analysis.m_scan.m_qwIndexMismatches, 0u);
    analysis.Close();
    EXPECT_FALSE(analysis.ScanData({}));
}

TEST(MovieScan, StopsWhenAskedAndSaysSo) {
    const Bytes damaged = Riff("AVI ", {Hdrl(), List("movi", {Zeros(40u << 20)})});
    CAviParser avi;
    avi.ParseFrom(MakeMemorySource(damaged), "clip.avi", 0xFFFFFFFF, false);
    std::atomic<bool> stop{false};
    CMovieScan scan;
    scan.ScanFrom(*MakeMemoryRawFile(damaged), avi,
                  {.progress = [&](std::uint64_t, std::uint64_t) { stop = true; },
                   .observer = nullptr,
                   .stop = &stop});
    EXPECT_TRUE(scan.m_bStopped);
    EXPECT_LT(scan.m_qwDamagedBytes, 40u << 20);
}

TEST(MovieScan, ReadsOnlyWhatItNeeds) {
    // A chunk larger than the buffer whose bytes nothing looks at is passed with a seek; a
    // frame its codec's checker reads is read once.
    std::vector<Bytes> chunks = Interleaved(2);
    chunks.push_back(Chunk("JUNK", Zeros(8u << 20)));
    chunks.push_back(Chunk("01wb", Zeros(4)));
    const Bytes big = Movie(chunks);
    CountingFile whole(MakeMemoryRawFile(big));
    Scanned scan = ScanWith(whole, big);
    EXPECT_EQ(scan.VideoFrames(), 2u);
    EXPECT_EQ(scan.m_qwIndexMismatches, 0u);
    EXPECT_LT(whole.bytesRead, 3u << 20);
    chunks[4] = Chunk("00dc", Zeros(8u << 20));
    const Bytes bigFrame = Movie(chunks);
    CountingFile frame(MakeMemoryRawFile(bigFrame));
    scan = ScanWith(frame, bigFrame);
    EXPECT_EQ(scan.VideoFrames(), 3u);
    EXPECT_LT(frame.bytesRead, (8u << 20) + (3u << 20));

    // An analysis with a scan reads the index once: the scan matches what the parse kept
    // (here the parse reads the whole file at once, and the scan all it has from "movi" on).
    const Bytes indexed = Movie(Interleaved(10));
    CountingFile counted(MakeMemoryRawFile(indexed));
    counted.watchFrom = indexed.rfind("idx1");
    counted.watchTo = indexed.size();
    CFileAnalysis analysis;
    analysis.AnalyseOpen(counted, "clip.avi", {.scan = true, .data = {}});
    EXPECT_EQ(analysis.m_scan.m_qwIndexEntries, 20u);
    EXPECT_EQ(analysis.m_scan.m_qwIndexMismatches, 0u);
    EXPECT_EQ(counted.readsInRange, 0);

    // A walk for the chunks and the index alone (a repaired copy's check) reads a small block
    // at each header of large frames, not the frames between, and finds what a full walk does.
    std::vector<Bytes> large;
    for (int i = 0; i < 20; ++i) {
        large.push_back(Chunk("00dc", Zeros(200u << 10)));
        large.push_back(Chunk("01wb", Zeros(4)));
    }
    const Bytes sparse = Movie(large);
    CountingFile headers(MakeMemoryRawFile(sparse));
    CAviParser avi;
    avi.ParseFrom(MakeMemorySource(sparse), "clip.avi", 0xFFFFFFFF, false);
    CMovieScan walk;
    walk.ScanFrom(headers, avi, {.frames = false});
    EXPECT_EQ(avi.m_arStreams[0].data.chunks, 20u);
    EXPECT_EQ(avi.m_arStreams[1].data.chunks, 20u);
    EXPECT_EQ(walk.m_qwIndexEntries, 40u);
    EXPECT_EQ(walk.m_qwIndexMismatches, 0u);
    EXPECT_LT(headers.bytesRead, sparse.size() / 10);

    // A file that shrinks after opening: what is gone is missing (no region of bytes the file
    // no longer has), and the scan says so.
    const Bytes movie = Movie(Interleaved(10));
    const std::size_t cut = movie.find("movi") + 4 + 3 * 26;
    scan =
        ScanWith(*MakeMemoryRawFile(std::string_view(movie).substr(0, cut), movie.size()), movie);
    EXPECT_EQ(scan.VideoFrames(), 3u);
    EXPECT_TRUE(scan.m_bReadFailed);
    EXPECT_EQ(scan.m_qwDamagedRegions, 0u);
}

}  // namespace
}  // namespace plovik::test
