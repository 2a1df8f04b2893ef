#include "progress.h"

#include <algorithm>

namespace plovik {
namespace {

constexpr std::chrono::milliseconds kQuietStart{1000};
constexpr std::chrono::milliseconds kRedrawEvery{100};

}  // namespace

ProgressLine::ProgressLine(CliOutput& terminal, bool enabled, Clock clock)
    : m_terminal(terminal), m_enabled(enabled), m_clock(std::move(clock)) {
    if (m_enabled) m_start = m_clock();
}

void ProgressLine::Update(std::size_t done, std::size_t total) {
    if (DueToDraw()) Draw(std::to_string(done) + "/" + std::to_string(total) + " files");
}

void ProgressLine::UpdateScan(std::size_t done, std::size_t total, std::uint64_t scanned,
                              std::uint64_t size) {
    if (!DueToDraw()) return;
    const std::uint64_t percent =
        size == 0 ? 0 : std::min<std::uint64_t>(scanned, size) * 100 / size;
    Draw(std::to_string(done) + "/" + std::to_string(total) + " files, scan " +
         std::to_string(percent) + "%");
}

// Once the run has lasted a second, and not sooner than kRedrawEvery after the last line.
bool ProgressLine::DueToDraw() {
    if (!m_enabled) return false;
    const auto now = m_clock();
    if (now - m_start <= kQuietStart) return false;
    if (m_shownLength != 0 && now - m_lastDrawn < kRedrawEvery) return false;
    m_lastDrawn = now;
    return true;
}

void ProgressLine::Draw(const std::string& text) {
    m_terminal << '\r' << text;
    if (text.size() < m_shownLength) m_terminal << std::string(m_shownLength - text.size(), ' ');
    m_terminal.Flush();
    m_shownLength = std::max(m_shownLength, text.size());
}

void ProgressLine::Clear() {
    if (m_shownLength == 0) return;
    m_terminal << '\r' << std::string(m_shownLength, ' ') << '\r';
    m_terminal.Flush();
    m_shownLength = 0;
}

}  // namespace plovik
