// The AVI 1.0 "idx1" index: the layout of its 16-byte entries (id, flags, offset, size),
// the rule that tells where their offsets count from, and the one reader of its entries,
// which the key-frame scan and the movie-data scan's index check both read through.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "byte_source.h"
#include "index_read.h"

namespace plovik {

inline constexpr std::size_t kIdx1EntryBytes = 16;

inline FOURCC Idx1Id(const std::uint8_t* entry) { return LoadLe32(entry); }
inline std::uint32_t Idx1Flags(const std::uint8_t* entry) { return LoadLe32(entry + 4); }
inline std::uint32_t Idx1Offset(const std::uint8_t* entry) { return LoadLe32(entry + 8); }
inline std::uint32_t Idx1Size(const std::uint8_t* entry) { return LoadLe32(entry + 12); }

// Offsets count from the "movi" list's type FOURCC or from the start of the file. As the
// common demuxers do, the first entry tells which: an offset below the position of that
// FOURCC can only be relative. Returns what to add to every offset.
constexpr std::uint64_t Idx1OffsetBase(std::uint32_t firstOffset, std::uint64_t moviTypePos) {
    return firstOffset < moviTypePos ? moviTypePos : 0;
}

// The entries of one "idx1" chunk, from the source's position on, in runs lent straight
// from the source's buffer.
class Idx1Reader {
  public:
    Idx1Reader(ByteSource& source, std::uint64_t count) : m_source(source), m_left(count) {}

    // The next whole entries the buffer holds (at most those left); empty at the end, or
    // where the data end first (then EndedEarly()).
    std::span<const std::uint8_t> NextRun() {
        if (m_left == 0) return {};
        const std::uint64_t most = std::min<std::uint64_t>(m_left, SIZE_MAX / kIdx1EntryBytes);
        const std::string_view run =
            m_source.View(static_cast<std::size_t>(most) * kIdx1EntryBytes, kIdx1EntryBytes);
        if (run.empty()) {
            m_endedEarly = true;
            return {};
        }
        m_left -= run.size() / kIdx1EntryBytes;
        return {reinterpret_cast<const std::uint8_t*>(run.data()), run.size()};
    }
    // Gives the last count entries of the last run back: they come again next.
    void GiveBack(std::size_t count) {
        m_source.SeekBy(-static_cast<std::int64_t>(count * kIdx1EntryBytes));
        m_left += count;
    }
    bool EndedEarly() const { return m_endedEarly; }

  private:
    ByteSource& m_source;
    std::uint64_t m_left;
    bool m_endedEarly = false;
};

}  // namespace plovik
