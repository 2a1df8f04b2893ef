#include "console.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include "plovik/text_encoding.h"
#else
#include <unistd.h>

#include <csignal>
#endif

namespace plovik {

#ifdef _WIN32
std::vector<std::string> Utf8Arguments(int, char**) {
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wideArgs = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wideArgs == nullptr) return args;
    for (int i = 1; i < count; ++i) args.push_back(WideToUtf8(wideArgs[i]));
    LocalFree(wideArgs);
    return args;
}

void UseBinaryStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

void FailWritesPastFileSizeLimit() {}
#else
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseBinaryStandardStreams() {}

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

void FailWritesPastFileSizeLimit() { std::signal(SIGXFSZ, SIG_IGN); }
#endif

}  // namespace plovik
