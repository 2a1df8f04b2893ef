// One-way diagnostic channel to a receiver named by a title ("RECV").
// Windows: WM_COPYDATA to the top-level window of that title. POSIX: a Unix
// datagram socket named after the title in a folder that only its user can enter.
// A missing or stalled receiver never blocks or fails the caller.
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
// The folder of the channel's sockets: "plovik-trace-<uid>" in $XDG_RUNTIME_DIR when it
// is an absolute path, else in the temp directory. It is used only while it is a real
// directory of this user with mode 0700 (no group or other access), in a parent where no
// one else can rename it; the receiver creates it when it is missing.
std::string TraceFolder();
// Socket path of the receiver with this title: TraceFolder() / the title, with every
// byte but letters, digits, '-', '_' and '.' replaced by '_'. The sender sends only to
// a socket of its own user there (a symbolic link is never followed).
std::string TraceSocketPath(const std::string& title);
#endif

}  // namespace plovik
