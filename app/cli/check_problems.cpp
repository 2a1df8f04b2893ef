#include "check_problems.h"

namespace plovik {
namespace {

void AddIndexProblem(const IndexFacts& index, std::vector<CheckProblem>& problems) {
    if (index.kind == IndexKind::kNone) {
        problems.push_back({"no_index", "no index"});
    } else if (!index.complete) {
        problems.push_back({"index_damaged", "index damaged (" + std::to_string(index.videoFrames) +
                                                 " of " + std::to_string(index.totalFrames) +
                                                 " frames indexed)"});
    }
}

// What the movie-data scan found. Less plays than the header says only counts when
// frames are missing: a whole file whose audio ends a moment before its video is fine.
void AddScanProblems(const ScanFacts& scan, std::vector<CheckProblem>& problems) {
    if (scan.damagedRegions != 0) {
        problems.push_back({"damaged_data", "damaged data (" + std::to_string(scan.damagedRegions) +
                                                " regions, " + std::to_string(scan.damagedBytes) +
                                                " bytes)"});
    }
    if (scan.headerSeconds && scan.playableSeconds < *scan.headerSeconds &&
        scan.videoFrames < scan.expectedFrames) {
        problems.push_back({"playable_short", "playable " + std::to_string(scan.playableSeconds) +
                                                  " of " + std::to_string(*scan.headerSeconds) +
                                                  " s"});
    }
}

}  // namespace

std::vector<CheckProblem> FindProblems(const FileFacts& facts) {
    std::vector<CheckProblem> problems;
    switch (facts.status) {
        case FileStatus::kOpenFailed:
            return {{"open_failed", "cannot open (" + facts.failure + ")"}};
        case FileStatus::kNotAvi:
            return {{"not_avi", "not an AVI file"}};
        default:
            break;
    }
    if (facts.missingBytes != 0) {
        problems.push_back(
            {"truncated", "truncated (" + std::to_string(facts.missingBytes) + " bytes missing)"});
    }
    if (facts.status == FileStatus::kHeaderFailed) {
        problems.push_back({"unreadable_header", "unreadable header"});
    } else {
        AddIndexProblem(facts.index, problems);
        if (facts.scan) AddScanProblems(*facts.scan, problems);
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
    if (GaveOnlyMessage(result.facts.status)) {
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
