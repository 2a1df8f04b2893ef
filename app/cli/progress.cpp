#include "progress.h"

#include <ostream>

namespace plovik {
namespace {

constexpr std::chrono::milliseconds kQuietStart{1000};
constexpr std::chrono::milliseconds kRedrawEvery{100};

}  // namespace

ProgressLine::ProgressLine(std::ostream& terminal, bool enabled, Clock clock)
    : m_terminal(terminal), m_enabled(enabled), m_clock(std::move(clock)) {
    if (m_enabled) m_start = m_clock();
}

void ProgressLine::Update(std::size_t done, std::size_t total) {
    if (!m_enabled) return;
    const auto now = m_clock();
    if (now - m_start <= kQuietStart) return;
    if (m_shownLength != 0 && now - m_lastDrawn < kRedrawEvery) return;
    const std::string text = std::to_string(done) + "/" + std::to_string(total) + " files";
    m_terminal << '\r' << text;
    if (text.size() < m_shownLength) m_terminal << std::string(m_shownLength - text.size(), ' ');
    m_terminal.flush();
    m_shownLength = std::max(m_shownLength, text.size());
    m_lastDrawn = now;
}

void ProgressLine::Clear() {
    if (m_shownLength == 0) return;
    m_terminal << '\r' << std::string(m_shownLength, ' ') << '\r';
    m_terminal.flush();
    m_shownLength = 0;
}

}  // namespace plovik
