#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <poll.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "plovik/text_encoding.h"
#include "plovik/trace.h"
#include "plovik/trace_receiver.h"

namespace plovik {
namespace {

// A title becomes part of a file name: anything but letters, digits, '-', '_' and
// '.' is replaced.
std::string SafeTitle(const std::string& title) {
    std::string safe = title;
    for (char& c : safe) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        if (!plain) c = '_';
    }
    return safe;
}

// The socket address for a title; false when the path does not fit.
bool MakeAddress(const std::string& title, sockaddr_un& address) {
    const std::string path = TraceSocketPath(title);
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

std::string TraceSocketPath(const std::string& title) {
    std::string dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
        dir = runtime;
    } else {
        std::error_code error;
        dir = std::filesystem::temp_directory_path(error).string();
        if (error) dir = "/tmp";
    }
    if (dir.back() != '/') dir += '/';
    return dir + "plovik-trace-" + std::to_string(::getuid()) + "-" + SafeTitle(title);
}

// One datagram, never waiting: without a receiver, or with a full one, it is dropped.
void SendToReceiver(const char* pszWindowName, const char* pszText) {
    sockaddr_un address;
    if (!MakeAddress(pszWindowName, address)) return;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const std::string payload = Utf8ToCp949(pszText);
    ::sendto(fd, payload.c_str(), payload.size() + 1, MSG_DONTWAIT | MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
}

TraceReceiver::~TraceReceiver() { Close(); }

bool TraceReceiver::Open(const std::string& title) {
    Close();
    sockaddr_un address;
    if (!MakeAddress(title, address)) return false;
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return false;
    ::unlink(address.sun_path);  // a socket left behind by a receiver that died
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Close();
        return false;
    }
    m_path = address.sun_path;
    ::chmod(m_path.c_str(), 0600);
    return true;
}

void TraceReceiver::Close() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_path.empty()) ::unlink(m_path.c_str());
    m_fd = -1;
    m_path.clear();
}

TraceReceiver::Result TraceReceiver::Receive(int timeoutMs, std::string& payload) {
    if (m_fd < 0) return Result::Error;
    pollfd wait{m_fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, timeoutMs);
    if (ready < 0) return errno == EINTR ? Result::Interrupted : Result::Error;
    if (ready == 0) return Result::TimedOut;
    char buffer[65536];
    const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
    if (got < 0) return errno == EINTR ? Result::Interrupted : Result::Error;
    payload.assign(buffer, static_cast<std::size_t>(got));
    return Result::Message;
}

}  // namespace plovik
