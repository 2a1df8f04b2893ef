#include "plovik/codecs.h"

#include <gtest/gtest.h>

#include <string>

#include "plovik/codec_tables.h"

namespace plovik {
namespace {

using detail::MakeFourCC;

const std::string kUnknown = "\xEC\x95\x8C\xEC\x88\x98\xEC\x97\x86\xEC\x9D\x8C";  // 알수없음

std::string Video(const char* handler, const char* compression = "\0\0\0\0") {
    return GetVideoCodecName(MakeFourCC(std::string_view(handler, 4)),
                             MakeFourCC(std::string_view(compression, 4)));
}

TEST(VideoCodecName, FourCCValuesAreInFileOrder) {
    EXPECT_EQ(MakeFourCC("DIVX"), 0x58564944u);
    EXPECT_EQ(MakeFourCC("DX50"), 0x30355844u);
    EXPECT_EQ(GetVideoCodecName(0x58564944u, 0x30355844u), "DivX MPEG-4 V4.x");
}

TEST(VideoCodecName, DivxRuleLooksAtTheCompressionCode) {
    EXPECT_EQ(Video("DIVX", "DIVX"), "DivX MPEG-4 V4.x");
    EXPECT_EQ(Video("DIVX", "DX50"), "DivX MPEG-4 V4.x");
    EXPECT_EQ(Video("divx", "DX50"), "DivX MPEG-4 V4.x");
    EXPECT_EQ(Video("divx", "DIV3"), "MicroSoft MPEG-4 v1");
    EXPECT_EQ(Video("DIVX", "divx"), "MicroSoft MPEG-4 v1");
    EXPECT_EQ(Video("DIVX", "dx50"), "MicroSoft MPEG-4 v1");
    EXPECT_EQ(Video("DIVX"), "MicroSoft MPEG-4 v1");
    // Only the DIVX handlers consult the compression code.
    EXPECT_EQ(Video("DX50", "DIV3"), "DivX MPEG-4");
    EXPECT_EQ(Video("MPG4", "DIVX"), "MicroSoft MPEG-4 v1");
    EXPECT_EQ(Video("Divx", "DIVX"), kUnknown);
}

TEST(VideoCodecName, LetterCaseIsPartOfTheKey) {
    EXPECT_EQ(Video("MPNG"), "Autodesk FLI/FLC Animation");
    EXPECT_EQ(Video("mpng"), "PNG images decoder");
    EXPECT_EQ(Video("rpza"), "Quicktime Apple Video");
    EXPECT_EQ(Video("azpr"), "Quicktime Apple Video");
    EXPECT_EQ(Video("RPZA"), "Apple Video 16 Bit");
    EXPECT_EQ(Video("XVID"), "Xvid (MPEG-4)");
    EXPECT_EQ(Video("XviD"), "Xvid (MPEG-4)");
    EXPECT_EQ(Video("xvid"), "Xvid (MPEG-4)");
    EXPECT_EQ(Video("Xvid"), kUnknown);
    EXPECT_EQ(Video("IV50"), "Intel - Indeo 5.x");
    EXPECT_EQ(Video("iv50"), kUnknown);
}

TEST(VideoCodecName, SimilarCodesStayApart) {
    EXPECT_EQ(Video("H263"), "Intel - Conferencing codec");
    EXPECT_EQ(Video("h263"), "Intel - Conferencing codec");
    EXPECT_EQ(Video("U263"), "FFmpeg H263+ decoder");
    EXPECT_EQ(Video("M263"), "Microsoft H.263");
    EXPECT_EQ(Video("X263"), "Xirlink H.263 Video Codec");
}

TEST(VideoCodecName, BlanksAndNulBytesAreNotTrimmed) {
    EXPECT_EQ(Video("RGB "), "Uncompressed");
    EXPECT_EQ(Video(std::string("RGB\0", 4).c_str()), kUnknown);
    EXPECT_EQ(GetVideoCodecName(0, 0), kUnknown);
    EXPECT_EQ(Video("VDOM"), "VDOnet VDOWave ");
    EXPECT_EQ(Video("MWV1"), "Aware Motion Wavelets Video Codec ");
    EXPECT_EQ(Video("XMPG"), "Editable (I frames only) MPEG  (Xing)");
}

TEST(VideoCodecName, FirstAndLastKeysAreFound) {
    // The ends of the sorted key index, where a binary search goes wrong first.
    const auto keys = detail::VideoCodecKeys();
    const auto rows = detail::VideoCodecRows();
    for (const auto& key : {keys.front(), keys.back()}) {
        SCOPED_TRACE(key.fourcc);
        EXPECT_EQ(GetVideoCodecName(key.fourcc, 0), rows[key.row].description);
    }
    EXPECT_EQ(GetVideoCodecName(0xFFFFFFFFu, 0), kUnknown);
    EXPECT_EQ(Video("3IV1"), "XAnim's 3ivX Delta 3.5 plugin");
    EXPECT_EQ(Video("smc "), "Apple Graphics (SMC) codec");
}

TEST(AudioFormatName, ListedTagsGiveTheirText) {
    EXPECT_EQ(GetAudioFormatName(0x0000), "UNKNOWN (Microsoft Corporation)");
    EXPECT_EQ(GetAudioFormatName(0x0055), "MPEG Layer-3 (ISO/MPEG Layer3 Format Tag)");
    EXPECT_EQ(GetAudioFormatName(0x0161), "MSAUDIO2 / DivX Audio Compressor");
    EXPECT_EQ(GetAudioFormatName(0x2000), "AC3(DVM - FAST Multimedia AG)");
}

TEST(AudioFormatName, OtherTagsGiveTheUnknownTextWithTheirCode) {
    EXPECT_EQ(GetAudioFormatName(0x0001), kUnknown + "(code:0x1)");  // PCM
    EXPECT_EQ(GetAudioFormatName(0x00FF), kUnknown + "(code:0xff)");
    EXPECT_EQ(GetAudioFormatName(0x0066), kUnknown + "(code:0x66)");
    EXPECT_EQ(GetAudioFormatName(0x0087), kUnknown + "(code:0x87)");
    EXPECT_EQ(GetAudioFormatName(0x0201), kUnknown + "(code:0x201)");
    EXPECT_EQ(GetAudioFormatName(0x2001), kUnknown + "(code:0x2001)");
    EXPECT_EQ(GetAudioFormatName(0xFFFE), kUnknown + "(code:0xfffe)");
    EXPECT_EQ(GetAudioFormatName(0xFFFF), kUnknown + "(code:0xffff)");
}

}  // namespace
}  // namespace plovik
