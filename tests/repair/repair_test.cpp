// The repaired copy, made in memory and on disk from damaged files written chunk by chunk:
// what it keeps, what it mends, and that a failed repair leaves nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "plovik/file_analysis.h"
#include "plovik/file_facts.h"
#include "plovik/repair.h"
#include "raw_file.h"
#include "repair_core.h"
#include "scan_reader.h"
#include "support/avi_writer.h"
#include "support/failing_file.h"
#include "support/media.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using test::Bytes;

struct Repaired {
    RepairSummary summary;
    Bytes copy;
    std::string check;  // why the copy fails the check; empty when it passes
};

Repaired RepairBytes(const Bytes& input) {
    const std::unique_ptr<RawFile> file = MakeMemoryRawFile(input);
    StringSink sink;
    Repaired result{RepairInto(*file, &sink, {}), std::move(sink.out), {}};
    if (result.summary.status == RepairStatus::kWritten) {
        const std::unique_ptr<RawFile> copy = MakeMemoryRawFile(result.copy);
        result.check = VerifyRepairedCopy(*copy, "copy.avi", result.summary, {}).why;
    }
    return result;
}

// The facts of a file with its data scanned.
FileFacts ScanOf(const Bytes& bytes) {
    const std::unique_ptr<RawFile> file = MakeMemoryRawFile(bytes);
    CFileAnalysis analysis;
    analysis.AnalyseOpen(*file, "x.avi", {.scan = true});
    return FillFacts("x.avi", analysis);
}

// The stream chunks of a file's movie data, whole, in file order.
std::vector<Bytes> StreamChunks(const Bytes& file) {
    struct Collect final : ScanObserver {
        const Bytes* bytes = nullptr;
        std::vector<Bytes> chunks;
        void Chunk(const SCANCHUNK& chunk) override {
            const char first = static_cast<char>(chunk.fccId & 0xFF);
            if (first < '0' || first > '9') return;
            chunks.push_back(bytes->substr(chunk.qwPosition, 8 + chunk.dwSize));
        }
    } collect;
    collect.bytes = &file;
    const std::unique_ptr<RawFile> raw = MakeMemoryRawFile(file);
    CFileAnalysis analysis;
    analysis.AnalyseOpen(*raw, "x.avi", {.scan = true, .data = {.observer = &collect}});
    return collect.chunks;
}

std::uint64_t FieldChanged(const RepairSummary& summary, const std::string& field) {
    for (const RepairFieldChange& change : summary.changes) {
        if (change.field == field) return change.newValue;
    }
    return UINT64_MAX;
}

RepairOptions Forced() {
    RepairOptions options;
    options.force = true;
    return options;
}

const Bytes kSoftware = "Plovik test writer";

Bytes Cut(const Bytes& file, std::size_t moviBytes) {
    return file.substr(0, file.find("movi") + moviBytes);
}

TEST(Repair, CutFileKeepsEveryWholeChunkAndGetsAnIndex) {
    const Bytes original = test::BuildSimpleAvi({.frames = 250, .software = kSoftware});
    const Bytes cut = Cut(original, 3205);
    const Repaired repaired = RepairBytes(cut);
    ASSERT_EQ(repaired.summary.status, RepairStatus::kWritten) << repaired.summary.message;
    EXPECT_EQ(repaired.check, "");
    const ScanFacts in = *ScanOf(cut).scan;
    EXPECT_EQ(repaired.summary.videoFrames, in.videoFrames);
    EXPECT_EQ(repaired.summary.audioBytes, in.audioBytes);
    EXPECT_EQ(repaired.summary.regionsLeftOut, 1u);
    EXPECT_EQ(FieldChanged(repaired.summary, "avih.dwTotalFrames"), in.videoFrames);
    EXPECT_EQ(StreamChunks(repaired.copy), StreamChunks(cut));
    EXPECT_NE(repaired.copy.find(kSoftware), Bytes::npos);
    EXPECT_NE(repaired.copy.find("idx1"), Bytes::npos);
    EXPECT_EQ(repaired.copy.size(), repaired.summary.outputSize);
}

