// One file analysed with one open: its headers and index, then, when asked, its movie
// data, all read through the same open file. A file replaced while it is analysed cannot
// give a report of one file and a data scan of another.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "plovik/avi_parser.h"
#include "plovik/file_failure.h"
#include "plovik/movie_scan.h"

namespace plovik {

class ByteSource;
class RawFile;

class CFileAnalysis {
  public:
    CFileAnalysis();
    ~CFileAnalysis();
    CFileAnalysis(const CFileAnalysis&) = delete;
    CFileAnalysis& operator=(const CFileAnalysis&) = delete;

    struct Options {
        bool scan = false;              // also read the movie data
        CMovieScan::Options data = {};  // how
        bool indexTallies = false;      // what the index lists of every stream
        // The file stays open after the analysis, for a scan of its data later (ScanData),
        // until the next analysis or Close.
        bool keepOpen = false;
    };

    // Opens the file at strPath (UTF-8) read-only once and analyses it; the parser and the
    // scan keep their results until the next call.
    void Analyse(const std::string& strPath, const Options& options);
    // The same over a file the caller opened (memory in tests and fuzzing).
    void AnalyseOpen(RawFile& file, const std::string& strPath, const Options& options);
    // Scans the movie data of the file analysed last, through the open it was analysed
    // with (Options::keepOpen): the same file, even if its name now names another. False
    // when it is not open or gave no report.
    bool ScanData(const CMovieScan::Options& options);
    void Close();
    // The file analysed last gave a report: its main header was read, and no read failed
    // before the end of its header list.
    bool Reported() const { return m_bReported; }
    // Its headers are lost (no RIFF form, no readable main header, no "movi" list): a data
    // check looks for its movie data without them (m_lost).
    bool HeadersLost() const;

    CAviParser m_parser;
    CMovieScan m_scan;
    bool m_bScanned = false;       // m_scan holds this file's scan
    bool m_bIndexTallied = false;  // the parser's stream tallies hold what the index lists
    std::string m_strOpenError;    // why the file could not be opened (parser code 2)
    // The first read of the file that failed, in the headers, the index or the data.
    std::optional<FileFailure> m_readFailure;
    // With a scan, of a file whose headers are lost: the movie data found without them.
    std::optional<LOSTMOVIE> m_lost;

  private:
    // AnalyseOpen through buffer, whose first headBytes the open read from the file.
    void AnalyseOpened(RawFile& file, const std::string& strPath, const Options& options,
                       std::span<unsigned char> buffer, std::size_t headBytes);
    std::span<unsigned char> ParseBuffer();
    // The first bytes of m_wholeFile, at least that many kept.
    std::span<unsigned char> WholeFileBuffer(std::size_t bytes);
    void FindLostMovie(RawFile& file, const CMovieScan::Options& options);
    // Parses (and scans, when asked) what bytes holds of the file, read through data.
    void ParseAndScan(RawFile& data, std::unique_ptr<ByteSource> bytes, const std::string& strPath,
                      const Options& options);
    // Reads the file whole into m_wholeFile where it is scanned and no larger than the scan's
    // buffer; its bytes, or none when it is not read so.
    std::optional<std::string_view> ReadWhole(RawFile& file, const Options& options);
    // The options of a scan with the "idx1" entries the parse kept.
    CMovieScan::Options WithKeptIndex(CMovieScan::Options options) const;

    std::unique_ptr<RawFile> m_file;  // kept open for ScanData
    bool m_bReported = false;         // the file analysed last gave a report
    // The "idx1" entries as the parse read them, for the scan's index check: the index is
    // read once.
    std::vector<std::uint8_t> m_keptIdx1;
    // A small scanned file, read once for the parse and the scan: a file of a few hundred
    // kilobytes costs one read instead of a dozen. Kept from file to file, never zeroed.
    std::unique_ptr<unsigned char[]> m_wholeFile;
    std::size_t m_wholeFileRoom = 0;
    // The parse's buffer, kept from file to file.
    std::unique_ptr<unsigned char[]> m_parseBuffer;
};

}  // namespace plovik
