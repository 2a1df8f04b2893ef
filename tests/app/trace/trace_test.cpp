// The trace channel end to end: sender, receiver socket, the analyser's time-out
// and the plovik-trace command.
#include <gtest/gtest.h>

#include <chrono>

#include "byte_source.h"
#include "plovik/avi_parser.h"
#include "plovik/trace.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "plovik/trace_receiver.h"
#endif

namespace plovik::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string UniqueTitle(const char* name) {
    return std::string("plovik-test-") + name + "-" +
           std::to_string(Clock::now().time_since_epoch().count());
}

TEST(Trace, WithoutReceiverReturnsAtOnce) {
    const std::string title = UniqueTitle("none");
    const auto start = Clock::now();
    for (int i = 0; i < 100; ++i) SendToReceiver(title.c_str(), "nobody listens");
    TraceOut("no receiver %d", 1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
}

#if !defined(_WIN32)

// Every test gets its own runtime directory, so parallel runs and a receiver the
// user may have running never meet.
class TraceChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_oldRuntimeDir = old != nullptr ? old : "";
        m_hadRuntimeDir = old != nullptr;
        ::setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
    }
    void TearDown() override {
        if (m_hadRuntimeDir) {
            ::setenv("XDG_RUNTIME_DIR", m_oldRuntimeDir.c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
        SetTraceSink(nullptr);
    }

    // The next message, or "<none>" after a second.
    static std::string Next(TraceReceiver& receiver) {
        std::string payload;
        if (receiver.Receive(1000, payload) != TraceReceiver::Result::Message) return "<none>";
        return payload;
    }

    TempDir m_dir;
    std::string m_oldRuntimeDir;
    bool m_hadRuntimeDir = false;
};

TEST_F(TraceChannel, SocketPathIsPerUserAndTitle) {
    const std::string uid = std::to_string(::getuid());
    EXPECT_EQ(TraceSocketPath("RECV"), m_dir.path().string() + "/plovik-trace-" + uid + "-RECV");
    EXPECT_EQ(TraceSocketPath("a/b c"), m_dir.path().string() + "/plovik-trace-" + uid + "-a_b_c");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(TraceSocketPath("RECV").rfind(std::filesystem::temp_directory_path().string(), 0),
              0u);
}

TEST_F(TraceChannel, ReceiverGetsTheTextAndOneNul) {
    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open("exact"));
    SendToReceiver("exact", "hello 123");
    EXPECT_EQ(Next(receiver), std::string("hello 123\0", 10));
    SendToReceiver("exact", "");
    EXPECT_EQ(Next(receiver), std::string(1, '\0'));
    SendToReceiver("exact", "\xed\x95\x9c\xea\xb8\x80 ok");  // Korean goes out as CP949
    EXPECT_EQ(Next(receiver), std::string("\xc7\xd1\xb1\xdb ok\0", 8));
}

TEST_F(TraceChannel, TraceOutFormatsForTheDefaultTitle) {
    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open(kTraceReceiverTitle));
    TraceOut("%s %d %05.1f", "frames", 42, 3.14159);
    EXPECT_EQ(Next(receiver), std::string("frames 42 003.1\0", 16));
}

TEST_F(TraceChannel, StalledReceiverNeverBlocks) {
    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open("stalled"));  // never reads: its queue fills up
    const auto start = Clock::now();
    const std::string text(1000, 'x');
    for (int i = 0; i < 5000; ++i) SendToReceiver("stalled", text.c_str());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
}

TEST_F(TraceChannel, IndexTimeOutIsTraced) {
    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open(kTraceReceiverTitle));
    SetTraceSink([](const char* text) { TraceOut("%s", text); });
    // Audio entries before any video: each one reads the clock.
    const Bytes entry = IndexEntries({Audio()});
    Bytes entries;
    for (int i = 0; i < 1'000'000; ++i) entries += entry;
    const Bytes file =
        Riff("AVI ", {List("hdrl", {Avih({})}), List("movi", {}), Chunk("idx1", entries)});
    CAviParser parser;
    EXPECT_FALSE(parser.ParseFrom(MakeMemorySource(file), "big.avi", 1, false));
    EXPECT_EQ(parser.m_nError, PARSE_ERR_INDEX);
    EXPECT_EQ(Next(receiver), std::string("key frame reading time over..\0", 30));
}

#if defined(PLOVIK_TRACE_COMMAND)

// Runs plovik-trace with arguments; its stdout comes through a pipe.
struct Command {
    pid_t pid = -1;
    int out = -1;
};

Command Start(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        std::vector<char*> argv{const_cast<char*>(PLOVIK_TRACE_COMMAND)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(PLOVIK_TRACE_COMMAND, argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

// Waits for the command to end; its exit code and everything it printed.
std::pair<int, std::string> Finish(const Command& command) {
    std::string output;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(command.out, buffer, sizeof buffer)) > 0) output.append(buffer, got);
    ::close(command.out);
    int status = 0;
    ::waitpid(command.pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST_F(TraceChannel, CommandPrintsMessagesAndStopsCleanly) {
    const Command command = Start({"cmd"});
    ASSERT_GT(command.pid, 0);
    const std::string socket = TraceSocketPath("cmd");
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) ::usleep(10'000);
    ASSERT_TRUE(std::filesystem::exists(socket));
    SendToReceiver("cmd", "first line");
    SendToReceiver("cmd", "\xed\x95\x9c\xea\xb8\x80");
    ::usleep(100'000);
    ::kill(command.pid, SIGTERM);
    const auto [code, output] = Finish(command);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(output, "first line\n\xed\x95\x9c\xea\xb8\x80\n");
    EXPECT_FALSE(std::filesystem::exists(socket));  // removed on the way out
}

TEST_F(TraceChannel, CommandHelp) {
    const auto [code, output] = Finish(Start({"--help"}));
    EXPECT_EQ(code, 0);
    EXPECT_NE(output.find("Usage: plovik-trace"), std::string::npos);
    EXPECT_EQ(Finish(Start({"--bogus"})).first, 2);
}

#endif  // PLOVIK_TRACE_COMMAND
#endif  // !_WIN32

}  // namespace
}  // namespace plovik::test
