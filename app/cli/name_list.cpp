#include "name_list.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "file_system.h"
#include "plovik/text_encoding.h"

namespace plovik {
namespace {

std::string ReadAll(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// On Windows names become UTF-16 at the system's door: bytes that are not UTF-8 are
// taken as CP949, as elsewhere. POSIX names are bytes and stay as they are.
std::string NameFromList(std::string_view bytes) {
#ifdef _WIN32
    return FileTextToUtf8(bytes);
#else
    return std::string(bytes);
#endif
}

}  // namespace

NameList SplitNulSeparatedNames(std::string_view bytes, std::string_view listName) {
    NameList list;
    std::size_t position = 0;
    while (!bytes.empty()) {
        ++position;
        const std::size_t end = bytes.find('\0');
        const std::string_view name = bytes.substr(0, end);
        if (name.empty()) {
            list.names.clear();
            list.error = std::string(listName) + ":" + std::to_string(position) +
                         ": invalid zero-length file name";
            return list;
        }
        list.names.push_back(NameFromList(name));
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    }
    return list;
}

NameList ReadNameList(const std::string& listName, CliInput* in) {
    if (listName == "-") {
        std::string bytes;
        if (in == nullptr || !in->ReadAll(bytes)) return {{}, "cannot read standard input"};
        return SplitNulSeparatedNames(bytes, listName);
    }
    const std::u8string u8(listName.begin(), listName.end());
    std::ifstream file(std::filesystem::path(u8), std::ios::binary);
    if (!file) {
        return {{}, "cannot read '" + listName + "': " + OpenFailureReason(listName)};
    }
    const std::string bytes = ReadAll(file);
    if (file.bad()) return {{}, "cannot read '" + listName + "'"};
    return SplitNulSeparatedNames(bytes, listName);
}

}  // namespace plovik
