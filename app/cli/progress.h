// The progress line of a long run: "1234/5000 files" on a terminal, rewritten in place;
// "3/5000 files, scan 45%" while the next file's movie data are scanned.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "plovik/cli_io.h"

namespace plovik {

class ProgressLine {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Draws nothing unless enabled (the stream is a terminal). The run starts now.
    ProgressLine(CliOutput& terminal, bool enabled, Clock clock = std::chrono::steady_clock::now);
    ~ProgressLine() { Clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // done of total files: shown once the run has lasted a second, then a few times a second.
    void Update(std::size_t done, std::size_t total);
    // The same while the file after them is scanned: scanned of its size bytes.
    void UpdateScan(std::size_t done, std::size_t total, std::uint64_t scanned, std::uint64_t size);
    // Removes the line, so that other text can be written on the terminal.
    void Clear();

  private:
    bool DueToDraw();
    void Draw(const std::string& text);

    CliOutput& m_terminal;
    bool m_enabled;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDrawn{};
    std::size_t m_shownLength = 0;  // characters of the line on the terminal; 0: none
};

}  // namespace plovik