TEST(Repair, DamagedStretchIsLeftOutAndTheIndexGivesTheKeyFlags) {
    Bytes damaged = test::BuildSimpleAvi({.frames = 100, .keyInterval = 7});
    const std::size_t middle = damaged.find("movi") + 1500;
    for (std::size_t i = 0; i < 300; ++i) damaged[middle + i] = static_cast<char>(0xA5 ^ i);
    const Repaired repaired = RepairBytes(damaged);
    ASSERT_EQ(repaired.summary.status, RepairStatus::kWritten) << repaired.summary.message;
    EXPECT_EQ(repaired.check, "");
    EXPECT_EQ(repaired.summary.regionsLeftOut, 1u);
    EXPECT_GT(repaired.summary.bytesLeftOut, 0u);
    EXPECT_EQ(repaired.summary.keysFromIndex, ScanOf(damaged).scan->videoFrames);
    EXPECT_EQ(repaired.summary.keysAssumed, 0u);
    // The key frames of the copy are the original's, frame for frame.
    const FileFacts copy = ScanOf(repaired.copy);
    EXPECT_EQ(copy.frameSizes->key.count, ScanOf(damaged).frameSizes->key.count);
    EXPECT_EQ(copy.scan->indexMismatches, 0u);
}

TEST(Repair, WithoutAnIndexUnknownCodecsAreAssumedKeyAndNamed) {
    Bytes noIndex = test::BuildSimpleAvi({.frames = 20});
    noIndex.replace(noIndex.find("idx1"), 4, "JUNK");
    const Repaired repaired = RepairBytes(noIndex);
    ASSERT_EQ(repaired.summary.status, RepairStatus::kWritten) << repaired.summary.message;
    EXPECT_EQ(repaired.check, "");
    EXPECT_EQ(repaired.summary.keysAssumed, 20u);
    EXPECT_EQ(repaired.summary.assumedFourCC, "DIVX");
}

TEST(Repair, OpenDmlFileCutInItsThirdPartStaysOpenDml) {
    test::OpenDmlFile built =
        test::BuildOpenDmlAvi({.partFrames = {40, 40, 40}, .frameBytes = 64, .chunkHeaders = true});
    const Bytes whole = built.file.Flat();
    const Bytes cut = whole.substr(0, built.frames[100] + 20);
    const Repaired repaired = RepairBytes(cut);
    ASSERT_EQ(repaired.summary.status, RepairStatus::kWritten) << repaired.summary.message;
    EXPECT_EQ(repaired.check, "");
    EXPECT_EQ(repaired.summary.videoFrames, 100u);
    EXPECT_EQ(FieldChanged(repaired.summary, "dmlh.dwGrandFrames"), 100u);
    const std::unique_ptr<RawFile> copy = MakeMemoryRawFile(repaired.copy);
    CFileAnalysis analysis;
    analysis.AnalyseOpen(*copy, "copy.avi", {.scan = true});
    EXPECT_EQ(analysis.m_parser.VideoSuperIndex().size(), 1u);
    EXPECT_EQ(analysis.m_scan.m_qwIndexEntries, 2 * 100u);  // idx1 and the standard index
    EXPECT_EQ(analysis.m_scan.m_qwIndexMismatches, 0u);
}

