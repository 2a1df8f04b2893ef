#include <cerrno>
#include <cstring>

#include "plovik/system_error.h"

namespace plovik {

std::string SystemErrorText(unsigned long code) { return std::strerror(static_cast<int>(code)); }

std::string LastSystemError() { return SystemErrorText(static_cast<unsigned long>(errno)); }

}  // namespace plovik
