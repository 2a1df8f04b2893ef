// The chunk walk and the header records it keeps.
#include <gtest/gtest.h>

#include <algorithm>

#include "parse_helpers.h"

namespace plovik::test {
namespace {

Bytes VideoStrl(const std::string& handler = "DIVX", const std::string& compression = "DIVX") {
    return List("strl", {Strh({.handler = handler}), VideoStrf({.compression = compression})});
}

Bytes AudioStrl(std::uint16_t formatTag = 0x55, std::uint32_t formatSize = 18) {
    return List("strl", {Strh({.type = "auds", .handler = std::string(4, '\0'), .rate = 16000}),
                         AudioStrf({.formatTag = formatTag}, formatSize)});
}

TEST(ChunkWalk, TypicalFileFillsEveryField) {
    const Bytes file =
        BuildSimpleAvi({.frames = 10, .keyInterval = 5, .software = "MyEncoder 1.0"});
    CAviParser p;
    TempDir dir;
    const std::string path = dir.Write("clip.avi", file);
    ASSERT_TRUE(p.Parse(path, 0xFFFFFFFF, false));
    EXPECT_EQ(p.m_nError, PARSE_OK);
    EXPECT_EQ(p.m_MainHeader.fcc, MakeFourCC("avih"));
    EXPECT_EQ(p.m_MainHeader.dwMicroSecPerFrame, 40000u);
    EXPECT_EQ(p.m_MainHeader.dwTotalFrames, 10u);
    EXPECT_EQ(p.m_MainHeader.dwWidth, 640u);
    EXPECT_EQ(p.m_VideoHeader.fccType, MakeFourCC("vids"));
    EXPECT_EQ(p.m_VideoHeader.fccHandler, MakeFourCC("DIVX"));
    EXPECT_EQ(p.m_VideoHeader.dwRate, 25u);
    EXPECT_EQ(p.m_VideoHeader.dwLength, 10u);
    EXPECT_EQ(p.m_VideoFormat.bmiHeader.biSize, 40u);
    EXPECT_EQ(p.m_VideoFormat.bmiHeader.biWidth, 640);
    EXPECT_EQ(p.m_VideoFormat.bmiHeader.biCompression, MakeFourCC("DIVX"));
    EXPECT_EQ(p.m_AudioHeader.fccType, MakeFourCC("auds"));
    EXPECT_EQ(p.m_AudioFormat.wFormatTag, 0x55);
    EXPECT_EQ(p.m_AudioFormat.nChannels, 2);
    EXPECT_EQ(p.m_AudioFormat.nSamplesPerSec, 44100u);
    EXPECT_EQ(p.m_AudioFormat.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(p.m_strSoftware, "MyEncoder 1.0");
    EXPECT_EQ(p.m_qwFileSize, file.size());
    EXPECT_EQ(p.m_dwRiffSize, file.size() - 8);
    EXPECT_EQ(p.m_qwDataSize, file.size() - 8);
    EXPECT_EQ(p.m_llMoviPos, PosOf(file, "movi") - 8);
    EXPECT_EQ(p.m_llMoviSize, 4 + 10 * 2 * 16 + 8);
    EXPECT_EQ(p.m_llIndexPos, PosOf(file, "idx1"));
    EXPECT_EQ(p.m_llIndexSize, 20 * 16 + 8);
    EXPECT_FALSE(p.m_bHasText);
    EXPECT_TRUE(p.m_bIndexOK);
    EXPECT_EQ(p.m_nKeyFrames, 2u);
    EXPECT_EQ(p.m_strPathName, path);
    EXPECT_EQ(p.m_strFileName, "clip.avi");
    EXPECT_EQ(p.GetFileName(), "clip.avi");
    EXPECT_FALSE(p.IsFrontIndex());
    EXPECT_EQ(p.m_nRiffParts, 1u);
    EXPECT_EQ(p.m_Layout.nAudioStream, 1);
    EXPECT_EQ(p.m_nIndexKind, INDEX_KIND_IDX1);
    EXPECT_EQ(p.m_nIndexFrames, 10u);
    EXPECT_EQ(p.m_dwIndexTotalFrames, 10u);
}

TEST(ChunkWalk, AudioStreamNumberAndRiffPartsCounted) {
    // Audio first, then video, then a second audio: the last audio is stream 2.
    const Bytes file =
        Riff("AVI ",
             {List("hdrl", {Avih({.totalFrames = 0}), AudioStrl(), VideoStrl(), AudioStrl(0x01)}),
              List("movi", {})}) +
        Riff("AVIX", {List("movi", {})}) + Riff("AVIX", {List("movi", {})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_Layout.nAudioStream, 2);
    EXPECT_EQ(p.m_AudioFormat.wFormatTag, 0x01);
    EXPECT_EQ(p.m_nRiffParts, 3u);
    EXPECT_EQ(p.m_nIndexKind, INDEX_KIND_NONE);
}

TEST(ChunkWalk, NotAnAviIsCodeOne) {
    const Bytes cases[] = {
        "",
        "RIFF\x04\0\0\0AVI",                       // shorter than 12 bytes
        "RIFX" + Le32(4) + "AVI ",                 // big-endian RIFF
        Riff("WAVE", {Chunk("fmt ", Zeros(16))}),  // another form type
        "LIST" + Le32(4) + "AVI ",
    };
    for (const Bytes& bytes : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes.substr(0, 12)));
        CAviParser p;
        EXPECT_FALSE(ParseFileBytes(p, bytes));
        EXPECT_EQ(p.m_nError, PARSE_ERR_NOT_AVI);
        EXPECT_EQ(p.m_dwRiffSize, 0xFFFFFFFFu);
        EXPECT_EQ(p.m_strFileName, "clip.avi");
    }
}

TEST(ChunkWalk, UnopenableFileIsCodeTwoAndKeepsPathFields) {
    TempDir dir;
    CAviParser p;
    const std::string good = dir.Write("good.avi", BuildSimpleAvi());
    ASSERT_TRUE(p.Parse(good, 0xFFFFFFFF, false));
    for (const std::string& bad : {dir.PathOf("missing.avi"), dir.path().string()}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(p.Parse(bad, 1234, true));
        EXPECT_EQ(p.m_nError, PARSE_ERR_OPEN);
        EXPECT_EQ(p.m_strPathName, good);
        EXPECT_EQ(p.m_strFileName, "good.avi");
        EXPECT_EQ(p.m_dwTimeout, 1234u);
        EXPECT_TRUE(p.m_bSkipIndex);
        EXPECT_EQ(p.m_nKeyFrames, 0u);
        EXPECT_EQ(p.m_llFilePos, -1);
    }
}

TEST(ChunkWalk, HdrlWithoutMainHeaderIsCodeThree) {
    CAviParser p;
    EXPECT_FALSE(ParseFileBytes(p, Riff("AVI ", {List("hdrl", {VideoStrl(), Zeros(64)})})));
    EXPECT_EQ(p.m_nError, PARSE_ERR_HEADER);
    CAviParser q;  // too short for the 64 bytes
    EXPECT_FALSE(ParseFileBytes(q, Riff("AVI ", {List("hdrl", {Chunk("avih", Zeros(8))})})));
    EXPECT_EQ(q.m_nError, PARSE_ERR_HEADER);
    EXPECT_EQ(q.m_strFileName, "clip.avi");
}

TEST(ChunkWalk, UnknownChunkEndsTheWalkWithSuccess) {
    for (const bool insideHdrl : {true, false}) {
        SCOPED_TRACE(insideHdrl ? "inside hdrl" : "at the top level");
        const Bytes unknown = Chunk("abcd", Zeros(4));
        const Bytes hdrl = insideHdrl ? List("hdrl", {Avih({}), unknown, VideoStrl()})
                                      : List("hdrl", {Avih({}), VideoStrl()});
        const Bytes file = Riff(
            "AVI ", {hdrl, insideHdrl ? Bytes() : unknown, List("movi", {}), Idx1({Video(kKey)})});
        CAviParser p;
        EXPECT_TRUE(ParseFileBytes(p, file));
        EXPECT_EQ(p.m_nError, PARSE_OK);
        EXPECT_EQ(p.m_llMoviPos, 0);
        EXPECT_EQ(p.m_llIndexPos, 0);
        EXPECT_EQ(p.m_VideoHeader.fccType, insideHdrl ? 0u : MakeFourCC("vids"));
    }
}

TEST(ChunkWalk, LastStreamOfEachKindIsKept) {
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({}), VideoStrl("XVID", "XVID"), AudioStrl(0x55),
                                    VideoStrl("H264", "avc1"), AudioStrl(0x2000),
                                    List("strl", {Strh({.type = "txts", .handler = "sub1"})}),
                                    List("strl", {Strh({.type = "txts", .handler = "sub2"})})})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_VideoHeader.fccHandler, MakeFourCC("H264"));
    EXPECT_EQ(p.m_VideoFormat.bmiHeader.biCompression, MakeFourCC("avc1"));
    EXPECT_EQ(p.m_AudioFormat.wFormatTag, 0x2000);
    EXPECT_TRUE(p.m_bHasText);
    EXPECT_EQ(p.m_TextHeader.fccHandler, MakeFourCC("sub2"));
}