// A damaged frame of an intra-only codec becomes an empty frame, unless it is to be kept; the
// copy's own check then finds no damage, or exactly the frame kept.
void ExpectDamagedIntraFrameEmptiedOrKept(int damagedAt) {
    using namespace test;
    std::vector<Bytes> chunks;
    std::vector<IndexEntry> index;
    std::uint32_t offset = 4;
    for (int i = 0; i < 6; ++i) {
        Bytes frame = PngFrame(32, 16);
        if (i == damagedAt) frame[60] ^= 1;  // inside the image data: its CRC no longer holds
        chunks.push_back(Chunk("00dc", frame));
        index.push_back({"00dc", kKey, offset, static_cast<std::uint32_t>(frame.size())});
        offset += static_cast<std::uint32_t>(chunks.back().size());
    }
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({.flags = 0x10, .totalFrames = 6, .streams = 1}),
                                    List("strl", {Strh({.handler = "MPNG", .length = 6}),
                                                  VideoStrf({.compression = "MPNG"})})}),
                      List("movi", chunks), Idx1(index)});
    const Repaired emptied = RepairBytes(file);
    ASSERT_EQ(emptied.summary.status, RepairStatus::kWritten) << emptied.summary.message;
    EXPECT_EQ(emptied.summary.damagedFramesEmptied, 1u);
    EXPECT_EQ(emptied.summary.videoFrames, 6u);  // the timing stays
    const FileFacts copy = ScanOf(emptied.copy);
    EXPECT_EQ(copy.scan->damagedFrames, 0u);
    EXPECT_EQ(copy.scan->emptyFrames, 1u);

    StringSink sink;
    const std::unique_ptr<RawFile> in = MakeMemoryRawFile(file);
    RepairOptions keep;
    keep.keepDamagedFrames = true;
    const RepairSummary kept = RepairInto(*in, &sink, keep);
    ASSERT_EQ(kept.status, RepairStatus::kWritten);
    EXPECT_EQ(kept.damagedFramesKept, 1u);
    const std::unique_ptr<RawFile> out = MakeMemoryRawFile(sink.out);
    EXPECT_TRUE(VerifyRepairedCopy(*out, "copy.avi", kept, keep).Ok());
    EXPECT_EQ(ScanOf(sink.out).scan->damagedFrames, 1u);
}

// The first frame too, whose damage the scan can tell only once a later frame was whole.
TEST(Repair, DamagedIntraFramesAreEmptiedOrKept) {
    for (const int damagedAt : {3, 0}) {
        SCOPED_TRACE(damagedAt);
        ExpectDamagedIntraFrameEmptiedOrKept(damagedAt);
    }
}

// What the check does not call damage, the repair leaves as it is: the header's counts a muxer
// rounded, a buffer size left unspecified, the index's flags and offset base, no index where
// none is claimed. The files of real muxers and the golden files, whole.
TEST(Repair, FilesWithoutDamageRepairIntoThemselves) {
    std::vector<std::string> files = test::MediaFiles();
    const char* root = std::getenv("PLOVIK_SOURCE_DIR");
    const std::filesystem::path data = std::filesystem::path(root ? root : ".") / "tests/data";
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
        if (entry.path().extension() == ".avi") files.push_back(entry.path().string());
    }
    int repaired = 0;
    for (const std::string& path : files) {
        const Bytes bytes = test::ReadFileBytes(path);
        if (ScanOf(bytes).verdict == Verdict::kDamaged) continue;
        const Repaired result = RepairBytes(bytes);
        ASSERT_EQ(result.summary.status, RepairStatus::kWritten) << path;
        EXPECT_TRUE(result.copy == bytes) << path << ": the copy differs";
        EXPECT_TRUE(result.summary.changes.empty()) << path;
        ++repaired;
    }
    EXPECT_GE(repaired, 5);
}

