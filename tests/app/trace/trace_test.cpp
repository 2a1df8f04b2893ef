// The trace channel on POSIX end to end: sender, receiver socket and its private folder,
// the analyser's time-out and the plovik-trace command. (Windows: tests/app/win.)
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "byte_source.h"
#include "plovik/avi_parser.h"
#include "plovik/trace.h"
#include "plovik/trace_receiver.h"
#include "plovik/trace_sink.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
#include "tick_clock.h"

namespace plovik::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 54321;

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

    // The next message queued, or "<none>": a local datagram is queued by the time its send
    // returns, so nothing needs waiting for.
    static std::string Next(TraceReceiver& receiver) {
        std::string payload;
        if (receiver.Receive(0, payload) != TraceReceiver::Result::Message) return "<none>";
        return payload;
    }

    TempDir m_dir;
    std::string m_oldRuntimeDir;
    bool m_hadRuntimeDir = false;
};

// A datagram socket bound by hand, as another program (or another user) would leave one.
class PlantedSocket {
  public:
    explicit PlantedSocket(const fs::path& path) : m_fd(::socket(AF_UNIX, SOCK_DGRAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        m_bound = ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~PlantedSocket() { ::close(m_fd); }
    bool Bound() const { return m_bound; }
    // Local datagrams arrive while sendto runs, so nothing queued means nothing was sent.
    bool GotAnything() const {
        char byte;
        return ::recv(m_fd, &byte, 1, MSG_DONTWAIT) >= 0;
    }

  private:
    int m_fd;
    bool m_bound = false;
};

TEST_F(TraceChannel, SocketsLiveInAPrivateFolderPerUser) {
    const std::string folder =
        m_dir.path().string() + "/plovik-trace-" + std::to_string(::getuid());
    EXPECT_EQ(TraceFolder(), folder);
    EXPECT_EQ(TraceSocketPath("RECV"), folder + "/RECV");
    EXPECT_EQ(TraceSocketPath("a/b c"), folder + "/a_b_c");

    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open("RECV")) << receiver.Error();
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());

    // A relative runtime directory does not count: the temp directory serves.
    ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
    EXPECT_EQ(
        TraceFolder(),
        (fs::temp_directory_path() / ("plovik-trace-" + std::to_string(::getuid()))).string());
}

TEST_F(TraceChannel, ReceiverGetsTheTextAndOneNul) {
    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open("exact")) << receiver.Error();
    SendToReceiver("exact", "hello 123");
    EXPECT_EQ(Next(receiver), std::string("hello 123\0", 10));
    SendToReceiver("exact", "");
    EXPECT_EQ(Next(receiver), std::string(1, '\0'));
    SendToReceiver("exact", "\xed\x95\x9c\xea\xb8\x80 ok");  // Korean goes out as CP949
    EXPECT_EQ(Next(receiver), std::string("\xc7\xd1\xb1\xdb ok\0", 8));
}

TEST_F(TraceChannel, TraceOutFormatsForTheDefaultTitle) {
    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open(kTraceReceiverTitle)) << receiver.Error();
    TraceOut("%s %d %05.1f", "frames", 42, 3.14159);
    EXPECT_EQ(Next(receiver), std::string("frames 42 003.1\0", 16));
}

// Without a receiver a trace is dropped: the sender creates nothing, reaches no other
// title, and a receiver that starts later gets only what is sent after it started.
TEST_F(TraceChannel, WithoutReceiverTheTextIsDropped) {
    for (int i = 0; i < 100; ++i) SendToReceiver("absent", "nobody listens");
    TraceOut("no receiver %d", 1);
    EXPECT_FALSE(fs::exists(TraceFolder()));

    TraceReceiver other;
    ASSERT_TRUE(other.Open("other")) << other.Error();
    SendToReceiver("absent", "still nobody");
    EXPECT_FALSE(fs::exists(TraceSocketPath("absent")));
    EXPECT_EQ(Next(other), "<none>");

    TraceReceiver late;
    ASSERT_TRUE(late.Open("absent")) << late.Error();
    EXPECT_EQ(Next(late), "<none>");
    SendToReceiver("absent", "now");
    EXPECT_EQ(Next(late), std::string("now\0", 4));
}

