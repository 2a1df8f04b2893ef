#include "file_result.h"

#include "check_problems.h"
#include "file_walk.h"

namespace plovik {

FileResult FileAnalyser::Analyse(const WalkItem& item) {
    m_analysis.Analyse(
        item.path, {.scan = m_withScan,
                    .data = {.progress = m_scanProgress, .observer = nullptr, .stop = nullptr}});
    FileResult result{FillFacts(item.path, m_analysis), {}, {}};
    // A folder that could not be read is named with the reason its listing gave.
    if (!item.error.empty() && result.facts.status == FileStatus::kOpenFailed) {
        result.facts.failure = item.error;
    }
    if (m_withReport) {
        m_area.ClearReport();
        if (WriteReport(m_area, result.facts) && result.facts.scan) {
            AddScanSection(m_area, *result.facts.scan);
        }
        result.report = m_area.Text();
    }
    if (m_withProblems) result.problems = FindProblems(result.facts);
    return result;
}

}  // namespace plovik