// Two files joined end to end: the copy is the first movie alone, never the streams of both
// mixed, and the summary says where the second began.
TEST(Repair, AJoinedSecondMovieIsLeftOut) {
    const Bytes first = test::BuildSimpleAvi({.frames = 30, .software = kSoftware});
    const Bytes second = test::BuildSimpleAvi({.frames = 50, .keyInterval = 3});
    for (const Bytes& other : {second, first}) {
        const Repaired repaired = RepairBytes(first + other);
        ASSERT_EQ(repaired.summary.status, RepairStatus::kWritten) << repaired.summary.message;
        EXPECT_EQ(repaired.check, "");
        EXPECT_TRUE(repaired.copy == first);
        EXPECT_EQ(repaired.summary.secondMovie, first.size());
        const FileFacts joined = ScanOf(first + other);
        EXPECT_EQ(joined.scan->videoFrames, 30u);
        EXPECT_EQ(joined.verdict, Verdict::kDamaged);
    }
}

TEST(Repair, WhatCannotBeRepaired) {
    EXPECT_EQ(RepairBytes("not an AVI file at all").summary.status, RepairStatus::kNotRepairable);
    Bytes empty = test::BuildSimpleAvi({.frames = 0, .audio = false});
    EXPECT_EQ(RepairBytes(empty).summary.status, RepairStatus::kNotRepairable);
}

// A read that fails, in the header list or in the movie data: the repair fails and names the
// first byte the system could not read; nothing is written.
TEST(Repair, AFailedReadNamesItsByte) {
    const Bytes file = test::BuildSimpleAvi({.frames = 200});
    for (const std::size_t at : {file.find("strl") + 5, file.find("movi") + 1001}) {
        test::FailingFile input(file, at);
        StringSink sink;
        const RepairSummary summary = RepairInto(input, &sink, {});
        EXPECT_EQ(summary.status, RepairStatus::kFailed);
        EXPECT_EQ(summary.message,
                  "read error at byte " + std::to_string(at) + " (Input/output error)");
        EXPECT_TRUE(sink.out.empty());
    }
}

// The header list of an OpenDML copy is made once: the copy repairs into itself. Some writers
// leave the last pad byte of a stream list out of its size (the pad then follows the list), or
// leave pad bytes out between chunks; a "dmlh" too short for the frame count gets a whole one.
TEST(Repair, OpenDmlHeaderListIsRebuiltOnce) {
    using test::Chunk;
    using test::ChunkWithSize;
    using test::List;
    // A list of a name ending in an odd chunk, its size without that chunk's pad byte.
    const auto oddSized = [](const Bytes& list) {
        return test::ListWithSize("strl", static_cast<std::uint32_t>(list.size() - 9),
                                  {list.substr(12)});
    };
    const Bytes video =
        List("strl", {test::Strh({}), test::VideoStrf(), test::Indx({}), Chunk("strn", "odd")});
    const Bytes audio = List("strl", {test::Strh({.type = "auds"}), test::AudioStrf()});
    const Bytes namedAudio =
        List("strl", {test::Strh({.type = "auds"}), test::AudioStrf(), Chunk("strn", "aud")});
    // Chunks without their pad bytes, then bytes that are no chunk: the walk ends at an odd offset.
    const Bytes unpaddedAudio =
        List("strl", {ChunkWithSize("strh", 55, test::Strh({.type = "auds"}).substr(8, 55)),
                      test::AudioStrf(), "\x01\x02\x03"});
    const Bytes unpaddedTail = ChunkWithSize("JUNK", 3, "abc") + Chunk("JUNQ", "four") + "\x01";
    const Bytes main = test::Avih({.streams = 2});
    const auto avi = [](const std::vector<Bytes>& header) {
        return test::Riff(
            "AVI ",
            {List("hdrl", header),
             List("movi", {Chunk("00dc", "frame1"), Chunk("01wb", "au"), Chunk("00dc", "2")})});
    };
    const Bytes oddList = avi({main, oddSized(video), oddSized(namedAudio)});
    const Bytes shortDmlh = avi({main, video, audio, List("odml", {Chunk("dmlh", "x")})});
    for (const Bytes& file : {oddList, shortDmlh, avi({main, video, unpaddedAudio}),
                              avi({main, video, unpaddedTail})}) {
        const Repaired repaired = RepairBytes(file);
        ASSERT_EQ(repaired.summary.status, RepairStatus::kWritten) << repaired.summary.message;
        EXPECT_EQ(repaired.check, "");
        EXPECT_TRUE(RepairBytes(repaired.copy).copy == repaired.copy);
    }
    const Bytes padded = RepairBytes(oddList).copy;
    EXPECT_NE(padded.find(Chunk("strn", "odd") + "LIST"), Bytes::npos);
    EXPECT_NE(padded.find(Chunk("strn", "aud") + "indx"), Bytes::npos);
    const Bytes grand = RepairBytes(shortDmlh).copy;
    const std::unique_ptr<RawFile> copy = MakeMemoryRawFile(grand);
    CFileAnalysis analysis;
    analysis.AnalyseOpen(*copy, "copy.avi", {});
    EXPECT_EQ(analysis.m_parser.m_Layout.dwGrandFrames, 2u);
}

