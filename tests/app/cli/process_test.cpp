// The real executable: exit statuses and the bytes on standard output (POSIX shells only).
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "golden_files.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

// Single-quoted for /bin/sh.
std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs plovik-report with args (already quoted) and returns its exit status; stdout goes to
// outPath.
int RunProcess(const std::string& args, const std::string& outPath) {
    const std::string command =
        Quote(PLOVIK_REPORT_EXE) + " " + args + " >" + Quote(outPath) + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliProcess, ExitStatusAndOutputBytes) {
    test::TempDir dir;
    const std::string out = dir.PathOf("out.txt");
    EXPECT_EQ(RunProcess("", out), 2);
    EXPECT_EQ(RunProcess("--encoding ascii x.avi", out), 2);
    EXPECT_EQ(RunProcess("--version", out), 0);
    EXPECT_EQ(test::ReadFileBytes(out), std::string("plovik-report ") + PLOVIK_VERSION + "\n");
    EXPECT_EQ(RunProcess(Quote(dir.PathOf("missing.avi")), out), 1);

    const std::vector<test::GoldenFile> golden = test::LoadGoldenFiles();
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(RunProcess(Quote(golden[0].aviPath), out), 0);
    EXPECT_EQ(test::ReadFileBytes(out), golden[0].expected);
}

}  // namespace
}  // namespace plovik

#endif
