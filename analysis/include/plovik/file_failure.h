// A read of the analysed file that failed: where, and the system's reason.
#pragma once

#include <cstdint>
#include <string>

namespace plovik {

struct FileFailure {
    std::uint64_t position;  // where the failed read began
    std::string reason;      // the system's words ("Input/output error")
};

}  // namespace plovik
