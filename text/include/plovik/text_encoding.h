// UTF-8 <-> CP949 for the whole program. UTF-8 inside; CP949 only where bytes
// leave the program (saved report, --encoding cp949, trace payload).
#pragma once

#include <string>
#include <string_view>

namespace plovik {

bool IsValidUtf8(std::string_view bytes);

// Undecodable input becomes U+FFFD (to UTF-8) or '?' (to CP949); never throws.
std::string Cp949ToUtf8(std::string_view cp949);
std::string Utf8ToCp949(std::string_view utf8);

// Text taken from an AVI file: valid UTF-8 stays as it is, anything else is CP949.
std::string FileTextToUtf8(std::string_view bytes);

#ifdef _WIN32
// UTF-8 <-> UTF-16 at the Win32 boundary: the W APIs take UTF-16.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
#endif

}  // namespace plovik