// Waits for a child to end; one still running after a minute is taken for hung and killed.
// Whether it ended by itself, and its status.
bool WaitForEnd(pid_t child, int& status) {
    for (int i = 0; i < 6000; ++i) {
        if (::waitpid(child, &status, WNOHANG) == child) return true;
        ::usleep(10'000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

// A receiver that never reads fills its queue; the sender goes on without waiting (in a
// child process, so that a blocked send fails the test instead of hanging it).
TEST_F(TraceChannel, StalledReceiverNeverBlocks) {
    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open("stalled")) << receiver.Error();
    const std::string text(1000, 'x');
    const pid_t sender = ::fork();
    if (sender == 0) {
        for (int i = 0; i < 5000; ++i) SendToReceiver("stalled", text.c_str());
        ::_exit(0);
    }
    ASSERT_GT(sender, 0);
    int status = -1;
    ASSERT_TRUE(WaitForEnd(sender, status)) << "the sender blocked on a full receiver";
    int received = 0;
    std::string payload;
    while (receiver.Receive(0, payload) == TraceReceiver::Result::Message) {
        ++received;
        ASSERT_EQ(payload, text + '\0');
    }
    EXPECT_GT(received, 0);
    EXPECT_LT(received, 5000);  // the rest was dropped, not queued in the sender
    SendToReceiver("stalled", "after");
    EXPECT_EQ(Next(receiver), std::string("after\0", 6));
}

// What another user could plant in a shared temp directory. For each case the receiver
// refuses to listen, says why and removes nothing; the sender sends nothing there.
class PlantedInTheFolder : public TraceChannel {
  protected:
    struct Case {
        const char* name;
        std::function<void()> plant;
        const char* reason;
    };

    // A private folder made by hand, for the cases that plant a name in it.
    void MakeFolder() {
        fs::create_directory(m_folder);
        fs::permissions(m_folder, fs::perms::owner_all, fs::perm_options::replace);
    }
    // A socket where the sender might be led to; it must get nothing.
    void ListenAt(const fs::path& path) {
        m_listener = std::make_unique<PlantedSocket>(path);
        ASSERT_TRUE(m_listener->Bound()) << path;
    }

    void Check(const Case& c) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_folder);
        fs::permissions(m_dir.path(), fs::perms::owner_all, fs::perm_options::replace);
        m_listener.reset();
        c.plant();
        if (HasFatalFailure()) return;
        const auto before = fs::symlink_status(m_socket).type();

        SendToReceiver("RECV", "secret");
        if (m_listener) {
            EXPECT_FALSE(m_listener->GotAnything());
        }

        TraceReceiver receiver;
        EXPECT_FALSE(receiver.Open("RECV"));
        EXPECT_NE(receiver.Error().find(c.reason), std::string::npos) << receiver.Error();
        EXPECT_EQ(fs::symlink_status(m_socket).type(), before);
    }

    void SetUp() override {
        TraceChannel::SetUp();  // the folder's place depends on it
        m_folder = TraceFolder();
        m_socket = TraceSocketPath("RECV");
    }

    fs::path m_folder;
    fs::path m_socket;
    TempDir m_elsewhere;
    std::unique_ptr<PlantedSocket> m_listener;
};

