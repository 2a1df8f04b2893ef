// One file's results, gathered once and then written in the chosen format.
#pragma once

#include <string>
#include <vector>

#include "plovik/avi_parser.h"
#include "plovik/report.h"

namespace plovik {

struct WalkItem;

// How far the analysis of a file came (the analyser's failure codes).
enum class FileStatus { kOk, kNotAvi, kOpenFailed, kHeaderFailed, kStreamFailed, kIndexFailed };

// A short code and its line text for --check: {"no_index", "no index"}.
struct CheckProblem {
    std::string code;
    std::string text;
};

struct FileResult {
    std::string path;  // as given or found
    FileStatus status = FileStatus::kOk;
    int errorCode = PARSE_OK;
    std::string failure;  // why the file gave only a message; empty when it gave a report
    const CAviParser* avi = nullptr;     // the analysis, valid until the next file
    std::string report;                  // the text report (text format), lines end in "\n"
    std::vector<CheckProblem> problems;  // with --check
};

// Only the three first-stage failures leave nothing to report.
inline bool GaveOnlyMessage(FileStatus status) {
    return status == FileStatus::kNotAvi || status == FileStatus::kOpenFailed ||
           status == FileStatus::kHeaderFailed;
}

// Analyses file after file with one parser and one report area, so that a batch
// allocates them once.
class FileAnalyser {
  public:
    FileAnalyser(bool withReport, bool withProblems)
        : m_withReport(withReport), m_withProblems(withProblems) {}

    // The result refers to this analyser's parser: use it before the next call.
    FileResult Analyse(const WalkItem& item);

  private:
    bool m_withReport;
    bool m_withProblems;
    CAviParser m_parser;
    CStringReportArea m_area;
};

// The short name of a status for JSON and CSV ("open_failed").
const char* StatusName(FileStatus status);

// Bytes that the RIFF parts' size fields promise beyond the end of the file; 0 when whole.
std::uint64_t MissingBytes(const CAviParser& avi);

}  // namespace plovik
