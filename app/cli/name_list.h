// --files0-from: file names separated by NUL bytes, as `find -print0` writes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plovik/cli_io.h"

namespace plovik {

struct NameList {
    std::vector<std::string> names;
    std::string error;  // "LIST:3: invalid zero-length file name"; empty when valid
};

// Splits bytes at NUL bytes; a final NUL ends the last name. listName names the list in
// the error text.
NameList SplitNulSeparatedNames(std::string_view bytes, std::string_view listName);

// Reads the list from the file listName (UTF-8), or from in when listName is "-".
NameList ReadNameList(const std::string& listName, CliInput* in);

}  // namespace plovik
