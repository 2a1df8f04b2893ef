#include "file_result.h"

#include "check_problems.h"
#include "file_system.h"
#include "file_walk.h"
#include "raw_file.h"

namespace plovik {
namespace {

FileStatus StatusOf(int errorCode) {
    switch (errorCode) {
        case PARSE_ERR_NOT_AVI:
            return FileStatus::kNotAvi;
        case PARSE_ERR_OPEN:
            return FileStatus::kOpenFailed;
        case PARSE_ERR_HEADER:
            return FileStatus::kHeaderFailed;
        case PARSE_ERR_STREAM:
            return FileStatus::kStreamFailed;
        case PARSE_ERR_INDEX:
            return FileStatus::kIndexFailed;
        default:
            return FileStatus::kOk;
    }
}

std::string FailureReason(const WalkItem& item, FileStatus status) {
    switch (status) {
        case FileStatus::kNotAvi:
            return "not an AVI file";
        case FileStatus::kOpenFailed:
            return item.error.empty() ? OpenFailureReason(item.path) : item.error;
        case FileStatus::kHeaderFailed:
            return "unreadable header";
        default:
            return {};
    }
}

// The report keeps "\n" alone; the report area ends its lines in "\r\n".
std::string CrLfToLf(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t end; (end = text.find("\r\n")) != std::string_view::npos;) {
        result.append(text.substr(0, end));
        text.remove_prefix(end + 1);
    }
    result.append(text);
    return result;
}

}  // namespace

FileResult FileAnalyser::Analyse(const WalkItem& item) {
    FileResult result;
    result.path = item.path;
    if (m_withReport) ShowFileInfo(m_area, m_parser, item.path);
    // The report leaves the parser alone for an empty name; the parse then fails to open.
    if (!m_withReport || item.path.empty()) m_parser.Parse(item.path, 0xFFFFFFFF, false);
    result.avi = &m_parser;
    result.errorCode = m_parser.m_nError;
    result.status = StatusOf(result.errorCode);
    if (GaveOnlyMessage(result.status)) {
        result.failure = FailureReason(item, result.status);
    } else if (m_withScan) {
        Scan(item, result);
    }
    if (m_withReport) result.report = CrLfToLf(m_area.Text());
    if (m_withProblems) result.problems = FindProblems(result);
    return result;
}

void FileAnalyser::Scan(const WalkItem& item, FileResult& result) {
    OpenedFile opened = OpenRawFile(item.path);
    result.scanFailed = !opened.file;
    if (opened.file) m_scan.ScanFrom(*opened.file, m_parser, m_scanProgress);
    if (result.scanFailed) {
        result.failure = "cannot scan (" + OpenFailureReason(item.path) + ")";
    } else {
        result.scan = &m_scan;
    }
    if (m_withReport) AddScanSection(m_area, m_parser, result.scan);
}

const char* StatusName(FileStatus status) {
    switch (status) {
        case FileStatus::kOk:
            return "ok";
        case FileStatus::kNotAvi:
            return "not_avi";
        case FileStatus::kOpenFailed:
            return "open_failed";
        case FileStatus::kHeaderFailed:
            return "header_failed";
        case FileStatus::kStreamFailed:
            return "stream_failed";
        case FileStatus::kIndexFailed:
            return "index_failed";
    }
    return "ok";
}

std::uint64_t MissingBytes(const CAviParser& avi) {
    const std::uint64_t promised = avi.m_qwDataSize + 8 * std::uint64_t{avi.m_nRiffParts};
    return promised > avi.m_qwFileSize ? promised - avi.m_qwFileSize : 0;
}

}  // namespace plovik
