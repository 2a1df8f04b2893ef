// The real executable: exit statuses, what goes to standard output and standard error,
// the progress line on a terminal; on Windows, a folder with a Korean name.
#ifndef _WIN32

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "golden_files.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

// Single-quoted for /bin/sh.
std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a shell command line and returns its exit status.
int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs plovik-report with args (already quoted) and returns its exit status; stdout goes to
// outPath.
int RunProcess(const std::string& args, const std::string& outPath) {
    return Shell(Quote(PLOVIK_REPORT_EXE) + " " + args + " >" + Quote(outPath) + " 2>/dev/null");
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

// Check lines on standard output, diagnostics and the summary on standard error; and the
// JSON of a folder of good and damaged files (one with a name that is not UTF-8) reads
// as JSON.
TEST(CliProcess, CheckStreamsAndJsonOfAFolder) {
    test::TempDir dir;
    const std::string good = dir.Write("good.avi", test::BuildSimpleAvi());
    const std::string full = test::BuildSimpleAvi();
    dir.Write("cut\xFF.avi", full.substr(0, full.size() - 20));
    dir.Write("text.avi", "plain text");
    const std::string out = dir.PathOf("out.txt");
    const std::string err = dir.PathOf("err.txt");
    const std::string exe = Quote(PLOVIK_REPORT_EXE);
    const std::string missing = dir.PathOf("gone.avi");

    EXPECT_EQ(Shell(exe + " --check --quick " + Quote(good) + " " + Quote(missing) + " >" +
                    Quote(out) + " 2>" + Quote(err)),
              1);
    EXPECT_EQ(test::ReadFileBytes(out),
              good + ": ok (movie data not read)\n" + missing +
                  ": cannot open (No such file or directory) [file.open_failed]\n");
    EXPECT_EQ(test::ReadFileBytes(err),
              "plovik-report: " + missing +
                  ": No such file or directory\n"
                  "2 files: 1 ok, 0 with warnings, 0 damaged, 1 unreadable; movie data not "
                  "read (--quick)\n");

    const std::string folder = dir.PathOf("");
    EXPECT_EQ(Shell(exe + " --format json " + Quote(folder) + " 2>/dev/null | jq -e -s " +
                    Quote("length == 3 and .[0].status == \"index_failed\"") + " >/dev/null"),
              0);
}

// A folder that cannot be read gives its diagnostic and its status; the walk goes on. Run
// as an ordinary user, for whom the folder's mode counts.
TEST(CliProcess, UnreadableFolder) {
    test::TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directory(dir.path() / "locked");
    const std::string avi = test::BuildSimpleAvi();
    dir.Write("a.avi", avi);
    dir.Write("locked/b.avi", avi);
    dir.Write("z.avi", avi);
    fs::copy_file(PLOVIK_REPORT_EXE, dir.path() / "plovik-report");
    ASSERT_EQ(::chmod(dir.PathOf("locked").c_str(), 0), 0);
    const std::string asUser =
        ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string err = dir.PathOf("err.txt");
    const int status = Shell(asUser + Quote(dir.PathOf("plovik-report")) + " --check --quick " +
                             Quote(dir.PathOf("")) + " >/dev/null 2>" + Quote(err));
    ::chmod(dir.PathOf("locked").c_str(), 0700);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(test::ReadFileBytes(err), "plovik-report: " + dir.PathOf("locked") +
                                            ": Permission denied\n"
                                            "3 files: 2 ok, 0 with warnings, 0 damaged, 1 "
                                            "unreadable; movie data not read (--quick)\n");
}

// A disk whose reads fail from a byte on, through the real file layer: the read error at the
// first byte the system cannot read is the verdict and the status, never damage, in the
// check line, the text report, JSON and CSV.
TEST(CliProcess, ReadErrorOfAFailingDisk) {
    test::TempDir dir;
    const test::Bytes bytes = test::BuildSimpleAvi({.frames = 200});
    const std::string clip = dir.Write("clip.avi", bytes);
    const std::string out = dir.PathOf("out.txt");
    auto failingAt = [&](std::size_t failAt, const std::string& args) {
        const std::string env = std::string("ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=") +
                                Quote(PLOVIK_IO_FAULTS) + " PLOVIK_FAIL_PATH=" +
                                Quote(std::filesystem::canonical(clip).string()) +
                                " PLOVIK_FAIL_AT=" + std::to_string(failAt) + " ";
        return Shell(env + Quote(PLOVIK_REPORT_EXE) + " " + args + " " + Quote(clip) + " >" +
                     Quote(out) + " 2>/dev/null");
    };
    const std::size_t inHeaders = bytes.find("strl") + 5;
    const std::size_t inMovie = bytes.find("movi") + 1001;
    const std::string movieAt = std::to_string(inMovie);
    ASSERT_EQ(movieAt, "1323");

    EXPECT_EQ(failingAt(inMovie, "--check --scan"), 1);
    EXPECT_EQ(test::ReadFileBytes(out),
              clip + ": read error at byte 1323 (Input/output error) [read.failed]\n");

    EXPECT_EQ(failingAt(inHeaders, ""), 1);
    EXPECT_EQ(test::ReadFileBytes(out), "\n 파일 읽기 실패 (" + std::to_string(inHeaders) +
                                            " 바이트 위치: Input/output error)\n");
    EXPECT_EQ(failingAt(inMovie, "--scan"), 1);
    const std::string report = test::ReadFileBytes(out);
    EXPECT_NE(report.find("\n* 데이터 검사\n"
                          "    읽기 실패          : 1,323 바이트 위치 (Input/output error)\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("    손상 구간          : 없음\n"), std::string::npos) << report;

    for (const std::size_t at : {inHeaders, inMovie}) {
        EXPECT_EQ(failingAt(at, "--format json --scan"), 1);
        const std::string status = "jq -e " +
                                   Quote(
                                       ".status == \"read_failed\" and .read_error == "
                                       "{\"position\": " +
                                       std::to_string(at) +
                                       ", \"reason\": \"Input/output error\"} and "
                                       "(.scan.damaged_region_count // 0) == 0") +
                                   " " + Quote(out) + " >/dev/null";
        EXPECT_EQ(Shell(status), 0) << test::ReadFileBytes(out);
        EXPECT_EQ(failingAt(at, "--format csv"), 1);
        EXPECT_NE(test::ReadFileBytes(out).find("\r\n" + clip + ",read_failed,"), std::string::npos)
            << test::ReadFileBytes(out);
    }
}

// In a child before exec: the program loads the I/O faults library (support/io_faults.cpp),
// which the sanitizers let come first.
void LoadIoFaults() {
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(),
             1);
    ::setenv("LD_PRELOAD", PLOVIK_IO_FAULTS, 1);
}

// Lets a child that stops at each read of its stop path go on until it ends; its status.
int ContinueUntilEnd(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status))
        ::kill(child, SIGCONT);
    return status;
}

