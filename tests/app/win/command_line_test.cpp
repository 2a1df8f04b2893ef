// The command line after the program's name, and the path start-up takes from it.
#include <gtest/gtest.h>

#include "command_line.h"

namespace plovik::win {
namespace {

TEST(CommandLineTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
    EXPECT_EQ(CommandLineTail(L"plovik.exe"), L"");
    EXPECT_EQ(CommandLineTail(L"plovik.exe   a b"), L"a b");
    EXPECT_EQ(CommandLineTail(L"\"C:\\Program Files\\plovik.exe\" \"x y.avi\""), L"\"x y.avi\"");
    EXPECT_EQ(CommandLineTail(L"\"C:\\a b\"\\plovik.exe\targ"), L"arg");
    EXPECT_EQ(CommandLineTail(L"\"unterminated name"), L"");
    EXPECT_EQ(CommandLineTail(L""), L"");
    EXPECT_EQ(CommandLineTail(nullptr), L"");
}

TEST(FirstCommandLinePath, TakesTheFirstWordWithItsBackslashes) {
    EXPECT_EQ(FirstCommandLinePath(L"\"C:\\my dir\\클립.avi\" D:\\second.avi"),
              "C:\\my dir\\클립.avi");
    EXPECT_EQ(FirstCommandLinePath(L"D:\\video\\a.avi other"), "D:\\video\\a.avi");
    EXPECT_EQ(FirstCommandLinePath(L"\"\""), "");
    EXPECT_EQ(FirstCommandLinePath(L"\"C:\\no end.avi"), std::nullopt);
    EXPECT_EQ(FirstCommandLinePath(L""), std::nullopt);
}

}  // namespace
}  // namespace plovik::win
