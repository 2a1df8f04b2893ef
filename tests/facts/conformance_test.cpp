// The conformance check: each rule fires on a file that breaks it, real muxers' kinds of
// files draw none, and the verdicts hold where a naive check goes wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "plovik/file_analysis.h"
#include "plovik/file_facts.h"
#include "raw_file.h"
#include "scan_reader.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using namespace test;

// A whole file, each part of it a knob: video in stream 0 (or 1), audio, idx1.
struct Shape {
    std::uint32_t frames = 20;
    bool videoSecond = false;  // the audio stream list comes first
    bool index = true;
    std::uint32_t indexShift = 0;  // added to every idx1 offset
    bool keyFlags = true;
    MainHeader avih{.flags = 0x910, .totalFrames = 20, .streams = 2};
    StreamHeader video{.length = 20};
    VideoFormat videoFormat{};
    std::uint32_t audioRate = 1600;  // bytes a second: 64 a frame at 25 a second
    bool audioLast = false;          // every audio chunk after every video chunk
    bool mixedBitrates = false;      // the audio chunks open with MP3 headers of two bit rates
    bool vops = false;               // frames open with MPEG-4 VOP headers (a key frame each 5)
    bool packed = false;             // with two VOPs in each frame
    bool palette = false;            // a palette change after the first frame
    bool png = false;                // the frames are PNG images ("MPNG")
    int damagedFrame = -1;           // a byte of this frame's image data changed
    std::vector<Bytes> extraTopChunks = {};  // after the index
};

struct Built {
    Bytes bytes;
    std::vector<IndexEntry> index;
};

Built Build(const Shape& s) {
    const std::string v = s.videoSecond ? "01" : "00";
    const std::string a = s.videoSecond ? "00" : "01";
    const StreamHeader audioHeader{
        .type = "auds", .rate = s.audioRate, .length = s.frames * 64, .sampleSize = 1};
    VideoFormat videoFormat = s.videoFormat;
    if (s.png) videoFormat.compression = "MPNG";
    StreamHeader videoHeader = s.video;
    if (s.png) videoHeader.handler = "MPNG";
    Bytes strls[2] = {List("strl", {Strh(videoHeader), VideoStrf(videoFormat)}),
                      List("strl", {Strh(audioHeader), AudioStrf()})};
    if (s.videoSecond) std::swap(strls[0], strls[1]);
    std::vector<Bytes> chunks;
    std::vector<Bytes> audioChunks;
    Built b;
    std::uint32_t offset = 4 + s.indexShift;
    auto addAudio = [&](const Bytes& chunk) {
        chunks.push_back(chunk);
        b.index.push_back({a + "wb", kKey, offset, 64});
        offset += static_cast<std::uint32_t>(chunk.size());
    };
    for (std::uint32_t i = 0; i < s.frames; ++i) {
        Bytes frame = s.png ? PngFrame(64, 48) : Bytes(100 + 2 * i, 'v');
        if (static_cast<int>(i) == s.damagedFrame) frame[60] ^= 1;
        if (s.vops) {
            const Bytes vop = std::string("\0\0\x01\xB6", 4) + (i % 5 == 0 ? '\x00' : '\x40');
            frame.replace(0, vop.size(), vop);
            if (s.packed) frame.replace(50, vop.size(), vop);
        }
        chunks.push_back(Chunk(v + "dc", frame));
        const bool key = s.keyFlags && (s.png || i % 5 == 0);  // every PNG image stands alone
        b.index.push_back(
            {v + "dc", key ? kKey : 0, offset, static_cast<std::uint32_t>(frame.size())});
        offset += static_cast<std::uint32_t>(chunks.back().size());
        if (s.palette && i == 0) {
            chunks.push_back(Chunk(v + "pc", Bytes(8, 'p')));
            b.index.push_back({v + "pc", 0, offset, 8});
            offset += static_cast<std::uint32_t>(chunks.back().size());
        }
        Bytes audio(64, 'a');
        if (s.mixedBitrates) audio.replace(0, 3, i % 2 == 0 ? "\xFF\xFB\x90" : "\xFF\xFB\xA0");
        if (s.audioLast) {
            audioChunks.push_back(Chunk(a + "wb", audio));
        } else {
            addAudio(Chunk(a + "wb", audio));
        }
    }
    for (const Bytes& audio : audioChunks) addAudio(audio);

    std::vector<Bytes> top{List("hdrl", {Avih(s.avih), strls[0], strls[1]}), List("movi", chunks)};
    if (s.index) top.push_back(Idx1(b.index));
    for (const Bytes& extra : s.extraTopChunks) top.push_back(extra);
    b.bytes = Riff("AVI ", top);
    return b;
}