// Appends what the terminal has to show within timeoutMs.
void ReadTerminal(int master, int timeoutMs, std::string& terminal) {
    pollfd ready{master, POLLIN, 0};
    char buffer[256];
    ssize_t got = 0;
    while (::poll(&ready, 1, timeoutMs) > 0 && (got = ::read(master, buffer, sizeof buffer)) > 0) {
        terminal.append(buffer, static_cast<std::size_t>(got));
        timeoutMs = 0;
    }
}

// Standard error on a pseudo-terminal: the progress line, cleared for the summary. Each
// read of the file stops the child, which goes on only after 10 ms in which the terminal
// showed nothing new: the run outlasts its quiet second however fast the machine. Once the
// line is there the child runs freely. (The clock's part: batch_test.cpp.)
TEST(CliProcess, ProgressLineOnATerminal) {
    test::TempDir dir;
    const std::string clip = dir.Write("clip.avi", test::BuildSimpleAvi());
    std::string names;
    for (int i = 0; i < 300; ++i) names += clip + '\0';
    const std::string list = "--files0-from=" + dir.Write("names", names);
    const std::string stopPath = std::filesystem::canonical(clip).string();

    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(master);
        ::dup2(::open("/dev/null", O_WRONLY), 1);
        ::dup2(slave, 2);
        ::setenv("PLOVIK_STOP_PATH", stopPath.c_str(), 1);
        LoadIoFaults();
        ::execl(PLOVIK_REPORT_EXE, "plovik-report", "-j", "1", "--check", "--quick", list.c_str(),
                nullptr);
        ::_exit(127);
    }
    ::close(slave);
    std::string terminal;
    int status = 0;
    while (::waitpid(child, &status, WUNTRACED) == child && WIFSTOPPED(status)) {
        const bool shown = terminal.find("/300 files") != std::string::npos;
        ReadTerminal(master, shown ? 0 : 10, terminal);
        ::kill(child, SIGCONT);
    }
    ReadTerminal(master, 0, terminal);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string summary =
        "\r300 files: 300 ok, 0 with warnings, 0 damaged, 0 unreadable; movie data not read "
        "(--quick)\r\n";
    ASSERT_TRUE(terminal.ends_with(summary)) << terminal;
    const std::string progress = terminal.substr(0, terminal.size() - summary.size());
    EXPECT_TRUE(std::regex_match(progress, std::regex("(\r[0-9]+/300 files *)+\r +"))) << progress;
}

// A name list of one file named so many times that its records far outgrow a pipe.
std::string LongNameList(test::TempDir& dir, const std::string& clip) {
    constexpr int kNames = 200000;
    std::string names;
    names.reserve(kNames * (clip.size() + 1));
    for (int i = 0; i < kNames; ++i) names += clip + '\0';
    return dir.Write("names", names);
}

