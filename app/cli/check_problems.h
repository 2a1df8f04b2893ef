// --check: what is wrong with a file, in the words of the check line and as short codes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "file_result.h"

namespace plovik {

// The problems of an analysed file, in the order the check line shows them; empty: ok.
std::vector<CheckProblem> FindProblems(const FileFacts& facts);

// "PATH: ok" or "PATH: truncated (8 bytes missing); no index", with "\n".
std::string CheckLine(const std::string& displayPath, const std::vector<CheckProblem>& problems);

// Counts for the summary line of a run that checked several files.
class CheckTally {
  public:
    void Add(const FileResult& result);
    std::size_t Files() const { return m_ok + m_damaged + m_unreadable; }
    // "3 files: 1 ok, 1 damaged, 1 unreadable\n"
    std::string SummaryLine() const;

  private:
    std::size_t m_ok = 0;
    std::size_t m_damaged = 0;     // analysed, with problems
    std::size_t m_unreadable = 0;  // gave only a message
};

}  // namespace plovik
