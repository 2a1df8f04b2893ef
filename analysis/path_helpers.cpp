// Path pieces in the manner of the C runtime's path splitter: an optional drive
// ("C:"), a directory up to the last separator, a file name and an extension
// (from the last dot of the name, dot included). "/" and "\\" both separate.
#include <string_view>

#include "plovik/avi_parser.h"

namespace plovik {
namespace {

struct PathParts {
    std::string_view dir;
    std::string_view name;
    std::string_view ext;
};

PathParts SplitPath(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') path.remove_prefix(2);
    PathParts parts;
    const std::size_t lastSeparator = path.find_last_of("/\\");
    if (lastSeparator != std::string_view::npos) {
        parts.dir = path.substr(0, lastSeparator + 1);
        path.remove_prefix(lastSeparator + 1);
    }
    const std::size_t lastDot = path.rfind('.');
    parts.name = path.substr(0, lastDot);
    if (lastDot != std::string_view::npos) parts.ext = path.substr(lastDot);
    return parts;
}

}  // namespace

std::string GetFileNameExt(const std::string& path) {
    const PathParts parts = SplitPath(path);
    return std::string(parts.name) + std::string(parts.ext);
}

std::string GetFileNameOnly(const std::string& path) { return std::string(SplitPath(path).name); }

std::string GetFileDirOnly(const std::string& path) { return std::string(SplitPath(path).dir); }

}  // namespace plovik