// As the fuzz target repairs: one analysis kept from one input, and one check, to the next.
TEST(Repair, AnAnalysisKeptFromAnotherFileGivesTheSameCopy) {
    const Bytes openDml =
        test::BuildOpenDmlAvi({.partFrames = {40, 40}, .audio = true, .chunkHeaders = true})
            .file.Flat();
    const Bytes cut = Cut(test::BuildSimpleAvi({.frames = 60, .keyInterval = 3}), 1203);
    CFileAnalysis kept;
    for (const Bytes* input : {&openDml, &cut, &openDml}) {
        const std::unique_ptr<RawFile> file = MakeMemoryRawFile(*input);
        StringSink sink;
        const RepairSummary summary = RepairInto(*file, &sink, {}, kept);
        const Repaired fresh = RepairBytes(*input);
        ASSERT_EQ(summary.status, RepairStatus::kWritten) << summary.message;
        EXPECT_EQ(sink.out, fresh.copy);
        EXPECT_EQ(summary.videoFrames, fresh.summary.videoFrames);
        const std::unique_ptr<RawFile> copy = MakeMemoryRawFile(sink.out);
        EXPECT_EQ(VerifyRepairedCopy(*copy, "copy.avi", summary, {}, kept).why, "");
    }
}

class RepairOnDisk : public ::testing::Test {
  protected:
    test::TempDir temp;
    std::size_t Files() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(temp.path()),
                          std::filesystem::directory_iterator()));
    }
};

TEST_F(RepairOnDisk, WritesTheCopyAndLeavesTheInputAsItWas) {
    const Bytes cut = Cut(test::BuildSimpleAvi({.frames = 50}), 1001);
    const std::string in = temp.Write("in.avi", cut);
    const std::string out = temp.PathOf("out.avi");
    const RepairSummary summary = RepairFile(in, out, {});
    ASSERT_EQ(summary.status, RepairStatus::kWritten) << summary.message;
    EXPECT_EQ(test::ReadFileBytes(in), cut);
    EXPECT_EQ(std::filesystem::file_size(out), summary.outputSize);
    EXPECT_EQ(Files(), 2u);                                             // no temporary file left
    EXPECT_EQ(RepairFile(in, out, {}).status, RepairStatus::kRefused);  // exists
    EXPECT_EQ(RepairFile(in, out, Forced()).status, RepairStatus::kWritten);
}

TEST_F(RepairOnDisk, ProgressNamesEachPhaseInTurn) {
    const std::string in = temp.Write("in.avi", Cut(test::BuildSimpleAvi({.frames = 50}), 1001));
    std::vector<RepairPhase> phases;
    RepairOptions options;
    options.progress = [&](RepairPhase phase, std::uint64_t done, std::uint64_t total) {
        EXPECT_LE(done, total);
        if (phases.empty() || phases.back() != phase) phases.push_back(phase);
    };
    ASSERT_EQ(RepairFile(in, temp.PathOf("out.avi"), options).status, RepairStatus::kWritten);
    EXPECT_EQ(phases, (std::vector<RepairPhase>{RepairPhase::kReading, RepairPhase::kWriting,
                                                RepairPhase::kChecking}));
}