TEST_F(PlantedInTheFolder, SymlinksWrongModesAndOtherFilesAreRefusedAndKept) {
    fs::permissions(m_elsewhere.path(), fs::perms::owner_all, fs::perm_options::replace);
    const Case cases[] = {
        {"folder is a symbolic link",
         [&] {
             ListenAt(m_elsewhere.path() / "RECV");
             fs::create_directory_symlink(m_elsewhere.path(), m_folder);
         },
         "it is a symbolic link"},
        {"folder open to others",
         [&] {
             MakeFolder();
             ListenAt(m_socket);
             fs::permissions(m_folder, fs::perms(0750), fs::perm_options::replace);
         },
         "other users can enter it (mode 0750"},
        {"folder's parent writable by others",
         [&] { fs::permissions(m_dir.path(), fs::perms::all, fs::perm_options::replace); },
         "without the sticky bit"},
        {"name is a symbolic link to a socket",
         [&] {
             MakeFolder();
             ListenAt(m_elsewhere.path() / "target");
             fs::create_symlink(m_elsewhere.path() / "target", m_socket);
         },
         "not a socket of this user"},
        {"name is a regular file",
         [&] {
             MakeFolder();
             m_dir.Write((m_folder.filename() / "RECV").string(), "keep me");
         },
         "not a socket of this user"},
    };
    for (const Case& c : cases) Check(c);
    EXPECT_EQ(ReadFileBytes(m_socket.string()), "keep me");  // the last case's file
}

