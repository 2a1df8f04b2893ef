#include "plovik/file_analysis.h"

#include "byte_source.h"
#include "raw_file.h"

namespace plovik {

CFileAnalysis::CFileAnalysis() = default;
CFileAnalysis::~CFileAnalysis() = default;

void CFileAnalysis::Analyse(const std::string& strPath, const Options& options) {
    Close();
    OpenedFile opened = OpenRawFile(strPath);
    if (!opened.file) {
        m_parser.ParseFrom(nullptr, strPath, 0xFFFFFFFF, false);
        m_bScanned = false;
        m_bIndexTallied = false;
        m_bReported = false;
        m_strOpenError = std::move(opened.error);
        m_readFailure.reset();
        return;
    }
    AnalyseOpen(*opened.file, strPath, options);
    if (options.keepOpen) m_file = std::move(opened.file);
}

bool CFileAnalysis::ScanData(const CMovieScan::Options& options) {
    if (!m_file || !m_bReported) return false;
    m_scan.ScanFrom(*m_file, m_parser, options);
    m_bScanned = true;
    m_readFailure = m_file->Failure();
    return true;
}

void CFileAnalysis::Close() { m_file.reset(); }

void CFileAnalysis::AnalyseOpen(RawFile& file, const std::string& strPath, const Options& options) {
    if (&file != m_file.get()) Close();
    m_strOpenError.clear();
    const bool parsed = m_parser.ParseFrom(MakeFileSource(file), strPath, 0xFFFFFFFF, false,
                                           {.indexTallies = options.indexTallies});
    m_bIndexTallied = options.indexTallies;
    const int error = m_parser.m_nError;
    // Only a file that gave a report has movie data worth scanning.
    const bool reported = parsed || (error != PARSE_ERR_NOT_AVI && error != PARSE_ERR_OPEN &&
                                     error != PARSE_ERR_HEADER);
    m_bReported = reported;
    m_bScanned = options.scan && reported;
    // Without a scan m_scan is left as it was: m_bScanned says it is not this file's.
    if (m_bScanned) m_scan.ScanFrom(file, m_parser, options.data);
    m_readFailure = file.Failure();
}

}  // namespace plovik