TEST(ChunkWalk, ShortAudioFormatEndsExactlyAtItsList) {
    // The 18-byte read takes two bytes of the following chunk into cbSize, then the
    // walk steps back to the list's end and meets the video list.
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({}), AudioStrl(0x1, 16), VideoStrl("MJPG", "MJPG")})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_AudioFormat.wFormatTag, 1);
    EXPECT_EQ(p.m_AudioFormat.cbSize, 0x494c);  // "LI" of the next "LIST"
    EXPECT_EQ(p.m_VideoHeader.fccHandler, MakeFourCC("MJPG"));
}

TEST(ChunkWalk, AudioListEndsAfterItsFormat) {
    const Bytes file = Riff(
        "AVI ",
        {List("hdrl",
              {Avih({}),
               List("strl",
                    {Strh({.type = "auds"}), AudioStrf({.formatTag = 0x50}),
                     Strh({.type = "txts"})})})});  // never seen: the audio list ends at its format
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_AudioFormat.wFormatTag, 0x50);
    EXPECT_FALSE(p.m_bHasText);
}

TEST(ChunkWalk, LongVideoFormatKeeps44BytesAndSkipsTheRest) {
    Bytes format = VideoStrf({.compression = "WMV3"}, 40 + 1024);
    format[8 + 40] = 'x';  // first colour-table byte lands in bmiColors
    const Bytes file = Riff(
        "AVI ", {List("hdrl", {Avih({}), List("strl", {Strh({}), format, Strh({.type = "txts"})})}),
                 List("movi", {})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_VideoFormat.bmiHeader.biCompression, MakeFourCC("WMV3"));
    EXPECT_EQ(p.m_VideoFormat.bmiColors[0].rgbBlue, 'x');
    EXPECT_TRUE(p.m_bHasText);  // the sub-chunk after the format is found where it starts
    EXPECT_EQ(p.m_llMoviPos, PosOf(file, "movi") - 8);
}

TEST(ChunkWalk, ShortVideoFormatKeepsEarlierBytes) {
    Bytes first = VideoStrf({.compression = "AAAA"}, 44);
    first[8 + 40] = 'q';
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({}), List("strl", {Strh({}), first}),
                                    List("strl", {Strh({}), Chunk("strf", Le32(40))})})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_VideoFormat.bmiHeader.biSize, 40u);
    EXPECT_EQ(p.m_VideoFormat.bmiHeader.biCompression, MakeFourCC("AAAA"));
    EXPECT_EQ(p.m_VideoFormat.bmiColors[0].rgbBlue, 'q');
}