Bytes Whole(const Shape& s = {}) { return Build(s).bytes; }

std::size_t Find(const Bytes& bytes, const std::string& text, std::size_t from = 0) {
    const std::size_t at = bytes.find(text, from);
    EXPECT_NE(at, std::string::npos) << text;
    return at;
}

FileFacts FactsOfFile(RawFile& file, bool scan) {
    CFileAnalysis analysis;
    analysis.AnalyseOpen(file, "clip.avi", {.scan = scan, .data = {}});
    return FillFacts("clip.avi", analysis);
}

FileFacts FactsOf(const Bytes& bytes, bool scan = true) {
    const auto file = MakeMemoryRawFile(bytes);
    return FactsOfFile(*file, scan);
}

std::vector<std::string> Ids(const FileFacts& facts) {
    std::vector<std::string> ids;
    for (const Finding& finding : facts.findings) ids.push_back(finding.rule->id);
    return ids;
}

bool Fires(const FileFacts& facts, const std::string& id) {
    const std::vector<std::string> ids = Ids(facts);
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// How much the file suffers from the rule's finding; none when it did not fire.
std::optional<Severity> SeverityOf(const FileFacts& facts, const std::string& id) {
    for (const Finding& finding : facts.findings) {
        if (finding.rule->id == id) return finding.severity;
    }
    return std::nullopt;
}

struct Case {
    std::string rule;
    Bytes file;
};

// One file per rule that breaks it (the read and open failures have tests of their own).
std::vector<Case> RuleCases() {
    const Bytes whole = Whole();
    const std::size_t movi = Find(whole, "movi");
    std::vector<Case> cases;
    cases.push_back({"file.not_avi", "RIFX" + whole.substr(4, movi - 4)});
    cases.push_back({"hdrl.lost", "RIFX" + whole.substr(4)});
    cases.push_back({"avih.unreadable", Riff("AVI ", {List("hdrl", {Chunk("JUNK", "x")})})});
    cases.push_back({"strl.unreadable", whole.substr(0, Find(whole, "strh") + 20)});
    cases.push_back({"riff.truncated", whole.substr(0, whole.size() - 100)});
    {
        Bytes unfinished = whole.substr(0, Find(whole, "idx1"));
        unfinished.replace(4, 4, Le32(0xFFFFFFFF));
        unfinished.replace(movi - 4, 4, Le32(0));
        cases.push_back({"riff.unfinished", unfinished});
    }
    cases.push_back(
        {"riff.chunk_overrun", Whole({.extraTopChunks = {ChunkWithSize("JUNK", 900, "")}})});
    cases.push_back({"riff.trailing_data", whole + "trailing bytes"});
    cases.push_back({"riff.concatenated", whole + whole});
    cases.push_back({"riff.unknown_chunk", Whole({.extraTopChunks = {Chunk("abcd", "x")}})});
    {
        // "01wb" of 63 bytes, then the next chunk at once, without the pad byte.
        Bytes unpadded = whole;
        const std::size_t audio = Find(unpadded, "01wb", movi);
        unpadded.replace(audio + 4, 4, Le32(63));
        unpadded.erase(audio + 8 + 63, 1);
        cases.push_back({"riff.unpadded_chunk", unpadded});
    }
    cases.push_back({"odml.no_super_index", whole + Riff("AVIX", {List("movi", {})})});
    {
        OpenDmlFile odml = BuildOpenDmlAvi({.partFrames = {4, 3}, .chunkHeaders = true});
        Bytes bytes = odml.file.Flat();
        bytes.replace(Find(bytes, "dmlh") + 8, 4, Le32(99));
        cases.push_back({"odml.grand_frames", bytes});
    }
    cases.push_back(
        {"avih.streams", Whole({.avih = {.flags = 0x910, .totalFrames = 20, .streams = 3}})});
    cases.push_back(
        {"avih.total_frames", Whole({.avih = {.flags = 0x910, .totalFrames = 17, .streams = 2}})});
    cases.push_back(
        {"avih.frame_time",
         Whole({.avih = {
                    .microSecPerFrame = 50000, .flags = 0x910, .totalFrames = 20, .streams = 2}})});
    cases.push_back({"strh.zero_rate", Whole({.video = {.rate = 0, .length = 20}})});
    cases.push_back(
        {"strh.invalid", Whole({.video = {.type = std::string(4, '\0'), .length = 20}})});
    {
        // The stream lists overwritten with zeros: the data's chunks name streams no list has.
        Bytes zeroed = whole;
        const std::size_t from = Find(zeroed, "strh");
        zeroed.replace(from, movi - 8 - from, movi - 8 - from, '\0');
        cases.push_back({"strh.invalid", zeroed});
    }
    cases.push_back({"strf.frame_size", Whole({.videoFormat = {.width = 320}})});
    cases.push_back(
        {"strh.buffer_size", Whole({.video = {.length = 20, .suggestedBufferSize = 64}})});
    cases.push_back({"strh.length", Whole({.video = {.length = 25}})});
    cases.push_back({"idx1.missing", Whole({.index = false})});
    cases.push_back(
        {"index.damaged",
         Whole({.frames = 20, .avih = {.flags = 0x910, .totalFrames = 30, .streams = 2}})});
    cases.push_back({"index.mismatch", Whole({.indexShift = 2})});
    cases.push_back({"index.no_key_frames", Whole({.keyFlags = false})});
    {
        Built b = Build({});
        std::reverse(b.index.begin(), b.index.end());
        const std::size_t idx1 = Find(b.bytes, "idx1");
        cases.push_back({"index.out_of_order", b.bytes.substr(0, idx1) + Idx1(b.index)});
    }
    {
        // The second half of the entries with absolute offsets.
        Built b = Build({});
        const auto moviType = static_cast<std::uint32_t>(Find(b.bytes, "movi"));
        for (std::size_t i = b.index.size() / 2; i < b.index.size(); ++i)
            b.index[i].offset += moviType;
        const std::size_t idx1 = Find(b.bytes, "idx1");
        cases.push_back({"idx1.mixed_offsets", b.bytes.substr(0, idx1) + Idx1(b.index)});
    }
    {
        Bytes garbled = whole;
        garbled.replace(Find(garbled, "00dc", movi + 600), 200, Bytes(200, 'Z'));
        cases.push_back({"movi.damaged", garbled});
    }
    {
        Bytes empty = whole;
        const std::size_t frame = Find(empty, "00dc", movi);
        empty.replace(frame, 8 + 100, Chunk("00dc", "") + Chunk("JUNK", Bytes(92, '\0')));
        cases.push_back({"movi.empty_frames", empty});
        cases.push_back({"frame.damaged", Whole({.png = true, .damagedFrame = 3})});
    }
    cases.push_back({"movi.playable_short", whole.substr(0, movi + 1500)});
    cases.push_back(
        {"movi.no_data",
         Riff("AVI ", {List("hdrl", {Avih({.totalFrames = 20}),
                                     List("strl", {Strh({.length = 20}), VideoStrf()})}),
                       List("movi", {}), Idx1({})})});
    cases.push_back(
        {"interleave.poor", Whole({.frames = 100,
                                   .avih = {.flags = 0x910, .totalFrames = 100, .streams = 2},
                                   .video = {.length = 100},
                                   .audioLast = true})});
    cases.push_back({"audio.length", Whole({.audioRate = 400})});
    cases.push_back({"audio.vbr_cbr_header", Whole({.mixedBitrates = true})});
    cases.push_back({"video.key_flags", Whole({.keyFlags = false, .vops = true})});
    cases.push_back({"video.packed", Whole({.vops = true, .packed = true})});
    return cases;
}

TEST(Conformance, EachRuleFiresOnAFileThatBreaksIt) {
    for (const Case& c : RuleCases()) {
        const FileFacts facts = FactsOf(c.file);
        EXPECT_TRUE(Fires(facts, c.rule)) << c.rule << " did not fire; found: " << [&] {
            std::string all;
            for (const std::string& id : Ids(facts)) all += id + " ";
            return all;
        }();
    }
}

TEST(Conformance, EveryRuleHasItsCaseAndADocumentedId) {
    // Tested on their own below.
    std::set<std::string> covered = {"read.failed", "file.open_failed", "riff.part_over_1gib",
                                     "riff.part_over_2gib", "riff.file_over_4gib"};
    for (const Case& c : RuleCases()) covered.insert(c.rule);
    const std::string docs = [] {
        const char* root = std::getenv("PLOVIK_SOURCE_DIR");
        std::ifstream in(std::string(root ? root : ".") + "/docs/rules.md");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    std::set<std::string> ids;
    for (const Rule& rule : Rules()) {
        EXPECT_TRUE(ids.insert(rule.id).second) << rule.id << " twice";
        EXPECT_TRUE(covered.count(rule.id)) << rule.id << " has no test case";
        EXPECT_NE(docs.find(std::string("`") + rule.id + "`"), std::string::npos)
            << rule.id << " is not in docs/rules.md";
    }
}

TEST(Conformance, WholeFilesOfTheMuxersKindsDrawNoWarning) {
    for (const Bytes& file :
         {Whole(), Whole({.videoSecond = true}), Whole({.vops = true}), Whole({.palette = true}),
          Whole({.png = true}),
          BuildOpenDmlAvi({.partFrames = {4, 3, 3}, .chunkHeaders = true}).file.Flat()}) {
        const FileFacts facts = FactsOf(file);
        EXPECT_EQ(facts.verdict, Verdict::kOk)
            << Ids(facts).size() << " findings, first "
            << (facts.findings.empty() ? "" : facts.findings[0].message);
    }
}

TEST(Conformance, VerdictsThatANaiveCheckGetsWrong) {
    // Video in stream 1: its own chunks and index entries count, not stream 0's.
    EXPECT_EQ(FactsOf(Whole({.videoSecond = true})).verdict, Verdict::kOk);

    // A file whose writer is still writing it, as each kind of writer leaves its sizes then:
    // placeholders; 0; a RIFF part and an empty movie list that end before the data do; a
    // part that ends after the first chunk, or inside the second, and a list size that wraps
    // (it claims more than the part). One finding, and the
    // data counted to the last whole chunk.
    const Bytes whole = Whole();
    const std::size_t movi = Find(whole, "movi");
    const Bytes written = whole.substr(0, Find(whole, "idx1") - 30);  // the last chunk cut
    const std::uint32_t firstChunkEnd = static_cast<std::uint32_t>(movi + 4 + 8 + 100);
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {
        {0xFFFFFFFF, 0xFFFFFFFF},
        {0, 0},
        {static_cast<std::uint32_t>(movi + 4 - 8), 4},
        {firstChunkEnd - 8, static_cast<std::uint32_t>(-(movi - 8 + 8))},
        {firstChunkEnd + 42 - 8, static_cast<std::uint32_t>(-(movi - 8 + 8))}};
    for (const auto& [riffSize, moviSize] : sizes) {
        Bytes growing = written;
        growing.replace(4, 4, Le32(riffSize));
        growing.replace(movi - 4, 4, Le32(moviSize));
        const FileFacts facts = FactsOf(growing);
        EXPECT_EQ(Ids(facts), std::vector<std::string>{"riff.unfinished"}) << riffSize;
        EXPECT_EQ(facts.scan->videoFrames, 20u) << riffSize;
    }

    // A cut file's missing end is the truncation alone, not damaged data too.
    const FileFacts cut = FactsOf(whole.substr(0, Find(whole, "movi") + 1500));
    EXPECT_TRUE(Fires(cut, "riff.truncated"));
    EXPECT_FALSE(Fires(cut, "movi.damaged"));

    // An index cut after its last video entry does not say "20 of 20 frames indexed".
    const FileFacts shortIndex = FactsOf(whole.substr(0, whole.size() - 8));
    ASSERT_TRUE(Fires(shortIndex, "index.damaged"));
    for (const Finding& f : shortIndex.findings) {
        EXPECT_EQ(f.message.find("20 of 20"), std::string::npos) << f.message;
    }

    // Entries that all point a few bytes off are an error, not ok.
    EXPECT_EQ(FactsOf(Whole({.indexShift = 2})).verdict, Verdict::kDamaged);
}

TEST(Conformance, WhatAUserNeedNotActOnIsNoWarning) {
    // No index: damage where the header claims one, a matter of seeking in video where it
    // claims none, nothing to act on in a sound file that claims none.
    const MainHeader noClaim{.flags = 0x900, .totalFrames = 20, .streams = 2};
    EXPECT_EQ(SeverityOf(FactsOf(Whole({.index = false})), "idx1.missing"), Severity::kError);
    EXPECT_EQ(SeverityOf(FactsOf(Whole({.index = false, .avih = noClaim})), "idx1.missing"),
              Severity::kWarning);
    std::vector<Bytes> sound;
    for (int i = 0; i < 10; ++i) sound.push_back(Chunk("00wb", Bytes(64, 'a')));
    const Bytes audioOnly = Riff(
        "AVI ",
        {List("hdrl",
              {Avih({.flags = 0, .streams = 1}),
               List("strl", {Strh({.type = "auds", .rate = 1600, .length = 640, .sampleSize = 1}),
                             AudioStrf()})}),
         List("movi", sound)});
    const FileFacts audio = FactsOf(audioOnly);
    EXPECT_EQ(SeverityOf(audio, "idx1.missing"), Severity::kInfo);
    EXPECT_EQ(audio.verdict, Verdict::kOk);

    // Header counts one chunk off are how muxers round; more is a fault.
    const auto severity = [](std::uint32_t total, std::uint32_t videoLength,
                             std::uint32_t audioRate, const char* rule) {
        return SeverityOf(
            FactsOf(Whole({.avih = {.flags = 0x910, .totalFrames = total, .streams = 2},
                           .video = {.length = videoLength},
                           .audioRate = audioRate})),
            rule);
    };
    EXPECT_EQ(severity(21, 20, 1600, "avih.total_frames"), Severity::kInfo);
    EXPECT_EQ(severity(22, 20, 1600, "avih.total_frames"), Severity::kWarning);
    EXPECT_EQ(severity(20, 19, 1600, "strh.length"), Severity::kInfo);
    EXPECT_EQ(severity(20, 18, 1600, "strh.length"), Severity::kWarning);

    // A dmlh that counts the first part only, as one muxer writes it: readers show what the
    // video stream header's length says, which is right; with that wrong too it is a fault.
    Bytes odml = BuildOpenDmlAvi({.partFrames = {4, 3}, .chunkHeaders = true}).file.Flat();
    odml.replace(Find(odml, "dmlh") + 8, 4, Le32(4));
    EXPECT_EQ(SeverityOf(FactsOf(odml), "odml.grand_frames"), Severity::kInfo);
    odml.replace(Find(odml, "strh") + 8 + 32, 4, Le32(4));  // dwLength
    EXPECT_EQ(SeverityOf(FactsOf(odml), "odml.grand_frames"), Severity::kWarning);
}

const Finding* FindingOf(const FileFacts& facts, const std::string& id) {
    for (const Finding& finding : facts.findings) {
        if (finding.rule->id == id) return &finding;
    }
    return nullptr;
}

// Found from the first byte, whatever is lost before the data; hostile bytes end in time
// linear in their size (a quadratic search would not end within the test's time).
TEST(LostHeaders, FoundFromAnyByte) {
    const Bytes whole = Whole();
    const std::size_t first = Find(whole, "00dc");
    const std::size_t audio = Find(whole, "01wb", first);
    Bytes zeroedHeader = whole;
    zeroedHeader.replace(0, first, first, '\0');
    Bytes noAvih = whole;
    noAvih.replace(Find(whole, "avih"), 4, "xxxx");
    Bytes noMovi = whole;
    noMovi.replace(Find(whole, "movi") - 8, 12, 12, '\0');
    // Carved 3 bytes into the first chunk: the data are found from the chunk after it.
    const std::pair<Bytes, std::size_t> cases[] = {
        {Bytes(4, '\0') + whole.substr(4), first},    {zeroedHeader, first},    {noAvih, first},
        {whole.substr(first + 3), audio - first - 3}, {whole.substr(first), 0},
    };
    for (const auto& [bytes, start] : cases) {
        const FileFacts facts = FactsOf(bytes);
        const Finding* lost = FindingOf(facts, "hdrl.lost");
        ASSERT_NE(lost, nullptr) << Ids(facts).front();
        EXPECT_EQ(lost->position, start);
        EXPECT_NE(lost->message.find("chunks '01wb'"), std::string::npos) << lost->message;
    }
    EXPECT_EQ(FindingOf(FactsOf(whole.substr(first)), "hdrl.lost")->message,
              "headers lost; movie data from byte 0: 20 chunks '00dc', 20 chunks '01wb'; "
              "plovik-repair can rebuild the file");
    // Without a data check the message stays.
    EXPECT_TRUE(Fires(FactsOf(zeroedHeader, false), "file.not_avi"));

    Bytes noise(1 << 20, '\0');
    std::uint32_t x = 12345;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    Bytes ids;
    Bytes empties;
    while (ids.size() < noise.size()) ids += "00dc01wbLISTmovi";
    while (empties.size() < noise.size()) empties += Chunk("00dc", "");
    EXPECT_TRUE(Fires(FactsOf(noise), "file.not_avi"));
    EXPECT_TRUE(Fires(FactsOf(ids), "file.not_avi"));
    const FileFacts emptyChunks = FactsOf(empties);
    const Finding* lost = FindingOf(emptyChunks, "hdrl.lost");
    ASSERT_NE(lost, nullptr);
    EXPECT_NE(lost->message.find(std::to_string(empties.size() / 8) + " chunks"),
              std::string::npos);
}

TEST(Conformance, PartsAndFilesOverTheLimitsOf32BitReaders) {
    TempDir dir;
    const Bytes whole = Whole();
    const Bytes headers = whole.substr(12, Find(whole, "movi") - 16);
    auto judge = [&dir](const SparseFile& file) {
        const std::string path = dir.PathOf("big.avi");
        file.WriteTo(path);
        CFileAnalysis analysis;
        analysis.Analyse(path, {.scan = false, .data = {}});
        return FillFacts(path, analysis);
    };
    SparseFile parts;  // two RIFF parts, the first over 1 GiB
    const std::uint32_t firstSize = (1u << 30) + 100;
    parts.size = 8 + std::uint64_t{firstSize} + 24;
    parts.pieces = {{0, "RIFF" + Le32(firstSize) + "AVI " + headers},
                    {8 + firstSize, Riff("AVIX", {List("movi", {})})}};
    EXPECT_TRUE(Fires(judge(parts), "riff.part_over_1gib"));

    SparseFile huge;  // one RIFF part of 2.5 GiB in a file of 4.5 GiB
    huge.size = std::uint64_t{9} << 29;
    huge.pieces = {{0, "RIFF" + Le32(0xA0000000) + "AVI " + headers}};
    const FileFacts facts = judge(huge);
    EXPECT_TRUE(Fires(facts, "riff.part_over_2gib"));
    EXPECT_TRUE(Fires(facts, "riff.file_over_4gib"));

    CFileAnalysis missing;
    missing.Analyse(dir.PathOf("missing.avi"), {.scan = false, .data = {}});
    EXPECT_EQ(Ids(FillFacts(dir.PathOf("missing.avi"), missing)),
              std::vector<std::string>{"file.open_failed"});
}

}  // namespace
}  // namespace plovik
