#include "command_line.h"

#include <vector>

#include "plovik/splitter.h"
#include "win_text.h"

namespace plovik::win {

std::wstring CommandLineTail(const wchar_t* pszCommandLine) {
    if (!pszCommandLine) return {};
    const wchar_t* p = pszCommandLine;
    bool inQuotes = false;
    while (*p > L' ' || (*p && inQuotes)) {
        if (*p == L'"') inQuotes = !inQuotes;
        ++p;
    }
    while (*p && *p <= L' ') ++p;
    return p;
}

std::optional<std::string> FirstCommandLinePath(const std::wstring& tail) {
    if (tail.empty()) return std::nullopt;
    std::vector<std::string> items;
    if (SplitString(WideToUtf8(tail), &items, true, true) <= 0) return std::nullopt;
    return items[0];
}

}  // namespace plovik::win
