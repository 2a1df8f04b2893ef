#include "plovik/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "plovik/text_encoding_detail.h"

namespace plovik {
namespace {

// "알수없음 똠방각하": the second word starts with a syllable of the extended
// (non-EUC-KR) range of CP949.
const std::string kKoreanUtf8 =
    "\xEC\x95\x8C\xEC\x88\x98\xEC\x97\x86\xEC\x9D\x8C "
    "\xEB\x98\xA0\xEB\xB0\xA9\xEA\xB0\x81\xED\x95\x98";
const std::string kKoreanCp949 =
    "\xBE\xCB\xBC\xF6\xBE\xF8\xC0\xBD \x8C\x63\xB9\xE6\xB0\xA2\xC7\xCF";
const std::string kReplacement = "\xEF\xBF\xBD";

std::string Repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(TextEncoding, KoreanRoundTrip) {
    EXPECT_EQ(Utf8ToCp949(kKoreanUtf8), kKoreanCp949);
    EXPECT_EQ(Cp949ToUtf8(kKoreanCp949), kKoreanUtf8);
    EXPECT_EQ(Cp949ToUtf8(Utf8ToCp949(kKoreanUtf8)), kKoreanUtf8);
}

TEST(TextEncoding, AsciiPassesThroughBothWays) {
    const std::string ascii = std::string("AVI file\r\n\t~!@#$%^&*()_+ 0123") + '\0' + "end";
    EXPECT_EQ(Utf8ToCp949(ascii), ascii);
    EXPECT_EQ(Cp949ToUtf8(ascii), ascii);
    EXPECT_EQ(Utf8ToCp949(""), "");
    EXPECT_EQ(Cp949ToUtf8(""), "");
}

TEST(TextEncoding, BadCp949BytesBecomeOneReplacementEach) {
    // 0x80 and 0xFF start no character; the text around them survives.
    EXPECT_EQ(Cp949ToUtf8("a\x80"
                          "b\xFF"
                          "c"),
              "a" + kReplacement + "b" + kReplacement + "c");
    // A lead byte followed by a byte that cannot trail it: the lead byte is lost, the
    // other byte is kept.
    EXPECT_EQ(Cp949ToUtf8("\xB0"
                          "0\xBE\xCB"),
              kReplacement + "0\xEC\x95\x8C");
    // A lead byte cut off at the end of the text.
    EXPECT_EQ(Cp949ToUtf8("x\xBE"), "x" + kReplacement);
}

TEST(TextEncoding, BadUtf8AndUnmappableCharactersBecomeQuestionMarks) {
    // Stray continuation byte, overlong '/', encoded surrogate, cut-off sequence.
    EXPECT_EQ(Utf8ToCp949("a\x80"
                          "b"),
              "a?b");
    EXPECT_EQ(Utf8ToCp949("\xC0\xAF"), "??");
    EXPECT_EQ(Utf8ToCp949("\xED\xA0\x80"), "???");
    EXPECT_EQ(Utf8ToCp949("\xBE\xCB"
                          "z\xEC\x95"),
              "??z??");
    // Well-formed characters that CP949 cannot hold cost one '?' each: an emoji and
    // a Thai letter, between Korean syllables.
    EXPECT_EQ(Utf8ToCp949("\xEC\x95\x8C\xF0\x9F\x98\x80\xE0\xB8\x81\xEC\x88\x98"),
              "\xBE\xCB??\xBC\xF6");
    // So does a tag character (U+E0041), which a converter may drop without a word.
    EXPECT_EQ(Utf8ToCp949("a\xF3\xA0\x81\x81z"), "a?z");
}

TEST(TextEncoding, ValidatesUtf8Strictly) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain ASCII"));
    EXPECT_TRUE(IsValidUtf8(kKoreanUtf8));
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
    EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD"));       // U+FFFD
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xB0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xEC\x95"));          // cut off
    EXPECT_FALSE(IsValidUtf8("\xFE"));
    EXPECT_FALSE(IsValidUtf8(kKoreanCp949));
}

TEST(TextEncoding, FileTextKeepsUtf8AndDecodesEverythingElseAsCp949) {
    EXPECT_EQ(FileTextToUtf8(kKoreanUtf8), kKoreanUtf8);
    EXPECT_EQ(FileTextToUtf8(kKoreanCp949), kKoreanUtf8);
    EXPECT_EQ(FileTextToUtf8("Lavf58.29.100"), "Lavf58.29.100");
    EXPECT_EQ(FileTextToUtf8(""), "");
    // Neither valid UTF-8 nor clean CP949: still a readable UTF-8 result.
    const std::string mixed = FileTextToUtf8("ok\xFF\xBE\xCB");
    EXPECT_EQ(mixed, "ok" + kReplacement + "\xEC\x95\x8C");
    EXPECT_TRUE(IsValidUtf8(mixed));
}

TEST(TextEncoding, LongTextsConvertCompletely) {
    EXPECT_EQ(Utf8ToCp949(Repeated(kKoreanUtf8, 3000)), Repeated(kKoreanCp949, 3000));
    EXPECT_EQ(Cp949ToUtf8(Repeated(kKoreanCp949, 3000)), Repeated(kKoreanUtf8, 3000));
}

TEST(TextEncoding, WorkStaysLinearWhenTheConverterRejectsCharacterAfterCharacter) {
    // Pieces that only the system converter can reject, after a long text that it takes
    // whole: a Thai letter, which CP949 lacks, and the lead byte 0xC7, which takes no trail
    // byte below 0xA1.
    const std::string gaUtf8 = "\xEA\xB0\x80";  // 가
    const std::string gaCp949 = "\xB0\xA1";
    const std::string thai = "\xE0\xB8\x81";
    struct Case {
        const char* name;
        std::string (*convert)(std::string_view);
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"Thai to CP949", Utf8ToCp949, Repeated(gaUtf8, 3000) + Repeated(thai, 10000),
         Repeated(gaCp949, 3000) + Repeated("?", 10000)},
        {"Korean and Thai to CP949", Utf8ToCp949, Repeated(gaUtf8 + thai, 10000),
         Repeated(gaCp949 + "?", 10000)},
        {"bad lead bytes to UTF-8", Cp949ToUtf8,
         Repeated(gaCp949, 3000) + Repeated("\xC7\x41", 10000),
         Repeated(gaUtf8, 3000) + Repeated(kReplacement + "A", 10000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = detail::ConverterInputBytes();
        EXPECT_EQ(c.convert(c.text), c.expected);
        // Handing the converter the rest of the text after each rejection would be
        // thousands of times the text.
        EXPECT_LT(detail::ConverterInputBytes() - before, 8 * c.text.size());
    }
}

}  // namespace
}  // namespace plovik