TEST(ChunkWalk, LongAndShortStreamHeaders) {
    // A 100-byte "strh": 64 bytes kept, the rest skipped, the format found after it.
    const Bytes file = Riff(
        "AVI ",
        {List("hdrl",
              {Avih({}),
               List("strl", {Strh({.handler = "LONG"}, 100), VideoStrf({.compression = "LONG"})}),
               List("strl", {Strh({.type = "txts", .handler = "shrt", .rate = 7}, 48)})})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_VideoHeader.fccHandler, MakeFourCC("LONG"));
    EXPECT_EQ(p.m_VideoFormat.bmiHeader.biCompression, MakeFourCC("LONG"));
    EXPECT_EQ(p.m_TextHeader.dwRate, 7u);
    EXPECT_EQ(p.m_TextHeader.rcFrame[0], 0u);  // a 48-byte header leaves the rest zero
}

TEST(ChunkWalk, StreamListSubChunks) {
    const Bytes file = Riff(
        "AVI ",
        {List("hdrl", {Avih({}), List("strl", {Chunk("JUNK", Zeros(3)), Chunk("indx", Zeros(24)),
                                               Chunk("strd", Zeros(5)), Strh({.type = "txts"}),
                                               Chunk("strn", "name\0"), Strh({.type = "vids"})})}),
         List("movi", {})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_TRUE(p.m_bHasText);
    EXPECT_EQ(p.m_VideoHeader.fccType, 0u);  // after "strn": discarded with the name
    EXPECT_NE(p.m_llMoviPos, 0);
}

TEST(ChunkWalk, StrayFormatIsReadAsSubChunks) {
    // A "strf" that follows no stream header: its data holds the next sub-chunk.
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({}), List("strl", {ChunkWithSize("strf", 1000, ""),
                                                            Strh({.type = "txts"})})})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_TRUE(p.m_bHasText);
}

TEST(ChunkWalk, TruncatedStreamListIsCodeFour) {
    const Bytes file = Riff("AVI ", {List("hdrl", {Avih({}), VideoStrl()})});
    CAviParser p;
    EXPECT_FALSE(ParseFileBytes(p, file.substr(0, PosOf(file, "strh") + 20)));
    EXPECT_EQ(p.m_nError, PARSE_ERR_STREAM);
    EXPECT_EQ(p.m_MainHeader.dwMicroSecPerFrame, 40000u);  // gathered before the failure stays
}

TEST(ChunkWalk, SoftwareIsTheFirstIsftAnywhereInInfo) {
    struct Case {
        Bytes info;
        std::string expected;
    };
    const Case cases[] = {
        {List("INFO", {Chunk("ISFT", Bytes("Enc\0junk", 8))}), "Enc"},
        {List("INFO", {Chunk("ISFT", "NoNul")}), Bytes("NoNul\0", 6).substr(0, 5)},
        {List("INFO", {Chunk("INAM", "title"), Chunk("ISFT", Bytes("Second\0", 7))}), "Second"},
        {List("INFO", {Chunk("JUNK", Zeros(12)), Chunk("ISFT", Bytes("Late\0", 5))}), "Late"},
        {List("INFO", {Chunk("ISFT", Bytes("One\0", 4)), Chunk("ISFT", Bytes("Two\0", 4))}), "One"},
        {List("INFO", {Chunk("JUNK", Zeros(12)), Chunk("INAM", "t")}), ""},
        {List("INFO", {Chunk("JUNK", Bytes("InJunk\0", 7)), Chunk("INAM", "t")}), "InJunk"},
        {List("INFO", {Chunk("INAM", "t"), Chunk("JUNK", Bytes("NotFirst\0", 9))}), ""},
        {List("INFO", {Chunk("ISFT", "\xc7\xd1\xb1\xdb\xff")}),
         "\xc7\xd1\xb1\xdb\xff"},  // bytes kept
        {List("INFO", {}), ""},
        // Only the first 64 KiB of a longer text are kept; the walk goes on after it.
        {List("INFO", {Chunk("ISFT", Bytes(200'000, 'a'))}), Bytes(64 * 1024, 'a')},
        {List("INFO", {Chunk("JUNK", Bytes(100'000, 'j')), Chunk("ISFT", Bytes("After\0", 6))}),
         "After"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.substr(0, 16));
        const Bytes file = Riff("AVI ", {List("hdrl", {Avih({})}), c.info, List("movi", {})});
        CAviParser p;
        EXPECT_TRUE(ParseFileBytes(p, file));
        EXPECT_EQ(p.m_strSoftware, c.expected);
        EXPECT_EQ(p.m_llMoviPos, PosOf(file, "movi") - 8);  // the walk goes on after INFO
    }
}

TEST(ChunkWalk, FailedInfoHeaderReadIsFalseWithoutCode) {
    const Bytes file = Riff("AVI ", {List("hdrl", {Avih({})})}) + "LIST" + Le32(100) + "INFO";
    CAviParser p;
    EXPECT_FALSE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_nError, PARSE_OK);
}

TEST(ChunkWalk, OdmlJunkAndOtherListsArePassed) {
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({}), List("odml", {Chunk("dmlh", Zeros(248))})}),
                      Chunk("JUNK", Zeros(7)), Chunk("JUNQ", Zeros(4)), Chunk("segm", Zeros(2)),
                      List("abcd", {Chunk("avih", Zeros(56))}), List("movi", {})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_llMoviPos, PosOf(file, "movi") - 8);
}

TEST(ChunkWalk, RiffSizeLargerThanTheFile) {
    const Bytes file =
        RiffWithSize("AVI ", 10'000'000, {List("hdrl", {Avih({})}), List("movi", {})});
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(p, file));
    EXPECT_EQ(p.m_dwRiffSize, 10'000'000u);
    EXPECT_EQ(p.m_qwDataSize, 10'000'000u);
    EXPECT_EQ(p.m_qwFileSize, file.size());
}

TEST(ChunkWalk, ReparseResetsResults) {
    CAviParser p;
    ASSERT_TRUE(ParseFileBytes(
        p, BuildSimpleAvi({.frames = 30, .keyInterval = 5, .audio = true, .software = "First"})));
    EXPECT_EQ(p.m_nKeyFrames, 6u);
    EXPECT_DOUBLE_EQ(p.m_arKeyFrames.Time(5), 1.0);
    ASSERT_TRUE(ParseFileBytes(p, Riff("AVI ", {List("hdrl", {Avih({})})})));
    EXPECT_EQ(p.m_nKeyFrames, 0u);
    EXPECT_TRUE(p.m_arKeyFrames.empty());
    EXPECT_EQ(p.m_AudioHeader.fccType, 0u);
    EXPECT_EQ(p.m_strSoftware, "");
    EXPECT_EQ(p.m_llIndexPos, 0);
}

}  // namespace
}  // namespace plovik::test
