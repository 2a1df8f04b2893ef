// One-way diagnostic channel to a receiver named by a title ("RECV").
// Windows: WM_COPYDATA to the top-level window of that title. POSIX: a Unix
// datagram socket named after the title, per user. A missing or stalled
// receiver never blocks or fails the caller.
#pragma once

#include <string>

namespace plovik {

constexpr const char* kTraceReceiverTitle = "RECV";

// printf-style; the text goes to the receiver titled "RECV".
void TraceOut(const char* pszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Sends pszText (UTF-8 here; the payload is CP949 with its NUL) to the receiver titled
// pszWindowName.
void SendToReceiver(const char* pszWindowName, const char* pszText);

#if !defined(_WIN32)
// Socket path of the receiver with this title: $XDG_RUNTIME_DIR (else the temp
// directory) / "plovik-trace-<uid>-<title>".
std::string TraceSocketPath(const std::string& title);
#endif

}  // namespace plovik
