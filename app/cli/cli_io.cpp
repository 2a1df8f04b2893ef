#include "plovik/cli_io.h"

#include <istream>
#include <iterator>
#include <ostream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace plovik {
namespace {

#ifndef _WIN32
// The file-size limit that applies to the stream's writes: none unless it writes to a
// regular file.
std::optional<std::uint64_t> FileSizeLimit(std::FILE* stream) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return {};
    struct stat st {};
    if (::fstat(::fileno(stream), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return static_cast<std::uint64_t>(limit.rlim_cur);
}

// Where the next byte written lands, with nothing left in the stream's buffer: at the end of
// a file open for appending, else at its offset; -1 when that cannot be told.
std::int64_t NextWritePosition(std::FILE* stream) {
    if (std::fflush(stream) != 0) return -1;
    const int fd = ::fileno(stream);
    const int flags = ::fcntl(fd, F_GETFL);
    struct stat st {};
    if (flags >= 0 && (flags & O_APPEND) != 0) return ::fstat(fd, &st) == 0 ? st.st_size : -1;
    return ::lseek(fd, 0, SEEK_CUR);
}
#else
std::optional<std::uint64_t> FileSizeLimit(std::FILE*) { return {}; }
std::int64_t NextWritePosition(std::FILE*) { return -1; }
#endif

}  // namespace

StdioOutput::StdioOutput(std::FILE* stream)
    : m_stream(stream), m_sizeLimit(FileSizeLimit(stream)) {}

void StdioOutput::Write(std::string_view bytes) {
    if (bytes.empty() || m_refused) return;
    if (m_sizeLimit && !EndsWithinLimit(bytes.size())) {
        m_refused = true;
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), m_stream);
}

bool StdioOutput::EndsWithinLimit(std::size_t n) {
    const std::int64_t at = NextWritePosition(m_stream);
    return at >= 0 && static_cast<std::uint64_t>(at) <= *m_sizeLimit &&
           n <= *m_sizeLimit - static_cast<std::uint64_t>(at);
}

bool StdioOutput::Flush() { return std::fflush(m_stream) == 0 && Good(); }

bool StdioOutput::Good() const { return !m_refused && std::ferror(m_stream) == 0; }

bool StdioInput::ReadAll(std::string& bytes) {
    char block[64 * 1024];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, m_stream)) > 0) bytes.append(block, got);
    return std::ferror(m_stream) == 0;
}

void StreamOutput::Write(std::string_view bytes) {
    m_stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool StreamOutput::Flush() { return static_cast<bool>(m_stream.flush()); }

bool StreamOutput::Good() const { return static_cast<bool>(m_stream); }

bool StreamInput::ReadAll(std::string& bytes) {
    bytes.assign(std::istreambuf_iterator<char>(m_stream), std::istreambuf_iterator<char>());
    return !m_stream.bad();
}

}  // namespace plovik
