#include "plovik/splitter.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace plovik {
namespace {

using Items = std::vector<std::string>;

Items Words(const std::string& text, bool raw = false) {
    Items items{"stale"};
    const int count = SplitString(text, &items, true, raw);
    EXPECT_EQ(count, count < 0 ? -1 : static_cast<int>(items.size())) << text;
    return count < 0 ? Items{"<error>"} : items;
}

Items Csv(const std::string& text) {
    Items items{"stale"};
    const int count = SplitString(text, &items, false, false);
    EXPECT_EQ(count, count < 0 ? -1 : static_cast<int>(items.size())) << text;
    return count < 0 ? Items{"<error>"} : items;
}

const Items kError{"<error>"};

TEST(SplitWords, EmptyTextHasNoItemsAndBlanksOnlyHaveOneEmptyItem) {
    EXPECT_EQ(Words(""), Items{});
    EXPECT_EQ(Words(" "), Items{""});
    EXPECT_EQ(Words(" \t\r\n "), Items{""});
}

TEST(SplitWords, BlanksSeparateWords) {
    EXPECT_EQ(Words("a"), Items{"a"});
    EXPECT_EQ(Words("  one\ttwo\r\nthree  "), (Items{"one", "two", "three"}));
}

TEST(SplitWords, RawModeKeepsEveryBackslashOfAQuotedPath) {
    EXPECT_EQ(Words("\"C:\\My Videos\\clip one.avi\" -x", true),
              (Items{"C:\\My Videos\\clip one.avi", "-x"}));
    EXPECT_EQ(Words("\"C:\\dir\\\" next", true), (Items{"C:\\dir\\", "next"}));
    EXPECT_EQ(Words("\"\\n\\r\\\\\"", true), Items{"\\n\\r\\\\"});
}

TEST(SplitWords, EscapesApplyInsideQuotesOnly) {
    EXPECT_EQ(Words("\"say \\\"hi\\\"\""), Items{"say \"hi\""});
    EXPECT_EQ(Words("\"a\\\\b\""), Items{"a\\b"});
    EXPECT_EQ(Words("\"a\\tb\""), Items{"a\\tb"});
    EXPECT_EQ(Words("\"1\\r\\n2\""), Items{"1\r\n2"});
    EXPECT_EQ(Words("a\\\"b"), Items{"a\\\"b"});
    // A backslash before another backslash pair: "\\\\t" is one backslash, then "t".
    EXPECT_EQ(Words("\"\\\\\\t\""), Items{"\\\\t"});
}

TEST(SplitWords, QuotesInsideAndAfterWords) {
    EXPECT_EQ(Words("ab\"cd"), Items{"ab\"cd"});
    EXPECT_EQ(Words("\"ab\"cd"), (Items{"ab", "cd"}));
    EXPECT_EQ(Words("\"ab\"\"cd\""), (Items{"ab", "cd"}));
    EXPECT_EQ(Words("\"\" x"), (Items{"", "x"}));
}

TEST(SplitWords, UnterminatedQuoteFails) {
    EXPECT_EQ(Words("\"abc"), kError);
    EXPECT_EQ(Words("ok \""), kError);
    // An escaped closing quote leaves the item open.
    EXPECT_EQ(Words("\"abc\\\""), kError);
    // A backslash right before the end is an ordinary byte; nothing past the end is read.
    EXPECT_EQ(Words("\"abc\\"), kError);
    EXPECT_EQ(Words("\"abc\\", true), kError);
    EXPECT_EQ(Words("abc\\"), Items{"abc\\"});
}

TEST(SplitCsv, FieldsAndEmptyFields) {
    EXPECT_EQ(Csv(""), Items{});
    EXPECT_EQ(Csv("x"), Items{"x"});
    EXPECT_EQ(Csv("a,,b"), (Items{"a", "", "b"}));
    EXPECT_EQ(Csv("x,"), (Items{"x", ""}));
    EXPECT_EQ(Csv(",x"), (Items{"", "x"}));
    EXPECT_EQ(Csv(","), (Items{"", ""}));
    EXPECT_EQ(Csv(" a , b "), (Items{" a ", " b "}));
}

TEST(SplitCsv, QuotedFields) {
    EXPECT_EQ(Csv("\"x\",y"), (Items{"x", "y"}));
    EXPECT_EQ(Csv("\"a,b\",\"\""), (Items{"a,b", ""}));
    EXPECT_EQ(Csv("\"q\\\"q\",\"\\\\\""), (Items{"q\"q", "\\"}));
    EXPECT_EQ(Csv("\"x\","), (Items{"x", ""}));
    EXPECT_EQ(Csv("a\"b"), Items{"a\"b"});
}

TEST(SplitCsv, ClosingQuoteMustEndTheField) {
    EXPECT_EQ(Csv("\"x\"y"), kError);
    EXPECT_EQ(Csv("\"x\" ,y"), kError);
    EXPECT_EQ(Csv("a,\"b"), kError);
    EXPECT_EQ(Csv("\"b\\"), kError);
}

TEST(SplitString, FailureEmptiesTheArray) {
    std::vector<std::string> items{"old", "items"};
    EXPECT_EQ(SplitString("\"open", &items, true, true), -1);
    EXPECT_TRUE(items.empty());
    items = {"old"};
    EXPECT_EQ(SplitString("", &items, true, true), 0);
    EXPECT_TRUE(items.empty());
}

TEST(SplitString, StopsAtAnEmbeddedNul) {
    EXPECT_EQ(Words(std::string("a b\0c d", 7)), (Items{"a", "b"}));
}

TEST(TokenList, GetAtOutOfRangeGivesAnEmptyString) {
    CTokenList tokens;
    EXPECT_STREQ(tokens.GetAt(0), "");
    ASSERT_EQ(tokens.ParseWords("one two", false), 0);
    EXPECT_EQ(tokens.GetSize(), 2);
    EXPECT_STREQ(tokens.GetAt(1), "two");
    EXPECT_STREQ(tokens.GetAt(2), "");
    EXPECT_STREQ(tokens.GetAt(-1), "");
    EXPECT_STREQ(tokens.GetAt(INT_MAX), "");
    EXPECT_STREQ(tokens.GetAt(INT_MIN), "");
}

TEST(TokenList, ANewParseReplacesTheItemsAndAFailedOneLeavesNone) {
    CTokenList tokens;
    ASSERT_EQ(tokens.ParseCsv("a,b,c"), 0);
    ASSERT_EQ(tokens.ParseCsv("d"), 0);
    EXPECT_EQ(tokens.GetSize(), 1);
    EXPECT_STREQ(tokens.GetAt(0), "d");
    // The failure comes after two complete items: none of them may stay behind.
    EXPECT_EQ(tokens.ParseWords("x y \"z", false), -1);
    EXPECT_EQ(tokens.GetSize(), 0);
    EXPECT_STREQ(tokens.GetAt(0), "");
    tokens.RemoveAll();
    EXPECT_EQ(tokens.GetSize(), 0);
}

TEST(TokenList, NullTextIsEmpty) {
    CTokenList tokens;
    EXPECT_EQ(tokens.ParseWords(nullptr, false), 0);
    EXPECT_EQ(tokens.ParseCsv(nullptr), 0);
    EXPECT_EQ(tokens.GetSize(), 0);
}

}  // namespace
}  // namespace plovik
