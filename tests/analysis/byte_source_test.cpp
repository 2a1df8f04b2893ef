// The buffered file source and the memory source behave alike.
#include "byte_source.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <vector>

#include "raw_file.h"

#include "support/failing_file.h"
#include "support/temp_dir.h"

namespace plovik::test {
namespace {

// Bytes whose value tells their position, over more than the file buffer.
std::string Pattern(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

class ByteSourceTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        m_bytes = Pattern(700 * 1024 + 3);
        if (GetParam()) {
            m_source = OpenFileSource(m_dir.Write("data.bin", m_bytes));
        } else {
            m_source = MakeMemorySource(m_bytes);
        }
        ASSERT_NE(m_source, nullptr);
    }

    std::string ReadAt(std::int64_t position, std::size_t n) {
        EXPECT_EQ(m_source->Seek(position), position);
        std::string out(n, '\0');
        if (!m_source->Read(out.data(), n)) return "<failed>";
        return out;
    }

    TempDir m_dir;
    std::string m_bytes;
    std::unique_ptr<ByteSource> m_source;
};

TEST_P(ByteSourceTest, ReadsMatchTheData) {
    EXPECT_EQ(m_source->Size(), m_bytes.size());
    const std::pair<std::int64_t, std::size_t> reads[] = {
        {0, 16}, {262140, 16}, {100, 300000}, {5, 600000}, {716800 - 10, 13}, {3, 0}, {0, 716803},
    };
    for (const auto& [position, n] : reads) {
        EXPECT_EQ(ReadAt(position, n), m_bytes.substr(static_cast<std::size_t>(position), n));
        EXPECT_EQ(m_source->Position(), position + static_cast<std::int64_t>(n));
    }
}

TEST_P(ByteSourceTest, SequentialSmallReadsAndRelativeSeeks) {
    ASSERT_EQ(m_source->Seek(0), 0);
    std::string collected;
    char entry[16];
    while (m_source->Read(entry, sizeof entry)) {
        collected.append(entry, sizeof entry);
        m_source->SeekBy(16);
    }
    std::string expected;
    for (std::size_t i = 0; i + 16 <= m_bytes.size(); i += 32) expected += m_bytes.substr(i, 16);
    EXPECT_EQ(collected, expected);
}

TEST_P(ByteSourceTest, FailedReadLeavesThePositionAndSeeksPastTheEndWork) {
    const auto size = static_cast<std::int64_t>(m_bytes.size());
    EXPECT_EQ(ReadAt(size - 4, 8), "<failed>");
    EXPECT_EQ(m_source->Position(), size - 4);
    EXPECT_EQ(ReadAt(size + 1000, 1), "<failed>");
    EXPECT_EQ(m_source->Position(), size + 1000);
    EXPECT_EQ(m_source->SeekBy(-1000), size);
    EXPECT_EQ(m_source->Seek(-1), -1);
    EXPECT_EQ(ReadAt(size - 4, 4), m_bytes.substr(m_bytes.size() - 4));
}

TEST_P(ByteSourceTest, ViewsLendWholeUnitsInOrder) {
    ASSERT_EQ(m_source->Seek(3), 3);
    std::string collected;
    for (std::string_view view; !(view = m_source->View(100'000, 16)).empty();) {
        EXPECT_EQ(view.size() % 16, 0u);
        EXPECT_LE(view.size(), 100'000u);
        collected += view;
    }
    const std::size_t whole = (m_bytes.size() - 3) / 16 * 16;
    EXPECT_EQ(collected, m_bytes.substr(3, whole));
    EXPECT_EQ(m_source->Position(), static_cast<std::int64_t>(3 + whole));
    EXPECT_TRUE(m_source->View(16, 16).empty());  // fewer than 16 bytes are left
    EXPECT_EQ(m_source->Position(), static_cast<std::int64_t>(3 + whole));
    EXPECT_TRUE(m_source->View(8, 16).empty());
}

INSTANTIATE_TEST_SUITE_P(FileAndMemory, ByteSourceTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });

// A block whose read fails is read again in halves, one read per halving: the bytes before the
// first one that cannot be read arrive, and the failure is kept at that byte.
TEST(FileSource, AFailedReadGivesTheBytesBeforeTheFirstThatCannotBeRead) {
    const std::string bytes = Pattern(300'000);
    FailingFile file(bytes, 200'003);
    std::string out(100'000, '\0');
    EXPECT_EQ(file.ReadAt(150'000, out.data(), out.size()), 50'003);
    EXPECT_EQ(out.substr(0, 50'003), bytes.substr(150'000, 50'003));
    EXPECT_LE(file.reads, 1 + 17);  // 2^17 > 100,000
    ASSERT_TRUE(file.Failure());
    EXPECT_EQ(file.Failure()->position, 200'003u);
    EXPECT_EQ(file.Failure()->reason, "Input/output error");
    EXPECT_EQ(file.ReadAt(250'000, out.data(), 10), -1);
    EXPECT_EQ(file.Failure()->position, 200'003u);  // the first failure stays
}

TEST(FileSource, OnlyExistingRegularFilesOpen) {
    TempDir dir;
    EXPECT_EQ(OpenFileSource(dir.PathOf("missing")), nullptr);
    EXPECT_EQ(OpenFileSource(dir.path().string()), nullptr);
    EXPECT_NE(OpenFileSource(dir.Write("empty", "")), nullptr);
    EXPECT_NE(OpenFileSource(dir.Write("\xed\x95\x9c\xea\xb8\x80.avi", "x")),
              nullptr);  // UTF-8 name
}

#ifndef _WIN32
// The open reads the file's start into the head it is given; a file that ends within the
// head gets its size from that read, a longer one from the system, and only files open.
TEST(FileSource, TheOpenReadsTheHeadAndSizesTheFileByIt) {
    TempDir dir;
    std::vector<unsigned char> head(16);
    const std::string bytes = Pattern(40);
    for (const std::size_t size : {std::size_t{5}, std::size_t{16}, std::size_t{40}}) {
        const OpenedFile opened = OpenRawFile(dir.Write("f", bytes.substr(0, size)), head);
        ASSERT_NE(opened.file, nullptr) << size;
        EXPECT_EQ(opened.file->Size(), size);
        EXPECT_EQ(opened.headBytes, std::min<std::size_t>(size, 16));
        EXPECT_EQ(std::string(head.begin(), head.begin() + opened.headBytes),
                  bytes.substr(0, opened.headBytes));
    }
    const OpenedFile empty = OpenRawFile(dir.Write("empty", ""), head);
    ASSERT_NE(empty.file, nullptr);
    EXPECT_EQ(empty.file->Size(), 0u);
    EXPECT_EQ(OpenRawFile(dir.path().string(), head).error, "Is a directory");
    ASSERT_EQ(::mkfifo(dir.PathOf("pipe").c_str(), 0600), 0);
    EXPECT_EQ(OpenRawFile(dir.PathOf("pipe"), head).error, "not a regular file");
}
#endif

}  // namespace
}  // namespace plovik::test
