// The library as a whole: its version, status texts, last error and handed-out texts.
#include <cstdlib>
#include <cstring>

#include "boundary.h"

#ifndef PLOVIK_VERSION
#error "PLOVIK_VERSION is set by the build"
#endif

namespace plovik::capi {
namespace {

thread_local std::string t_lastError;

}  // namespace

plovik_status Fail(plovik_status status, std::string_view message) noexcept {
    try {
        t_lastError.assign(message);
    } catch (...) {
        t_lastError.clear();  // out of memory: the status says it all
    }
    return status;
}

char* HandedOut(std::string_view text, size_t* length) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    if (length != nullptr) *length = text.size();
    return copy;
}

}  // namespace plovik::capi

using plovik::capi::Fail;

extern "C" {

const char* plovik_version(void) { return PLOVIK_VERSION; }

const char* plovik_status_text(int status) {
    switch (status) {
        case PLOVIK_OK:
            return "success";
        case PLOVIK_ERROR_ARGUMENT:
            return "an invalid argument";
        case PLOVIK_ERROR_NO_MEMORY:
            return "out of memory";
        case PLOVIK_ERROR_STOPPED:
            return "stopped on request";
        case PLOVIK_ERROR_OPEN:
            return "the file cannot be opened";
        case PLOVIK_ERROR_NOT_AVI:
            return "the file is not a RIFF AVI file";
        case PLOVIK_ERROR_HEADER:
            return "the header list or its main header cannot be read";
        case PLOVIK_ERROR_READ:
            return "a read of the file failed";
        case PLOVIK_ERROR_REFUSED:
            return "the output is the input, or exists";
        case PLOVIK_ERROR_NOT_REPAIRABLE:
            return "the file cannot be repaired";
        case PLOVIK_ERROR_REPAIR_FAILED:
            return "the repair failed";
        case PLOVIK_ERROR_UNSUPPORTED:
            return "not supported by this version";
        case PLOVIK_ERROR_INTERNAL:
            return "a fault inside the library";
        default:
            return "an unknown status";
    }
}

const char* plovik_last_error(void) { return plovik::capi::t_lastError.c_str(); }

void plovik_free(char* text) { std::free(text); }

}  // extern "C"
