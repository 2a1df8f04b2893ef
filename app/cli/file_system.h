// What the folder walk and the diagnostics need from the file system, for POSIX and
// Win32. Paths are UTF-8 (POSIX: the bytes as they are).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plovik {

enum class EntryKind {
    kDirectory,        // a real directory: the walk goes into it
    kLinkToDirectory,  // a symbolic link (or junction) to one: never followed
    kOther,            // files, links to files, broken links, FIFOs, devices
};

struct DirectoryEntry {
    std::string name;
    EntryKind kind;
};

// Tells one directory from another, so that a walk never enters one twice; all zero
// when the system does not say.
struct DirectoryId {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const DirectoryId&) const = default;
};

struct DirectoryListing {
    std::vector<DirectoryEntry> entries;  // without "." and "..", in no particular order
    DirectoryId id;
    std::string error;  // the system's reason when the directory cannot be read
};

constexpr char kPathSeparator =
#ifdef _WIN32
    '\\';
#else
    '/';
#endif

// True for a directory, also when path is a symbolic link to one.
bool IsDirectory(const std::string& path);

DirectoryListing ListDirectory(const std::string& path);

// The system's reason why path cannot be opened for reading ("No such file or directory").
// Never opens anything that could block, such as a FIFO.
std::string OpenFailureReason(const std::string& path);

}  // namespace plovik
