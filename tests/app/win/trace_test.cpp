// The trace channel on Windows: a window titled "RECV" receives the messages.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "main_app.h"
#include "plovik/avi_parser.h"
#include "plovik/trace.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"
#include "tick_clock.h"

namespace plovik::win {
namespace {

struct Received {
    ULONG_PTR tag;
    std::string bytes;
};
std::vector<Received> g_received;

LRESULT CALLBACK ReceiverProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COPYDATA) {
        auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        g_received.push_back(
            {cds->dwData, std::string(static_cast<const char*>(cds->lpData), cds->cbData)});
        return TRUE;
    }
    return DefWindowProcW(h, msg, wParam, lParam);
}

// A top-level window titled "RECV" on this thread, as a trace viewer would show it.
class Receiver {
  public:
    Receiver() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ReceiverProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PlovikTraceReceiver";
        RegisterClassW(&wc);
        m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"RECV", WS_OVERLAPPED, 0, 0, 100, 50,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        g_received.clear();
    }
    ~Receiver() { DestroyWindow(m_hWnd); }

  private:
    HWND m_hWnd;
};

TEST(TraceChannel, ReceiverGetsTheExactBytesAndANul) {
    Receiver receiver;
    TraceOut("frame %d of %s", 7, "clip");
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].tag, 0u);
    EXPECT_EQ(g_received[0].bytes, std::string("frame 7 of clip\0", 16));
}

TEST(TraceChannel, WithoutReceiverNothingHappens) {
    g_received.clear();
    TraceOut("nobody listens");
    EXPECT_TRUE(g_received.empty());
}

TEST(TraceChannel, KoreanTextArrivesInCp949) {
    Receiver receiver;
    TraceOut("%s", "키프레임 시간 초과");
    ASSERT_EQ(g_received.size(), 1u);
    // "키프레임 시간 초과" in code page 949, then the NUL.
    EXPECT_EQ(g_received[0].bytes, std::string("\xc5\xb0\xc7\xc1\xb7\xb9\xc0\xd3 \xbd\xc3\xb0\xa3 "
                                               "\xc3\xca\xb0\xfa\0",
                                               19));
}

// A clock far past any limit from its second reading on (the first starts the scan).
std::uint32_t g_clockReads = 0;
std::uint32_t LateAfterTheStart() { return g_clockReads++ == 0 ? 0 : 1'000'000u; }

TEST(TraceChannel, KeyFrameTimeOutReachesTheReceiver) {
    using namespace test;
    // Audio entries before any video: each one reads the clock.
    const Bytes entries = IndexEntries({Audio(), Audio(), Audio()});
    TempDir temp;
    std::string avi = temp.Write(
        "long.avi",
        Riff("AVI ", {List("hdrl", {Avih({})}), List("movi", {}), Chunk("idx1", entries)}));
    Receiver receiver;
    InstallTraceChannel();
    g_clockReads = 0;
    SetTickSource(LateAfterTheStart);
    CAviParser parser;
    parser.Parse(avi, 1, false);
    SetTickSource(nullptr);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].tag, 0u);
    EXPECT_EQ(g_received[0].bytes, std::string("key frame reading time over..\0", 30));
}

}  // namespace
}  // namespace plovik::win
