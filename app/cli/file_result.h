// One file's results, gathered once and then written in the chosen format.
#pragma once

#include <string>
#include <vector>

#include "plovik/avi_parser.h"
#include "plovik/movie_scan.h"
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
    // Why the file gave only a message, or why its scan failed; empty otherwise.
    std::string failure;
    const CAviParser* avi = nullptr;     // the analysis, valid until the next file
    const CMovieScan* scan = nullptr;    // --scan of a file that gave a report, valid as avi
    bool scanFailed = false;             // --scan could not open the file again (see failure)
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
    FileAnalyser(bool withReport, bool withProblems, bool withScan = false)
        : m_withReport(withReport), m_withProblems(withProblems), m_withScan(withScan) {}

    // The result refers to this analyser's parser and scan: use it before the next call.
    FileResult Analyse(const WalkItem& item);
    // Called now and then during a scan with the bytes scanned and the file size.
    void SetScanProgress(CMovieScan::Progress progress) { m_scanProgress = std::move(progress); }

  private:
    void Scan(const WalkItem& item, FileResult& result);

    bool m_withReport;
    bool m_withProblems;
    bool m_withScan;
    CAviParser m_parser;
    CMovieScan m_scan;
    CMovieScan::Progress m_scanProgress;
    CStringReportArea m_area;
};

// The short name of a status for JSON and CSV ("open_failed").
const char* StatusName(FileStatus status);

// Bytes that the RIFF parts' size fields promise beyond the end of the file; 0 when whole.
std::uint64_t MissingBytes(const CAviParser& avi);

}  // namespace plovik
