// Which data checks leave something for a repair to mend.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "plovik/file_analysis.h"
#include "plovik/repair_need.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

using namespace plovik::test;

bool WouldMend(const Bytes& file, bool scan = true) {
    TempDir dir;
    const std::string path = dir.Write("clip.avi", file);
    CFileAnalysis analysis;
    analysis.Analyse(path, {.scan = scan, .data = {}});
    return RepairWouldMend(FillFacts(path, analysis));
}

// Each file below has one thing wrong, so that each reason is seen alone.
TEST(RepairNeed, WhatTheCheckFoundDecides) {
    const Bytes whole = BuildSimpleAvi({.frames = 20});
    const std::size_t movi = whole.find("movi");
    const std::size_t idx1 = whole.find("idx1");
    auto withSize = [](Bytes file, std::size_t at, std::size_t size) {
        return file.replace(at, 4, Le32(static_cast<std::uint32_t>(size)));
    };
    EXPECT_FALSE(WouldMend(whole));
    EXPECT_FALSE(WouldMend(whole.substr(0, idx1 + 20), false)) << "no data check, no repair";

    EXPECT_TRUE(WouldMend(withSize(whole, 4, whole.size() - 8 + 100))) << "cut after its index";

    Bytes junk = whole;
    junk.insert(idx1, Bytes(24, '\xff'));  // after the last chunk of the movie data
    junk = withSize(withSize(junk, 4, junk.size() - 8), movi - 4, idx1 + 24 - movi);
    EXPECT_TRUE(WouldMend(junk)) << "damaged region";

    Bytes mismatch = whole;
    mismatch.replace(idx1 + 8 + 4 * 16 + 8, 4, Le32(1000));  // the fifth entry's offset
    EXPECT_TRUE(WouldMend(mismatch)) << "index entry pointing at no chunk";

    EXPECT_TRUE(WouldMend(withSize(whole.substr(0, idx1), 4, idx1 - 8))) << "no index";

    // Video in stream 1 with its whole index: its frames are what the index is held against.
    const char* root = std::getenv("PLOVIK_SOURCE_DIR");
    const Bytes videoSecond =
        ReadFileBytes(std::string(root ? root : ".") + "/tests/data/audio_first.avi");
    ASSERT_FALSE(videoSecond.empty());
    EXPECT_FALSE(WouldMend(videoSecond)) << "a sound file with its video in stream 1";

    const Bytes noData = whole.substr(0, movi - 8) + List("movi", {});
    EXPECT_FALSE(WouldMend(withSize(noData, 4, noData.size() - 8))) << "nothing to keep";
    EXPECT_FALSE(WouldMend(Bytes(200, 'x'))) << "not AVI";
}

}  // namespace
}  // namespace plovik
