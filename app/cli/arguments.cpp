#include "arguments.h"

#include <algorithm>

namespace plovik {

std::string ToLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return lower;
}

std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& index,
                                       std::string_view name, std::string& error) {
    const std::string& arg = args[index];
    if (!arg.starts_with(name)) return std::nullopt;
    if (arg.size() == name.size()) {
        if (index + 1 < args.size()) return args[++index];
        error = "option '" + std::string(name) + "' needs a value";
        return std::string();
    }
    if (arg[name.size()] != '=') return std::nullopt;
    return arg.substr(name.size() + 1);
}

}  // namespace plovik
