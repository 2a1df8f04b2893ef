#include "check_problems.h"

#include "plovik/scan_values.h"

namespace plovik {
namespace {

void AddIndexProblem(const CAviParser& avi, std::vector<CheckProblem>& problems) {
    if (avi.m_nIndexKind == INDEX_KIND_NONE) {
        problems.push_back({"no_index", "no index"});
    } else if (!avi.m_bIndexOK) {
        problems.push_back(
            {"index_damaged", "index damaged (" + std::to_string(avi.m_nIndexFrames) + " of " +
                                  std::to_string(avi.m_dwIndexTotalFrames) + " frames indexed)"});
    }
}

// What the movie-data scan found. Less plays than the header says only counts when
// frames are missing: a whole file whose audio ends a moment before its video is fine.
void AddScanProblems(const FileResult& result, std::vector<CheckProblem>& problems) {
    if (result.scanFailed) return problems.push_back({"scan_failed", result.failure});
    if (result.scan == nullptr) return;
    const CMovieScan& scan = *result.scan;
    if (scan.m_qwDamagedRegions != 0) {
        problems.push_back(
            {"damaged_data", "damaged data (" + std::to_string(scan.m_qwDamagedRegions) +
                                 " regions, " + std::to_string(scan.m_qwDamagedBytes) + " bytes)"});
    }
    const ScanValues v = ComputeScanValues(*result.avi, scan);
    if (v.headerSeconds && v.playableSeconds < *v.headerSeconds &&
        v.videoFrames < v.expectedFrames) {
        problems.push_back({"playable_short", "playable " + std::to_string(v.playableSeconds) +
                                                  " of " + std::to_string(*v.headerSeconds) +
                                                  " s"});
    }
}

}  // namespace

std::vector<CheckProblem> FindProblems(const FileResult& result) {
    std::vector<CheckProblem> problems;
    switch (result.status) {
        case FileStatus::kOpenFailed:
            return {{"open_failed", "cannot open (" + result.failure + ")"}};
        case FileStatus::kNotAvi:
            return {{"not_avi", "not an AVI file"}};
        default:
            break;
    }
    const CAviParser& avi = *result.avi;
    if (const std::uint64_t missing = MissingBytes(avi); missing != 0) {
        problems.push_back(
            {"truncated", "truncated (" + std::to_string(missing) + " bytes missing)"});
    }
    if (result.status == FileStatus::kHeaderFailed) {
        problems.push_back({"unreadable_header", "unreadable header"});
    } else {
        AddIndexProblem(avi, problems);
        AddScanProblems(result, problems);
    }
    return problems;
}

std::string CheckLine(const std::string& displayPath, const std::vector<CheckProblem>& problems) {
    std::string line = displayPath + ": ";
    if (problems.empty()) line += "ok";
    for (std::size_t i = 0; i < problems.size(); ++i) {
        if (i > 0) line += "; ";
        line += problems[i].text;
    }
    return line + "\n";
}

void CheckTally::Add(const FileResult& result) {
    if (GaveOnlyMessage(result.status)) {
        ++m_unreadable;
    } else if (!result.problems.empty()) {
        ++m_damaged;
    } else {
        ++m_ok;
    }
}

std::string CheckTally::SummaryLine() const {
    return std::to_string(Files()) + " files: " + std::to_string(m_ok) + " ok, " +
           std::to_string(m_damaged) + " damaged, " + std::to_string(m_unreadable) +
           " unreadable\n";
}

}  // namespace plovik
