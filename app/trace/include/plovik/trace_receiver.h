// The receiving end of the trace channel on POSIX: a datagram socket bound to the
// title's path. Used by the plovik-trace command and by tests.
#pragma once

#if !defined(_WIN32)

#include <sys/types.h>

#include <string>

struct sockaddr_un;

namespace plovik {

class TraceReceiver {
  public:
    TraceReceiver() = default;
    ~TraceReceiver();
    TraceReceiver(const TraceReceiver&) = delete;
    TraceReceiver& operator=(const TraceReceiver&) = delete;

    // Listens under a title, replacing a socket of this user that no receiver listens at
    // any more. False, with the reason in Error(), when the folder may not be used or
    // something else holds the name (it is never removed).
    bool Open(const std::string& title);
    // Stops listening and removes the socket, if it is still the one Open bound.
    void Close();
    const std::string& Error() const { return m_error; }

    enum class Result { Message, TimedOut, Interrupted, Error };
    // Waits up to timeoutMs (-1: no limit) for one message; its raw bytes (CP949
    // text and a NUL) go to payload.
    Result Receive(int timeoutMs, std::string& payload);

  private:
    bool Fail(std::string error);
    bool RemoveStaleSocket(const std::string& name, const sockaddr_un& address);

    int m_fd = -1;
    int m_dirFd = -1;  // the checked folder: names are looked up in it
    std::string m_name;
    dev_t m_device = 0;  // which file the bound socket is
    ino_t m_inode = 0;
    std::string m_error;
};

}  // namespace plovik

#endif
