#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "plovik/trace.h"

namespace plovik {

void TraceOut(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), pszFormat, args);
        text.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(args);
    SendToReceiver(kTraceReceiverTitle, text.c_str());
}

}  // namespace plovik
