// plovik-trace: prints the trace messages sent to a receiver title ("RECV").
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "plovik/text_encoding.h"
#include "plovik/trace.h"
#include "plovik/trace_receiver.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

// Without SA_RESTART a signal interrupts the wait, so the loop sees the flag.
void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// A message as one line that cannot steer the terminal: a control character (C0 or DEL)
// is written as \xNN and a backslash as \\; any other text, Korean included, stays as
// it is. (Text decoded from CP949 holds no C1 control characters.)
std::string PrintableLine(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string line;
    line.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            line += "\\x";
            line += kHex[byte >> 4];
            line += kHex[byte & 0xF];
        } else if (c == '\\') {
            line += "\\\\";
        } else {
            line += c;
        }
    }
    return line;
}

void PrintUsage() {
    std::printf(
        "Usage: plovik-trace [TITLE]\n"
        "Receives the trace messages sent to TITLE (default \"%s\") and prints each on\n"
        "its own line; control characters are shown as \\xNN and a backslash as \\\\.\n"
        "Stop with Ctrl+C.\n",
        plovik::kTraceReceiverTitle);
}

}  // namespace

int main(int argc, char** argv) {
    std::string title = plovik::kTraceReceiverTitle;
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        const bool help =
            argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
        PrintUsage();
        return help ? 0 : 2;
    }
    if (argc == 2) title = argv[1];

    InstallStopHandlers();
    plovik::TraceReceiver receiver;
    if (!receiver.Open(title)) {
        std::fprintf(stderr, "plovik-trace: %s\n", receiver.Error().c_str());
        return 1;
    }
    std::fprintf(stderr, "plovik-trace: listening as \"%s\"\n", title.c_str());
    std::string payload;
    while (!g_stop) {
        const auto result = receiver.Receive(-1, payload);
        if (result == plovik::TraceReceiver::Result::Error) return 1;
        if (result != plovik::TraceReceiver::Result::Message) continue;
        const std::string text = payload.substr(0, payload.find('\0'));
        std::printf("%s\n", PrintableLine(plovik::Cp949ToUtf8(text)).c_str());
        std::fflush(stdout);
    }
    return 0;
}
