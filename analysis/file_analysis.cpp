#include "plovik/file_analysis.h"

#include "byte_source.h"
#include "plovik/chunk_ids.h"
#include "raw_file.h"
#include "scan_reader.h"

namespace plovik {
namespace {

// Where the header list ends; 0 when it was not reached.
std::uint64_t HeaderListEnd(const AVILAYOUT& layout) {
    for (const AVITOPCHUNK& chunk : layout.arTopChunks) {
        if (chunk.nPart == 0 && chunk.fccListType == kHdrl) {
            return chunk.qwPosition + 8 + chunk.dwSize;
        }
    }
    return 0;
}

// Whether the byte at position lies in an index the parse read: the "idx1", or, where the
// OpenDML index stands for it, one of the standard index chunks the video super index lists.
bool InReadIndex(const CAviParser& avi, std::uint64_t position) {
    const auto idx1 = static_cast<std::uint64_t>(avi.m_llIndexPos);
    if (avi.m_llIndexPos != 0 && position >= idx1 &&
        position < idx1 + static_cast<std::uint64_t>(avi.m_llIndexSize)) {
        return true;
    }
    if (avi.m_nIndexKind != INDEX_KIND_OPENDML) return false;
    for (const AVISUPERINDEXENTRY& chunk : avi.VideoSuperIndex()) {
        if (position >= chunk.qwOffset && position - chunk.qwOffset < chunk.dwSize) return true;
    }
    return false;
}

// A file gives a report when its main header was read (a stream list or the index may have
// failed) and every byte of its header list and index could be read: a list read in part
// tells what the bytes that failed left of it, not what the file holds, and an index read in
// part gives key frames and counts of the part read.
bool GivesReport(const CAviParser& avi, bool parsed, const std::optional<FileFailure>& failure) {
    const int error = avi.m_nError;
    const bool headers = parsed || (error != PARSE_ERR_NOT_AVI && error != PARSE_ERR_OPEN &&
                                    error != PARSE_ERR_HEADER);
    if (!failure) return headers;
    const std::uint64_t headersEnd = HeaderListEnd(avi.m_Layout);
    return headers && headersEnd != 0 && failure->position >= headersEnd &&
           !InReadIndex(avi, failure->position);
}

}  // namespace

CFileAnalysis::CFileAnalysis() = default;
CFileAnalysis::~CFileAnalysis() = default;

void CFileAnalysis::Analyse(const std::string& strPath, const Options& options) {
    Close();
    // The open reads the file's start into the buffer the parse reads through: where the file
    // is scanned, the one that holds a small scanned file whole. A small file needs no more.
    const std::span<unsigned char> head =
        options.scan ? WholeFileBuffer(kScanBlockBytes) : ParseBuffer();
    OpenedFile opened = OpenRawFile(strPath, head);
    if (!opened.file) {
        m_parser.ParseFrom(nullptr, strPath, 0xFFFFFFFF, false);
        m_bScanned = false;
        m_bIndexTallied = false;
        m_bReported = false;
        m_strOpenError = std::move(opened.error);
        m_readFailure.reset();
        m_lost.reset();
        return;
    }
    AnalyseOpened(*opened.file, strPath, options, head, opened.headBytes);
    if (options.keepOpen) m_file = std::move(opened.file);
}

std::span<unsigned char> CFileAnalysis::ParseBuffer() {
    if (!m_parseBuffer)
        m_parseBuffer = std::make_unique_for_overwrite<unsigned char[]>(kFileBufferBytes);
    return {m_parseBuffer.get(), kFileBufferBytes};
}

std::span<unsigned char> CFileAnalysis::WholeFileBuffer(std::size_t bytes) {
    if (bytes > m_wholeFileRoom) {
        m_wholeFile = std::make_unique_for_overwrite<unsigned char[]>(bytes);
        m_wholeFileRoom = bytes;
    }
    return {m_wholeFile.get(), bytes};
}

bool CFileAnalysis::HeadersLost() const {
    const int error = m_parser.m_nError;
    if (m_readFailure) return false;
    return error == PARSE_ERR_NOT_AVI || error == PARSE_ERR_HEADER ||
           (m_bReported && m_parser.m_Layout.arMoviLists.empty());
}

// Where the headers are lost, the movie data found without them (kept only when found).
void CFileAnalysis::FindLostMovie(RawFile& file, const CMovieScan::Options& options) {
    m_lost.reset();
    if (!HeadersLost()) return;
    LOSTMOVIE lost = CMovieScan::FindLostMovie(
        file, {.progress = options.progress, .observer = nullptr, .stop = options.stop});
    if (lost.bFound) m_lost = lost;
}

bool CFileAnalysis::ScanData(const CMovieScan::Options& options) {
    if (!m_file || (!m_bReported && !HeadersLost())) return false;
    if (m_bReported) {
        m_scan.ScanFrom(*m_file, m_parser, WithKeptIndex(options));
        m_bScanned = true;
    }
    FindLostMovie(*m_file, options);
    m_readFailure = m_file->Failure();
    return true;
}

void CFileAnalysis::Close() { m_file.reset(); }

void CFileAnalysis::AnalyseOpen(RawFile& file, const std::string& strPath, const Options& options) {
    AnalyseOpened(file, strPath, options, ParseBuffer(), 0);
}

void CFileAnalysis::AnalyseOpened(RawFile& file, const std::string& strPath, const Options& options,
                                  std::span<unsigned char> buffer, std::size_t headBytes) {
    if (&file != m_file.get()) Close();
    m_strOpenError.clear();
    std::optional<std::string_view> whole;
    if (headBytes != 0 && headBytes == file.Size()) {
        whole = std::string_view(reinterpret_cast<const char*>(buffer.data()), headBytes);
    } else {
        whole = ReadWhole(file, options);
    }
    if (whole) {
        const std::unique_ptr<RawFile> memory = MakeMemoryRawFile(*whole);
        ParseAndScan(*memory, MakeMemorySource(*whole), strPath, options);
    } else {
        // The parse reads on from what the open read, through the same buffer.
        ParseAndScan(file, MakeFileSource(file, buffer, headBytes), strPath, options);
    }
    m_readFailure = file.Failure();
}

std::optional<std::string_view> CFileAnalysis::ReadWhole(RawFile& file, const Options& options) {
    if (!options.scan || file.Size() > kScanBlockBytes) return std::nullopt;
    const auto size = static_cast<std::size_t>(file.Size());
    unsigned char* const bytes = WholeFileBuffer(size).data();
    if (!file.ReadWhole(bytes)) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(bytes), size);
}

