// One file's results, gathered once and then written in the chosen format.
#pragma once

#include <string>
#include <vector>

#include "plovik/file_analysis.h"
#include "plovik/file_facts.h"
#include "plovik/report.h"

namespace plovik {

struct WalkItem;

struct FileResult {
    FileFacts facts;     // refers to the analyser's key-frame times
    std::string report;  // the text report (text format), lines end in "\n"
};

// Analyses file after file with one analysis and one report area, so that a batch
// allocates them once.
class FileAnalyser {
  public:
    FileAnalyser(bool withReport, bool withScan = false, bool withFindings = true,
                 bool withFrameSizes = false)
        : m_withReport(withReport),
          m_withScan(withScan),
          m_withFindings(withFindings),
          m_withFrameSizes(withFrameSizes) {}

    // The result refers to this analyser's key-frame times: use it before the next call.
    FileResult Analyse(const WalkItem& item);
    // Called now and then during a scan with the bytes scanned and the file size.
    void SetScanProgress(CMovieScan::Progress progress) { m_scanProgress = std::move(progress); }

  private:
    bool m_withReport;
    bool m_withScan;
    bool m_withFindings;
    bool m_withFrameSizes;  // what the index lists of every stream, for the frame sizes too
    CFileAnalysis m_analysis;
    CMovieScan::Progress m_scanProgress;
    CStringReportArea m_area{"\n"};
};

}  // namespace plovik
