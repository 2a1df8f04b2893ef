#include "plovik/codec_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace plovik::detail {
namespace {

std::vector<std::string_view> KeysOf(const VideoCodecRow& row) {
    std::vector<std::string_view> keys;
    for (std::size_t pos = 0; pos < row.keys.size(); pos += 4)
        keys.push_back(row.keys.substr(pos, 4));
    return keys;
}

std::string KeyText(std::uint32_t fourcc) {
    std::string text;
    for (int i = 0; i < 4; ++i) text += static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    return text;
}

bool IsPlainAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

TEST(VideoCodecTable, Has222DistinctKeysIn140RowsWith140Texts) {
    const auto rows = VideoCodecRows();
    const auto keys = VideoCodecKeys();
    EXPECT_EQ(rows.size(), 140u);
    EXPECT_EQ(keys.size(), 222u);

    std::set<std::uint32_t> distinctKeys;
    std::set<std::string_view> texts;
    std::size_t keysInRows = 0;
    for (const VideoCodecRow& row : rows) {
        SCOPED_TRACE(row.description);
        ASSERT_EQ(row.keys.size() % 4, 0u) << row.keys;
        for (std::string_view key : KeysOf(row)) distinctKeys.insert(MakeFourCC(key));
        keysInRows += row.keys.size() / 4;
        texts.insert(row.description);
        EXPECT_TRUE(IsPlainAscii(row.description)) << row.description;
    }
    EXPECT_EQ(keysInRows, 222u);
    EXPECT_EQ(distinctKeys.size(), 222u);
    EXPECT_EQ(texts.size(), 140u);
}

TEST(VideoCodecTable, RowsAndKeysAreInByteOrder) {
    const auto rows = VideoCodecRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].description);
        const auto keys = KeysOf(rows[i]);
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << rows[i].keys;
        if (i > 0) {
            EXPECT_LT(KeysOf(rows[i - 1]).front(), keys.front());
        }
    }
}

TEST(VideoCodecTable, KeyIndexIsSortedAndPointsBackToItsRow) {
    const auto rows = VideoCodecRows();
    const auto keys = VideoCodecKeys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(KeyText(keys[i].fourcc));
        if (i > 0) {
            EXPECT_LT(keys[i - 1].fourcc, keys[i].fourcc);
        }
        ASSERT_LT(keys[i].row, rows.size());
        const auto rowKeys = KeysOf(rows[keys[i].row]);
        const std::string key = KeyText(keys[i].fourcc);
        EXPECT_NE(std::find(rowKeys.begin(), rowKeys.end(), key), rowKeys.end()) << key;
    }
}

TEST(VideoCodecTable, KeysUseLettersDigitsAndTrailingBlanksOnly) {
    std::vector<std::string> blankEnded;
    for (const VideoCodecKey& entry : VideoCodecKeys()) {
        const std::string key = KeyText(entry.fourcc);
        const auto body = std::string_view(key).substr(0, key.find_last_not_of(' ') + 1);
        EXPECT_TRUE(std::all_of(body.begin(), body.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c));
        })) << key;
        if (key.back() == ' ') blankEnded.push_back(key);
    }
    std::sort(blankEnded.begin(), blankEnded.end());
    EXPECT_EQ(blankEnded, (std::vector<std::string>{"BGR ", "DIB ", "IAN ", "RAW ", "RGB ", "RLE ",
                                                    "RVX ", "dvc ", "raw ", "rle ", "smc "}));
}

TEST(VideoCodecTable, KeepsTheOddSpacingOfThreeTexts) {
    std::vector<std::string_view> odd;
    for (const VideoCodecRow& row : VideoCodecRows()) {
        const auto text = row.description;
        if (text.back() == ' ' || text.front() == ' ' || text.find("  ") != text.npos) {
            odd.push_back(text);
        }
    }
    EXPECT_EQ(
        odd, (std::vector<std::string_view>{"Aware Motion Wavelets Video Codec ", "VDOnet VDOWave ",
                                            "Editable (I frames only) MPEG  (Xing)"}));
}

TEST(AudioFormatTable, Has133DistinctTagsAndTextsInAscendingOrder) {
    const auto entries = AudioFormatEntries();
    ASSERT_EQ(entries.size(), 133u);
    std::set<std::string_view> texts;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(entries[i].description);
        if (i > 0) {
            EXPECT_LT(entries[i - 1].tag, entries[i].tag);
        }
        EXPECT_TRUE(IsPlainAscii(entries[i].description)) << entries[i].description;
        texts.insert(entries[i].description);
    }
    EXPECT_EQ(texts.size(), 133u);
    EXPECT_EQ(entries.front().tag, 0x0000);
    EXPECT_EQ(entries[1].tag, 0x0002);  // no row for PCM
    EXPECT_EQ(entries.back().tag, 0x2000);
}

}  // namespace
}  // namespace plovik::detail
