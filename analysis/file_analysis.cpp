#include "plovik/file_analysis.h"

#include "byte_source.h"
#include "raw_file.h"

namespace plovik {

void CFileAnalysis::Analyse(const std::string& strPath, const Options& options) {
    OpenedFile opened = OpenRawFile(strPath);
    if (!opened.file) {
        m_parser.ParseFrom(nullptr, strPath, 0xFFFFFFFF, false);
        m_bScanned = false;
        m_bIndexTallied = false;
        m_strOpenError = std::move(opened.error);
        m_readFailure.reset();
        return;
    }
    AnalyseOpen(*opened.file, strPath, options);
}

void CFileAnalysis::AnalyseOpen(RawFile& file, const std::string& strPath, const Options& options) {
    m_strOpenError.clear();
    const bool parsed = m_parser.ParseFrom(MakeFileSource(file), strPath, 0xFFFFFFFF, false,
                                           {.indexTallies = options.indexTallies});
    m_bIndexTallied = options.indexTallies;
    const int error = m_parser.m_nError;
    // Only a file that gave a report has movie data worth scanning.
    const bool reported = parsed || (error != PARSE_ERR_NOT_AVI && error != PARSE_ERR_OPEN &&
                                     error != PARSE_ERR_HEADER);
    m_bScanned = options.scan && reported;
    // Without a scan m_scan is left as it was: m_bScanned says it is not this file's.
    if (m_bScanned) m_scan.ScanFrom(file, m_parser, options.data);
    m_readFailure = file.Failure();
}

}  // namespace plovik