// SIGTERM in the middle of a run of two jobs: the records written so far are whole, and
// the process ends as the signal ends it. The run stands still at the first read of held.avi
// when the signal comes. Named after 1000 files, more than the window of results holds (64
// a job), held.avi starts only once the first records have been written.
TEST(CliProcess, SignalEndsTheRunWithWholeRecords) {
    test::TempDir dir;
    const test::Bytes avi = test::BuildSimpleAvi();
    const std::string clip = dir.Write("clip.avi", avi);
    const std::string held = dir.Write("held.avi", avi);
    std::string names;
    for (int i = 0; i < 2000; ++i) names += (i == 1000 ? held : clip) + '\0';
    const std::string list = "--files0-from=" + dir.Write("names", names);
    const std::string stopPath = std::filesystem::canonical(held).string();
    const std::string out = dir.Write("out.txt", "");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(::open(out.c_str(), O_WRONLY), 1);
        ::dup2(::open("/dev/null", O_WRONLY), 2);
        ::setenv("PLOVIK_STOP_PATH", stopPath.c_str(), 1);
        LoadIoFaults();
        ::execl(PLOVIK_REPORT_EXE, "plovik-report", "-j", "2", "--check", list.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status)) << status;
    ::kill(child, SIGTERM);
    ::kill(child, SIGCONT);
    status = ContinueUntilEnd(child);
    const std::string written = test::ReadFileBytes(out);
    ASSERT_FALSE(written.empty());
    ASSERT_EQ(written.back(), '\n');
    for (std::size_t at = 0; at < written.size();) {
        const std::size_t end = written.find('\n', at) + 1;
        const std::string line = written.substr(at, end - at);
        ASSERT_TRUE(line == clip + ": ok\n" || line == held + ": ok\n") << "at byte " << at;
        at = end;
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

// A file-size limit reached while writing the records is a failed write: its message, exit
// status 1, and the output ends with the last record it took whole.
TEST(CliProcess, FileSizeLimitIsAFailedWrite) {
    test::TempDir dir;
    const std::string clip = dir.Write("clip.avi", test::BuildSimpleAvi());
    std::string names;
    for (int i = 0; i < 100; ++i) names += clip + '\0';
    const std::string list = "--files0-from=" + dir.Write("names", names);
    const std::string out = dir.Write("out.txt", "");
    const std::string err = dir.PathOf("err.txt");
    const std::string line = clip + ": ok\n";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(::open(out.c_str(), O_WRONLY), 1);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT, 0600), 2);
        const rlimit limit{10 * line.size() + line.size() / 2, RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::execl(PLOVIK_REPORT_EXE, "plovik-report", "--check", list.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    std::string lines;
    for (int i = 0; i < 10; ++i) lines += line;
    EXPECT_EQ(test::ReadFileBytes(out), lines);
    EXPECT_EQ(test::ReadFileBytes(err), "plovik-report: cannot write the report\n");
}

// A reader that goes away ends the run: at once by SIGPIPE, or, where SIGPIPE is ignored,
// with status 1 and the reason.
TEST(CliProcess, ClosedPipeEndsTheRun) {
    test::TempDir dir;
    const std::string list = LongNameList(dir, dir.Write("clip.avi", test::BuildSimpleAvi()));
    const std::string run = Quote(PLOVIK_REPORT_EXE) + " -j 2 --files0-from=" + Quote(list);
    EXPECT_EQ(Shell(run + " | head -c 100 >/dev/null"), 0);
    const std::string err = dir.PathOf("err.txt");
    const std::string status = dir.PathOf("status.txt");
    EXPECT_EQ(Shell("(trap '' PIPE; { " + run + " 2>" + Quote(err) + "; echo $? >" + Quote(status) +
                    "; } | head -c 100 >/dev/null)"),
              0);
    EXPECT_EQ(test::ReadFileBytes(status), "1\n");
    EXPECT_EQ(test::ReadFileBytes(err), "plovik-report: cannot write the report\n");
}

}  // namespace
}  // namespace plovik

#else  // _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "plovik/text_encoding.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik {
namespace {

// Runs plovik-report.exe with a UTF-16 command line; its standard output goes to outPath.
DWORD RunProcess(const std::wstring& args, const std::string& outPath) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(Utf8ToWide(outPath).c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS,
                             0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + Utf8ToWide(PLOVIK_REPORT_EXE) + L"\" " + args;
    PROCESS_INFORMATION process{};
    DWORD status = 255;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    return status;
}

TEST(CliProcess, FolderWithAKoreanName) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / u8"한글 폴더");
    const std::string clip = dir.Write("한글 폴더/클립.AVI", test::BuildSimpleAvi());
    const std::string folder = dir.PathOf("한글 폴더");
    const std::string out = dir.PathOf("out.txt");
    EXPECT_EQ(RunProcess(L"--check \"" + Utf8ToWide(folder) + L"\"", out), 0u);
    EXPECT_EQ(test::ReadFileBytes(out), folder + "\\클립.AVI: ok\n");
}

}  // namespace
}  // namespace plovik

#endif