void CFileAnalysis::ParseAndScan(RawFile& data, std::unique_ptr<ByteSource> bytes,
                                 const std::string& strPath, const Options& options) {
    // Kept only where a scan will match them.
    std::vector<std::uint8_t>* const keep =
        options.scan || options.keepOpen ? &m_keptIdx1 : nullptr;
    m_keptIdx1.clear();
    const bool parsed =
        m_parser.ParseFrom(std::move(bytes), strPath, 0xFFFFFFFF, false,
                           {.indexTallies = options.indexTallies, .keptIdx1 = keep});
    m_bIndexTallied = options.indexTallies;
    // Only a file that gave a report has movie data worth scanning.
    m_bReported = GivesReport(m_parser, parsed, data.Failure());
    m_bScanned = options.scan && m_bReported;
    // Without a scan m_scan is left as it was: m_bScanned says it is not this file's.
    if (m_bScanned) m_scan.ScanFrom(data, m_parser, WithKeptIndex(options.data));
    m_readFailure = data.Failure();  // whether the headers are lost asks it
    m_lost.reset();
    if (options.scan) FindLostMovie(data, options.data);
}

CMovieScan::Options CFileAnalysis::WithKeptIndex(CMovieScan::Options options) const {
    options.idx1Entries = m_keptIdx1;
    return options;
}

}  // namespace plovik
