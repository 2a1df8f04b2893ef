// --check: the verdict of each file as a line, and the counts of a run.
#pragma once

#include <cstddef>
#include <string>

#include "plovik/file_facts.h"

namespace plovik {

// A path as a line shows it: one that holds a backslash, a newline or a carriage return
// has them escaped ("\\", "\n", "\r") and the line that names it begins with a backslash,
// as the checksum tools write it, so that one file is always one line.
struct LineName {
    bool escaped = false;
    std::string text;
};
LineName NameForLine(const std::string& displayPath);

// "PATH: ok", or the error and warning findings joined by "; ", each followed by its rule
// id in brackets; "\n" at the end.
std::string CheckLine(const FileFacts& facts);

// The counts for the summary line of a run that checked several files.
class CheckTally {
  public:
    void Add(const FileFacts& facts);
    std::size_t Files() const { return m_files; }
    // "3 files: 1 ok, 0 with warnings, 1 damaged, 1 unreadable\n", saying when the movie
    // data were not checked.
    std::string SummaryLine(bool dataChecked) const;

  private:
    std::size_t m_files = 0;
    std::size_t m_counts[4] = {};  // by verdict
};

// The success of a file for the exit status of --check: ok, or only warnings unless
// strict.
bool PassesCheck(Verdict verdict, bool strict);

// The rule catalogue, one rule a line: "id<TAB>severity<TAB>summary", or JSON Lines.
std::string RuleList(bool json);

}  // namespace plovik
