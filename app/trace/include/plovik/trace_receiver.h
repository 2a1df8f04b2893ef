// The receiving end of the trace channel on POSIX: a datagram socket bound to the
// title's path. Used by the plovik-trace command and by tests.
#pragma once

#if !defined(_WIN32)

#include <string>

namespace plovik {

class TraceReceiver {
  public:
    TraceReceiver() = default;
    ~TraceReceiver();
    TraceReceiver(const TraceReceiver&) = delete;
    TraceReceiver& operator=(const TraceReceiver&) = delete;

    // Listens under a title, replacing a socket left behind by an earlier receiver.
    bool Open(const std::string& title);
    void Close();

    enum class Result { Message, TimedOut, Interrupted, Error };
    // Waits up to timeoutMs (-1: no limit) for one message; its raw bytes (CP949
    // text and a NUL) go to payload.
    Result Receive(int timeoutMs, std::string& payload);

  private:
    int m_fd = -1;
    std::string m_path;
};

}  // namespace plovik

#endif
