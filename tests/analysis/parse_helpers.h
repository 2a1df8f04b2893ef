// Writes test bytes to a temporary file and runs the analyser on it.
#pragma once

#include <string>

#include "plovik/avi_parser.h"
#include "support/avi_writer.h"
#include "support/temp_dir.h"

namespace plovik::test {

inline bool ParseFileBytes(CAviParser& parser, const Bytes& bytes,
                           std::uint32_t timeout = 0xFFFFFFFF, bool skipIndex = false) {
    TempDir dir;
    return parser.Parse(dir.Write("clip.avi", bytes), timeout, skipIndex);
}

// Position of the first occurrence of a FOURCC in the bytes (test files are built so
// that it is unambiguous).
inline std::int64_t PosOf(const Bytes& bytes, std::string_view fourChars) {
    return static_cast<std::int64_t>(bytes.find(fourChars));
}

}  // namespace plovik::test
