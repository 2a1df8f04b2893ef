// The system's own words for why a call failed, as UTF-8 ("No such file or directory").
#pragma once

#include <string>

namespace plovik {

// The reason for the error the last failed system call of this thread left (errno, or the
// last Win32 error), without a closing period or line end.
std::string LastSystemError();

// The same for a given errno value (POSIX) or Win32 error code (Windows).
std::string SystemErrorText(unsigned long code);

}  // namespace plovik
