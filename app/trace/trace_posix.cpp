#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

// A title becomes a file name: anything but letters, digits, '-', '_' and '.' is replaced.
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

std::string ErrnoText() { return std::strerror(errno); }

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Whether others could swap the folder for one of theirs between its check and its use:
// its parent must belong to this user or root and, when others may write there, be sticky.
std::string ParentProblem(const std::string& folder) {
    const std::string parent = std::filesystem::path(folder).parent_path().string();
    struct stat st {};
    if (::stat(parent.c_str(), &st) != 0) return "cannot examine " + parent + ": " + ErrnoText();
    if (st.st_uid != 0 && st.st_uid != ::getuid())
        return "other users can rename it (" + parent + " belongs to user " +
               std::to_string(st.st_uid) + ")";
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
        return "other users can rename it (" + parent +
               " is writable by others without the sticky bit)";
    return {};
}

// Why an opened folder may not carry the channel; empty when it may. Only a directory of
// this user that no one else can enter keeps the sockets in it private.
std::string FolderProblem(int dirFd) {
    struct stat st {};
    if (::fstat(dirFd, &st) != 0) return ErrnoText();
    if (st.st_uid != ::getuid()) return "it belongs to user " + std::to_string(st.st_uid);
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return "other users can enter it (mode " + ModeText(st.st_mode) + "; it must be 0700)";
    return {};
}

// Opens the channel's folder without following a symbolic link and checks it; -1 with the
// reason in error when it may not be used. The receiver creates a missing folder (0700).
int OpenFolder(bool create, std::string& error) {
    const std::string folder = TraceFolder();
    bool created = false;
    if (create && ::mkdir(folder.c_str(), 0700) == 0) created = true;
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0) {
        const std::string reason = ErrnoText();
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0)
            error = "cannot open " + folder + ": " + reason;
        else if (S_ISLNK(st.st_mode))
            error = "cannot use " + folder + ": it is a symbolic link";
        else if (!S_ISDIR(st.st_mode))
            error = "cannot use " + folder + ": it is not a directory";
        else
            error = "cannot open " + folder + ": " + reason;
        return -1;
    }
    if (created) ::fchmod(dirFd, 0700);  // whatever the umask took away
    std::string problem = FolderProblem(dirFd);
    if (problem.empty()) problem = ParentProblem(folder);
    if (!problem.empty()) {
        ::close(dirFd);
        error = "cannot use " + folder + ": " + problem;
        return -1;
    }
    return dirFd;
}

// The folder's entry itself, a symbolic link not followed; false when there is none.
bool StatEntry(int dirFd, const std::string& name, struct stat& st) {
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool IsOwnSocket(const struct stat& st) { return S_ISSOCK(st.st_mode) && st.st_uid == ::getuid(); }

bool IsListening(const sockaddr_un& address) {
    const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    const bool live =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return live;
}

}  // namespace

std::string TraceFolder() {
    std::string base;
    // Only an absolute runtime directory counts; a relative one is ignored.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/') {
        base = runtime;
    } else {
        std::error_code error;
        base = std::filesystem::temp_directory_path(error).string();
        if (error || base.empty()) base = "/tmp";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base != "/") base += '/';
    return base + "plovik-trace-" + std::to_string(::getuid());
}

std::string TraceSocketPath(const std::string& title) {
    return TraceFolder() + "/" + SafeTitle(title);
}

// One datagram, never waiting, and only to a socket of this user in the checked folder:
// without such a receiver, or with a full one, the text is dropped.
void SendToReceiver(const char* pszWindowName, const char* pszText) {
    sockaddr_un address;
    if (!MakeAddress(pszWindowName, address)) return;
    std::string error;
    const int dirFd = OpenFolder(false, error);
    if (dirFd < 0) return;
    struct stat st {};
    const bool ours = StatEntry(dirFd, SafeTitle(pszWindowName), st) && IsOwnSocket(st);
    ::close(dirFd);
    if (!ours) return;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    const std::string payload = Utf8ToCp949(pszText);
    ::sendto(fd, payload.c_str(), payload.size() + 1, MSG_DONTWAIT | MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
}

TraceReceiver::~TraceReceiver() { Close(); }

bool TraceReceiver::Fail(std::string error) {
    Close();
    m_error = std::move(error);
    return false;
}

bool TraceReceiver::Open(const std::string& title) {
    Close();
    m_error.clear();
    sockaddr_un address;
    if (!MakeAddress(title, address))
        return Fail("the socket path is too long: " + TraceSocketPath(title));
    m_dirFd = OpenFolder(true, m_error);
    if (m_dirFd < 0) return false;
    const std::string name = SafeTitle(title);
    if (!RemoveStaleSocket(name, address)) return false;

    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) return Fail("cannot create a socket: " + ErrnoText());
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Fail("cannot listen at " + std::string(address.sun_path) + ": " + ErrnoText());
    struct stat st {};
    if (!StatEntry(m_dirFd, name, st) || !IsOwnSocket(st))
        return Fail("cannot listen at " + std::string(address.sun_path));
    ::fchmodat(m_dirFd, name.c_str(), 0600, 0);
    m_name = name;
    m_device = st.st_dev;
    m_inode = st.st_ino;
    return true;
}

// A socket of this user that no receiver listens at any more is removed; anything else at
// that name is left as it is, and the receiver does not start.
bool TraceReceiver::RemoveStaleSocket(const std::string& name, const sockaddr_un& address) {
    const std::string path = address.sun_path;
    struct stat st {};
    if (!StatEntry(m_dirFd, name, st)) {
        if (errno == ENOENT) return true;
        return Fail("cannot examine " + path + ": " + ErrnoText());
    }
    if (!IsOwnSocket(st))
        return Fail("cannot use " + path + ": it is not a socket of this user; it is left alone");
    if (IsListening(address)) return Fail("another receiver is listening at " + path);
    if (::unlinkat(m_dirFd, name.c_str(), 0) != 0 && errno != ENOENT)
        return Fail("cannot remove the stale socket " + path + ": " + ErrnoText());
    return true;
}

// Removes the socket only while it is still the one this receiver bound.
void TraceReceiver::Close() {
    if (m_fd >= 0) ::close(m_fd);
    if (m_dirFd >= 0 && !m_name.empty()) {
        struct stat st {};
        if (StatEntry(m_dirFd, m_name, st) && st.st_dev == m_device && st.st_ino == m_inode)
            ::unlinkat(m_dirFd, m_name.c_str(), 0);
    }
    if (m_dirFd >= 0) ::close(m_dirFd);
    m_fd = -1;
    m_dirFd = -1;
    m_name.clear();
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
