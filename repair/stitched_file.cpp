#include "stitched_file.h"

#include <algorithm>
#include <cstring>

namespace plovik {

// The head's bytes, or the body's: one of them a call, as a short read.
std::int64_t StitchedFile::ReadSome(std::uint64_t position, void* buffer, std::size_t n) {
    if (position < m_head.size()) {
        const std::size_t count = std::min<std::size_t>(n, m_head.size() - position);
        std::memcpy(buffer, m_head.data() + position, count);
        return static_cast<std::int64_t>(count);
    }
    const std::uint64_t at = ToBody(position);
    if (at >= m_end) return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_end - at));
    return m_body.ReadAt(at, buffer, count);
}

std::string StitchedFile::ErrorText() const {
    return m_body.Failure() ? m_body.Failure()->reason : "read failed";
}

}  // namespace plovik
