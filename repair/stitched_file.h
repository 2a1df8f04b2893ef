// A file made of new header bytes followed by a stretch of another file: the movie data of a
// file whose headers are lost, behind the headers rebuilt for them, repaired as any file is.
#pragma once

#include <cstdint>
#include <string>

#include "raw_file.h"

namespace plovik {

class StitchedFile final : public RawFile {
  public:
    // head, then the bytes [start, end) of body (which must outlive this).
    StitchedFile(std::string head, RawFile& body, std::uint64_t start, std::uint64_t end)
        : m_head(std::move(head)), m_body(body), m_start(start), m_end(end) {}

    std::uint64_t Size() const override { return m_head.size() + (m_end - m_start); }
    // Where a byte of this file lies in the body (a byte of the head: at its start).
    std::uint64_t ToBody(std::uint64_t position) const {
        return position < m_head.size() ? m_start : position - m_head.size() + m_start;
    }

  protected:
    std::int64_t ReadSome(std::uint64_t position, void* buffer, std::size_t n) override;
    std::string ErrorText() const override;

  private:
    std::string m_head;
    RawFile& m_body;
    std::uint64_t m_start;
    std::uint64_t m_end;
};

}  // namespace plovik
