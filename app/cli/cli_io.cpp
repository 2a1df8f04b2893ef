#include "plovik/cli_io.h"

#include <istream>
#include <iterator>
#include <ostream>

namespace plovik {

void StdioOutput::Write(std::string_view bytes) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), m_stream);
}

bool StdioOutput::Flush() { return std::fflush(m_stream) == 0 && Good(); }

bool StdioOutput::Good() const { return std::ferror(m_stream) == 0; }

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
