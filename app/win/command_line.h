// The command line as the program sees it.
#pragma once

#include <optional>
#include <string>

namespace plovik::win {

// The text after the program's own name and the blanks that follow it, cut the way
// the C runtime cuts WinMain's command line: the name ends at the first blank outside
// double quotes.
std::wstring CommandLineTail(const wchar_t* pszCommandLine);

// The path that start-up analyses: the first word of the tail (quotes removed,
// backslashes literal), as UTF-8. None when the tail holds no word or a quote does not close.
std::optional<std::string> FirstCommandLinePath(const std::wstring& tail);

}  // namespace plovik::win
