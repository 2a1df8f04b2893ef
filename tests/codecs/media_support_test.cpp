#include <gtest/gtest.h>
#include "support/media.h"
TEST(MediaSupport, ChunksOfRealFiles) {
    const std::string path = plovik::test::MediaFile("ff_mjpeg_pcm.avi");
    if (path.empty()) GTEST_SKIP();
    auto frames = plovik::test::StreamChunks(path, 0, "dc");
    EXPECT_EQ(frames.size(), 50u);
    EXPECT_EQ(static_cast<unsigned char>(frames[0][0]), 0xFF);
    EXPECT_EQ(plovik::test::StreamFormat(path, 0).size(), 40u);
    EXPECT_EQ(plovik::test::StreamFormat(path, 1).size(), 16u);
    EXPECT_GT(plovik::test::StreamChunks(path, 1, "wb").size(), 0u);
}
