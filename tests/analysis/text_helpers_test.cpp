// FourCC text and the path helpers.
#include <gtest/gtest.h>

#include "plovik/avi_parser.h"

namespace plovik {
namespace {

TEST(FourCCToString, BytesInFileOrderUpToAZero) {
    EXPECT_EQ(MakeFourCC("DIVX"), 0x58564944u);
    EXPECT_EQ(FourCCToString(0x58564944u), "DIVX");
    EXPECT_EQ(FourCCToString(MakeFourCC("AVI ")), "AVI ");
    EXPECT_EQ(FourCCToString(0x00006261u), "ab");
    EXPECT_EQ(FourCCToString(0x64006261u), "ab");
    EXPECT_EQ(FourCCToString(0), "");
    EXPECT_EQ(FourCCToString(0xB1C7DBC7u), "\xc7\xdb\xc7\xb1");
}

TEST(PathHelpers, SplitWindowsAndPosixPaths) {
    struct Case {
        std::string path, nameExt, name, dir;
    };
    const Case cases[] = {
        {"C:\\video\\clip.avi", "clip.avi", "clip", "\\video\\"},
        {"/home/user/movies/a.b.avi", "a.b.avi", "a.b", "/home/user/movies/"},
        {"D:clip.AVI", "clip.AVI", "clip", ""},
        {"clip", "clip", "clip", ""},
        {"dir/sub\\", "", "", "dir/sub\\"},
        {"/x/.hidden", ".hidden", "", "/x/"},
        {"\\\\server\\share\\f.avi", "f.avi", "f", "\\\\server\\share\\"},
        {"", "", "", ""},
        {"/\xed\x95\x9c/\xea\xb8\x80.avi", "\xea\xb8\x80.avi", "\xea\xb8\x80", "/\xed\x95\x9c/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetFileNameExt(c.path), c.nameExt) << c.path;
        EXPECT_EQ(GetFileNameOnly(c.path), c.name) << c.path;
        EXPECT_EQ(GetFileDirOnly(c.path), c.dir) << c.path;
    }
}

TEST(PathHelpers, NoLengthLimit) {
    const std::string dir = "/" + std::string(300, 'd') + "/";
    const std::string name = std::string(400, 'n');
    EXPECT_EQ(GetFileNameExt(dir + name + ".avi"), name + ".avi");
    EXPECT_EQ(GetFileDirOnly(dir + name + ".avi"), dir);
}

}  // namespace
}  // namespace plovik
