#include "file_result.h"

#include "file_walk.h"

namespace plovik {

FileResult FileAnalyser::Analyse(const WalkItem& item) {
    m_analysis.Analyse(item.path,
                       {.scan = m_withScan,
                        .data = {.progress = m_scanProgress, .observer = nullptr, .stop = nullptr},
                        .indexTallies = m_withFrameSizes});
    // A folder that could not be read is named with the reason its listing gave.
    if (!item.error.empty() && !m_analysis.m_strOpenError.empty()) {
        m_analysis.m_strOpenError = item.error;
    }
    FileResult result{FillFacts(item.path, m_analysis, m_withFindings), {}};
    if (m_withReport) {
        m_area.ClearReport();
        if (WriteReport(m_area, result.facts)) AddScanSection(m_area, result.facts);
        result.report = m_area.TakeText();
    }
    return result;
}

}  // namespace plovik