TEST_F(PlantedInTheFolder, AnotherUsersFolderOrSocketIsRefusedAndKept) {
    if (::getuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    const Case cases[] = {
        {"folder of another user",
         [&] {
             MakeFolder();
             ListenAt(m_socket);
             ASSERT_EQ(::chown(m_folder.c_str(), kOtherUser, kOtherUser), 0);
         },
         "it belongs to user 54321"},
        {"name is a socket of another user",
         [&] {
             MakeFolder();
             ListenAt(m_socket);
             ASSERT_EQ(::lchown(m_socket.c_str(), kOtherUser, kOtherUser), 0);
         },
         "not a socket of this user"},
    };
    for (const Case& c : cases) Check(c);
}

// A socket of this user left by a receiver that died is replaced; a live one is not.
TEST_F(TraceChannel, StaleSocketIsReplacedALiveOneKept) {
    TraceReceiver first;
    ASSERT_TRUE(first.Open("RECV")) << first.Error();
    TraceReceiver second;
    EXPECT_FALSE(second.Open("RECV"));
    EXPECT_NE(second.Error().find("another receiver is listening"), std::string::npos);
    SendToReceiver("RECV", "to the first");
    EXPECT_EQ(Next(first), std::string("to the first\0", 13));

    // A receiver that closes removes only the socket it bound, not a newer one.
    ASSERT_EQ(::unlink(TraceSocketPath("RECV").c_str()), 0);
    ASSERT_TRUE(second.Open("RECV")) << second.Error();
    first.Close();
    SendToReceiver("RECV", "to the second");
    EXPECT_EQ(Next(second), std::string("to the second\0", 14));

    { PlantedSocket dead(fs::path(TraceSocketPath("stale"))); }  // closed: its file stays
    ASSERT_TRUE(fs::is_socket(TraceSocketPath("stale")));
    TraceReceiver replacing;
    ASSERT_TRUE(replacing.Open("stale")) << replacing.Error();
    SendToReceiver("stale", "fresh");
    EXPECT_EQ(Next(replacing), std::string("fresh\0", 6));
}

// A clock far past any limit from its second reading on (the first starts the scan).
std::uint32_t g_clockReads = 0;
std::uint32_t LateAfterTheStart() { return g_clockReads++ == 0 ? 0 : 1'000'000u; }

TEST_F(TraceChannel, IndexTimeOutIsTraced) {
    TraceReceiver receiver;
    ASSERT_TRUE(receiver.Open(kTraceReceiverTitle)) << receiver.Error();
    SetTraceSink([](const char* text) { TraceOut("%s", text); });
    // Audio entries before any video: each one reads the clock.
    const Bytes entry = IndexEntries({Audio()});
    const Bytes file = Riff(
        "AVI ", {List("hdrl", {Avih({})}), List("movi", {}), Chunk("idx1", entry + entry + entry)});
    g_clockReads = 0;
    SetTickSource(LateAfterTheStart);
    CAviParser parser;
    const bool parsed = parser.ParseFrom(MakeMemorySource(file), "big.avi", 1, false);
    SetTickSource(nullptr);
    EXPECT_FALSE(parsed);
    EXPECT_EQ(parser.m_nError, PARSE_ERR_INDEX);
    EXPECT_EQ(Next(receiver), std::string("key frame reading time over..\0", 30));
}

#if defined(PLOVIK_TRACE_COMMAND)

// Runs plovik-trace with arguments; its stdout and stderr come through pipes.
struct Command {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

Command Start(const std::vector<std::string>& args) {
    int outFds[2], errFds[2];
    if (::pipe(outFds) != 0 || ::pipe(errFds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFds[1], STDOUT_FILENO);
        ::dup2(errFds[1], STDERR_FILENO);
        ::close(outFds[0]);
        ::close(errFds[0]);
        std::vector<char*> argv{const_cast<char*>(PLOVIK_TRACE_COMMAND)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(PLOVIK_TRACE_COMMAND, argv.data());
        ::_exit(127);
    }
    ::close(outFds[1]);
    ::close(errFds[1]);
    return {pid, outFds[0], errFds[0]};
}

// Reads from fd until text holds `wanted` (empty: until the end); false at the end or after
// a minute without anything to read.
bool ReadUntil(int fd, std::string& text, const std::string& wanted = {}) {
    char buffer[4096];
    while (wanted.empty() || text.find(wanted) == std::string::npos) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 60'000) <= 0) return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) return wanted.empty();
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

struct Finished {
    int code;
    std::string out, err;
};

// What the command printed until it ended, and its exit code.
Finished Finish(const Command& command) {
    Finished done{-1, {}, {}};
    ReadUntil(command.out, done.out);
    ReadUntil(command.err, done.err);
    ::close(command.out);
    ::close(command.err);
    int status = 0;
    if (WaitForEnd(command.pid, status) && WIFEXITED(status)) done.code = WEXITSTATUS(status);
    return done;
}

// Each message is one line: control characters cannot reach the terminal, and a
// backslash doubles so that an escape and the text "\x1b" stay apart. The messages go once
// the command says it listens; it is stopped once it has printed the last.
TEST_F(TraceChannel, CommandPrintsEachMessageAsOneSafeLine) {
    const Command command = Start({"cmd"});
    ASSERT_GT(command.pid, 0);
    std::string err;
    ASSERT_TRUE(ReadUntil(command.err, err, "listening")) << err;
    SendToReceiver("cmd", "first line");
    SendToReceiver("cmd", "\xed\x95\x9c\xea\xb8\x80");
    SendToReceiver("cmd", "red\x1b[31m\ttab\r\nnext\x7f C:\\x1b end");
    std::string out;
    EXPECT_TRUE(ReadUntil(command.out, out, " end\n")) << out;
    ::kill(command.pid, SIGTERM);
    const Finished done = Finish(command);
    EXPECT_EQ(done.code, 0);
    EXPECT_EQ(out + done.out,
              "first line\n"
              "\xed\x95\x9c\xea\xb8\x80\n"
              "red\\x1b[31m\\x09tab\\x0d\\x0anext\\x7f C:\\\\x1b end\n");
    EXPECT_FALSE(fs::exists(TraceSocketPath("cmd")));  // removed on the way out
}

TEST_F(TraceChannel, CommandHelpAndRefusal) {
    Finished help = Finish(Start({"--help"}));
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: plovik-trace"), std::string::npos);
    EXPECT_EQ(Finish(Start({"--bogus"})).code, 2);

    fs::create_directory(TraceFolder());
    fs::permissions(TraceFolder(), fs::perms(0777), fs::perm_options::replace);
    Finished refused = Finish(Start({"cmd"}));
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err, "plovik-trace: cannot use " + TraceFolder() +
                               ": other users can enter it (mode 0777; it must be 0700)\n");
}

#endif  // PLOVIK_TRACE_COMMAND

}  // namespace
}  // namespace plovik::test