// Frames whose codec the data do not tell: rebuilt only with a reference, whose streams
// must be those of the data; a mismatching one leaves nothing.
TEST_F(RepairOnDisk, LostHeadersAreRebuiltFromAMatchingReference) {
    const Bytes silent = test::BuildSimpleAvi({.frames = 50, .audio = false});
    // Its audio chunks hold no MP3 frame header, unlike its header list says.
    const Bytes withAudio = test::BuildSimpleAvi({.frames = 50});
    const std::string silentReference = temp.Write("silent.avi", silent);
    const std::string audioReference = temp.Write("audio.avi", withAudio);
    const std::string lost = temp.Write("lost.avi", Bytes(4, '\0') + silent.substr(4));
    const std::string lostWithAudio = temp.Write("lost2.avi", Bytes(4, '\0') + withAudio.substr(4));
    const std::string out = temp.PathOf("out.avi");
    const auto repair = [&](const std::string& in, const std::string& reference) {
        RepairOptions options;
        options.reference = reference;
        return RepairFile(in, out, options);
    };
    const std::pair<RepairSummary, std::string> refusals[] = {
        {repair(lost, ""),
         "the codec of stream 0 cannot be told from its frames (--reference gives it)"},
        {repair(lostWithAudio, silentReference),
         "the reference does not match the data: it has no stream 1 for the '01wb' chunks"},
        {repair(lostWithAudio, audioReference),
         "the reference does not match the data: stream 1: the audio chunks open with no frame "
         "header of its format tag 0x0055, 44100 Hz, 2 channels"},
    };
    for (const auto& [summary, why] : refusals) {
        EXPECT_EQ(summary.status, RepairStatus::kNotRepairable);
        EXPECT_EQ(summary.message, why);
    }
    EXPECT_EQ(Files(), 4u);
    const RepairSummary rebuilt = repair(lost, silentReference);
    ASSERT_EQ(rebuilt.status, RepairStatus::kWritten) << rebuilt.message;
    EXPECT_EQ(rebuilt.headersFrom, HeadersFrom::kReference);
    EXPECT_EQ(rebuilt.videoFrames, 50u);
    EXPECT_EQ(test::ReadFileBytes(silentReference), silent);
}

TEST_F(RepairOnDisk, RefusesItsInputAndLeavesNothingWhenItFails) {
    const Bytes cut = Cut(test::BuildSimpleAvi({.frames = 50}), 1001);
    const std::string in = temp.Write("in.avi", cut);
    EXPECT_EQ(RepairFile(in, in, Forced()).status, RepairStatus::kRefused);
    std::filesystem::create_hard_link(in, temp.path() / "link.avi");
    EXPECT_EQ(RepairFile(in, temp.PathOf("link.avi"), Forced()).status, RepairStatus::kRefused);
    const std::atomic<bool> stop{true};
    RepairOptions stopped;
    stopped.stop = &stop;
    EXPECT_EQ(RepairFile(in, temp.PathOf("stopped.avi"), stopped).status, RepairStatus::kStopped);
    EXPECT_EQ(RepairFile(temp.PathOf("link.avi"), temp.PathOf("no/such/folder.avi"), {}).status,
              RepairStatus::kFailed);
    RepairOptions dryRun;
    dryRun.dryRun = true;
    const RepairSummary dry = RepairFile(in, temp.PathOf("dry.avi"), dryRun);
    EXPECT_EQ(dry.status, RepairStatus::kPlanned);
    EXPECT_GT(dry.outputSize, 0u);
    EXPECT_EQ(Files(), 2u);
    EXPECT_EQ(test::ReadFileBytes(in), cut);
}

}  // namespace
}  // namespace plovik
