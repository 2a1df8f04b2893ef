// A disk whose reads fail from a byte on, that byte anywhere in a file: the read error at that
// byte is the file's one finding and its status, and nothing at or past it counts as damage.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "plovik/file_analysis.h"
#include "plovik/file_facts.h"
#include "scan_reader.h"
#include "support/avi_writer.h"
#include "support/failing_file.h"
#include "support/media.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using namespace test;

FileFacts ScannedFacts(RawFile& file) {
    CFileAnalysis analysis;
    analysis.AnalyseOpen(file, "clip.avi", {.scan = true, .data = {}});
    return FillFacts("clip.avi", analysis);
}

// The facts of bytes whose reads fail from failAt on, against those of the same bytes read
// whole: the one finding, and no more damage than the whole file has, all of it before failAt.
void ExpectOnlyTheReadError(const Bytes& bytes, std::uint64_t failAt, const FileFacts& whole) {
    SCOPED_TRACE(failAt);
    FailingFile file(bytes, failAt);
    const FileFacts facts = ScannedFacts(file);
    ASSERT_EQ(facts.findings.size(), 1u);
    EXPECT_STREQ(facts.findings[0].rule->id, "read.failed");
    // The first byte that failed of the first read that did: failAt, unless no read asked for
    // the bytes from there to a later one that did.
    ASSERT_TRUE(facts.readFailure);
    EXPECT_GE(facts.readFailure->position, failAt);
    EXPECT_NE(facts.findings[0].message.find(" (Input/output error)"), std::string::npos);
    EXPECT_EQ(facts.verdict, Verdict::kUnreadable);
    EXPECT_EQ(OutputStatus(facts), FileStatus::kReadFailed);
    if (!facts.scan) return;
    const ScanFacts& scan = *facts.scan;
    const ScanFacts& all = *whole.scan;
    EXPECT_LE(scan.damagedRegions, all.damagedRegions);
    for (const DAMAGEDREGION& region : scan.regions) {
        EXPECT_LE(region.qwPosition + region.qwLength, failAt);
    }
    EXPECT_LE(scan.damagedFrames, all.damagedFrames);
    EXPECT_LE(scan.indexMismatches.value_or(0), all.indexMismatches.value_or(0));
}

void ExpectOnlyReadErrors(const Bytes& bytes, std::uint64_t step) {
    const FileFacts whole = ScannedFacts(*MakeMemoryRawFile(bytes));
    ASSERT_TRUE(whole.scan);
    for (std::uint64_t at = 0; at < bytes.size(); at += step) {
        ExpectOnlyTheReadError(bytes, at, whole);
        if (::testing::Test::HasFailure()) return;  // one position tells it
    }
}

TEST(ReadFailure, AtEveryByteOfWrittenFiles) {
    for (const Bytes& file :
         {BuildSimpleAvi({.software = "writer"}), BuildSimpleAvi({.indexFirst = true}),
          BuildOpenDmlAvi({.audio = true, .chunkHeaders = true}).file.Flat()}) {
        ExpectOnlyReadErrors(file, 1);
    }
}

// Real muxers' files, damaged ones among them: those of tests/data at a thousand places each,
// those written at test time (every codec the frame checkers know) at a few dozen.
TEST(ReadFailure, ThroughTheMuxersFiles) {
    const char* source = std::getenv("PLOVIK_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::vector<std::pair<std::string, std::uint64_t>> files;  // path, places
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(source) / "tests/data")) {
        if (entry.path().extension() == ".avi") files.emplace_back(entry.path().string(), 1000);
    }
    ASSERT_GE(files.size(), 4u);
    for (const std::string& path : MediaFiles()) files.emplace_back(path, 64);
    for (const auto& [path, places] : files) {
        SCOPED_TRACE(path);
        const Bytes bytes = ReadFileBytes(path);
        ExpectOnlyReadErrors(bytes, bytes.size() / places + 1);
    }
}

}  // namespace
}  // namespace plovik
