// Numbers as JSON and CSV write them: the C locale's digits, whatever the user's locale.
#pragma once

#include <charconv>
#include <string>

namespace plovik {

// Integers exactly, doubles in the shortest form that reads back as the same value.
template <class T>
void AppendNumber(std::string& out, T value) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

}  // namespace plovik
