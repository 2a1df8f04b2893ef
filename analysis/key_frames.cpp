#include "plovik/key_frames.h"

#include <algorithm>

namespace plovik {

// The product is exact in 64 bits, scaled in extended precision, stored as a double.
double KeyFrameList::Time(std::size_t i) const {
    const std::uint64_t micros =
        std::uint64_t{m_keys[i].frame - 1} * std::uint64_t{m_microSecPerFrame};
    return static_cast<double>(static_cast<long double>(micros) * static_cast<long double>(1e-6));
}

// The frame chunk's header stands 8 bytes before its data.
KEYFRAMEINFO KeyFrameList::operator[](std::size_t i) const {
    const auto after =
        std::upper_bound(m_chunks.begin(), m_chunks.end(), i,
                         [](std::size_t key, const Chunk& c) { return key < c.firstKey; });
    const std::uint32_t offset = m_keys[i].offset;
    const std::uint64_t position =
        after == m_chunks.begin() ? 0 : std::prev(after)->dataBase + offset - 8;
    return {Time(i), offset, 0, position};
}

void KeyFrameList::Restart(std::uint32_t microSecPerFrame) {
    m_keys.clear();
    m_chunks.clear();
    m_microSecPerFrame = microSecPerFrame;
}

void KeyFrameList::StartChunk(std::uint64_t dataBase) {
    if (!m_chunks.empty() && m_chunks.back().firstKey == m_keys.size())
        m_chunks.pop_back();  // it has none
    m_chunks.push_back({m_keys.size(), dataBase});
}

void KeyFrameList::DropTo(std::size_t count) {
    if (count >= m_keys.size()) return;
    m_keys.resize(count);
    while (!m_chunks.empty() && m_chunks.back().firstKey > count) m_chunks.pop_back();
}

void KeyFrameList::Clear() {
    Restart(0);
    m_keys.shrink_to_fit();
    m_chunks.shrink_to_fit();
}

}  // namespace plovik
