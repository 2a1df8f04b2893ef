// The command-line machinery the tools share: options with values, choices by name, and the
// walk over the arguments that tells options from operands.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plovik {

std::string ToLower(std::string_view text);

template <class T>
struct Choice {
    std::string_view name;
    T value;
};

// Sets target to the choice named value (any letter case); returns an error text, empty on
// success.
template <class T, std::size_t N>
std::string Choose(const std::string& value, const Choice<T> (&choices)[N], std::string_view what,
                   std::string_view hint, T& target) {
    const std::string lower = ToLower(value);
    for (const Choice<T>& choice : choices) {
        if (choice.name == lower) {
            target = choice.value;
            return {};
        }
    }
    return "unknown " + std::string(what) + " '" + value + "' (use " + std::string(hint) + ")";
}

// The value of an option that takes one: "--name=VALUE" or "--name VALUE". Returns nullopt
// when the argument at index is not this option; error is set when the value is missing.
// index advances past a separate value.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& index,
                                       std::string_view name, std::string& error);

// Walks the arguments: each option goes to apply(args, index), which returns an error text
// (empty on success) and may advance index past its value; every other argument is an
// operand. "--" ends the options; a lone "-" is an operand. Returns the first error.
template <class Apply>
std::string WalkArguments(const std::vector<std::string>& args, std::vector<std::string>& operands,
                          Apply apply) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (std::string error = apply(args, i); !error.empty()) {
            return error;
        }
    }
    return {};
}

}  // namespace plovik
